#!/usr/bin/env bash
# Alt+Q ends the program at once with status 0 and touches no listed file.
. "$(dirname "$0")/lib.sh"

echo "keep me" >"$WORK/listed.txt"
start_vorn "$WORK/listed.txt" "$WORK/missing"
win=$(main_window)
xdotool windowactivate --sync "$win"
xdotool key --clearmodifiers alt+q
wait_exit "$PID"
[ "$STATUS" = 0 ] || fail "exit status $STATUS after Alt+Q: $(cat "$WORK/out.log")"
[ "$(cat "$WORK/listed.txt")" = "keep me" ] || fail "the listed file was touched"
echo "PASS: Alt+Q quits with status 0"
