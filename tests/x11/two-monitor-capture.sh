#!/usr/bin/env bash
# The product on one X screen split into two monitors (run through run-with-xvfb with
# GLYPHWELL_XVFB="... monitors=... scales=..."): another program shows the same text on the
# second monitor and across the boundary of the two; the user presses Shift+Super+X and drags
# over each. The text must reach the clipboard whole, and the program that had the focus must
# have it again afterwards, so the paste lands there.
# usage: two-monitor-capture.sh GLYPHWELL IMAGE EXPECTED_TEXT_FILE
set -u
glyphwell=$1
image=$2
expected=$3
. "$(dirname "$0")/session.sh"

[ "$(xrandr --listmonitors | head -n1)" = "Monitors: 2" ] || fail "the server is not split into two monitors"
read -r width height < <(identify -format '%w %h\n' "$image")

# Text wholly on the second monitor (x from 1280), and text across the boundary at x = 1280.
second_x=1700 second_y=20
across_x=$((1280 - width / 2)) across_y=510
show_image second "$second_x" "$second_y" "$image"
show_image across "$across_x" "$across_y" "$image"
start_glyphwell_in_tray

# Line by line; the blank line between paragraphs is not part of what recognition keeps.
want=$(grep -v '^$' "$expected")

two_overlays() { [ "$(overlay_count)" -eq 2 ]; }
# Drags over the image at $1,$2 with a margin of 8 pixels and checks what reaches the clipboard.
capture_image_at() {
    local x=$1 y=$2 name=$3
    local focused
    focused=$(xdotool search --onlyvisible --name "^$name\$" | head -n1)
    xdotool windowfocus --sync "$focused" 2>/dev/null
    # Something else on the clipboard, so a new copy of the same text can be seen.
    printf 'before %s' "$name" | xclip -selection clipboard
    xdotool key shift+super+x
    wait_for 10 two_overlays || fail "$name: not one overlay window per monitor ($(overlay_count))"
    drag $((x - 8)) $((y - 8)) $((x + width + 8)) $((y + height + 8))
    wait_for 30 sh -c "xclip -o -selection clipboard 2>/dev/null | grep -qv '^before'" \
        || fail "$name: nothing new reached the clipboard"
    local text
    text=$(clipboard)
    echo "$name: $(echo "$text" | tr '\n' '|')"
    [ "$(echo "$text" | grep -v '^$')" = "$want" ] || fail "$name: the text differs from $expected"
    wait_for 5 overlay_gone || fail "$name: the overlay stayed up"
    [ "$(xdotool getwindowfocus)" = "$focused" ] \
        || fail "$name: the focus went to $(xdotool getwindowfocus), not back to $focused"
}

capture_image_at "$second_x" "$second_y" second
capture_image_at "$across_x" "$across_y" across
echo "two-monitor capture at scales ${QT_SCREEN_SCALE_FACTORS:-1}: all checks passed"
