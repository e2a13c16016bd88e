#!/usr/bin/env bash
# Runs a command under a private headless display: Xvfb with a window manager
# (openbox) and a notification-area host (trayer, left out when VORN_NO_TRAY
# is set), each waited for until it is ready, all ended afterwards.
set -euo pipefail

pids=()
ready=$(mktemp)
cleanup() {
    for pid in "${pids[@]}"; do
        kill "$pid" 2>/dev/null || true
    done
    rm -f "$ready"
}
trap cleanup EXIT

# Runs "$@" until it succeeds, for up to 10 s.
until_ready() {
    local i
    for ((i = 0; i < 100; i++)); do
        "$@" >/dev/null 2>&1 && return 0
        sleep 0.1
    done
    echo "with-display.sh: not ready: $*" >&2
    return 1
}

# Xvfb picks a free display itself and writes its number once it listens,
# so runs side by side never collide.
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$ready" >/dev/null 2>&1 &
pids+=($!)
until_ready grep -q '[0-9]' "$ready"
export DISPLAY=":$(tr -dc '0-9' <"$ready")"
openbox >/dev/null 2>&1 &
pids+=($!)
until_ready wmctrl -m
if [ -z "${VORN_NO_TRAY:-}" ]; then
    trayer --edge top --align right --widthtype request --height 32 --transparent false \
        --SetDockType true --SetPartialStrut true >/dev/null 2>&1 &
    pids+=($!)
    until_ready xdotool search --classname trayer
fi

"$@"
