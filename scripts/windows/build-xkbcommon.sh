#!/bin/sh
# libxkbcommon for Windows x86-64 (MinGW-w64), cross-built from Debian's source
# package with meson, and the XKB data (Debian's xkb-data) beside it, so that
# the Windows program compiles keyboard layouts as the Linux one does.
#
#   scripts/windows/build-xkbcommon.sh PREFIX [WORK_DIR]
#
# PREFIX gets include/xkbcommon, lib/libxkbcommon.a, lib/pkgconfig/xkbcommon.pc
# and share/X11/xkb. Configure the project with PREFIX in RFID_WIN_PREFIXES and
# PKG_CONFIG_LIBDIR=PREFIX/lib/pkgconfig (never the host's .pc files); ship
# share/X11/xkb as the folder "xkb" beside the program. A PREFIX that already
# holds the library is left as it is.
# Needs: meson, ninja, bison, dpkg-dev (apt-get source), a deb-src line for
# bookworm, g++-mingw-w64-x86-64-posix, xkb-data.
set -eu
prefix=$(mkdir -p "$1" && cd "$1" && pwd)
work=${2:-$(mktemp -d)}
mkdir -p "$work"
work=$(cd "$work" && pwd)

if [ -f "$prefix/lib/libxkbcommon.a" ] && [ -d "$prefix/share/X11/xkb/symbols" ]; then
    echo "libxkbcommon for Windows already in $prefix"
    exit 0
fi

cd "$work"
if [ ! -d "$work/src" ]; then
    apt-get source --download-only libxkbcommon >/dev/null
    dpkg-source -x libxkbcommon_*.dsc src >/dev/null
fi

# Meson puts ccache before a compiler it finds itself, not before one named here.
cc="'x86_64-w64-mingw32-gcc-posix'"
if command -v ccache >/dev/null 2>&1; then
    cc="['ccache', $cc]"
fi
cat > "$work/cross.txt" <<CROSS
[binaries]
c = $cc
ar = 'x86_64-w64-mingw32-ar'
strip = 'x86_64-w64-mingw32-strip'
windres = 'x86_64-w64-mingw32-windres'
pkg-config = 'false'

[host_machine]
system = 'windows'
cpu_family = 'x86_64'
cpu = 'x86_64'
endian = 'little'
CROSS

# Only the keymap compiler: no X11, Wayland, registry (libxml2), tools or docs.
# The data root compiled in is a placeholder: the program names the folder
# beside itself at run time.
meson setup "$work/build" "$work/src" --cross-file "$work/cross.txt" --prefix "$prefix" \
    --buildtype release --default-library static \
    -Denable-x11=false -Denable-wayland=false -Denable-xkbregistry=false \
    -Denable-tools=false -Denable-docs=false \
    -Dxkb-config-root=xkb -Dx-locale-root=locale >/dev/null
ninja -C "$work/build" libxkbcommon.a
meson install -C "$work/build" --no-rebuild >/dev/null

mkdir -p "$prefix/share/X11"
rm -rf "$prefix/share/X11/xkb"
cp -rL /usr/share/X11/xkb "$prefix/share/X11/xkb"
echo "libxkbcommon for Windows in $prefix"
