# What bench/engine-throughput.sh and bench/link-throughput.sh share: the posts, one console run, and the
# side-by-side comparison with the raw client. Sourced after start_private_news_server; BENCH_PORT is the port
# both sides connect to.

post_bench_articles() { # post_bench_articles PREFIX COUNT KIB: COUNT uuencoded binaries of KIB KiB in
    # PREFIX.bodies and 5000 one-line notes in PREFIX.scan
    python3 - "$WORK" "$1" "$2" "$3" <<'PY'
import os, subprocess, sys
work, prefix, count, kib = sys.argv[1], sys.argv[2].encode(), int(sys.argv[3]), int(sys.argv[4])
os.makedirs(work + "/a", exist_ok=True)
for i in range(count):
    data = os.urandom(kib * 1024)
    src = "%s/src.bin" % work
    open(src, "wb").write(data)
    enc = subprocess.run(["uuencode", src, "file%03d.bin" % i], capture_output=True, check=True).stdout
    head = b"From: bench@example.invalid\nNewsgroups: %s.bodies\nSubject: file%03d.bin\nLines: %d\n\n" % (prefix, i, enc.count(b"\n"))
    open("%s/a/b%03d" % (work, i), "wb").write(head + enc)
for i in range(5000):
    open("%s/a/s%04d" % (work, i), "wb").write(
        b"From: bench@example.invalid\nNewsgroups: %s.scan\nSubject: note %d\nLines: 1\n\nx\n" % (prefix, i))
PY
    ls "$WORK"/a/b* | xargs bash "$INN" post "$WORK/inn" >/dev/null
    ls "$WORK"/a/s* | xargs -n 1000 bash "$INN" post "$WORK/inn" >/dev/null
}

run_console() { # run_console GROUP MINSIZE: seconds of one spindrel-console run
    # A fresh directory each run, none deleted: files deleted just before make the file system slow to create
    # new ones.
    local dir
    dir="$(mktemp -d "$WORK/run-XXXXXX")"
    mkdir -p "$dir/out"
    cat > "$dir/spindrel.cfg" <<CFG
Config
    OutputDir=$dir/out/
    LogFile=activity.log
    LoggingEnabled=1
    BandWidthLimit=0
NumServers=1
Server
    Name=127.0.0.1:$BENCH_PORT,,
    NumGroups=1
    Group=$1,0,${2}k,Expanded,Include
CFG
    local start end
    start=$(date +%s.%N)
    (cd "$dir" && "$CONSOLE" >/dev/null)
    end=$(date +%s.%N)
    awk -v a="$start" -v b="$end" 'BEGIN { printf "%.3f", b - a }'
}

median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
# Both sides run three times, alternately; the medians are compared (a run on a busy machine is noisy).
compare() { # compare RAWARGS... -- GROUP MINSIZE: prints the median seconds of the raw client and of the console
    local raw=() console=()
    for _ in 1 2 3; do
        # What earlier runs and the posting left for the disk is written out first, so no run pays for it.
        sync
        raw+=("$(python3 "$ROOT/bench/raw_client.py" "$BENCH_PORT" "${@:1:$#-2}")")
        sync
        console+=("$(run_console "${@: -2:1}" "${@: -1}")")
    done
    printf '%s %s\n' "$(printf '%s\n' "${raw[@]}" | median)" "$(printf '%s\n' "${console[@]}" | median)"
}
