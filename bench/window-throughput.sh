#!/usr/bin/env bash
# Measures what the window costs: the loopback download of bench/engine-throughput.sh (one group of 200
# uuencoded articles of 500 KB on a private news server) fetched and decoded by spindrel-console and by the main
# window run offscreen, alternately, three times each. Goals: the window at most 5 % slower than the console
# (medians), and its GUI thread never more than 50 ms without serving its timer.
# Run as root on Debian 12 (the news server runs as user news).
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
cd "$ROOT"
BUILD="${BUILD:-build}"
cmake -S . -B "$BUILD" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$BUILD" -j"${JOBS:-2}" --target spindrel-console spindrel_window_bench >/dev/null

GROUP=alt.binaries.bench.window
source "$ROOT/scripts/private-news-server.sh"
start_private_news_server window "$GROUP"

python3 - "$WORK" "$GROUP" <<'PY'
import os, subprocess, sys
work, group = sys.argv[1], sys.argv[2]
os.makedirs(work + "/a", exist_ok=True)
for i in range(200):
    src = "%s/src.bin" % work
    open(src, "wb").write(os.urandom(500 * 1024))
    enc = subprocess.run(["uuencode", src, "file%03d.bin" % i], capture_output=True, check=True).stdout
    head = b"From: bench@example.invalid\nNewsgroups: %s\nSubject: file%03d.bin\nLines: %d\n\n" % (
        group.encode(), i, enc.count(b"\n"))
    open("%s/a/b%03d" % (work, i), "wb").write(head + enc)
PY
ls "$WORK"/a/b* | xargs bash "$INN" post "$WORK/inn" >/dev/null
MB=$(du -sb "$WORK"/a/b* | awk '{s+=$1} END{printf "%.1f", s/1048576}')

run_dir() { # a fresh directory with the configuration for one run
    local dir
    dir="$(mktemp -d "$WORK/run-XXXXXX")"
    mkdir -p "$dir/out"
    cat > "$dir/spindrel.cfg" <<CFG
Config
    OutputDir=$dir/out/
    LogFile=activity.log
    LoggingEnabled=1
    BandWidthLimit=0
    UnAttendedMode=1
NumServers=1
Server
    Name=127.0.0.1:$PORT,,
    NumGroups=1
    Group=$GROUP,0,0k,Expanded,Include
CFG
    echo "$dir"
}

seconds() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.3f", b - a }'; }
median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

console=() window=() gaps=()
for _ in 1 2 3; do
    sync
    dir="$(run_dir)"
    start=$(date +%s.%N)
    (cd "$dir" && "$ROOT/$BUILD/spindrel-console" >/dev/null)
    console+=("$(seconds "$start" "$(date +%s.%N)")")
    sync
    dir="$(run_dir)"
    start=$(date +%s.%N)
    read -r _ gap < <(cd "$dir" && "$ROOT/$BUILD/bench/window/spindrel_window_bench")
    window+=("$(seconds "$start" "$(date +%s.%N)")")
    gaps+=("$gap")
    [ "$(ls "$dir/out/$GROUP" | wc -l)" = 200 ] || { echo "window run decoded $(ls "$dir/out/$GROUP" | wc -l) of 200 files" >&2; exit 1; }
done
c=$(printf '%s\n' "${console[@]}" | median)
w=$(printf '%s\n' "${window[@]}" | median)
g=$(printf '%s\n' "${gaps[@]}" | sort -n | tail -n 1)
awk -v mb="$MB" -v c="$c" -v w="$w" -v g="$g" -v cs="${console[*]}" -v ws="${window[*]}" -v gs="${gaps[*]}" 'BEGIN {
    printf "bodies: %s MB; spindrel-console %.3f s (%.0f MB/s) [%s]; window %.3f s (%.0f MB/s) [%s]\n", mb, c, mb / c, cs, w, mb / w, ws
    printf "window slower by %.1f %% (goal <= 5 %%); longest GUI-thread stall %d ms [%s] (goal < 50 ms)\n", (w / c - 1) * 100, g, gs
}'
