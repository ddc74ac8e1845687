# Sourced by the runners of the headless desktop sessions (run-on-desktop, run-on-sway): runs a
# session in a process session of its own and ends everything it started, however the run
# ends (success, failure, a signal, the time limit, the runner itself killed). What a session
# starts carries the session's own XDG_RUNTIME_DIR in its environment, so a daemon that left
# the process group (a double fork, setsid, a service the session bus started) is found by it.
session_pid=
session_watcher=
session_runtime=

# session_start RUNTIME_DIR LIMIT COMMAND...: runs the command in the background, at most
# LIMIT seconds; session_wait then gives its status.
session_start() {
    session_runtime=$1
    local limit=$2
    shift 2
    trap 'session_stop; exit 1' TERM INT HUP
    trap session_stop EXIT
    setsid timeout --kill-after=10 "$limit" "$@" &
    session_pid=$!
    # A runner killed outright (SIGKILL, as a test driver's timeout may do) cannot stop the
    # session itself: this watcher does it then.
    (
        trap '' TERM INT HUP
        while kill -0 $$ 2>/dev/null; do sleep 1; done
        session_stop
    ) </dev/null >/dev/null 2>&1 &
    session_watcher=$!
}

session_wait() {
    wait "$session_pid"
}

# The processes whose environment names this session's runtime folder.
session_processes() {
    local environ pid
    for environ in /proc/[0-9]*/environ; do
        pid=${environ#/proc/}
        pid=${pid%/environ}
        grep -qzxF "XDG_RUNTIME_DIR=$session_runtime" "$environ" 2>/dev/null && echo "$pid"
    done
}

session_stop() {
    [ -n "$session_runtime" ] || return 0
    # The watcher's job is done once the runner stops the session itself.
    [ -n "$session_watcher" ] && kill -KILL "$session_watcher" 2>/dev/null
    session_watcher=
    # First politely, so the daemons take their sockets and files with them.
    kill -TERM -- "-$session_pid" 2>/dev/null && sleep 1
    kill -KILL -- "-$session_pid" 2>/dev/null
    local pids
    for _ in 1 2 3 4 5; do
        pids=$(session_processes)
        [ -n "$pids" ] || break
        # shellcheck disable=SC2086 # one argument per process
        kill -KILL $pids 2>/dev/null
        sleep 0.2
    done
    pids=$(session_processes)
    [ -z "$pids" ] || echo "session: processes still running: $pids" >&2
    # The document portal's FUSE mount outlives a portal that was cut off, and a folder with
    # a mount in it cannot be removed.
    local mount
    for mount in $(awk -v dir="$session_runtime/" 'index($2, dir) == 1 { print $2 }' /proc/mounts); do
        fusermount3 -u -z "$mount" 2>/dev/null || fusermount -u -z "$mount" 2>/dev/null || umount -l "$mount" 2>/dev/null \
            || echo "session: could not unmount $mount" >&2
    done
    session_runtime=
}
