#!/usr/bin/env bash
# One instance, however it is started: six starts at the same moment give one
# window and no busy message; a start with another HOME (same runtime
# folder) activates the running one; nothing is written to the home folder.
if [ -z "${DBUS_SESSION_BUS_ADDRESS:-}" ]; then
    # As on every desktop: without a session bus GTK would start one itself,
    # and that one writes to the home folder.
    exec dbus-run-session -- "$0" "$@"
fi
. "$(dirname "$0")/lib.sh"

starts=()
for i in 1 2 3 4 5 6; do
    "$VORN" >"$WORK/start$i.log" 2>&1 &
    starts+=($!)
    PIDS+=($!)
done
first=
for _ in $(seq 200); do
    list=$(wmctrl -lp)
    for pid in "${starts[@]}"; do
        awk -v pid="$pid" '$3 == pid' <<<"$list" | grep -q ' Zemfi' && first=$pid
    done
    [ -n "$first" ] && break
    sleep 0.1
done
[ -n "$first" ] || fail "no start showed a main window"
for pid in "${starts[@]}"; do
    [ "$pid" = "$first" ] && continue
    wait_exit "$pid" 15
    [ "$STATUS" = 0 ] || fail "a simultaneous start ended with status $STATUS (the busy message)"
done
[ "$(wmctrl -lp | awk -v pid="$first" '$3 == pid' | wc -l)" = 1 ] ||
    fail "the instance shows more than its main window: $(wmctrl -lp)"
[ -z "$(ls -A "$HOME")" ] || fail "files in the home folder: $(ls -A "$HOME")"

mkdir "$WORK/other-home"
HOME="$WORK/other-home" "$VORN" >"$WORK/other.log" 2>&1 &
other=$!
PIDS+=("$other")
wait_exit "$other"
[ "$STATUS" = 0 ] || fail "a start with another HOME ended with status $STATUS"
kill -0 "$first" 2>/dev/null || fail "the running instance is gone"
[ -S "$XDG_RUNTIME_DIR/vorn-app" ] || fail "the running instance's socket was taken over"
HOME="$WORK/other-home" "$VORN" >"$WORK/again.log" 2>&1 &
again=$!
PIDS+=("$again")
wait_exit "$again"
[ "$STATUS" = 0 ] || fail "the socket no longer answers: status $STATUS"
echo "PASS: one instance for simultaneous starts and for another HOME, nothing in HOME"
