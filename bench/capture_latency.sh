#!/usr/bin/env bash
# Latency of a real capture on a private X server: glyphwell runs in a tray with a fresh
# profile (language "Automatic"), another program shows a five-line snippet, and
# capture_latency presses Shift+Super+X, drags over the snippet and waits for the clipboard.
# Printed: the times glyphwell logs for each step (GLYPHWELL_TIMING), the times seen from
# outside, and glyphwell's CPU time and resident memory after the captures and after idling.
# usage: tests/x11/run-with-xvfb bench/capture_latency.sh BUILD-DIR [ROUNDS]
set -u
build=$(cd "$1" && pwd)
rounds=${2:-20}
here=$(cd "$(dirname "$0")" && pwd)
image=$here/data/screen/en-US_14_ui.png # 246 x 148, five lines of interface text
. "$here/../tests/x11/session.sh"

display -geometry +100+100 "$image" &
pids+=($!)
wait_for 10 xdotool search --onlyvisible --name 'ImageMagick' || fail "the image window did not appear"
start_tray
GLYPHWELL_TIMING=1 "$build/glyphwell" --background >"$work/glyphwell.log" 2>&1 &
glyphwell_pid=$!
pids+=($glyphwell_pid)
wait_for 20 grep -q KeyboardShortcuts_captureText "$HOME/.config/Glyphwell/Glyphwell.conf" \
    || fail "glyphwell did not register its shortcut"
pid=$glyphwell_pid # its restart at start replaces the program in the same process
xdotool search --onlyvisible --name 'ImageMagick' windowfocus --sync 2>/dev/null

# A round whose clipboard text was wrong is counted below, not fatal: the times still stand.
"$build/bench/capture_latency" "$rounds" 96 96 352 252 "Keyboard Shortcuts" >"$work/outside.txt"
[ -s "$work/outside.txt" ] || fail "no capture worked"
sleep 1
read -r utime stime rss <<<"$(awk '{print $14, $15, $24}' /proc/$pid/stat)"
sleep 10
read -r utime2 stime2 rss2 <<<"$(awk '{print $14, $15, $24}' /proc/$pid/stat)"
ticks=$(getconf CLK_TCK)
page_kb=$(($(getconf PAGESIZE) / 1024))

python3 - "$work/outside.txt" "$work/glyphwell.log" <<EOF
import sys
outside = [line.split() for line in open(sys.argv[1])]
steps = [line.split() for line in open(sys.argv[2]) if line.startswith("glyphwell-timing ")]

def stats(name, values):
    values = sorted(values)
    if not values:
        print(f"{name:48} no data")
        return
    p = lambda f: values[min(len(values) - 1, int(f * (len(values) - 1) + 0.5))]
    print(f"{name:48} n={len(values):<3} median {p(0.5):6.1f} ms  p95 {p(0.95):6.1f} ms  max {values[-1]:6.1f} ms")

# The program's own marks, grouped into captures by their order: shortcut .. clipboard.
captures, current = [], {}
for _, step, us in steps:
    if step == "shortcut":
        current = {}
        captures.append(current)
    current[step] = int(us) / 1000
inside = [c for c in captures if "clipboard" in c]
print(f"capture latency on Xvfb, {len(outside)} captures of a five-line snippet (246x148, language Automatic)")
print("inside glyphwell (GLYPHWELL_TIMING marks):")
for first, last, label in (("shortcut", "frame", "shortcut handler -> frame grabbed"),
                           ("shortcut", "overlay", "shortcut handler -> overlay painted"),
                           ("release", "grab", "mouse release -> image cropped"),
                           ("grab", "recognized", "image -> text recognised"),
                           ("recognized", "clipboard", "text -> clipboard"),
                           ("release", "clipboard", "mouse release -> clipboard")):
    stats("  " + label, [c[last] - c[first] for c in inside if first in c and last in c])
print("outside (X events seen by the driving client):")
rows = [dict(zip(r[2::2], r[3::2])) for r in outside]
stats("  key release -> overlay window mapped", [(int(r["overlay-mapped"]) - int(r["keyup"])) / 1000 for r in rows])
stats("  mouse release -> clipboard taken", [(int(r["clipboard"]) - int(r["release"])) / 1000 for r in rows])
print(f"  clipboard text right: {sum(r['text-ok'] == '1' for r in rows)} of {len(rows)}")
EOF
busy=$(( (utime2 + stime2 - utime - stime) * 1000 / ticks ))
echo "glyphwell after the captures: resident $((rss * page_kb / 1024)) MB; over 10 s idle: ${busy} ms CPU, resident $((rss2 * page_kb / 1024)) MB"
