#!/usr/bin/env bash
# Nothing leaves the machine: the program reads an image and makes a real capture (hot key,
# overlay, clipboard) under strace, and every socket it opens must be a local one: AF_UNIX
# for the X server, the session bus and the clipboard. Qt asks the kernel about network
# interfaces through AF_NETLINK only when its network module is loaded, which Glyphwell
# does not link; so AF_NETLINK is refused too.
# usage: no-network.sh GLYPHWELL IMAGE (through run-with-xvfb)
set -u
glyphwell=$1
image=$2
. "$(dirname "$0")/session.sh"
export OMP_THREAD_LIMIT=1

check_trace() {
    local trace=$1 what=$2
    # The program's own start is traced too, so an empty trace cannot pass for a clean one.
    grep -q 'execve(' "$trace" || fail "$what: strace did not trace the program"
    local foreign
    foreign=$(grep -E '(socket|socketpair)\(' "$trace" | grep -v -E '(socket|socketpair)\(AF_UNIX' || true)
    [ -z "$foreign" ] || fail "$what opened a socket that is not AF_UNIX: $foreign"
    echo "$what: $(grep -c -E '(socket|socketpair)\(AF_UNIX' "$trace") AF_UNIX sockets, no other"
}

strace -f -qq -e trace=%network,execve -o "$work/recognize.trace" "$glyphwell" --recognize "$image" > "$work/recognized.txt" \
    || fail "--recognize failed under strace"
grep -q "lazy fox" "$work/recognized.txt" || fail "--recognize read: $(cat "$work/recognized.txt")"
check_trace "$work/recognize.trace" recognize

show_image text 100 100 "$image"
start_tray
strace -f -qq -e trace=%network,execve -o "$work/capture.trace" "$glyphwell" --background > "$work/glyphwell.log" 2>&1 &
tracer=$!
pids+=($tracer)
wait_for 30 grep -q KeyboardShortcuts_captureText "$HOME/.config/Glyphwell/Glyphwell.conf" \
    || fail "the program did not come up under strace: $(cat "$work/glyphwell.log")"
xdotool search --onlyvisible --name '^text$' windowfocus --sync 2>/dev/null
xdotool key shift+super+x
wait_for 20 overlay_up || fail "the overlay did not come up"
drag 92 92 750 590
wait_for_sample_text 60
program=$(pgrep -P "$tracer" | head -n1)
[ -n "$program" ] && kill -TERM "$program"
wait "$tracer"
grep -q 'socket(AF_UNIX' "$work/capture.trace" || fail "the capture reached the X server without a socket?"
check_trace "$work/capture.trace" capture
echo "no network: all checks passed"
