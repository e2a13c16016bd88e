# The Debian 12 packages this project needs, in one place. Source this file.

# To build and run the program.
VORN_BUILD_PACKAGES=(cmake g++ make pkg-config libwxgtk3.2-dev libayatana-appindicator3-dev fonts-wqy-microhei)
# To run every test headless, on top of the above.
VORN_TEST_PACKAGES=(googletest libgtest-dev xvfb openbox xdotool wmctrl x11-utils trayer
    e2fsprogs util-linux mount iproute2 desktop-file-utils appstream
    btrfs-progs xfsprogs dosfstools fusefat exfatprogs exfat-fuse ntfs-3g sleuthkit
    dbus-daemon libglib2.0-bin python3-gi gir1.2-glib-2.0 sway locales-all)

# Installs whichever of the given packages are missing, with sudo unless root.
vorn_install_missing() {
    local missing=() pkg
    for pkg in "$@"; do
        [ "$(dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null)" = 'install ok installed' ] ||
            missing+=("$pkg")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    local sudo=()
    [ "$(id -u)" -eq 0 ] || sudo=(sudo)
    echo "Installing: ${missing[*]}"
    "${sudo[@]}" apt-get update
    DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y "${missing[@]}"
}

# Configures and builds into build/.
vorn_build() {
    cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo
    cmake --build build -j "$(nproc)"
}
