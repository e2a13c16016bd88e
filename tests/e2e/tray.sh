#!/usr/bin/env bash
# The tray icon: a double click and the menu's first item show the hidden
# main window; the menu's "退出" ends the program with status 0 while the
# window is hidden.
. "$(dirname "$0")/lib.sh"

start_vorn "$WORK"
win=$(main_window)
read -r x y < <(tray_icon_centre) || fail "the icon did not appear in the tray"

wmctrl -i -c "$win"
wait_hidden "$win" || fail "the close box did not hide the window"
xdotool mousemove "$x" "$y" click --repeat 2 --delay 100 1
wait_shown "$win" || fail "a double click on the icon did not show the window"

wmctrl -i -c "$win"
wait_hidden "$win" || fail "the close box did not hide the window"
tray_menu_pick "$x" "$y" 1
wait_shown "$win" || fail "the menu's first item did not show the window"

wmctrl -i -c "$win"
wait_hidden "$win" || fail "the close box did not hide the window"
tray_menu_pick "$x" "$y" 2
wait_exit "$PID"
[ "$STATUS" = 0 ] || fail "exit status $STATUS after the menu's exit item"
[ -d "$WORK" ] || fail "the listed folder is gone"
echo "PASS: the tray icon shows the window and ends the program"
