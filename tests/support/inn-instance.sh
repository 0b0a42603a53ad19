#!/usr/bin/env bash
# A private INN2 news server for tests, living entirely in one directory and listening on 127.0.0.1 only.
#
#   inn-instance.sh start DIR PORT [--group NAME]... [--group-file FILE] [--auth USER PASSWORD] [--many-groups]
#                                               FILE: one group name a line, for lists too long for arguments;
#                                               --many-groups: overview in one buffer and a storage without a
#                                               map of the groups, so 100,000 groups start in seconds
#   inn-instance.sh post  DIR FILE...           articles (headers, blank line, body) fed in with IHAVE
#   inn-instance.sh ctl   DIR ARGS...           ctlinnd for this instance (e.g. readers n "closed")
#   inn-instance.sh stop  DIR
#
# Needs root (innd runs as user news) and the inn2 package (scripts/install-deps.sh installs it).
# DIR's parent must be traversable by user news (a directory under /tmp with mode 0755 is).
set -euo pipefail

HERE="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
INNBIN=/usr/lib/news/bin
START_SECONDS=20

die() { echo "inn-instance: $*" >&2; exit 1; }

[ "$(id -u)" = 0 ] || die "must run as root (innd runs as user news)"
[ -x "$INNBIN/innd" ] || die "inn2 is not installed: run scripts/install-deps.sh"

as_news() { runuser -u news -g news -- env INNCONF="$D/etc/inn.conf" "$@"; }

alive() { # a running process, not a zombie
    local state
    state="$(awk '/^State:/{print $2}' "/proc/$1/status" 2>/dev/null)"
    [ -n "$state" ] && [ "$state" != Z ]
}

innd_pid() {
    local p
    [ -f "$D/run/innd.pid" ] || return 1
    p="$(tr -dc 0-9 < "$D/run/innd.pid")"
    [ -n "$p" ] && alive "$p" && [ "$(readlink "/proc/$p/exe" 2>/dev/null)" = "$INNBIN/innd" ] || return 1
    echo "$p"
}

listening() { # something listens on 127.0.0.1:PORT
    local hex
    hex="$(printf '0100007F:%04X' "$1")"
    awk -v a="$hex" '$2==a && $4=="0A"{f=1} END{exit !f}' /proc/net/tcp
}

write_inn_conf() { # PORT OVERVIEW-METHOD STORAGE-METHOD
    cat > "$D/etc/inn.conf" <<EOF
domain:                 localdomain
pathhost:               inn-test.localdomain
server:                 127.0.0.1
organization:           "Spindrel test server"
mta:                    "/bin/true %s"
mailcmd:                /bin/true
runasuser:              news
runasgroup:             news
port:                   $1
bindaddress:            127.0.0.1
ovmethod:               $2
hismethod:              hisv6
enableoverview:         true
useoverchan:            false
storeonxref:            true
wireformat:             true
artcutoff:              0
maxartsize:             20971520
localmaxartsize:        20971520
linecountfuzz:          0
syntaxchecks:           [ laxmid ]
verifygroups:           false
wanttrash:              false
remembertrash:          false
pgpverify:              false
logstatus:              false
status:                 0
timer:                  0
doinnwatch:             false
noreader:               false
readerswhenstopped:     false
nnrpdflags:             "-n"
nnrpdloadlimit:         0
initialtimeout:         30
clienttimeout:          1800
maxconnections:         200
maxforks:               10
pathnews:               /usr/lib/news
pathbin:                /usr/lib/news/bin
pathcontrol:            /usr/lib/news/bin/control
pathfilter:             $D/etc/filter
pathetc:                $D/etc
pathdb:                 $D/db
pathrun:                $D/run
pathlog:                $D/log
pathhttp:               $D/http
pathspool:              $D/spool
patharticles:           $D/spool/articles
pathoverview:           $D/spool/overview
pathincoming:           $D/spool/incoming
pathtmp:                $D/spool/incoming/tmp
pathoutgoing:           $D/spool/outgoing
patharchive:            $D/spool/archive
EOF
    # No feeding peers: every TCP client is a reader; articles come in through the local socket.
    printf 'streaming: true\nmax-connections: 8\n' > "$D/etc/incoming.conf"
    printf 'ME:*::\n' > "$D/etc/newsfeeds"
    printf 'method %s {\n    newsgroups: *\n    class: 0\n}\n' "$3" > "$D/etc/storage.conf"
    if [ "$2" = buffindexed ]; then
        printf '0:%s:65536\n' "$D/spool/overview/buffer" > "$D/etc/buffindexed.conf"
        truncate -s 64M "$D/spool/overview/buffer"
    fi
    printf '/remember/:0\n*:A:never:never:never\n' > "$D/etc/expire.ctl"
}

write_readers_conf() { # [USER PASSWORD]
    if [ $# -ge 2 ]; then
        local hash
        hash="$(perl -e 'my @c=("a".."z","A".."Z",0..9); my $s=join "", map {$c[rand @c]} 1..16;
                         print crypt($ARGV[0], "\$6\$$s\$")' "$2")"
        case "$hash" in '$6$'*) ;; *) die "crypt() failed";; esac
        printf '%s:%s\n' "$1" "$hash" > "$D/etc/newsusers"
        cat > "$D/etc/readers.conf" <<EOF
auth "testusers" {
    auth: "ckpasswd -f $D/etc/newsusers"
}
access "testusers" {
    users: "$1"
    newsgroups: "*"
    access: RPA
}
EOF
    else
        cat > "$D/etc/readers.conf" <<'EOF'
auth "loopback" {
    hosts: "*"
    default: "<loopback>"
}
access "loopback" {
    users: "<loopback>"
    newsgroups: "*"
    access: RPA
}
EOF
    fi
}

create_instance() { # GROUP-LIST-FILE
    mkdir -p "$D"/{etc,db,run,log,http} \
             "$D"/spool/{articles,overview,incoming/tmp,incoming/bad,outgoing,archive}
    cp -a /etc/news/. "$D/etc/"
    printf 'control 0000000000 0000000001 n\ncontrol.cancel 0000000000 0000000001 n\njunk 0000000000 0000000001 n\n' \
        > "$D/db/active"
    : > "$D/db/active.times"
    printf 'control\tControl messages.\ncontrol.cancel\tCancel messages.\njunk\tUnfiled articles.\n' \
        > "$D/db/newsgroups"
    : > "$D/db/history"
    local bad
    bad="$(grep -v -m1 -E '^([A-Za-z0-9+_.-]+)?$' "$1" || true)"
    [ -z "$bad" ] || die "bad group name '$bad'"
    # One pass, so a hundred thousand groups take no longer than a few.
    awk -v now="$(date +%s)" -v active="$D/db/active" -v times="$D/db/active.times" -v names="$D/db/newsgroups" '
        NF { printf "%s 0000000000 0000000001 y\n", $0 >> active
             printf "%s %s spindrel-test@localdomain\n", $0, now >> times
             printf "%s\tTest group %s\n", $0, $0 >> names }' "$1"
}

cmd_start() {
    local port="$1" groups="$D/groups.list" user="" password="" overview=tradindexed storage=tradspool
    shift
    [[ "$port" =~ ^[0-9]+$ ]] || die "start DIR PORT [--group NAME]... [--group-file FILE] [--auth USER PASSWORD] [--many-groups]"
    : > "$groups"
    while [ $# -gt 0 ]; do
        case "$1" in
            --group) printf '%s\n' "$2" >> "$groups"; shift 2;;
            --group-file) cat -- "$2" >> "$groups" || die "cannot read $2"; shift 2;;
            --auth) user="$2"; password="$3"; shift 3;;
            --many-groups) overview=buffindexed; storage=timehash; shift;;
            *) die "unknown option '$1'";;
        esac
    done
    runuser -u news -- test -x "$(dirname "$D")" || die "user news cannot reach $(dirname "$D")"
    ! innd_pid >/dev/null || die "an innd already runs for $D"
    ! listening "$port" || die "127.0.0.1:$port is in use"
    create_instance "$groups"
    write_inn_conf "$port" "$overview" "$storage"
    if [ -n "$user" ]; then write_readers_conf "$user" "$password"; else write_readers_conf; fi
    chown -R news:news "$D"
    chmod 775 "$D/run"
    as_news "$INNBIN/makedbz" -i -o -s 10000 >/dev/null
    as_news "$INNBIN/innd" -c 0 </dev/null >"$D/log/start.log" 2>&1 \
        || { cat "$D/log/start.log" >&2; die "innd failed to start"; }
    local deadline=$((SECONDS + START_SECONDS))
    until innd_pid >/dev/null && listening "$port"; do
        if grep -qE 'cant|cannot bind|[Ee]rror' "$D/log/errlog" 2>/dev/null; then
            cat "$D/log/errlog" >&2
            die "innd failed to start"
        fi
        [ $SECONDS -lt $deadline ] || die "innd did not listen within ${START_SECONDS}s"
        sleep 0.02
    done
}

cmd_stop() {
    local p i
    p="$(innd_pid)" || return 0
    # innd notices a plain SIGTERM only when its select() wakes, which can take minutes on an idle server.
    if ! as_news "$INNBIN/ctlinnd" -s -t 10 shutdown "test finished" 2>/dev/null; then
        kill -TERM "$p" 2>/dev/null || true
    fi
    for i in $(seq 1 500); do alive "$p" || break; sleep 0.02; done
    if alive "$p"; then kill -KILL "$p" 2>/dev/null || true; fi
    rm -f "$D/run/innd.pid"
}

[ $# -ge 2 ] || die "usage: inn-instance.sh start|post|ctl|stop DIR ..."
command="$1"
D="$(cd "$2" && pwd -P)" || die "no directory $2"
[ "$D" != / ] || die "refusing /"
shift 2
case "$command" in
    start) cmd_start "$@";;
    post) innd_pid >/dev/null || die "innd is not running for $D"; python3 "$HERE/inn_post.py" "$D/run/nntpin" "$@";;
    ctl) as_news "$INNBIN/ctlinnd" -t 10 "$@";;
    stop) cmd_stop;;
    *) die "unknown command '$command'";;
esac
