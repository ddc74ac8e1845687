#!/usr/bin/env bash
# Two outputs of different scales on a real Wayland desktop (run through run-on-sway): a 1×
# output and a 2× output right of it, text shown on the 2× one. The overlay covers each
# output, and a drag over the text on the 2× output reads it from the frozen frame.
# usage: two-outputs-on-sway.sh IMAGE   ($GLYPHWELL is the program)
set -u
image=$1
. "$(dirname "$(readlink -f "$0")")/helpers.sh"
swaymsg create_output >/dev/null || fail "sway made no second output"
swaymsg output HEADLESS-2 resolution 1600x1000 scale 2 position 2000 0 >/dev/null
# The text at half size in an 800 × 500 picture, shown at the output's 2× in its middle:
# the text covers layout points (2300, 187) to (2500, 312).
convert -size 800x500 xc:white "$image" -resize 50% -geometry +20+20 -composite "$work/right.png"
swaymsg output HEADLESS-2 bg "$work/right.png" center >/dev/null

start_pointer 2800 1000
overlays() { swaymsg -t get_tree | jq -r '.. | objects | select(.type == "con") | select(.name | startswith("Glyphwell Selection")) | "\(.rect.x),\(.rect.y) \(.rect.width)x\(.rect.height)"' | sort; }

"$GLYPHWELL" >"$work/glyphwell.log" 2>&1 &
glyphwell_pid=$!
for _ in $(seq 1 100); do swaymsg -t get_tree | grep -q '"name": "Glyphwell"' && break; sleep 0.1; done
"$GLYPHWELL" --capture || fail "glyphwell --capture failed"
for _ in $(seq 1 100); do [ "$(overlays | wc -l)" -eq 2 ] && break; sleep 0.1; done
[ "$(overlays)" = "$(printf '0,0 2000x1000\n2000,0 800x500')" ] || fail "the overlays cover $(overlays)"
pointer move 2295 180
sleep 0.2
pointer press
for step in 1 2 3 4 5; do
    pointer move $((2295 + step * 42)) $((180 + step * 28))
    sleep 0.05
done
grim "$work/shots/wayland-two-scales-mid-drag.png"
pointer release
for _ in $(seq 1 300); do timeout 5 wl-paste 2>/dev/null | grep -q 'lazy fox' && break; sleep 0.1; done
text=$(timeout 5 wl-paste 2>/dev/null)
case "$text" in *"This is a lot of 12 point text"*"lazy fox"*) ;; *) fail "the clipboard holds: $text" ;; esac
echo "clipboard: $text"

# A drag that begins on the 1x output and ends on the 2x one: the surface it began on keeps
# the pointer, and the far end must be read on the 2x output, at its origin and scale.
wl-copy --clear
"$GLYPHWELL" --capture || fail "glyphwell --capture failed"
for _ in $(seq 1 100); do [ "$(overlays | wc -l)" -eq 2 ] && break; sleep 0.1; done
pointer move 1950 150
sleep 0.2
pointer press
for step in 1 2 3 4 5; do
    pointer move $((1950 + step * 114)) $((150 + step * 36))
    sleep 0.05
done
grim "$work/shots/wayland-two-scales-crossing-drag.png"
pointer release
for _ in $(seq 1 300); do timeout 5 wl-paste 2>/dev/null | grep -q 'lazy fox' && break; sleep 0.1; done
text=$(timeout 5 wl-paste 2>/dev/null)
case "$text" in *"file format"*"lazy fox"*) ;; *) fail "after a drag across the outputs the clipboard holds: $text" ;; esac
echo "clipboard after the crossing drag: $text"
kill -TERM "$glyphwell_pid"
wait "$glyphwell_pid" || fail "glyphwell did not exit cleanly"
echo "two outputs on sway: all checks passed"
