#!/usr/bin/env bash
# The title bar's close box only hides the window: the program keeps running.
. "$(dirname "$0")/lib.sh"

start_vorn
win=$(main_window)
wmctrl -i -c "$win"
wait_hidden "$win" || fail "the window is still shown after the close box"
sleep 0.5
kill -0 "$PID" 2>/dev/null || fail "the program ended on the close box"
echo "PASS: the close box hides the window and the program runs on"
