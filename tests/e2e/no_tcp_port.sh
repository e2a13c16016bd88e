#!/usr/bin/env bash
# The activation channel is a private local socket: no TCP port is opened.
. "$(dirname "$0")/lib.sh"

before=$(ss -ltnH | awk '{print $4}' | sort)
start_vorn
main_window >/dev/null
start_vorn
wait_exit "$PID"
after=$(ss -ltnH | awk '{print $4}' | sort)
[ "$before" = "$after" ] || fail "new TCP listeners: $(comm -13 <(echo "$before") <(echo "$after"))"
[ -S "$XDG_RUNTIME_DIR/vorn-app" ] || fail "no socket in the runtime folder"
echo "PASS: no TCP port, the socket is $XDG_RUNTIME_DIR/vorn-app"
