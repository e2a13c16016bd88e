#!/usr/bin/env bash
# Without any notification area the program still starts and runs, and its
# close box minimises the window instead of hiding it beyond reach.
if [ -z "${VORN_NO_TRAY:-}" ]; then
    # Again, on a display of its own that has no tray host.
    VORN_NO_TRAY=1 exec "$(dirname "$0")/../../scripts/with-display.sh" "$0"
fi
. "$(dirname "$0")/lib.sh"

start_vorn "$WORK"
win=$(main_window)
sleep 1
kill -0 "$PID" 2>/dev/null || fail "the program ended without a tray"
[[ $(xwininfo -root -tree) == *'"panel": ("panel" "trayer")'* ]] && fail "a tray host is running"

# Nothing could bring a hidden window back: the close box minimises it.
iconic() { [[ $(xprop -id "$win" WM_STATE 2>/dev/null) == *'window state: Iconic'* ]]; }
wmctrl -i -c "$win"
eventually iconic || fail "the close box did not minimise the window: $(xprop -id "$win" WM_STATE)"
"$VORN" >"$WORK/later.log" 2>&1 &
later=$!
PIDS+=("$later")
wait_exit "$later"
wait_shown "$win" || fail "a later start did not bring the minimised window back"
echo "PASS: without a tray the program runs and the close box minimises its window"
