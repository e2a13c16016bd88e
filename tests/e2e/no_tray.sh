#!/usr/bin/env bash
# Without any notification area the program still starts and runs.
if [ -z "${VORN_NO_TRAY:-}" ]; then
    # Again, on a display of its own that has no tray host.
    VORN_NO_TRAY=1 exec "$(dirname "$0")/../../scripts/with-display.sh" "$0"
fi
. "$(dirname "$0")/lib.sh"

start_vorn "$WORK"
main_window >/dev/null
sleep 1
kill -0 "$PID" 2>/dev/null || fail "the program ended without a tray"
[[ $(xwininfo -root -tree) == *'"panel": ("panel" "trayer")'* ]] && fail "a tray host is running"
echo "PASS: the program runs without a tray"
