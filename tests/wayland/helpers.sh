# Sourced by the Wayland test scripts (inside run-on-sway): the shared checks, and a virtual
# pointer to drive.
. "$(dirname "${BASH_SOURCE[0]}")/../lib/checks.sh"
# The desktop has no pointer of its own here: a virtual one over a layout of $1 × $2 points,
# driven through a coprocess with "pointer move X Y", "pointer press", "pointer release".
start_pointer() {
    coproc POINTER { GW_WL_WIDTH=$1 GW_WL_HEIGHT=$2 python3 "$(dirname "${BASH_SOURCE[0]}")/virtual-pointer.py" 2>&1; }
    local line
    read -r -t 10 -u "${POINTER[0]}" line && [ "$line" = ready ] || fail "no virtual pointer: $line"
}
pointer() {
    echo "$*" >&"${POINTER[1]}"
    local reply
    read -r -t 10 -u "${POINTER[0]}" reply && [ "$reply" = ok ] || fail "the pointer said: $reply"
}
# A fresh activation token, as a launcher passes to the program it starts.
activation_token() {
    echo token >&"${POINTER[1]}"
    local reply
    read -r -t 10 -u "${POINTER[0]}" reply && [ "${reply%% *}" = token ] || fail "no activation token: $reply"
    echo "${reply#token }"
}
