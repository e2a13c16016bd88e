#!/usr/bin/env bash
# Runs the GUI test of a row shredded on copy-on-write storage against a real
# btrfs: a loop-mounted image given to the unprivileged test user. Needs root
# (to mount); exits 77 (skipped) where the machine cannot mount at all.
set -euo pipefail
[ "$(id -u)" -eq 0 ] || { echo "SKIP: mounting an image needs root (CI runs as root)"; exit 77; }
work=$(mktemp -d "${TMPDIR:-/tmp}/vorn-btrfs-XXXXXX")
chmod 0755 "$work"
mnt="$work/mnt"
cleanup() {
    mountpoint -q "$mnt" && umount "$mnt"
    rm -rf "$work"
}
trap cleanup EXIT
mkdir "$mnt"
truncate -s 128M "$work/fs.img"
mkfs.btrfs -q -f "$work/fs.img"
mount -o loop "$work/fs.img" "$mnt" || { echo "SKIP: this machine cannot loop-mount"; exit 77; }
chown 65534:65534 "$mnt"
VORN_COW_DIR=$mnt "$(dirname "$0")/../run-as-user.sh" "$1" \
    --gtest_filter='MainFrameTest.CopyOnWriteRowStaysWithItsReason'
