#!/bin/sh
# The include-direction check on a small tree of its own: each row plants one include (and
# the allowlist after the bar) and gives the status the check must end with.
set -u
check="$(cd "$(dirname "$0")/../.." && pwd)/scripts/check-include-direction"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
failed=0
while IFS='|' read -r planted allowed; do
    set -- $planted
    status=$1 file=$2 header=$3
    rm -rf "$tmp/src"
    for h in platform/Files.h platform/x11/Xcb.h capture/Grabber.h capture/x11/X11Grabber.h \
             KeyboardShortcuts/Key.h KeyboardShortcuts/Recorder/Recorder.h app/State.h ui/Window.h; do
        mkdir -p "$(dirname "$tmp/src/$h")" && : > "$tmp/src/$h"
    done
    mkdir -p "$(dirname "$tmp/src/$file")"
    printf '#include "%s"\n' "$header" >> "$tmp/src/$file"
    printf '%s\n' "$allowed" > "$tmp/allowlist"
    "$check" "$tmp" "$tmp/allowlist" > "$tmp/out"
    got=$?
    if [ "$got" != "$status" ]; then
        echo "src/$file including $header with allowlist '$allowed': status $got, expected $status"
        cat "$tmp/out"
        failed=1
    fi
done <<'ROWS'
0 ui/View.cpp app/State.h |
0 app/State.cpp KeyboardShortcuts/Key.h |
0 capture/Grabber.cpp Grabber.h |
0 capture/x11/X11Grabber.cpp capture/Grabber.h |
0 capture/x11/X11Grabber.cpp platform/x11/Xcb.h |
1 platform/Files.cpp capture/Grabber.h |
1 capture/Grabber.cpp KeyboardShortcuts/Key.h |
1 capture/Grabber.cpp app/State.h |
1 app/State.cpp ui/Window.h |
1 app/State.cpp capture/x11/X11Grabber.h |
1 KeyboardShortcuts/x11/Grab.cpp capture/x11/X11Grabber.h |
1 KeyboardShortcuts/x11/Grab.cpp KeyboardShortcuts/Recorder/Recorder.h |
1 recognition/Reader.cpp platform/Files.h |
0 app/State.cpp ui/Window.h |src/app/State.cpp ui/Window.h the entry still sits in app/
1 app/State.cpp ui/Window.h |src/app/State.cpp ui/Window.h
1 ui/View.cpp app/State.h |src/app/State.cpp ui/Window.h the entry still sits in app/
ROWS
exit $failed
