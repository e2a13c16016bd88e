#!/usr/bin/env bash
# Alt+Q ends the program at once with status 0 and touches no listed file.
# Every argument is a path: a file named like a toolkit option, first on the
# command line, does not stop the start.
. "$(dirname "$0")/lib.sh"

echo "keep me" >"$WORK/listed.txt"
echo "keep me too" >"$WORK/--display"
cd "$WORK"
start_vorn --display "$WORK/listed.txt" "$WORK/missing"
win=$(main_window)
xdotool windowactivate --sync "$win"
xdotool key --clearmodifiers alt+q
wait_exit "$PID"
[ "$STATUS" = 0 ] || fail "exit status $STATUS after Alt+Q: $(cat "$WORK/out.log")"
[ "$(cat "$WORK/listed.txt")" = "keep me" ] || fail "the listed file was touched"
[ "$(cat "$WORK/--display")" = "keep me too" ] || fail "the file named --display was touched"
echo "PASS: Alt+Q quits with status 0"
