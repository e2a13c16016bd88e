#!/usr/bin/env bash
# Without any notification area the program still starts and runs, and its
# close box minimises the window instead of hiding it beyond reach; a window
# hidden while a panel showed the icon comes back when the panel goes.
if [ -z "${VORN_NO_TRAY:-}" ]; then
    # Again, on a display of its own that has no tray host.
    VORN_NO_TRAY=1 exec "$(dirname "$0")/../../scripts/with-display.sh" "$0"
fi
if [ -z "${DBUS_SESSION_BUS_ADDRESS:-}" ]; then
    exec dbus-run-session -- "$0" "$@"
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

# A panel that shows StatusNotifierItems comes: the close box hides the
# window. The panel goes: nothing could bring the window back, so it is shown.
/usr/bin/python3 "$(dirname "$0")/sni.py" watcher "$WORK/items" &
watcher=$!
PIDS+=("$watcher")
eventually test -s "$WORK/items" || fail "the item did not register with the watcher"
sleep 1.5 # the icon decides where it goes once a second
wmctrl -i -c "$win"
wait_hidden "$win" || fail "with a panel the close box did not hide the window"
[[ $(xprop -id "$win" WM_STATE 2>/dev/null) == *Iconic* ]] && fail "minimised instead of hidden"
kill "$watcher"
wait_shown "$win" || fail "the window stayed hidden after the panel went away"
echo "PASS: without a tray the close box minimises the window, and a panel that goes gives it back"
