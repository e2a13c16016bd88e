#!/usr/bin/env bash
# Runs a test program as an unprivileged user when started as root, so that
# file permissions apply as they do for a normal user; as anyone else it runs
# the program unchanged. Under root the program (and the helper programs
# named in VORN_TEST_HELPERS) is copied into a fresh home folder of that
# user first, since the build tree may lie where it cannot reach.
set -euo pipefail
if [ "$(id -u)" -ne 0 ]; then
    exec "$@"
fi
user=65534
home=$(mktemp -d "${TMPDIR:-/tmp}/vorn-home-XXXXXX")
trap 'rm -rf "$home"' EXIT
mkdir -p "$home/bin" "$home/tmp"
program="$home/bin/$(basename "$1")"
cp "$1" "$program"
shift
helpers=()
for helper in ${VORN_TEST_HELPERS:-}; do
    cp "$helper" "$home/bin/"
    helpers+=("VORN_$(basename "$helper" | tr '[:lower:]-' '[:upper:]_')=$home/bin/$(basename "$helper")")
done
chown -R "$user:$user" "$home"
chmod 0700 "$home"
cd "$home"
env HOME="$home" TMPDIR="$home/tmp" XDG_RUNTIME_DIR= "${helpers[@]}" \
    setpriv --reuid="$user" --regid="$user" --clear-groups -- "$program" "$@"
