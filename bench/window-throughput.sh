#!/usr/bin/env bash
# Measures what the window costs. The loopback download of bench/engine-throughput.sh (200 uuencoded articles
# of 500 KB on a private news server), crossposted to three groups so that one run lasts long enough to
# measure, is fetched and decoded by spindrel-console and by the main window run offscreen, alternately, five
# times each. Reported: the medians of both, from process start to exit and, for the window, from its
# start-up to its close (without Qt's own start-up); and the longest time its GUI thread went without serving
# a 10 ms timer during the download. Goals: the window at most 5 % slower, no stall of 50 ms or more.
# Run as root on Debian 12 (the news server runs as user news).
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
cd "$ROOT"
BUILD="${BUILD:-build}"
RUNS="${RUNS:-5}"
cmake -S . -B "$BUILD" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$BUILD" -j"${JOBS:-2}" --target spindrel-console spindrel_window_bench >/dev/null

GROUPS_POSTED=(alt.binaries.bench.window1 alt.binaries.bench.window2 alt.binaries.bench.window3)
source "$ROOT/scripts/private-news-server.sh"
start_private_news_server window "${GROUPS_POSTED[@]}"

python3 - "$WORK" "$(IFS=,; echo "${GROUPS_POSTED[*]}")" <<'PY'
import os, subprocess, sys
work, groups = sys.argv[1], sys.argv[2]
os.makedirs(work + "/a", exist_ok=True)
for i in range(200):
    src = "%s/src.bin" % work
    open(src, "wb").write(os.urandom(500 * 1024))
    enc = subprocess.run(["uuencode", src, "file%03d.bin" % i], capture_output=True, check=True).stdout
    head = b"From: bench@example.invalid\nNewsgroups: %s\nSubject: file%03d.bin\nLines: %d\n\n" % (
        groups.encode(), i, enc.count(b"\n"))
    open("%s/a/b%03d" % (work, i), "wb").write(head + enc)
PY
ls "$WORK"/a/b* | xargs bash "$INN" post "$WORK/inn" >/dev/null
MB=$(du -sb "$WORK"/a/b* | awk '{s+=$1} END{printf "%.1f", 3 * s/1048576}')

run_dir() { # a fresh directory with the configuration for one run
    local dir group
    dir="$(mktemp -d "$WORK/run-XXXXXX")"
    mkdir -p "$dir/out"
    {
        printf 'Config\n    OutputDir=%s/out/\n    LogFile=activity.log\n    LoggingEnabled=1\n' "$dir"
        printf '    BandWidthLimit=0\n    UnAttendedMode=1\nNumServers=1\nServer\n    Name=127.0.0.1:%s,,\n' "$PORT"
        printf '    NumGroups=%d\n' "${#GROUPS_POSTED[@]}"
        for group in "${GROUPS_POSTED[@]}"; do printf '    Group=%s,0,0k,Expanded,Include\n' "$group"; done
    } > "$dir/spindrel.cfg"
    echo "$dir"
}

seconds() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.3f", b - a }'; }
median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

console=() window=() inside=() gaps=()
for _ in $(seq "$RUNS"); do
    sync
    dir="$(run_dir)"
    start=$(date +%s.%N)
    (cd "$dir" && "$ROOT/$BUILD/spindrel-console" >/dev/null)
    console+=("$(seconds "$start" "$(date +%s.%N)")")
    sync
    dir="$(run_dir)"
    start=$(date +%s.%N)
    read -r in gap < <(cd "$dir" && "$ROOT/$BUILD/bench/window/spindrel_window_bench" 2>/dev/null)
    window+=("$(seconds "$start" "$(date +%s.%N)")")
    inside+=("$in")
    gaps+=("$gap")
    decoded=$(ls "$dir/out/${GROUPS_POSTED[0]}" | wc -l)
    [ "$decoded" = 200 ] || { echo "the window's run decoded $decoded of 200 files" >&2; exit 1; }
done
c=$(printf '%s\n' "${console[@]}" | median)
w=$(printf '%s\n' "${window[@]}" | median)
i=$(printf '%s\n' "${inside[@]}" | median)
g=$(printf '%s\n' "${gaps[@]}" | sort -n | tail -n 1)
awk -v mb="$MB" -v c="$c" -v w="$w" -v i="$i" -v g="$g" \
    -v cs="${console[*]}" -v ws="${window[*]}" -v is="${inside[*]}" -v gs="${gaps[*]}" 'BEGIN {
    printf "fetched and decoded: %s MB\n", mb
    printf "spindrel-console:          %.3f s (%.0f MB/s) [%s]\n", c, mb / c, cs
    printf "window, whole process:     %.3f s (%.0f MB/s) [%s]: %+.1f %%\n", w, mb / w, ws, (w / c - 1) * 100
    printf "window, start-up to close: %.3f s (%.0f MB/s) [%s]: %+.1f %% (goal <= 5 %%)\n", i, mb / i, is, (i / c - 1) * 100
    printf "longest GUI-thread stall during the download: %d ms [%s] (goal < 50 ms)\n", g, gs
}'
