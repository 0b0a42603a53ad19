#!/usr/bin/env bash
# Runs spindrel under Xvfb on a directory of its own (a server with two groups, one holding a few files) and
# saves two screenshots: the window with the tree and its files, and a file's context menu.
#   bash scripts/screenshots.sh [OUTDIR]     (default: screenshots/)
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
cd "$ROOT"
OUT="$(mkdir -p "${1:-screenshots}" && cd "${1:-screenshots}" && pwd)"
BUILD="${BUILD:-build}"
bash scripts/install-deps.sh
cmake -S . -B "$BUILD" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$BUILD" -j"${JOBS:-2}" --target spindrel >/dev/null

DIR="$(mktemp -d /tmp/spindrel-shots-XXXXXX)"
trap 'rm -rf "$DIR"' EXIT
GROUP=alt.binaries.pictures.spindrel
mkdir -p "$DIR/out/$GROUP"
for f in harbour.jpg sunset.png "50% off summer.pdf" README notes.txt album.zip; do
    head -c 2048 /dev/urandom > "$DIR/out/$GROUP/$f"
done
cat > "$DIR/spindrel.cfg" <<CFG
Config
    OutputDir=$DIR/out/
    ViewAllFiles=1
NumServers=2
Server
    Name=news.example.com,,
    NumGroups=2
    Group=$GROUP,1200,25k,Expanded,Include
    Group=alt.binaries.sounds.spindrel,0,25k,Collapsed,Skip
Server
    Name=news.example.org,,
    NumGroups=0
CFG

source "$ROOT/scripts/window-shots.sh"
window_shots "$ROOT/$BUILD/spindrel" "$DIR" "$OUT/spindrel.png" "$OUT/spindrel-menu.png"
ls -l "$OUT"/spindrel.png "$OUT"/spindrel-menu.png
