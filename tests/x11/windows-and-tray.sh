#!/usr/bin/env bash
# The desktop program's windows on a private X server (run through run-with-xvfb), as a user
# meets them. Without a tray the main window opens even when started as at login;
# `glyphwell --capture` has the running program capture; a second start brings its window
# forward. With a tray (trayer) it opens no window, a click on its icon opens the panel at the
# pointer, Escape closes it, and `glyphwell --show` opens the main window.
# usage: windows-and-tray.sh GLYPHWELL IMAGE
set -u
glyphwell=$1
image=$2
. "$(dirname "$0")/session.sh"

# Another program's window with the text, right of where the main window opens.
show_image text 1100 300 "$image"

# 1. No tray anywhere: never unreachable, the main window comes up.
start_glyphwell --background
wait_for 10 main_window || fail "without a tray the main window did not open"

# 2. A capture asked for from the command line, as a desktop shortcut would.
image_window=$(xdotool search --onlyvisible --name '^text$' | head -n1)
xdotool windowfocus --sync "$image_window" 2>/dev/null
timeout 20 "$glyphwell" --capture || fail "glyphwell --capture failed"
wait_for 10 overlay_up || fail "glyphwell --capture brought no overlay"
drag 1092 292 1750 790
wait_for_sample_text 30
grep -q '"text" : "This is a lot of 12 point text' "$HOME/.local/share/Glyphwell/capture-history.json" \
    || fail "the capture is not in the history"
echo "glyphwell --capture: $(clipboard | head -n1)"

# 3. Starting it again brings the running one's window forward, with the focus.
xdotool windowfocus --sync "$image_window" 2>/dev/null
timeout 20 "$glyphwell" || fail "a second start failed"
wait_for 5 sh -c "[ \"\$(xdotool getwindowfocus)\" = \"$(main_window)\" ]" \
    || fail "a second start did not bring the main window forward"
kill -0 "$glyphwell_pid" 2>/dev/null || fail "the first instance is gone"
stop_glyphwell

# 4. With a tray: no window at start; the icon's panel at the pointer.
start_tray
start_glyphwell --background
wait_for 10 tray_icon || fail "no tray icon appeared"
sleep 4 # longer than the wait for a tray host
[ -z "$(main_window)" ] || fail "a window opened although the tray holds the program"
eval "$(xdotool getwindowgeometry --shell "$(tray_icon)")"
pointer_x=$((X + WIDTH / 2))
pointer_y=$((Y + HEIGHT / 2))
xdotool mousemove "$pointer_x" "$pointer_y" click 1
wait_for 10 tray_panel || fail "a click on the tray icon opened no 300 x 380 panel"
eval "$(xdotool getwindowgeometry --shell "$(tray_panel)")"
echo "panel at $X,$Y for the pointer at $pointer_x,$pointer_y"
[ "$pointer_x" -ge "$X" ] && [ "$pointer_x" -lt $((X + WIDTH)) ] && [ "$pointer_y" -ge "$Y" ] \
    && [ "$pointer_y" -le $((Y + HEIGHT)) ] || fail "the panel at $X,$Y is not at the pointer"
[ "$X" -ge 0 ] && [ "$Y" -ge 0 ] && [ $((X + WIDTH)) -le 1920 ] && [ $((Y + HEIGHT)) -le 1080 ] \
    || fail "the panel leaves the screen"
import -window root "$work/tray-panel.png" 2>/dev/null && screenshot_dir=${GLYPHWELL_SCREENSHOTS:-} \
    && [ -n "$screenshot_dir" ] && mkdir -p "$screenshot_dir" && cp "$work/tray-panel.png" "$screenshot_dir/x11-tray-panel.png"
xdotool key Escape
for _ in $(seq 1 50); do tray_panel >/dev/null || break; sleep 0.1; done
tray_panel >/dev/null && fail "Escape did not close the panel"

timeout 20 "$glyphwell" --show || fail "glyphwell --show failed"
wait_for 10 main_window || fail "glyphwell --show did not open the main window"
stop_glyphwell
echo "windows and tray: all checks passed"
