#!/usr/bin/env bash
# Measures whole downloads by spindrel-console over a simulated home line (a round trip of 2 x DELAY_MS,
# MBIT from server to client) against a raw client that pipelines its commands on one connection, both
# through the same simulator in front of the same private news server:
#   1. one group of 100 uuencoded articles of ~505 KB (goal: at least 0.9x the raw client's rate);
#   2. the header scan of 5000 small articles that are all culled (goal: within 3x the time of the raw
#      client's "xhdr lines 1-5000" and "xhdr subject 1-5000" sent together).
# Run as root on Debian 12 (the news server runs as user news).
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
cd "$ROOT"
BUILD="${BUILD:-build}"
CONSOLE="${CONSOLE:-$ROOT/$BUILD/spindrel-console}"  # another build of the console to measure
DELAY_MS="${DELAY_MS:-25}"
MBIT="${MBIT:-100}"
cmake -S . -B "$BUILD" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$BUILD" -j"${JOBS:-2}" --target spindrel-console spindrel-linksim >/dev/null

source "$ROOT/scripts/private-news-server.sh"
start_private_news_server link alt.binaries.link.bodies alt.binaries.link.scan

python3 - "$WORK" <<'PY'
import os, subprocess, sys
work = sys.argv[1]
os.makedirs(work + "/a", exist_ok=True)
for i in range(100):
    data = os.urandom(368 * 1024)  # ~505 KB once uuencoded
    src = "%s/src.bin" % work
    open(src, "wb").write(data)
    enc = subprocess.run(["uuencode", src, "file%03d.bin" % i], capture_output=True, check=True).stdout
    head = b"From: bench@example.invalid\nNewsgroups: alt.binaries.link.bodies\nSubject: file%03d.bin\nLines: %d\n\n" % (i, enc.count(b"\n"))
    open("%s/a/b%03d" % (work, i), "wb").write(head + enc)
for i in range(5000):
    open("%s/a/s%04d" % (work, i), "wb").write(
        b"From: bench@example.invalid\nNewsgroups: alt.binaries.link.scan\nSubject: note %d\nLines: 1\n\nx\n" % i)
PY
ls "$WORK"/a/b* | xargs bash "$INN" post "$WORK/inn" >/dev/null
ls "$WORK"/a/s* | xargs -n 1000 bash "$INN" post "$WORK/inn" >/dev/null

# The simulator ends by itself after an hour at most, and is stopped when this script exits.
"$ROOT/$BUILD/bench/spindrel-linksim" "$PORT" "$DELAY_MS" "$MBIT" 3600 > "$WORK/linksim.port" &
LINKSIM=$!
trap 'kill $LINKSIM 2>/dev/null || true; bash "$INN" stop "$WORK/inn" >/dev/null 2>&1 || true; rm -rf "$WORK"' EXIT
for _ in $(seq 50); do [ -s "$WORK/linksim.port" ] && break; sleep 0.1; done
LINK_PORT="$(cat "$WORK/linksim.port")"

run_console() { # run_console GROUP MINSIZE: seconds of one spindrel-console run through the simulator
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
    Name=127.0.0.1:$LINK_PORT,,
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
compare() { # compare RAWARGS... -- GROUP MINSIZE: the median seconds of the raw client and of the console
    local raw=() console=()
    for _ in 1 2 3; do
        sync
        raw+=("$(python3 "$ROOT/bench/raw_client.py" "$LINK_PORT" "${@:1:$#-2}")")
        sync
        console+=("$(run_console "${@: -2:1}" "${@: -1}")")
    done
    printf '%s %s\n' "$(printf '%s\n' "${raw[@]}" | median)" "$(printf '%s\n' "${console[@]}" | median)"
}

echo "line: round trip $((2 * DELAY_MS)) ms, $MBIT Mbit/s from server to client; load: $(uptime | sed 's/.*load/load/')"
MB=$(du -sb "$WORK"/a/b* | awk '{s+=$1} END{printf "%.1f", s/1048576}')
read -r raw console < <(compare alt.binaries.link.bodies bodies-pipelined 1 100 alt.binaries.link.bodies 0)
awk -v mb="$MB" -v raw="$raw" -v c="$console" 'BEGIN {
    printf "bodies: %s MB; raw client (pipelined) %.3f s (%.1f MB/s); spindrel-console %.3f s (%.1f MB/s); ratio %.2f (goal >= 0.9)\n",
           mb, raw, mb / raw, c, mb / c, raw / c }'

read -r raw console < <(compare alt.binaries.link.scan xhdr-pipelined 1 5000 alt.binaries.link.scan 100)
awk -v raw="$raw" -v c="$console" 'BEGIN {
    printf "header scan of 5000 culled articles: raw xhdr (pipelined) %.3f s; spindrel-console %.3f s; ratio %.2f (goal <= 3)\n",
           raw, c, c / raw }'
