#!/usr/bin/env bash
# Runs spindrel under Xvfb against a private INN2 server and saves a screenshot of every window, reached the
# way a user reaches them (mnemonics, Tab, context menus): the main window before, during and after a run,
# the tree's context menus, the host, group-properties and group dialogs, every page of the property sheet,
# the path selection dialog, the parts browser, the help window and the About box.
#   bash scripts/window-tour.sh [OUTDIR]     (default: window-tour/; needs a built build/spindrel)
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
OUT="$(mkdir -p "${1:-window-tour}" && cd "${1:-window-tour}" && pwd)"
PROGRAM="$ROOT/${BUILD:-build}/spindrel"

GROUP=alt.binaries.spindrel.tour
source "$ROOT/scripts/private-news-server.sh"
start_private_news_server tour "$GROUP"

article() { # article FILE SUBJECT: headers on stdout, the body from stdin
    local body; body="$(cat)"
    {
        printf 'From: tour@example.invalid\nNewsgroups: %s\nSubject: %s\n' "$GROUP" "$2"
        printf 'Lines: %s\n\n' "$(printf '%s\n' "$body" | wc -l)"
        printf '%s\n' "$body"
    } > "$1"
}
# A file, and one part of a post of two, which stays in the parts store for the browser. The second server
# does not exist: the run goes on for a few seconds trying to reach it.
mkdir -p "$WORK/src" "$WORK/articles"
head -c 400000 /dev/urandom > "$WORK/src/harbour.jpg"
head -c 60000 /dev/urandom > "$WORK/src/album.zip"
uuencode "$WORK/src/harbour.jpg" harbour.jpg | article "$WORK/articles/01" "harbour.jpg (1/1)"
uuencode "$WORK/src/album.zip" album.zip > "$WORK/album.uue"
split -n l/2 -d "$WORK/album.uue" "$WORK/album.part"
article "$WORK/articles/02" "album.zip (1/2)" < "$WORK/album.part00"
bash "$INN" post "$WORK/inn" "$WORK"/articles/0* >/dev/null

DIR="$WORK/client"
mkdir -p "$DIR/out"
cat > "$DIR/spindrel.cfg" <<CFG
Config
    OutputDir=$DIR/out/
    PartsDir=$DIR/
    LogFile=activity.log
    LoggingEnabled=1
    PartsEnabled=1
    MaxNumParts=50
    ViewAllFiles=1
NumServers=2
Server
    Name=127.0.0.1:$PORT,,
    NumGroups=2
    Group=$GROUP,0,0k,Expanded,Include
    Group=alt.binaries.sounds.spindrel,0,25k,Collapsed,Skip
Server
    Name=news.example.org,,
    NumGroups=0
CFG
# The server's group list as a fetch leaves it, for the selection dialog.
{ echo "Jan 05 2026/260105 203000"; echo 6
  printf '%s\n' alt.binaries.pictures alt.binaries.sounds.spindrel alt.binaries.spindrel.tour comp.lang.c \
      misc.misc rec.arts.movies; } > "$DIR/127.0.0.1:$PORT"

profile="$(mktemp -d)" # the window placement of a user is neither read nor changed
XDG_CONFIG_HOME="$profile" timeout 300 xvfb-run -a -s "-screen 0 1024x700x24" \
    bash -s "$PROGRAM" "$DIR" "$OUT" <<'TOUR'
set -u
program="$1" dir="$2" out="$3"
(cd "$dir" && exec "$program") &
pid=$!

shot() { # shot NAME TITLE: the newest visible window whose title matches, alone
    local id X=0 Y=0 WIDTH=0 HEIGHT=0 SCREEN WINDOW
    id="$(timeout 10 xdotool search --sync --onlyvisible --name "$2" | tail -n 1)"
    [ -n "$id" ] || { echo "no window: $2"; return 0; }
    eval "$(xdotool getwindowgeometry --shell "$id")"
    scrot -o -a "$X,$Y,$WIDTH,$HEIGHT" "$out/$1.png"
}
screen() { scrot -o "$out/$1.png"; } # menus have no title: the whole screen
key() { xdotool key --delay 150 "$@"; sleep 0.8; }
main() { xdotool search --onlyvisible --name "^Spindrel" | head -n 1; }
# Without a window manager a dialog has the keyboard only once it is given it.
focus() { xdotool windowfocus "$(xdotool search --onlyvisible --name "$1" | tail -n 1)"; sleep 0.5; }
# The tree's rows in a window at the top left corner: 18 pixels apart, the first at y 20.
row() { xdotool mousemove 520 $((20 + 18 * $1)) click "${2:-1}"; sleep 0.8; }

timeout 30 xdotool search --sync --onlyvisible --name "^Spindrel 1.4w" >/dev/null
sleep 2
shot 01-main-idle "^Spindrel 1.4w"
xdotool windowfocus "$(main)"; sleep 0.5
key alt+s
sleep 0.4
shot 02-main-running "^Spindrel"
for _ in $(seq 90); do # the run ends
    [ "$(grep -c "^Finished" "$dir/activity.log" 2>/dev/null)" = 2 ] && break # one per server
    sleep 1
done
sleep 2
shot 03-main-after "^Spindrel 1.4w"

row 0 3; screen 04-menu-server
key h; shot 05-new-host "Add Host"; key Escape
row 0 3; key p; shot 06-server-properties "Properties for"; key Escape
row 1 3; screen 07-menu-group
key p; shot 08-group-properties "spindrel.tour"; key Escape
row 0 3; key g; shot 09-add-groups "Add new group"
key Tab space; sleep 1.5; shot 10-select-groups "Select News Groups"
key Escape; focus "Add new group"; key Escape
row 14 3; screen 11-menu-no-node; key Escape
xdotool mousemove 60 400 click 3; sleep 0.8; screen 12-menu-window
key a; shot 13-about "About"; key Return

xdotool windowfocus "$(main)"; sleep 0.5
key alt+c
shot 20-sheet-1 "Spindrel Properties"
focus "Spindrel Properties"; key alt+p Tab space; shot 21-path-dialog "Path Selection"; key Escape
for page in 2 3 4 5 6; do
    focus "Spindrel Properties"; key ctrl+Tab
    shot "2$((page))-sheet-$page" "Spindrel Properties"
done
focus "Spindrel Properties"; key ctrl+shift+Tab ctrl+shift+Tab ctrl+shift+Tab # back to the parts page
key alt+b; sleep 1; shot 27-parts-browser "Browse Collected Parts"; key Escape
focus "Spindrel Properties"; key Escape
xdotool windowfocus "$(main)"; sleep 0.5
key alt+h; shot 28-help "Spindrel Help"
cp "$dir/activity.log" "$out/activity.log" 2>/dev/null
kill "$pid"
wait "$pid" 2>/dev/null
exit 0
TOUR
rm -rf "$profile"
ls "$OUT"
