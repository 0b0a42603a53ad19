#!/usr/bin/env bash
# Measures whole runs of spindrel-console on a private news server: 10,000 single-part binaries (two groups of
# 5000) against 10,000 part articles (four groups of 2500, parts 1 and 2 of 3 of each post, so the parts index
# ends with 10,000 records). Goal: the part articles take at most 2x the single-part binaries.
# Run as root on Debian 12 (the news server runs as user news). SIZE=N scales the article counts down.
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
cd "$ROOT"
BUILD="${BUILD:-build}"
SIZE="${SIZE:-10000}"
cmake -S . -B "$BUILD" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$BUILD" -j"${JOBS:-2}" --target spindrel-console >/dev/null

source "$ROOT/scripts/private-news-server.sh"
SINGLE=(alt.binaries.bench.single1 alt.binaries.bench.single2)
PARTS=(alt.binaries.bench.parts1 alt.binaries.bench.parts2 alt.binaries.bench.parts3 alt.binaries.bench.parts4)
start_private_news_server parts "${SINGLE[@]}" "${PARTS[@]}"

python3 - "$WORK" "$SIZE" "${SINGLE[@]}" "${PARTS[@]}" <<'PY'
import binascii, os, sys
work, size, groups = sys.argv[1], int(sys.argv[2]), sys.argv[3:]
single, parts = groups[:2], groups[2:]
os.makedirs(work + "/a", exist_ok=True)

def uuencoded(name, data):
    lines = ["begin 644 %s" % name]
    lines += [binascii.b2a_uu(data[i:i + 45]).decode().rstrip("\n") for i in range(0, len(data), 45)]
    return "\n".join(lines + ["`", "end", ""])

def write(path, group, subject, body):
    with open(path, "w") as f:
        f.write("From: bench@example.invalid\nNewsgroups: %s\nSubject: %s\nLines: %d\n\n%s"
                % (group, subject, body.count("\n"), body))

n = 0
for group in single:
    for i in range(size // len(single)):
        write("%s/a/%06d" % (work, n), group, "single%d.bin (1/1)" % n, uuencoded("single%d.bin" % n, os.urandom(600)))
        n += 1
for group in parts:
    for i in range(size // len(parts)):
        post, part = i // 2, i % 2 + 1
        piece = uuencoded("post%d.bin" % post, os.urandom(600)) if part == 1 else \
            "\n".join(binascii.b2a_uu(os.urandom(45)).decode().rstrip("\n") for _ in range(13)) + "\n"
        write("%s/a/%06d" % (work, n), group, "%s post%d.bin (%d/3)" % (group, post, part), piece)
        n += 1
PY
ls "$WORK"/a/* | xargs -n 1000 bash "$INN" post "$WORK/inn" >/dev/null

run_console() { # run_console GROUP...: seconds of one spindrel-console run over the groups
    local dir
    dir="$(mktemp -d "$WORK/run-XXXXXX")"
    mkdir -p "$dir/out"
    {
        printf 'Config\n    OutputDir=%s/out/\n    PartsDir=%s/\n    PartsEnabled=1\n    MaxNumParts=10\n' "$dir" "$dir"
        printf '    BandWidthLimit=0\nNumServers=1\nServer\n    Name=127.0.0.1:%s,,\n    NumGroups=%d\n' "$PORT" "$#"
        for group in "$@"; do printf '    Group=%s,0,0k,Expanded,Include\n' "$group"; done
    } > "$dir/spindrel.cfg"
    local start end
    sync
    start=$(date +%s.%N)
    (cd "$dir" && "$ROOT/$BUILD/spindrel-console" >/dev/null)
    end=$(date +%s.%N)
    awk -v a="$start" -v b="$end" 'BEGIN { printf "%.3f", b - a }'
}

single=$(run_console "${SINGLE[@]}")
parts=$(run_console "${PARTS[@]}")
awk -v n="$SIZE" -v s="$single" -v p="$parts" 'BEGIN {
    printf "%d single-part binaries %.3f s; %d part articles %.3f s; ratio %.2f (goal <= 2)\n", n, s, n, p, p / s }'
