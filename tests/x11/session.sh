# Sourced by the end-to-end scripts: a fresh home for glyphwell, the helper processes ended
# and the home removed at exit, and the small waits and checks every script uses.
work=$(mktemp -d)
export HOME=$work/home
unset XDG_DATA_HOME XDG_CONFIG_HOME XDG_CURRENT_DESKTOP
mkdir -p "$HOME"
pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null; done
    wait 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT
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
clipboard() { xclip -o -selection clipboard 2>/dev/null; }
overlay_count() { xdotool search --onlyvisible --classname glyphwell 2>/dev/null | wc -l; }
overlay_up() { [ "$(overlay_count)" -ge 1 ]; }
overlay_gone() { [ "$(overlay_count)" -eq 0 ]; }
