#!/usr/bin/env bash
# Runs a command under a private headless display: Xvfb with a window manager
# (openbox) and a notification-area host (trayer, left out when VORN_NO_TRAY
# is set), all ended afterwards.
set -euo pipefail

pids=()
cleanup() {
    for pid in "${pids[@]}"; do
        kill "$pid" 2>/dev/null || true
    done
}
trap cleanup EXIT

# A display number nobody uses.
display=90
while [ -e "/tmp/.X11-unix/X$display" ] || [ -e "/tmp/.X$display-lock" ]; do
    display=$((display + 1))
done
Xvfb ":$display" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
pids+=($!)
for _ in $(seq 100); do
    [ -e "/tmp/.X11-unix/X$display" ] && break
    sleep 0.1
done
export DISPLAY=":$display"
openbox >/dev/null 2>&1 &
pids+=($!)
if [ -z "${VORN_NO_TRAY:-}" ]; then
    trayer --edge top --align right --widthtype request --height 32 --transparent false \
        --SetDockType true --SetPartialStrut true >/dev/null 2>&1 &
    pids+=($!)
fi
sleep 1

"$@"
