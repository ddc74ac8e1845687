#!/usr/bin/env bash
# The whole product as a user meets it, on a private X server (run through run-with-xvfb):
# glyphwell starts with a fresh home in a tray (as at login), other programs show an image with
# known text, a QR code and an article in two columns; the user presses Shift+Super+X, drags
# over each and pastes: the text, the code's payload exactly, the left column whole before the
# right one. Then Escape cancels, a second press while the overlay is up starts nothing, and
# SIGTERM ends the program cleanly.
# usage: end-to-end-capture.sh GLYPHWELL IMAGE QR_IMAGE QR_PAYLOAD_FILE
set -u
glyphwell=$1
image=$2
code_image=$3
payload_file=$4
. "$(dirname "$0")/session.sh"

# Two columns of an article, as a browser shows them: the same type and line pitch, a gutter.
columns=$work/columns.png
convert -size 760x170 xc:white -fill black -font DejaVu-Sans -pointsize 15 \
    -annotate +20+30 'Rivers carry the snow of the\nmountains down to the plains,\nwhere farmers have used them\nfor thousands of years.' \
    -annotate +400+30 'Cities grew along the banks\nbecause boats moved goods\nfaster than any road could,\nand the trade made them rich.' \
    "$columns" || fail "could not draw the columns"
# Other programs' windows at known places (no window manager here).
show_image text 100 100 "$image"
show_image code 1000 100 "$code_image"
show_image columns 1000 600 "$columns"

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
xdotool search --onlyvisible --name '^text$' windowfocus --sync 2>/dev/null

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
# Its format (dates, ids): CaptureHistoryEncoding.
grep -q '"selectedLanguageIdentifier" : "automatic"' "$history" || fail "history lacks the language"

# Captures the rectangle with the shortcut and waits for the clipboard to change.
capture() {
    local before
    before=$(clipboard)
    xdotool key shift+super+x
    wait_for 10 overlay_up || fail "the overlay did not come up"
    drag "$@"
    wait_for 30 sh -c "[ \"\$(xclip -o -selection clipboard 2>/dev/null)\" != \"\$0\" ]" "$before" \
        || fail "the capture put nothing new on the clipboard"
    wait_for 10 overlay_gone || fail "the overlay stayed up"
}
read -r width height < <(identify -format '%w %h\n' "$code_image")
capture 990 90 $((1000 + width + 10)) $((100 + height + 10))
[ "$(clipboard)" = "$(cat "$payload_file")" ] \
    || fail "the clipboard holds \"$(clipboard)\", not the code's payload \"$(cat "$payload_file")\""

capture 1005 605 $((1000 + 760 - 5)) $((600 + 170 - 5))
columns_text=$(clipboard)
echo "columns: $columns_text"
left_end=$(grep -n 'thousands of years' <<<"$columns_text" | head -n1 | cut -d: -f1)
right_start=$(grep -n 'Cities grew along' <<<"$columns_text" | head -n1 | cut -d: -f1)
first=$(head -n1 <<<"$columns_text")
[ "$first" = "Rivers carry the snow of the" ] || fail "the capture does not begin with the left column: \"$first\""
[ -n "$left_end" ] && [ -n "$right_start" ] && [ "$left_end" -lt "$right_start" ] \
    || fail "the left column is not read whole before the right one"

# Escape cancels: the overlay goes, nothing new reaches the clipboard or the history.
entries=$(grep -c '"capturedAt"' "$history")
xdotool key shift+super+x
wait_for 10 overlay_up || fail "the overlay did not come up a second time"
xdotool key Escape
wait_for 10 overlay_gone || fail "Escape did not close the overlay"
[ "$(grep -c '"capturedAt"' "$history")" -eq "$entries" ] || fail "a cancelled capture changed the history"
[ "$(clipboard)" = "$columns_text" ] || fail "a cancelled capture changed the clipboard"

stop_glyphwell
echo "end-to-end capture: all checks passed"
