#!/usr/bin/env bash
# The tray menu's "退出" during a long deletion run waits for the current
# block, cancels the run and ends the program; the file being overwritten
# keeps its name.
. "$(dirname "$0")/lib.sh"

huge="$WORK/huge.bin"
head -c 64M /dev/zero | tr '\0' h >"$huge"
# 64 MiB on a disk of 20 MiB/s: seconds of writing.
LD_PRELOAD=$VORN_SLOW_DISK VORN_SLOW_WRITE_MS=50 start_vorn "$huge"
win=$(main_window)
read -r x y < <(tray_icon_centre) || fail "the icon did not appear in the tray"
xdotool windowactivate --sync "$win" key --clearmodifiers alt+d
window_of "$PID" ' 彻底删除工具$' >/dev/null || fail "no progress window appeared"
tray_menu_pick "$x" "$y" 2
wait_exit "$PID" 20
[ "$STATUS" = 0 ] || fail "exit status $STATUS after the menu's exit item"
[ -e "$huge" ] || fail "the file being overwritten lost its name"
[ -z "$(ls "$WORK" | grep '^del\.file\.')" ] || fail "a file was left under a temporary name"
echo "PASS: exit during a run cancels it at a block boundary and ends the program"
