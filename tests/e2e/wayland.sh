#!/usr/bin/env bash
# A real Wayland desktop, headless: sway, once with its bar's tray and once
# without. The program starts on GTK's Wayland backend without a GTK warning,
# its window appears; with the tray its item registers and a close request
# hides the window, without it the window stays reachable; a later start
# brings it back either way. sway refuses root: under root, sway and the
# program run as an unprivileged user.
. "$(dirname "$0")/lib.sh"
command -v sway >/dev/null || fail "sway is not installed"
user=()
if [ "$(id -u)" -eq 0 ]; then
    user=(setpriv --reuid=65534 --regid=65534 --clear-groups --)
fi
# Everything the session needs, in a folder of its user's own.
chmod 0755 "$WORK"
wl="$WORK/wl"
mkdir -p "$wl/bin" "$wl/home" "$wl/run"
cp "$VORN" "$wl/bin/vorn"
chmod 0700 "$wl/run"
[ ${#user[@]} -eq 0 ] || chown -R 65534:65534 "$wl"

# One session: sway (with a bar holding a tray when $1 is "tray"), then the
# program, then the checks, all on a private session bus.
cat >"$wl/session.sh" <<'SESSION'
set -euo pipefail
work=$1 tray=$2
fail() { echo "FAIL ($tray): $*" >&2; exit 1; }
eventually() { local i; for ((i = 0; i < 100; i++)); do "$@" && return 0; sleep 0.1; done; return 1; }
{
    echo "xwayland disable"
    if [ "$tray" = tray ]; then
        printf 'bar {\n    status_command true\n}\n'
    fi
} >"$work/sway-$tray.conf"
rm -f "$work/run"/wayland-* "$work/run"/sway-ipc.*
WLR_BACKENDS=headless WLR_LIBINPUT_NO_DEVICES=1 WLR_RENDERER=pixman \
    sway -c "$work/sway-$tray.conf" >"$work/sway-$tray.log" 2>&1 &
sway=$!
trap 'kill $sway 2>/dev/null || true; kill $(jobs -p) 2>/dev/null || true' EXIT
eventually compgen -G "$work/run/sway-ipc.*" >/dev/null || fail "sway did not start: $(cat "$work/sway-$tray.log")"
export SWAYSOCK=$(compgen -G "$work/run/sway-ipc.*" | head -n 1)
eventually compgen -G "$work/run/wayland-*" >/dev/null || fail "no Wayland display"
export WAYLAND_DISPLAY=$(basename "$(compgen -G "$work/run/wayland-[0-9]" | head -n 1)")
unset DISPLAY
window() { swaymsg -t get_tree | grep -q '"app_id": "vorn"'; }
gone() { ! window; }

"$work/bin/vorn" "$work" >"$work/vorn-$tray.log" 2>&1 &
vorn=$!
eventually window || fail "no window in sway's tree: $(cat "$work/vorn-$tray.log")"
if [ "$tray" = tray ]; then
    registered() {
        gdbus call --session --dest org.kde.StatusNotifierWatcher --object-path /StatusNotifierWatcher \
            --method org.freedesktop.DBus.Properties.Get org.kde.StatusNotifierWatcher \
            RegisteredStatusNotifierItems 2>/dev/null | grep -q NotificationItem
    }
    eventually registered || fail "the item did not register with the bar's tray"
    sleep 1.5 # the icon decides where it goes once a second
    swaymsg '[app_id="vorn"] kill' >/dev/null
    eventually gone || fail "a close request with a tray did not hide the window"
else
    sleep 1.5
    swaymsg '[app_id="vorn"] kill' >/dev/null
    sleep 1
    window || fail "a close request without a tray lost the window"
fi
"$work/bin/vorn" >"$work/later-$tray.log" 2>&1 || fail "a later start ended with status $?"
eventually window || fail "a later start did not bring the window back"
kill -0 "$vorn" || fail "the program ended"
kill "$vorn"
if grep -E 'Gtk-|GLib-|CRITICAL|WARNING' "$work/vorn-$tray.log"; then
    fail "warnings on stderr"
fi
echo "ok ($tray)"
SESSION

for tray in tray none; do
    env HOME="$wl/home" XDG_RUNTIME_DIR="$wl/run" "${user[@]}" \
        dbus-run-session -- bash "$wl/session.sh" "$wl" "$tray" 2>"$WORK/session-$tray.err" ||
        fail "$(grep -v 'fd limit' "$WORK/session-$tray.err")"
done
echo "PASS: on sway the window appears without warnings, the tray serves it, and it is never lost"
