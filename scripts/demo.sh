#!/usr/bin/env bash
# The program's main job, shown end to end on a fresh machine: installs and builds what it needs, starts a
# private news server on loopback, posts a handful of real binaries to it, and lets Spindrel fetch and decode
# them. With a display the window opens on the demo directory (press Start and watch the tree fill); without
# one spindrel-console does the run and a screenshot of the window afterwards is saved to demo/spindrel.png.
# The decoded files and the activity log are shown at the end.
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
cd "$ROOT"

bash scripts/install-deps.sh
BUILD="${BUILD:-build}"
cmake -S . -B "$BUILD" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$BUILD" -j"${JOBS:-2}" --target spindrel-console spindrel

GROUP=alt.binaries.spindrel.demo
DEMO="$ROOT/demo"
source "$ROOT/scripts/private-news-server.sh"
start_private_news_server demo "$GROUP"

# The binaries: random bytes, so a wrong byte anywhere shows in the comparison at the end.
mkdir -p "$WORK/src" "$WORK/articles"
head -c 30000 /dev/urandom > "$WORK/src/single.bin"
head -c 100000 /dev/urandom > "$WORK/src/multipart.bin"
head -c 20000 /dev/urandom > "$WORK/src/attachment.jpg"
head -c 150000 /dev/urandom > "$WORK/src/holiday.rar"

article() { # article FILE SUBJECT: headers on stdout, the body from stdin
    local body; body="$(cat)"
    {
        printf 'From: demo@example.invalid\nNewsgroups: %s\nSubject: %s\n' "$GROUP" "$2"
        printf 'Lines: %s\n\n' "$(printf '%s\n' "$body" | wc -l)"
        printf '%s\n' "$body"
    } > "$1"
}

# 1. A single uuencoded file.
uuencode "$WORK/src/single.bin" single.bin | article "$WORK/articles/01" "single.bin (uuencoded)"
# 2. A multipart post in three parts, posted out of order.
uuencode "$WORK/src/multipart.bin" multipart.bin > "$WORK/multipart.uue"
split -n l/3 -d "$WORK/multipart.uue" "$WORK/multipart.part"
article "$WORK/articles/02" "multipart.bin (3/3)" < "$WORK/multipart.part02"
article "$WORK/articles/03" "multipart.bin (1/3)" < "$WORK/multipart.part00"
# 3. A MIME attachment made by mpack.
mpack -s "attachment.jpg (MIME)" -o "$WORK/mime.msg" "$WORK/src/attachment.jpg"
{ printf 'From: demo@example.invalid\nNewsgroups: %s\nLines: %s\n' "$GROUP" "$(wc -l < "$WORK/mime.msg")"
  grep -v '^Lines:' "$WORK/mime.msg"; } > "$WORK/articles/04"
# The multipart post's missing part arrives after the others.
article "$WORK/articles/05" "multipart.bin (2/3)" < "$WORK/multipart.part01"
# 4. A repost of the single file.
uuencode "$WORK/src/single.bin" single.bin | article "$WORK/articles/06" "single.bin (repost)"
# 5. A yEnc post in two parts, as posting tools make them today (Debian's python3-yenc encodes).
/usr/bin/python3 "$ROOT/tests/support/yenc_post.py" "$WORK/src/holiday.rar" holiday.rar 2 128 "$WORK/yenc"
article "$WORK/articles/07" '"holiday.rar" yEnc (1/2)' < "$WORK/yenc.1"
article "$WORK/articles/08" '"holiday.rar" yEnc (2/2)' < "$WORK/yenc.2"
bash "$INN" post "$WORK/inn" "$WORK"/articles/0* >/dev/null

rm -rf "$DEMO"
mkdir -p "$DEMO/out"
cat > "$DEMO/spindrel.cfg" <<CFG
Config
    OutputDir=$DEMO/out/
    PartsDir=$DEMO/
    LogFile=activity.log
    LoggingEnabled=1
    PartsEnabled=1
    MaxNumParts=50
    ViewAllFiles=1
    MaxPartAge=7
    BandWidthLimit=0
NumServers=1
Server
    Name=127.0.0.1:$PORT,,
    NumGroups=1
    Group=$GROUP,0,0k,Expanded,Include
CFG

if [ -n "${DISPLAY:-}" ] && (cd "$DEMO" && "$ROOT/$BUILD/spindrel"); then
    echo "== spindrel ran in $DEMO"
else
    echo "== spindrel-console in $DEMO"
    (cd "$DEMO" && "$ROOT/$BUILD/spindrel-console")
    source "$ROOT/scripts/window-shots.sh"
    window_shots "$ROOT/$BUILD/spindrel" "$DEMO" "$DEMO/spindrel.png"
    echo "== The window after the run: $DEMO/spindrel.png"
fi

echo
echo "== Decoded files in $DEMO/out/$GROUP"
ls -l "$DEMO/out/$GROUP"
for f in single.bin multipart.bin attachment.jpg holiday.rar; do
    if cmp -s "$WORK/src/$f" "$DEMO/out/$GROUP/$f"; then echo "$f: identical to the posted file"; else echo "$f: DIFFERS or missing"; fi
done
echo
echo "== Activity log ($DEMO/activity.log)"
cat "$DEMO/activity.log"
