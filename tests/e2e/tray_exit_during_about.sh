#!/usr/bin/env bash
# "退出" from the tray menu ends the program even while the About dialog
# runs modally (a plain exit call would only end the dialog's loop).
. "$(dirname "$0")/lib.sh"

start_vorn
win=$(main_window)
read -r x y < <(tray_icon_centre) || fail "the icon did not appear in the tray"
eval "$(xdotool getwindowgeometry --shell "$win")"
# The About button sits at the bottom of the right-hand column.
xdotool windowactivate --sync "$win" mousemove $((X + WIDTH - 58)) $((Y + HEIGHT - 30)) click 1
window_of "$PID" ' 关于 Zemfi' >/dev/null || fail "the About dialog did not open"
tray_menu_pick "$x" "$y" 2
wait_exit "$PID"
[ "$STATUS" = 0 ] || fail "exit status $STATUS after the menu's exit item"
echo "PASS: the tray's exit item ends the program while About is open"
