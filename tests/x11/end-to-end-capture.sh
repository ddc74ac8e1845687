#!/usr/bin/env bash
# The whole product as a user meets it, on a private X server (run through run-with-xvfb):
# glyphwell starts with a fresh home in a tray (as at login), another program shows an image
# with known text, the user presses Shift+Super+X, drags over the text, and pastes. Then Escape cancels, a second
# press while the overlay is up starts nothing, and SIGTERM ends the program cleanly.
# usage: end-to-end-capture.sh GLYPHWELL IMAGE
set -u
glyphwell=$1
image=$2
. "$(dirname "$0")/session.sh"

# Another program's window with the text, at a known place (no window manager here).
display -geometry +100+100 "$image" &
pids+=($!)
wait_for 10 xdotool search --onlyvisible --name 'ImageMagick' || fail "the image window did not appear"

# A fresh profile stores the default shortcut once the hot key is registered.
start_glyphwell_in_tray
grep -q 'Error registering hotkey' "$work/glyphwell.log" && fail "the hot key was refused"
# Known by its name, for pgrep and killall (it restarts itself once at start).
[ "$(cat /proc/$glyphwell_pid/comm)" = glyphwell ] || fail "the process is called $(cat /proc/$glyphwell_pid/comm)"

# Started as at login with a tray: no window. A second start at login hands over nothing
# and leaves the first one alone.
second=$(timeout 20 "$glyphwell" --background 2>&1)
status=$?
[ "$status" -eq 0 ] || fail "a second start exited with $status: $second"
kill -0 "$glyphwell_pid" 2>/dev/null || fail "the first instance is gone"
[ -z "$(main_window)" ] || fail "a window opened although the tray holds the program"

# The other program is in front and has the focus, as it would.
xdotool search --onlyvisible --name 'ImageMagick' windowfocus --sync 2>/dev/null

xdotool keydown shift+super+x
sleep 0.3
overlay_gone || fail "the overlay came up on the press, not the release"
xdotool keyup x keyup super keyup shift
wait_for 10 overlay_up || fail "the overlay did not come up after Shift+Super+X"

# Pressing again while the overlay is up starts nothing.
xdotool key shift+super+x
sleep 0.5
[ "$(overlay_count)" -eq 1 ] || fail "a second press opened $(overlay_count) overlays"

drag 92 92 750 590
wait_for_sample_text 30
text=$(clipboard)
echo "clipboard: $text"
case "$text" in
*"This is a lot of 12 point text"*) ;;
*) fail "first line missing from the clipboard" ;;
esac
overlay_gone || fail "the overlay stayed up"

history=$HOME/.local/share/Glyphwell/capture-history.json
[ -f "$history" ] || fail "no history file at $history"
grep -q '"text" : "This is a lot of 12 point text' "$history" || fail "history does not hold the text: $(cat "$history")"
grep -Eq '"capturedAt" : "[0-9]{4}-[0-9]{2}-[0-9]{2}T[0-9]{2}:[0-9]{2}:[0-9]{2}Z"' "$history" \
    || fail "history date is not ISO 8601 UTC with whole seconds"
grep -Eq '"id" : "[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}"' "$history" \
    || fail "history id is not an upper-case UUID"
grep -q '"selectedLanguageIdentifier" : "automatic"' "$history" || fail "history lacks the language"

# Escape cancels: the overlay goes, nothing new reaches the clipboard or the history.
entries=$(grep -c '"capturedAt"' "$history")
xdotool key shift+super+x
wait_for 10 overlay_up || fail "the overlay did not come up a second time"
xdotool key Escape
wait_for 10 overlay_gone || fail "Escape did not close the overlay"
[ "$(grep -c '"capturedAt"' "$history")" -eq "$entries" ] || fail "a cancelled capture changed the history"
[ "$(clipboard)" = "$text" ] || fail "a cancelled capture changed the clipboard"

stop_glyphwell
echo "end-to-end capture: all checks passed"
