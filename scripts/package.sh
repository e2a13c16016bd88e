#!/usr/bin/env bash
# Builds the Debian package into build-pkg/ (vorn_<version>_<arch>.deb).
# Install it with: sudo apt-get install ./build-pkg/vorn_*.deb
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/deps.sh
vorn_install_missing "${VORN_BUILD_PACKAGES[@]}" dpkg-dev
cmake -S . -B build-pkg -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr -DVORN_BUILD_TESTS=OFF \
    -DVORN_WERROR=ON
cmake --build build-pkg -j "$(nproc)"
(cd build-pkg && cpack -G DEB)
ls build-pkg/vorn_*.deb
