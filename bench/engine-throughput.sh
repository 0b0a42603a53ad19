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

source "$ROOT/bench/throughput-common.sh"
BENCH_PORT="$PORT"
post_bench_articles alt.binaries.bench 200 500

MB=$(du -sb "$WORK"/a/b* | awk '{s+=$1} END{printf "%.1f", s/1048576}')
read -r raw console < <(compare alt.binaries.bench.bodies bodies 1 200 alt.binaries.bench.bodies 0)
awk -v mb="$MB" -v raw="$raw" -v c="$console" 'BEGIN {
    printf "bodies: %s MB; raw client %.3f s (%.0f MB/s); spindrel-console %.3f s (%.0f MB/s); ratio %.2f (goal >= 0.8)\n",
           mb, raw, mb / raw, c, mb / c, raw / c }'

read -r raw console < <(compare alt.binaries.bench.scan xhdr 1 5000 16 alt.binaries.bench.scan 100)
awk -v raw="$raw" -v c="$console" 'BEGIN {
    printf "header scan of 5000 culled articles: raw xhdr exchanges %.3f s; spindrel-console %.3f s; ratio %.2f (goal <= 1.5)\n",
           raw, c, c / raw }'
