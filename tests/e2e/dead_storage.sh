#!/usr/bin/env bash
# Storage that stops answering mid-run (a FUSE driver stopped with SIGSTOP,
# as a hung network or phone mount does) never traps the user: within a few
# seconds the progress window says so and offers 退出, which ends the program
# within a second, as the tray's 退出 does. The file being written keeps its name once the storage
# answers again. Needs root to mount; exits 77 (skipped) otherwise.
. "$(dirname "$0")/lib.sh"

[ "$(id -u)" -eq 0 ] || { echo "SKIP: mounting an image needs root (CI runs as root)"; exit 77; }
mnt="$WORK/mnt"
DRIVER=
# Always unmounts, also after a failure; ntfs-3g ends with its mount.
unmount() {
    if [ -n "$DRIVER" ]; then
        kill -CONT "$DRIVER" 2>/dev/null || true
    fi
    if mountpoint -q "$mnt"; then
        umount "$mnt" || umount -l "$mnt"
    fi
    cleanup
}
trap unmount EXIT
mkdir "$mnt"
truncate -s 256M "$WORK/ntfs.img"
mkfs.ntfs -q -F -Q "$WORK/ntfs.img" >/dev/null 2>&1
ntfs-3g -o no_detach "$WORK/ntfs.img" "$mnt" >/dev/null 2>&1 &
DRIVER=$!
eventually mountpoint -q "$mnt" || { echo "SKIP: ntfs-3g cannot mount here"; exit 77; }

ended() {
    local state
    state=$(awk '{print $3}' "/proc/$PID/stat" 2>/dev/null || echo gone)
    [ "$state" = Z ] || [ "$state" = gone ] || return 1
    [ -z "$(wmctrl -lp | awk -v pid="$PID" '$3 == pid')" ]
}

huge="$mnt/huge.bin"
head -c 64M /dev/zero | tr '\0' h >"$huge"
for way in button tray; do
    # 64 MiB on a disk of 20 MiB/s: seconds of writing, then the driver stops.
    LD_PRELOAD=$VORN_SLOW_DISK VORN_SLOW_WRITE_MS=50 start_vorn "$huge"
    win=$(main_window)
    read -r x y < <(tray_icon_centre) || fail "the icon did not appear in the tray"
    xdotool windowactivate --sync "$win" key --clearmodifiers alt+d
    progress=$(window_of "$PID" ' 彻底删除工具$') || fail "no progress window appeared"
    sleep 1
    kill -STOP "$DRIVER"

    # The progress window's 退出 is there only once it says the storage
    # does not answer.
    sleep 6.5
    if [ "$way" = button ]; then
        xdotool windowactivate --sync "$progress" key --clearmodifiers alt+q
    else
        tray_menu_pick "$x" "$y" 2
    fi
    start=$(date +%s%N)
    eventually ended || fail "退出 ($way) did not end the program while the storage hung"
    ms=$((($(date +%s%N) - start) / 1000000))
    echo "退出 ($way) ended the program in ${ms} ms with the storage not answering"
    [ "$ms" -le 1000 ] || fail "退出 ($way) took ${ms} ms"
    [ ! -e "$XDG_RUNTIME_DIR/vorn-app" ] || fail "the instance socket was left behind"

    kill -CONT "$DRIVER"
    wait "$PID" || fail "exit status $? after 退出 ($way)"
    [ -e "$huge" ] || fail "the file being written lost its name"
    [ -z "$(ls "$mnt" | grep '^del\.file\.')" ] || fail "a file was left under a temporary name"
done
echo "PASS: dead storage shows as such, and 退出 ends the program at once"
