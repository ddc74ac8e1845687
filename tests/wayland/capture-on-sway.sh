#!/usr/bin/env bash
# The whole product on a real Wayland desktop (run through run-on-sway), as a user meets it:
# glyphwell starts, the desktop's own key binding (Mod4+Shift+x, pressed with wtype) runs
# "glyphwell --capture", the overlay shows the frozen frame, a drag with the pointer over
# known text puts it on the clipboard, in the history and in the main window; Escape cancels;
# a screenshot request the desktop fails gives the screen-access guidance.
# usage: capture-on-sway.sh IMAGE   ($GLYPHWELL is the program)
set -u
image=$1
. "$(dirname "$(readlink -f "$0")")/helpers.sh"
windows() { swaymsg -t get_tree | jq -r '.. | objects | select(.type == "con" or .type == "floating_con") | .name'; }
overlay_up() { windows | grep -q '^Glyphwell Selection'; }
overlay_gone() { ! overlay_up; }
overlay_focused() { swaymsg -t get_tree | jq -r '.. | objects | select(.focused == true) | .name' | grep -q '^Glyphwell Selection'; }
main_window_up() { windows | grep -qx Glyphwell; }
clipboard() { timeout 5 wl-paste --no-newline 2>/dev/null; }
history=$HOME/.local/share/Glyphwell/capture-history.json
entries() { grep -c '"capturedAt"' "$history" 2>/dev/null || echo 0; }
# What the main window shows, read back from the compositor's picture of it.
main_window_text() {
    grim -g "1120,40 860x600" "$work/window.png" && "$GLYPHWELL" --recognize "$work/window.png" --language en-US
}

# Another program shows the known text: the wallpaper, left of where the window floats.
background=$work/background.png
convert -size 2000x1000 xc:'#808080' "$image" -geometry +40+200 -composite "$background" \
    || fail "could not compose the wallpaper"
swaymsg output HEADLESS-1 bg "$background" center >/dev/null || fail "sway did not take the wallpaper"

start_pointer 2000 1000
drag() { # x1 y1 x2 y2, in steps as a hand does
    pointer move "$1" "$2"
    sleep 0.2
    pointer press
    for step in 1 2 3 4 5 6; do
        pointer move $(($1 + ($3 - $1) * step / 6)) $(($2 + ($4 - $2) * step / 6))
        sleep 0.05
    done
}

"$GLYPHWELL" >"$work/glyphwell.log" 2>&1 &
glyphwell_pid=$!
wait_for 20 main_window_up || fail "the main window did not open (no tray here)"
grep -q '^glyphwell: capture: portal screenshot; shortcuts: ' "$work/glyphwell.log" \
    || fail "the start-up line does not name the Wayland methods"
# sway has no shortcut portal; where another desktop's back-end answers for it (installed
# beside), its refusal turns the start-up's "portal shortcuts" into the desktop binding.
wait_for 10 grep -q 'shortcuts: desktop binding' "$work/glyphwell.log" || fail "the shortcuts are not said to need a binding"
grep -q 'bindsym Mod4+Shift+x exec glyphwell --capture' "$work/glyphwell.log" || fail "no hint to bind glyphwell --capture in sway's config"
sleep 1
grim "$work/shots/wayland-main-window.png"

# A second start from a launcher brings the running window forward: the launcher's activation
# token goes to the running program, which shows it to the desktop. (Before any input reached
# Glyphwell, so the window has no token of its own to ask with.)
focused() { swaymsg -t get_tree | jq -r '.. | objects | select(.focused == true) | .name'; }
main_window_focused() { [ "$(focused)" = Glyphwell ]; }
swaymsg workspace 2 >/dev/null
[ "$(focused)" = 2 ] || fail "the empty workspace did not take the focus: $(focused)"
XDG_ACTIVATION_TOKEN=$(activation_token) "$GLYPHWELL" || fail "the second start could not reach the first"
wait_for 5 main_window_focused || fail "the running window did not come forward: $(focused) has the focus"

# The desktop's key binding runs glyphwell --capture, which asks the running program.
wtype -M logo -M shift x -m shift -m logo
wait_for 15 overlay_up || fail "the overlay did not come up after the desktop binding"
drag 30 190 700 690
grim "$work/shots/wayland-overlay-mid-drag.png"
# Inside the hole the frozen frame shows as it is; outside it is dimmed (black at alpha 0.35).
hole=$(convert "$work/shots/wayland-overlay-mid-drag.png" -format '%[fx:int(255*p{20,600}.r)] %[fx:int(255*p{20,150}.r)] %[fx:int(255*p{400,650}.r)]' info:)
read -r left above inside <<<"$hole"
[ "$inside" -ge 120 ] && [ "$left" -le 90 ] && [ "$above" -le 90 ] \
    || fail "the overlay does not show a dimmed frame with a clear hole (grey values $hole)"
pointer release
wait_for 40 sh -c "timeout 5 wl-paste 2>/dev/null | grep -q 'lazy fox'" \
    || fail "the clipboard does not hold the text; it holds: $(clipboard)"
text=$(clipboard)
echo "clipboard: $text"
case "$text" in *"This is a lot of 12 point text"*) ;; *) fail "the first line is missing" ;; esac
wait_for 5 overlay_gone || fail "the overlay stayed up"
grep -q '"text" : "This is a lot of 12 point text' "$history" || fail "the history lacks the text"
sleep 0.5
grim "$work/shots/wayland-main-window-after-capture.png"
main_window_text | grep -q 'quick brown dog' || fail "the main window does not show the text: $(main_window_text)"

# Escape cancels: nothing new reaches the clipboard or the history.
before=$(entries)
wtype -M logo -M shift x -m shift -m logo
wait_for 15 overlay_up || fail "the overlay did not come up a second time"
# The compositor gives it the keyboard focus as it maps; Escape goes wherever the focus is.
wait_for 10 overlay_focused || fail "the overlay did not get the keyboard focus"
# Each wtype brings a keyboard to the seat for its run only: give the clients a moment to
# take it before the key comes.
wtype -s 500 -k Escape
wait_for 10 overlay_gone || fail "Escape did not close the overlay"
[ "$(entries)" -eq "$before" ] || fail "a cancelled capture changed the history"
[ "$(clipboard)" = "$text" ] || fail "a cancelled capture changed the clipboard"

# A screenshot request the desktop never answers (its screenshot back-end hangs) ends the
# capture with the guidance, not with a wait for ever or an overlay over nothing.
pkill -STOP -f xdg-desktop-portal-wlr || fail "no screenshot back-end to stop"
"$GLYPHWELL" --capture
wait_for 60 sh -c "grep -q 'Screen access refused' '$work/glyphwell.log'" || fail "the unanswered request did not end"
pkill -CONT -f xdg-desktop-portal-wlr
overlay_gone || fail "an overlay came up without a frame"
sleep 0.5
grim "$work/shots/wayland-main-window-refused.png"
main_window_text | grep -q 'Enable Screen Recording' \
    || fail "the window does not show the screen-access guidance: $(main_window_text)"

kill -TERM "$glyphwell_pid"
wait "$glyphwell_pid"
status=$?
[ "$status" -eq 0 ] || fail "glyphwell exited with $status on SIGTERM"
echo "capture on sway: all checks passed"
