#!/usr/bin/env bash
# Without any notification area the program still starts and runs.
. "$(dirname "$0")/lib.sh"

display=150
while [ -e "/tmp/.X11-unix/X$display" ] || [ -e "/tmp/.X$display-lock" ]; do
    display=$((display + 1))
done
Xvfb ":$display" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
PIDS+=($!)
for _ in $(seq 100); do
    [ -e "/tmp/.X11-unix/X$display" ] && break
    sleep 0.1
done
export DISPLAY=":$display"
openbox >/dev/null 2>&1 &
PIDS+=($!)
sleep 1

start_vorn "$WORK"
main_window >/dev/null
sleep 1
kill -0 "$PID" 2>/dev/null || fail "the program ended without a tray"
echo "PASS: the program runs without a tray"
