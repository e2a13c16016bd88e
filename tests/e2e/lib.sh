# Shared helpers for the end-to-end tests: they start the real program under
# the display in DISPLAY and act on it with xdotool and wmctrl, as a person
# would. Source this file; VORN names the program under test.
set -euo pipefail

: "${VORN:?VORN must name the program under test}"
WORK=$(mktemp -d "${TMPDIR:-/tmp}/vorn-e2e-XXXXXX")
export HOME="$WORK/home"
export XDG_RUNTIME_DIR="$WORK/run"
mkdir -p "$HOME"
mkdir -m 0700 "$XDG_RUNTIME_DIR"
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

# Prints the id of the window that process $1 shows with a title matching
# the extended regular expression $2, waiting up to 20 s. wmctrl reads the
# UTF-8 titles that xdotool's name search does not match.
window_of() {
    local i id
    for ((i = 0; i < 200; i++)); do
        id=$(wmctrl -lp | awk -v pid="$1" '$3 == pid' | grep -E "$2" | awk '{print $1}' | head -n 1)
        if [ -n "$id" ]; then
            echo "$id"
            return 0
        fi
        sleep 0.1
    done
    return 1
}

# Prints the id of the program's main window once it is on the screen,
# waiting up to 20 s for it to be listed and 10 s more for it to be mapped:
# the window manager lists a window before it maps it, and an action sent
# in between is lost or leaves nothing to observe.
main_window() {
    local id
    id=$(window_of "${1:-$PID}" ' Zemfi') || fail "no main window appeared"
    wait_shown "$id" || fail "the main window was listed but never shown"
    echo "$id"
}

# Runs the command given until it succeeds, for up to 5 s: the window
# manager updates its properties a moment after it acts on a request.
eventually() {
    local i
    for ((i = 0; i < 50; i++)); do
        "$@" && return 0
        sleep 0.1
    done
    return 1
}

# Answers the message box that process $1 shows with the tool's name as its
# caption, by pressing Return on it.
answer_message() {
    local box
    box=$(window_of "$1" ' 彻底删除工具$') || fail "no message box appeared"
    xdotool windowactivate --sync "$box" key Return
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

# Succeeds once window $1 is viewable (yes) or no longer mapped (no), within
# 10 s.
wait_viewable() {
    local i state
    for ((i = 0; i < 100; i++)); do
        state=no
        [[ $(xwininfo -id "$1" 2>/dev/null) == *'Map State: IsViewable'* ]] && state=yes
        [ "$state" = "$2" ] && return 0
        sleep 0.1
    done
    return 1
}
wait_hidden() { wait_viewable "$1" no; }
wait_shown() { wait_viewable "$1" yes; }

# Prints "X Y" of the centre of the program's icon in the tray (trayer),
# waiting up to 20 s for it to be embedded.
tray_icon_centre() {
    local i panel line
    for ((i = 0; i < 200; i++)); do
        panel=$(xwininfo -root -tree | awk '/"panel": \("panel" "trayer"\)/ {print $1}' | head -n 1)
        if [ -n "$panel" ]; then
            line=$(xwininfo -tree -id "$panel" | grep '"vorn": ("vorn" "Vorn")' | head -n 1)
            if [ -n "$line" ]; then
                # ... WxH+x+y  +absX+absY
                echo "$line" | awk '{split($(NF-1), s, /[x+]/); split($NF, a, "+");
                    print a[2] + int(s[1] / 2), a[3] + int(s[2] / 2)}'
                return 0
            fi
        fi
        sleep 0.1
    done
    return 1
}

# Succeeds while one of the program's pop-up menus is on the screen.
menu_shown() {
    local w type
    for w in $(xdotool search --onlyvisible --class Vorn 2>/dev/null); do
        type=$(xprop -id "$w" _NET_WM_WINDOW_TYPE 2>/dev/null || true)
        [[ $type == *_NET_WM_WINDOW_TYPE_POPUP_MENU* ]] && return 0
    done
    return 1
}

# Opens the tray icon's menu at $1 $2 and picks item $3 (1 or 2) by keyboard.
tray_menu_pick() {
    local i
    xdotool mousemove "$1" "$2" click 3
    # Keys sent before the menu is mapped would go elsewhere. GTK marks its
    # menus by their window type (a tooltip may show up first).
    eventually menu_shown || fail "the tray icon's menu did not open"
    sleep 0.2
    for ((i = 0; i < $3; i++)); do
        xdotool key Down
        sleep 0.1
    done
    xdotool key Return
}
