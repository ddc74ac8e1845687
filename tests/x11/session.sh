# Sourced by the end-to-end scripts: a fresh home for glyphwell, the helper processes ended
# and the home removed at exit, and the small waits and checks every script uses.
work=$(mktemp -d)
export HOME=$work/home
unset XDG_DATA_HOME XDG_CONFIG_HOME XDG_CURRENT_DESKTOP
mkdir -p "$HOME"
pids=()
# A session bus of its own, where glyphwell owns its name and answers a second start.
bus=$(dbus-daemon --session --fork --print-address=1 --print-pid=1 2>/dev/null) || { echo "no dbus-daemon" >&2; exit 1; }
export DBUS_SESSION_BUS_ADDRESS=$(echo "$bus" | head -n1)
bus_pid=$(echo "$bus" | tail -n1)
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null; done
    kill "$bus_pid" 2>/dev/null
    wait 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT
. "$(dirname "${BASH_SOURCE[0]}")/../lib/checks.sh"
clipboard() { xclip -o -selection clipboard 2>/dev/null; }
# Drags the pointer from (x0, y0) to (x1, y1) in seven moves, as a hand would.
drag() {
    local x0=$1 y0=$2 x1=$3 y1=$4 step
    xdotool mousemove "$x0" "$y0" mousedown 1
    for step in 1 2 3 4 5 6; do
        xdotool mousemove $((x0 + (x1 - x0) * step / 7)) $((y0 + (y1 - y0) * step / 7))
        sleep 0.05
    done
    xdotool mousemove "$x1" "$y1" mouseup 1
}
# Waits until the clipboard holds the sample image's text.
wait_for_sample_text() {
    wait_for "$1" sh -c 'xclip -o -selection clipboard 2>/dev/null | grep -q "lazy fox"' \
        || fail "the clipboard does not hold the text; it holds: $(clipboard)"
}
overlay_count() { xdotool search --onlyvisible --name '^Glyphwell Selection' 2>/dev/null | wc -l; }
overlay_up() { [ "$(overlay_count)" -ge 1 ]; }
overlay_gone() { [ "$(overlay_count)" -eq 0 ]; }
# An XEmbed tray at the top left, as a desktop panel has; `glyphwell --background` then
# lives in it and opens no window.
start_tray() {
    trayer --edge top --align left --widthtype pixel --width 200 --height 28 >/dev/null 2>&1 &
    pids+=($!)
    wait_for 10 xdotool search --onlyvisible --class trayer || fail "the tray did not start"
}
# Shows IMAGE in another program's window titled TITLE at +X+Y and waits for it.
show_image() {
    local title=$1 x=$2 y=$3 image=$4
    display -title "$title" -geometry "+$x+$y" "$image" &
    pids+=($!)
    wait_for 10 xdotool search --onlyvisible --name "^$title\$" || fail "the $title window did not appear"
}
# Starts glyphwell with ARGS, logging to $work/glyphwell.log, and waits until its default
# shortcut is stored, that is registered; its process id is in $glyphwell_pid.
start_glyphwell() {
    "$glyphwell" "$@" >>"$work/glyphwell.log" 2>&1 &
    glyphwell_pid=$!
    pids+=($glyphwell_pid)
    wait_for 20 grep -q KeyboardShortcuts_captureText "$HOME/.config/Glyphwell/Glyphwell.conf" \
        || fail "glyphwell did not register its shortcut"
}
# As at login with a tray.
start_glyphwell_in_tray() {
    start_tray
    start_glyphwell --background
}
# SIGTERM ends it cleanly.
stop_glyphwell() {
    kill -TERM "$glyphwell_pid"
    wait "$glyphwell_pid"
    local status=$?
    [ "$status" -eq 0 ] || fail "glyphwell exited with $status on SIGTERM"
}
# The first visible window of ours whose geometry passes the test in $1, which sees WIDTH,
# HEIGHT, X, Y and window.
glyphwell_window() {
    local window
    for window in $(xdotool search --onlyvisible --classname glyphwell 2>/dev/null); do
        eval "$(xdotool getwindowgeometry --shell "$window")"
        eval "$1" && { echo "$window"; return 0; }
    done
    return 1
}
# The main window: titled "Glyphwell" and window-sized (the overlay covers a screen under
# another title, the panel is 300 wide, the tray icon a few pixels).
main_window() { glyphwell_window '[ "$WIDTH" -ge 820 ] && [ "$(xdotool getwindowname "$window")" = Glyphwell ]'; }
tray_icon() { glyphwell_window '[ "$WIDTH" -le 64 ] && [ "$HEIGHT" -le 64 ]'; }
tray_panel() { glyphwell_window '[ "$WIDTH" -eq 300 ] && [ "$HEIGHT" -eq 380 ]'; }
