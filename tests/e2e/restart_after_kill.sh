#!/usr/bin/env bash
# A start after the first instance was killed (kill -9) becomes the first
# instance: neither the stale lock nor the left-over socket stops it. A
# later start then activates it and leaves no process or window behind.
. "$(dirname "$0")/lib.sh"

start_vorn
first=$PID
main_window >/dev/null
kill -9 "$first"
wait "$first" 2>/dev/null || true
[ -S "$XDG_RUNTIME_DIR/vorn-app" ] || fail "expected the killed instance's socket to be left over"
lock="$XDG_RUNTIME_DIR/vorn-$(id -un)"
[ -f "$lock" ] || fail "expected the killed instance's lock file at $lock"
# The dead instance's process id may belong to another process by now (after
# a reboot, quite likely): make it so.
sleep 60 &
stand_in=$!
PIDS+=("$stand_in")
printf '%d\0' "$stand_in" >"$lock"

start_vorn
second=$PID
main_window "$second" >/dev/null

start_vorn "$WORK"
later=$PID
wait_exit "$later"
[ "$STATUS" = 0 ] || fail "the later start ended with status $STATUS: $(cat "$WORK/out.log")"
[ -z "$(wmctrl -lp | awk -v pid="$later" '$3 == pid')" ] || fail "the later start left a window"
kill -0 "$second" 2>/dev/null || fail "the new first instance is gone"
echo "PASS: after kill -9 a new start becomes the first instance and answers later starts"
