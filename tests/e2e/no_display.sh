#!/usr/bin/env bash
# Without any display the program says so and ends with a non-zero status.
. "$(dirname "$0")/lib.sh"

set +e
env -u DISPLAY -u WAYLAND_DISPLAY "$VORN" "$WORK" >"$WORK/out.log" 2>&1
status=$?
set -e
[ "$status" -ne 0 ] || fail "status 0 without a display"
grep -q "DISPLAY" "$WORK/out.log" || fail "no clear message: $(cat "$WORK/out.log")"
echo "PASS: no display gives status $status and: $(tail -n 1 "$WORK/out.log")"
