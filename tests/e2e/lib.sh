# Shared helpers for the end-to-end tests: they start the real program under
# the display in DISPLAY and act on it with xdotool and wmctrl, as a person
# would. Source this file; VORN names the program under test.
set -euo pipefail

: "${VORN:?VORN must name the program under test}"
WORK=$(mktemp -d "${TMPDIR:-/tmp}/vorn-e2e-XXXXXX")
export HOME="$WORK/home"
mkdir -p "$HOME"
PIDS=()

cleanup() {
    for pid in "${PIDS[@]}"; do
        kill -9 "$pid" 2>/dev/null || true
    done
    rm -rf "$WORK"
}
trap cleanup EXIT

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

# Starts the program in the background with the given arguments; sets PID.
start_vorn() {
    "$VORN" "$@" >"$WORK/out.log" 2>&1 &
    PID=$!
    PIDS+=("$PID")
}

# Prints the id of the program's visible main window, waiting up to 20 s.
main_window() {
    local id
    id=$(timeout 20 xdotool search --sync --onlyvisible --pid "$PID" --name '^Zemfi' | head -n 1) ||
        fail "no main window appeared"
    echo "$id"
}

# Waits up to $2 seconds (default 10) for our child $1 to end; sets STATUS.
# Not for use in a subshell: only this shell can collect its child's status.
wait_exit() {
    local pid=$1 limit=${2:-10} i state
    for ((i = 0; i < limit * 10; i++)); do
        state=$(awk '{print $3}' "/proc/$pid/stat" 2>/dev/null || echo gone)
        if [ "$state" = Z ] || [ "$state" = gone ]; then
            STATUS=0
            wait "$pid" || STATUS=$?
            return 0
        fi
        sleep 0.1
    done
    fail "process $pid still runs after ${limit}s"
}

# Succeeds once window $1 is no longer mapped (hidden), within 10 s.
wait_hidden() {
    local i
    for ((i = 0; i < 100; i++)); do
        xwininfo -id "$1" 2>/dev/null | grep -q 'Map State: IsViewable' || return 0
        sleep 0.1
    done
    return 1
}
