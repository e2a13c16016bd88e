#!/usr/bin/env bash
# Installs what is missing, builds, and starts the program with the given
# paths listed. Needs a desktop session (DISPLAY).
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
start_dir=$PWD
cd "$here"
. scripts/deps.sh
vorn_install_missing "${VORN_BUILD_PACKAGES[@]}"
vorn_build
cd "$start_dir"
exec "$here/build/vorn" "$@"
