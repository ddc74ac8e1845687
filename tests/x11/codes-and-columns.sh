#!/usr/bin/env bash
# What a capture reads from other programs' windows, on a private X server (run through
# run-with-xvfb): the user presses Shift+Super+X and drags over a QR code, with "Capture Text"
# as always, and the code's payload is on the clipboard exactly; then over an article in two
# columns, and the left column comes first, whole, before the right one.
# usage: codes-and-columns.sh GLYPHWELL QR_IMAGE QR_PAYLOAD_FILE
set -u
glyphwell=$1
code_image=$2
payload_file=$3
. "$(dirname "$0")/session.sh"

# Two columns of an article, as a browser shows them: the same type and line pitch, a gutter.
columns=$work/columns.png
convert -size 760x170 xc:white -fill black -font DejaVu-Sans -pointsize 15 \
    -annotate +20+30 'Rivers carry the snow of the\nmountains down to the plains,\nwhere farmers have used them\nfor thousands of years.' \
    -annotate +400+30 'Cities grew along the banks\nbecause boats moved goods\nfaster than any road could,\nand the trade made them rich.' \
    "$columns" || fail "could not draw the columns"

show_image code 100 100 "$code_image"
show_image columns 100 400 "$columns"
start_glyphwell_in_tray

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
capture 90 90 $((100 + width + 10)) $((100 + height + 10))
[ "$(clipboard)" = "$(cat "$payload_file")" ] \
    || fail "the clipboard holds \"$(clipboard)\", not the code's payload \"$(cat "$payload_file")\""

capture 105 405 $((100 + 760 - 5)) $((400 + 170 - 5))
text=$(clipboard)
echo "columns: $text"
left_end=$(grep -n 'thousands of years' <<<"$text" | head -n1 | cut -d: -f1)
right_start=$(grep -n 'Cities grew along' <<<"$text" | head -n1 | cut -d: -f1)
first=$(head -n1 <<<"$text")
[ "$first" = "Rivers carry the snow of the" ] || fail "the capture does not begin with the left column: \"$first\""
[ -n "$left_end" ] && [ -n "$right_start" ] && [ "$left_end" -lt "$right_start" ] \
    || fail "the left column is not read whole before the right one"
echo "codes and columns: all checks passed"
