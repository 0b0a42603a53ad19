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

source "$ROOT/bench/throughput-common.sh"
post_bench_articles alt.binaries.link 100 368  # ~505 KB once uuencoded

# The simulator ends by itself after an hour at most, and is stopped when this script exits.
"$ROOT/$BUILD/bench/spindrel-linksim" "$PORT" "$DELAY_MS" "$MBIT" 3600 > "$WORK/linksim.port" &
LINKSIM=$!
trap 'kill $LINKSIM 2>/dev/null || true; bash "$INN" stop "$WORK/inn" >/dev/null 2>&1 || true; rm -rf "$WORK"' EXIT
for _ in $(seq 50); do [ -s "$WORK/linksim.port" ] && break; sleep 0.1; done
BENCH_PORT="$(cat "$WORK/linksim.port")"

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
