#!/usr/bin/env bash
# Measures a whole download by spindrel-console against a minimal raw client on the same private news server:
#   1. one group of 200 uuencoded articles of 500 KB, fetched and decoded (goal: at least 0.8x the raw rate);
#   2. the header scan of 5000 articles that are all culled (goal: within 1.5x the raw xhdr exchanges' time).
# Run as root on Debian 12 (the news server runs as user news).
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
cd "$ROOT"
BUILD="${BUILD:-build}"
CONSOLE="${CONSOLE:-$ROOT/$BUILD/spindrel-console}"  # another build of the console to measure
cmake -S . -B "$BUILD" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$BUILD" -j"${JOBS:-2}" --target spindrel-console >/dev/null

source "$ROOT/scripts/private-news-server.sh"
start_private_news_server bench alt.binaries.bench.bodies alt.binaries.bench.scan

python3 - "$WORK" <<'PY'
import os, subprocess, sys
work = sys.argv[1]
os.makedirs(work + "/a", exist_ok=True)
for i in range(200):
    data = os.urandom(500 * 1024)
    src = "%s/src.bin" % work
    open(src, "wb").write(data)
    enc = subprocess.run(["uuencode", src, "file%03d.bin" % i], capture_output=True, check=True).stdout
    head = b"From: bench@example.invalid\nNewsgroups: alt.binaries.bench.bodies\nSubject: file%03d.bin\nLines: %d\n\n" % (i, enc.count(b"\n"))
    open("%s/a/b%03d" % (work, i), "wb").write(head + enc)
for i in range(5000):
    open("%s/a/s%04d" % (work, i), "wb").write(
        b"From: bench@example.invalid\nNewsgroups: alt.binaries.bench.scan\nSubject: note %d\nLines: 1\n\nx\n" % i)
PY
ls "$WORK"/a/b* | xargs bash "$INN" post "$WORK/inn" >/dev/null
ls "$WORK"/a/s* | xargs -n 1000 bash "$INN" post "$WORK/inn" >/dev/null

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
    Name=127.0.0.1:$PORT,,
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
# Both sides run three times, alternately; the medians are compared (a loopback run on a busy machine is noisy).
compare() { # compare RAWARGS... -- GROUP MINSIZE: prints the median seconds of the raw client and of the console
    local raw=() console=()
    for _ in 1 2 3; do
        # What earlier runs and the posting left for the disk is written out first, so no run pays for it.
        sync
        raw+=("$(python3 "$ROOT/bench/raw_client.py" "$PORT" "${@:1:$#-2}")")
        sync
        console+=("$(run_console "${@: -2:1}" "${@: -1}")")
    done
    printf '%s %s\n' "$(printf '%s\n' "${raw[@]}" | median)" "$(printf '%s\n' "${console[@]}" | median)"
}

MB=$(du -sb "$WORK"/a/b* | awk '{s+=$1} END{printf "%.1f", s/1048576}')
read -r raw console < <(compare alt.binaries.bench.bodies bodies 1 200 alt.binaries.bench.bodies 0)
awk -v mb="$MB" -v raw="$raw" -v c="$console" 'BEGIN {
    printf "bodies: %s MB; raw client %.3f s (%.0f MB/s); spindrel-console %.3f s (%.0f MB/s); ratio %.2f (goal >= 0.8)\n",
           mb, raw, mb / raw, c, mb / c, raw / c }'

read -r raw console < <(compare alt.binaries.bench.scan xhdr 1 5000 16 alt.binaries.bench.scan 100)
awk -v raw="$raw" -v c="$console" 'BEGIN {
    printf "header scan of 5000 culled articles: raw xhdr exchanges %.3f s; spindrel-console %.3f s; ratio %.2f (goal <= 1.5)\n",
           raw, c, c / raw }'
