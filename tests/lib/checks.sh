# Sourced by the end-to-end scripts: failing with glyphwell's log ($work/glyphwell.log), and
# waiting for a condition.
fail() {
    echo "FAIL: $*" >&2
    [ -f "$work/glyphwell.log" ] && sed 's/^/  glyphwell: /' "$work/glyphwell.log" >&2
    exit 1
}
# Waits up to $1 seconds for the command after it to succeed.
wait_for() {
    local seconds=$1
    shift
    for _ in $(seq 1 $((seconds * 10))); do
        "$@" >/dev/null 2>&1 && return 0
        sleep 0.1
    done
    return 1
}
