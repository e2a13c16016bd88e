#!/usr/bin/env bash
# The icon as a StatusNotifierItem, on a private session bus with a watcher
# that reports a host: it replaces the XEmbed icon when the watcher comes and
# gives way to it when the watcher goes, never both; its properties name the
# program; its menu's first item and its secondary activation show the hidden
# window; its "退出" ends the program with status 0.
if [ -z "${DBUS_SESSION_BUS_ADDRESS:-}" ]; then
    exec dbus-run-session -- "$0" "$@"
fi
. "$(dirname "$0")/lib.sh"
sni() { /usr/bin/python3 "$(dirname "$0")/sni.py" "$@"; }
# Whether trayer's panel holds the program's XEmbed icon.
in_tray() {
    local panel
    panel=$(xwininfo -root -tree | awk '/"panel": \("panel" "trayer"\)/ {print $1}' | head -n 1)
    [ -n "$panel" ] && xwininfo -tree -id "$panel" | grep -q '"vorn": ("vorn" "Vorn")'
}
not_in_tray() { ! in_tray; }
start_watcher() {
    /usr/bin/python3 "$(dirname "$0")/sni.py" watcher "$WORK/items" &
    watcher=$!
    PIDS+=("$watcher")
}

start_vorn "$WORK"
win=$(main_window)
tray_icon_centre >/dev/null || fail "without a watcher the icon did not appear in the tray"

start_watcher
eventually test -s "$WORK/items" || fail "the item did not register with the watcher"
read -r name path <"$WORK/items"
eventually not_in_tray || fail "the XEmbed icon stayed beside the item"
[ "$(sni get "$name" "$path" Title)" = "彻底删除工具" ] || fail "title: $(sni get "$name" "$path" Title)"
[ "$(sni get "$name" "$path" IconName)" = vorn ] || fail "icon: $(sni get "$name" "$path" IconName)"
active() { [ "$(sni get "$name" "$path" Status)" = Active ]; }
eventually active || fail "status: $(sni get "$name" "$path" Status)"

wmctrl -i -c "$win"
wait_hidden "$win" || fail "the close box did not hide the window"
sni click "$name" "$path" "彻底删除工具"
wait_shown "$win" || fail "the menu's first item did not show the window"
wmctrl -i -c "$win"
wait_hidden "$win" || fail "the close box did not hide the window"
sni secondary "$name" "$path"
wait_shown "$win" || fail "the secondary activation did not show the window"

kill "$watcher"
eventually in_tray || fail "with the watcher gone the XEmbed icon did not come back"
passive() { [ "$(sni get "$name" "$path" Status)" = Passive ]; }
eventually passive || fail "the item stayed active beside the XEmbed icon"

: >"$WORK/items"
start_watcher
eventually test -s "$WORK/items" || fail "the item did not register again"
eventually not_in_tray || fail "the XEmbed icon stayed beside the item"
read -r name path <"$WORK/items"
sni click "$name" "$path" "退出"
wait_exit "$PID"
[ "$STATUS" = 0 ] || fail "exit status $STATUS after the item's 退出"
echo "PASS: the StatusNotifierItem and the XEmbed icon take turns and both serve the window"
