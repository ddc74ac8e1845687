#!/usr/bin/env bash
# What a user waits for, on a private X server, with real input: another program shows a
# screen (bench/data/latency: a five-line paragraph of 13 px text, a 1000 x 450 area of code,
# a full-HD web page), glyphwell runs in a tray with a fresh profile (language "Automatic"),
# and capture_latency presses Shift+Super+X, drags over the screen and waits for the clipboard.
# Each screen gets a glyphwell of its own, so its first capture is the first after start
# (3 s after it registered its shortcut, as a user's first capture comes seconds after login).
# Printed per screen, in one table: key release -> overlay mapped, mouse release -> clipboard
# (the first capture, then the warm ones: median and p95), for this build, for PREVIOUS (a
# glyphwell built from an earlier commit, see bench/build-previous.sh) when given, and for raw
# tesseract on the same image (one thread, the whole process, model loading included). Then,
# after the paragraph's and the page's captures, each build's CPU time over 10 s of idling and
# its resident memory just after the captures and at rest, 30 s after them (what a user's
# desktop carries between captures).
# usage: tests/x11/run-with-xvfb bench/capture_latency.sh BUILD-DIR [ROUNDS] [PREVIOUS-GLYPHWELL]
set -u
build=$(cd "$1" && pwd)
rounds=${2:-10}
previous=${3:-}
here=$(cd "$(dirname "$0")" && pwd)
data=$here/data/latency
. "$here/../tests/x11/session.sh"

# name, where the window stands, the drag (a few pixels beyond the image, as users select)
scenarios=("paragraph 100 100" "code 100 100" "page 0 0")
programs=("glyphwell=$build/glyphwell")
[ -n "$previous" ] && programs+=("previous=$previous")
megabytes() { echo $(($1 * $(getconf PAGESIZE) / 1048576)); }
start_tray
results=$work/results.txt
: >"$results"

for scenario in "${scenarios[@]}"; do
    read -r name x y <<<"$scenario"
    image=$data/$name.png
    read -r width height <<<"$(identify -format '%w %h' "$image")"
    show_image "latency $name" "$x" "$y" "$image"
    viewer=${pids[-1]}
    left=$((x > 4 ? x - 4 : 0)) top=$((y > 4 ? y - 4 : 0))
    right=$((x + width + 3 < 1919 ? x + width + 3 : 1919)) bottom=$((y + height + 3 < 1079 ? y + height + 3 : 1079))
    expected=$(head -n1 "$data/$name.txt" 2>/dev/null || echo "Seabirds return")
    for entry in "${programs[@]}"; do
        label=${entry%%=*} program=${entry#*=}
        export HOME=$work/home-$label-$name
        mkdir -p "$HOME"
        GLYPHWELL_TIMING=1 "$program" --background >"$work/$label-$name.log" 2>&1 &
        pid=$!
        wait_for 20 grep -q KeyboardShortcuts_captureText "$HOME/.config/Glyphwell/Glyphwell.conf" \
            || fail "$label did not register its shortcut"
        # A user's first capture comes a few seconds after the program started, at the least.
        sleep 3
        "$build/bench/capture_latency" "$rounds" "$left" "$top" "$right" "$bottom" "$expected" \
            2>>"$work/driver.log" | sed "s/^/$label $name /" >>"$results"
        if [ "$name" != code ]; then
            sleep 1
            read -r utime stime rss <<<"$(awk '{print $14, $15, $24}' /proc/$pid/stat)"
            sleep 10
            read -r utime2 stime2 <<<"$(awk '{print $14, $15}' /proc/$pid/stat)"
            sleep 19
            rest=$(awk '{print $24}' /proc/$pid/stat)
            echo "$label $name $(megabytes "$rss") $(megabytes "$rest") $(( (utime2 + stime2 - utime - stime) * 1000 / $(getconf CLK_TCK) ))" >>"$work/idle.txt"
        fi
        kill "$pid" 2>/dev/null
        wait "$pid" 2>/dev/null
    done
    kill "$viewer" 2>/dev/null
    # Raw tesseract on the same image, as a program that starts, reads and ends.
    for round in $(seq "$rounds"); do
        start=$(date +%s%N)
        OMP_THREAD_LIMIT=1 tesseract "$image" - -l eng >/dev/null 2>&1
        echo "tesseract $name round $round ms $(( ($(date +%s%N) - start) / 1000000 ))" >>"$results"
    done
done
[ -s "$results" ] || fail "no capture worked"

python3 - "$results" "$rounds" "$work" <<EOF
import sys
rows = [line.split() for line in open(sys.argv[1])]
rounds = int(sys.argv[2])

def stat(values):
    values = sorted(values)
    if not values:
        return "-"
    p = lambda f: values[min(len(values) - 1, int(f * (len(values) - 1) + 0.5))]
    return f"{p(0.5):.0f} / {p(0.95):.0f}"

print(f"capture latency on Xvfb (1920x1080), {rounds} captures per screen and program, language Automatic")
print("ms, median / p95; 'first' is the first capture after start, 'warm' the others\n")
labels = [l for l in ("glyphwell", "previous", "tesseract") if any(r[0] == l for r in rows)]
print(f"{'screen':10} {'measure':28}" + "".join(f"{l:>18}" for l in labels))
for name in ("paragraph", "code", "page"):
    def cell(label, measure):
        mine = [r for r in rows if r[0] == label and r[1] == name]
        if label == "tesseract":
            return stat([float(r[5]) for r in mine]) if measure == "release -> clipboard, warm" else ""
        fields = [dict(zip(r[4::2], r[5::2])) | {"round": int(r[3])} for r in mine]
        took = lambda f: (int(f["clipboard"]) - int(f["release"])) / 1000 if int(f["clipboard"]) else 1e9
        if measure == "release -> clipboard, first":
            return stat([took(f) for f in fields if f["round"] == 1])
        if measure == "release -> clipboard, warm":
            return stat([took(f) for f in fields if f["round"] > 1])
        if measure == "key -> overlay mapped":
            return stat([(int(f["overlay-mapped"]) - int(f["keyup"])) / 1000 for f in fields])
        return f"{sum(f['text-ok'] == '1' for f in fields)} of {len(fields)}"
    for measure in ("release -> clipboard, first", "release -> clipboard, warm", "key -> overlay mapped",
                    "clipboard holds the text"):
        print(f"{name:10} {measure:28}" + "".join(f"{cell(l, measure):>18}" for l in labels))
print("\ntesseract: the whole process on the image file (one thread, eng, loading included)")
# Where this build's time goes, from its own marks (GLYPHWELL_TIMING), warm captures only.
print("\ninside glyphwell, warm captures (ms, median / p95):")
for name in ("paragraph", "code", "page"):
    captures, current = [], {}
    for line in open(f"{sys.argv[3]}/glyphwell-{name}.log"):
        if not line.startswith("glyphwell-timing "):
            continue
        _, step, us = line.split()
        if step == "shortcut":
            current = {}
            captures.append(current)
        current[step] = int(us) / 1000
    captures = [c for c in captures[1:] if "clipboard" in c]
    spans = (("shortcut", "frame"), ("frame", "overlay"), ("release", "grab"), ("grab", "recognized"),
             ("recognized", "clipboard"))
    print(f"  {name:10}" + "".join(f"  {a} -> {b} {stat([c[b] - c[a] for c in captures if a in c and b in c])}"
                                  for a, b in spans))
EOF
echo
echo "at rest: resident MB just after the captures -> 30 s after; CPU ms over 10 s of idling"
awk '{ printf "  %-10s %-10s %4d -> %4d MB, %3d ms CPU\n", $1, $2, $3, $4, $5 }' "$work/idle.txt"
