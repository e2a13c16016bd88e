#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test headless: a private
# Xvfb display with a window manager and a notification-area host.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/deps.sh
vorn_install_missing "${VORN_BUILD_PACKAGES[@]}" "${VORN_TEST_PACKAGES[@]}"
vorn_build
scripts/with-display.sh ctest --test-dir build --output-on-failure --timeout 600 "$@"
