#!/bin/sh
# Installs every Debian package that building and running the program needs; with
# --tests also what only the tests need. Safe to run again; skips apt when everything
# is present already. Installing prometheus (for promtool) on a machine that runs
# systemd also starts its server (systemctl disable --now prometheus stops it).
set -e
PACKAGES="cmake g++ make pkg-config qt6-base-dev libgl-dev libhidapi-dev libudev-dev libgtest-dev libgmock-dev \
libbenchmark-dev fonts-wqy-zenhei fonts-dejavu-core xvfb xauth x11-apps imagemagick clang \
libclang-rt-14-dev clang-format desktop-file-utils udev file dpkg-dev xdotool \
qemu-system-x86 busybox-static cpio libxkbcommon-dev xkb-data"
# Only the tests need these: systemd-analyze for the plug-in service, ansible-core for
# the fleet test, promtool (prometheus) for the audit's metrics; mmdebstrap, mke2fs
# (e2fsprogs) and ssh for the system test's Debian VM.
# --windows: the MinGW-w64 cross tool chain, Wine to run what it builds, NSIS for the
# installer, Qt's host tools and Ninja for the Windows build (scripts/build-windows.sh);
# meson, bison and xkb-data for its libxkbcommon; socat for its serial test.
for opt in "$@"; do
    case "$opt" in
    --tests) PACKAGES="$PACKAGES systemd ansible-core prometheus mmdebstrap e2fsprogs openssh-client" ;;
    --windows) PACKAGES="$PACKAGES g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix wine wine64 nsis \
qt6-base-dev-tools ninja-build dpkg-dev xz-utils ccache meson bison xkb-data socat" ;;
    esac
done
missing=""
for p in $PACKAGES; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
done
if [ -n "$missing" ]; then
    SUDO=""
    [ "$(id -u)" -ne 0 ] && SUDO="sudo"
    $SUDO apt-get update
    DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y --no-install-recommends $missing
fi
