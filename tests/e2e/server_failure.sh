#!/usr/bin/env bash
# When the activation server cannot start (here: a runtime folder open to
# other users, which must never be trusted), the program says so, then runs
# on; a later start cannot reach it and shows the busy message.
. "$(dirname "$0")/lib.sh"

chmod 0755 "$XDG_RUNTIME_DIR"
start_vorn
first=$PID
answer_message "$first"
main_window "$first" >/dev/null
[ ! -e "$XDG_RUNTIME_DIR/vorn-app" ] || fail "a socket was made in a folder open to others"

start_vorn
later=$PID
answer_message "$later"
wait_exit "$later"
[ "$STATUS" = 1 ] || fail "the later start ended with status $STATUS"
kill -0 "$first" 2>/dev/null || fail "the first instance is gone"
echo "PASS: the server failure is reported and the program runs on"
