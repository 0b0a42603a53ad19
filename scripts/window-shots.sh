# Sourced by the demo and the screenshot script: runs spindrel under a private X server (Xvfb) in a
# directory and saves screenshots of it.
window_shots() { # window_shots SPINDREL DIR WINDOW_PNG [MENU_PNG]
    local program="$1" dir="$2" window_png="$3" menu_png="${4:-}"
    local profile
    profile="$(mktemp -d)" # the window placement of a user is neither read nor changed
    XDG_CONFIG_HOME="$profile" timeout 120 xvfb-run -a -s "-screen 0 1024x640x24" \
        bash -s "$program" "$dir" "$window_png" "$menu_png" <<'SHOTS'
set -u
program="$1" dir="$2" window_png="$3" menu_png="$4"
(cd "$dir" && exec "$program") &
pid=$!
# Bounded waits: for the window, then for the tree to fill and the screen to settle.
timeout 30 xdotool search --sync --onlyvisible --name "^Spindrel 1.4w" >/dev/null
sleep 2
# Only the window, not the empty screen around it.
eval "$(xdotool search --onlyvisible --name "^Spindrel 1.4w" getwindowgeometry --shell | head -n 6)"
area="$X,$Y,$WIDTH,$HEIGHT"
scrot -o -a "$area" "$window_png"
if [ -n "$menu_png" ]; then
    # The first file under the first group: third row of the tree.
    xdotool mousemove 480 56 click 3
    sleep 1
    scrot -o -a "$area" "$menu_png"
    xdotool key Escape
fi
kill "$pid"
wait "$pid" 2>/dev/null
exit 0
SHOTS
    rm -rf "$profile"
}
