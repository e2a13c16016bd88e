#!/usr/bin/env bash
# One instance per user, for every user: a second user gets a first instance
# of its own and cannot reach the first user's socket.
. "$(dirname "$0")/lib.sh"

if [ "$(id -u)" -ne 0 ]; then
    echo "SKIP: needs root to start a second user's instance (run the suite as root, as CI does)"
    exit 77
fi
: "${VORN_IPC_CLIENT:?}"
# The unprivileged user runs copies, since the build tree may be closed to it.
chmod 0755 "$WORK"
mkdir -p "$WORK/bin" "$WORK/other-home"
cp "$VORN" "$VORN_IPC_CLIENT" "$WORK/bin/"
chown 65534:65534 "$WORK/other-home"
as_other() {
    exec env HOME="$WORK/other-home" XDG_RUNTIME_DIR= setpriv --reuid=65534 --regid=65534 \
        --clear-groups -- "$@"
}

start_vorn
mine=$PID
main_window >/dev/null

(as_other "$WORK/bin/vorn" >"$WORK/other.log" 2>&1) &
other=$!
PIDS+=("$other")
main_window "$other" >/dev/null || fail "the other user got no window: $(cat "$WORK/other.log")"

set +e
(as_other "$WORK/bin/ipc_client" only_one "$XDG_RUNTIME_DIR/vorn-app")
status=$?
set -e
[ "$status" = 1 ] || fail "the other user reached this user's socket (status $status)"
kill -0 "$mine" 2>/dev/null || fail "this user's instance is gone"
echo "PASS: each user has a first instance of its own, and the socket is private"
