#!/bin/sh
# Builds the Windows program on Debian 12 with MinGW-w64: Qt (unpacked from an
# archive of the same build, or built from Debian's source package), hidapi,
# GoogleTest and whatever windows/deps/*.sh add, then the program with warnings as
# errors, then an installer (NSIS) and a portable zip.
#
#   scripts/build-windows.sh [--qt-archive FILE | --qt-from-source] [--no-package | --tests-only]
#
# Without either Qt option the archive at ../shared/windows/ (relative to the
# checkout) is used when it is there, else Qt is built from source (17-33 minutes
# on two cores). Everything goes below build/win/ (RFID_WIN_BUILD overrides):
#   deps/qt       Qt for Windows          deps/prefix  hidapi, GoogleTest, extras
#   project/      the program's build     package/     installer and zip
#
# Extra cross-built dependencies: every windows/deps/*.sh runs (in name order)
# after hidapi and GoogleTest, with RFID_WIN_PREFIX (install there; DLLs into its
# bin/, which are shipped), RFID_WIN_TOOLCHAIN, RFID_WIN_SRC (a work folder),
# RFID_WIN_JOBS and PKG_CONFIG_LIBDIR set; each must skip work already done.
#
# --tests-only builds the test programs and what they start (rfidctl, the
# simulated reader), not the window's program or the installer: what
# scripts/test-windows.sh needs. Each step prints the seconds spent so far.
set -eu
t0=$(date +%s)
step() { echo "== $* == ($(($(date +%s) - t0)) s)"; }
cd "$(dirname "$0")/.."
top=$(pwd)

QT_VERSION=6.4.2
qt_archive=""
qt_source=0
package=1
tests_only=0
default_archive="$top/../shared/windows/qt-$QT_VERSION-mingw-w64-x86_64.tar.xz"
while [ $# -gt 0 ]; do
    case "$1" in
    --qt-archive)
        [ $# -ge 2 ] || { echo "build-windows.sh: --qt-archive needs a file" >&2; exit 2; }
        qt_archive=$2
        shift 2
        ;;
    --qt-from-source) qt_source=1; shift ;;
    --no-package) package=0; shift ;;
    --tests-only) tests_only=1; package=0; shift ;;
    -h | --help) sed -n '2,23p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    *) echo "build-windows.sh: unknown option $1" >&2; exit 2 ;;
    esac
done
if [ -z "$qt_archive" ] && [ "$qt_source" = 0 ] && [ -f "$default_archive" ]; then
    qt_archive=$default_archive
fi
if [ -n "$qt_archive" ] && [ ! -f "$qt_archive" ]; then
    echo "build-windows.sh: $qt_archive: no such file" >&2
    exit 2
fi

./scripts/install-deps.sh --windows

B=${RFID_WIN_BUILD:-$top/build/win}
mkdir -p "$B"
B=$(cd "$B" && pwd)
jobs=$(nproc)
toolchain=$top/windows/mingw-w64-x86_64.cmake
qt=$B/deps/qt
prefix=$B/deps/prefix
src=$B/src
mkdir -p "$prefix/bin" "$prefix/lib/pkgconfig" "$prefix/include" "$src"
# pkg-config sees only what was built for Windows, never the host's .pc files.
PKG_CONFIG_LIBDIR=$prefix/lib/pkgconfig
export PKG_CONFIG_LIBDIR
unset PKG_CONFIG_PATH
RFID_WIN_PREFIXES=$qt:$prefix
export RFID_WIN_PREFIXES
launcher=""
if command -v ccache >/dev/null 2>&1; then
    launcher="-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache"
fi
# Wine's own prefix, kept with the build so that CI and people do not share one.
WINEPREFIX=${WINEPREFIX:-$B/wine}
WINEDEBUG=${WINEDEBUG:--all}
export WINEPREFIX WINEDEBUG

# Debian's source packages (Qt, hidapi) need a deb-src line.
need_sources() {
    if ! grep -rqsE '^(deb-src|Types:.*deb-src)' /etc/apt/sources.list /etc/apt/sources.list.d/; then
        SUDO=""
        [ "$(id -u)" -ne 0 ] && SUDO="sudo"
        printf 'Types: deb-src\nURIs: http://deb.debian.org/debian\nSuites: bookworm\nComponents: main\nSigned-By: /usr/share/keyrings/debian-archive-keyring.gpg\n' |
            $SUDO tee /etc/apt/sources.list.d/rfid-deb-src.sources >/dev/null
        $SUDO apt-get update
    fi
}

# The Qt build's switches. Reused to check an archive: every feature switched
# off here must be off there, and it must be a shared release build of the version.
QT_OFF_FEATURES="opengl dbus icu pkg-config vulkan sql network printsupport concurrent xml testlib tabletevent \
direct2d directwrite3 zstd"
qt_off_switches() {
    for f in $QT_OFF_FEATURES; do
        case $f in
        opengl | dbus | icu | pkg-config) printf ' -no-%s' "$f" ;;
        *) printf ' -no-feature-%s' "$f" ;;
        esac
    done
}

# Fails naming what differs when the Qt in $1 is not the build above.
qt_check() {
    pri=$1/mkspecs/qconfig.pri
    [ -f "$pri" ] || { echo "build-windows.sh: $1: not a Qt installation (no mkspecs/qconfig.pri)" >&2; return 1; }
    grep -q "^QT_VERSION = $QT_VERSION\$" "$pri" || { echo "build-windows.sh: $1: not Qt $QT_VERSION" >&2; return 1; }
    grep -q '^QT_CONFIG .*\bshared\b.*\brelease\b' "$pri" ||
        { echo "build-windows.sh: $1: not a shared release build" >&2; return 1; }
    [ -f "$1/bin/Qt6Widgets.dll" ] || { echo "build-windows.sh: $1: no Qt6Widgets.dll (not a Windows build?)" >&2; return 1; }
    enabled=$(cat "$1"/mkspecs/qconfig.pri "$1"/mkspecs/modules/*.pri | sed -n 's/^QT\.[a-z_]*\.enabled_features *+\{0,1\}= *//p')
    for f in $QT_OFF_FEATURES; do
        if printf ' %s \n' "$enabled" | grep -q " $f "; then
            echo "build-windows.sh: $1: Qt was built with $f, which this build switches off" >&2
            return 1
        fi
    done
}

step "Qt $QT_VERSION for Windows"
if [ -f "$qt/.rfid-done" ]; then
    echo "already in $qt"
elif [ -n "$qt_archive" ]; then
    rm -rf "$qt" "$qt.unpack"
    mkdir -p "$qt.unpack"
    tar -xJf "$qt_archive" -C "$qt.unpack"
    # The archive holds one folder.
    mv "$qt.unpack"/* "$qt"
    rmdir "$qt.unpack"
    qt_check "$qt"
    echo "$qt_archive" >"$qt/.rfid-done"
else
    need_sources
    rm -rf "$src/qt"
    mkdir -p "$src/qt"
    (cd "$src/qt" && apt-get source --download-only qt6-base && dpkg-source -x ./*.dsc qtbase)
    rm -rf "$src/qt-build"
    mkdir -p "$src/qt-build"
    # Debian's tarball has no wintab (hence no tabletevent); configure runs in a build folder.
    cd "$src/qt-build"
    # shellcheck disable=SC2046
    "$src/qt/qtbase/configure" -prefix "$qt" -xplatform win32-g++ -device-option CROSS_COMPILE=x86_64-w64-mingw32- \
        -qt-host-path /usr -release -shared -nomake examples -nomake tests $(qt_off_switches) \
        -no-feature-androiddeployqt -no-feature-macdeployqt \
        -qt-zlib -qt-libpng -qt-libjpeg -qt-freetype -qt-harfbuzz -qt-pcre -qt-doubleconversion \
        -- -G Ninja -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake
    cmake --build . --parallel "$jobs"
    cmake --install .
    cd "$top"
    rm -rf "$qt/doc"
    find "$qt" -name '*.dll' -exec x86_64-w64-mingw32-strip --strip-unneeded {} +
    qt_check "$qt"
    echo "built from source" >"$qt/.rfid-done"
fi

step "hidapi for Windows"
if [ ! -f "$prefix/lib/libhidapi.a" ]; then
    need_sources
    rm -rf "$src/hidapi"
    mkdir -p "$src/hidapi"
    (cd "$src/hidapi" && apt-get source --download-only hidapi && dpkg-source -x ./*.dsc hidapi)
    h=$src/hidapi/hidapi
    mkdir -p "$prefix/include/hidapi"
    x86_64-w64-mingw32-gcc-posix -O2 -c "$h/windows/hid.c" -I"$h/hidapi" -I"$h/windows" -o "$src/hidapi/hid.o"
    x86_64-w64-mingw32-ar rcs "$prefix/lib/libhidapi.a" "$src/hidapi/hid.o"
    cp "$h/hidapi/hidapi.h" "$h/windows/hidapi_winapi.h" "$prefix/include/hidapi/"
    # hid.c calls the configuration manager directly (the HID functions it loads itself).
    printf '%s\n' "prefix=$prefix" 'libdir=${prefix}/lib' 'includedir=${prefix}/include/hidapi' '' \
        'Name: hidapi' 'Description: hidapi for Windows' "Version: $(sed -n 's/^Version: //p' "$src"/hidapi/*.dsc)" \
        'Libs: -L${libdir} -lhidapi -lcfgmgr32' 'Cflags: -I${includedir}' >"$prefix/lib/pkgconfig/hidapi.pc"
fi

step "GoogleTest for Windows"
# GoogleTest only: no test uses GoogleMock, which would double this step.
if [ ! -f "$prefix/lib/cmake/GTest/GTestConfig.cmake" ]; then
    # shellcheck disable=SC2086
    cmake -S /usr/src/googletest -B "$src/googletest" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
        -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix" -DBUILD_SHARED_LIBS=OFF -DBUILD_GMOCK=OFF $launcher
    cmake --build "$src/googletest" -j"$jobs"
    cmake --install "$src/googletest"
fi

for dep in windows/deps/*.sh; do
    [ -f "$dep" ] || continue
    step "$dep"
    RFID_WIN_PREFIX=$prefix RFID_WIN_TOOLCHAIN=$toolchain RFID_WIN_SRC=$src RFID_WIN_JOBS=$jobs sh "$dep"
done

# What the built programs need under Wine, also while building (the test lists are
# read from the test programs): Qt's DLLs, the GCC runtime, the other DLLs, and the
# build's simulated reader (the tests load usb.dll by name). Written down for
# scripts/test-windows.sh and for running a program by hand:
#   . build/win/wine-env.sh && wine build/win/project/cli/rfidctl.exe --sim version
runtime=$(dirname "$(x86_64-w64-mingw32-g++-posix -print-file-name=libstdc++-6.dll)")
pthread=$(dirname "$(x86_64-w64-mingw32-g++-posix -print-file-name=libwinpthread-1.dll)")
fonts=$B/fonts
mkdir -p "$fonts"
# The offscreen platform reads the fonts of one folder: the window's two.
for f in /usr/share/fonts/truetype/dejavu/DejaVuSans.ttf /usr/share/fonts/truetype/wqy/wqy-zenhei.ttc; do
    [ -f "$f" ] && ln -sf "$f" "$fonts/"
done
cat >"$B/wine-env.sh" <<ENV
WINEPREFIX='$WINEPREFIX'
WINEDEBUG='$WINEDEBUG'
WINEPATH='$qt/bin;$runtime;$pthread;$prefix/bin;$B/project/sim'
WINEQT_QPA_PLATFORM=offscreen
WINEQT_QPA_FONTDIR='Z:$fonts'
XKB_CONFIG_ROOT='Z:$prefix/share/X11/xkb'
PKG_CONFIG_LIBDIR='$PKG_CONFIG_LIBDIR'
RFID_WIN_PREFIXES='$RFID_WIN_PREFIXES'
export WINEPREFIX WINEDEBUG WINEPATH WINEQT_QPA_PLATFORM WINEQT_QPA_FONTDIR XKB_CONFIG_ROOT PKG_CONFIG_LIBDIR \
    RFID_WIN_PREFIXES
ENV
# shellcheck disable=SC1091
. "$B/wine-env.sh"

step "the program for Windows"
# shellcheck disable=SC2086
cmake -S . -B "$B/project" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_PREFIX_PATH="$qt;$prefix" -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
    -DRFID_WERROR="${RFID_WIN_WERROR:-ON}" -DRFID_BUILD_BENCH=OFF \
    -DCMAKE_GTEST_DISCOVER_TESTS_DISCOVERY_MODE=PRE_TEST $launcher
# The test lists are read from the test programs under Wine when ctest runs
# (PRE_TEST above), not while building: a build for the installer starts no Wine.
if [ "$tests_only" = 1 ]; then
    # Every program below tests/; rfidctl and the simulated reader come with them.
    targets=$(ninja -C "$B/project" -t targets all | sed -n 's|^\(tests/[^:]*\.exe\):.*|\1|p')
    [ -n "$targets" ] || { echo "build-windows.sh: no test programs in $B/project" >&2; exit 1; }
    # shellcheck disable=SC2086
    cmake --build "$B/project" -j"$jobs" --target $targets
else
    cmake --build "$B/project" -j"$jobs"
fi

if [ "$package" = 1 ]; then
    step "installer and zip"
    rm -rf "$B/package"
    (cd "$B/project" && cpack -G "NSIS;ZIP" -B "$B/package")
    rm -rf "$B/package/_CPack_Packages"
    ls -l "$B/package"
fi
step "Windows build done: $B"
