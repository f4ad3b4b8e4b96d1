#!/bin/sh
# The serial component on Windows for real: under Wine, two COM ports wired
# back to back (a socat pseudo-terminal pair mapped to COM5 and COM12 through
# HKLM\Software\Wine\Ports), opened, written and read both ways, and closed.
#
#   scripts/windows/test-serial-wine.sh BUILD_DIR [QT_DIR]
#
# BUILD_DIR is the Windows build (tests/unit_tests.exe); QT_DIR the Qt for
# MinGW it was built with (its bin/ goes on WINEPATH unless WINEPATH is set). Uses a Wine prefix of its own, so
# that restarting its wineserver leaves other Wine programs alone.
set -eu
build=$(cd "$1" && pwd)
qt=${2:-${RFID_WIN_QT:-/work/.win/qt/qt-6.4.2-mingw-w64-x86_64}}
export WINEPREFIX="${RFID_SERIAL_WINEPREFIX:-$build/wine-serial}"
export WINEDEBUG=-all
# The DLLs: as the caller's WINEPATH names them (build/win/wine-env.sh), else
# Qt's and the GCC runtime's.
export WINEPATH="${WINEPATH:-$qt/bin;/usr/lib/gcc/x86_64-w64-mingw32/12-posix;/usr/x86_64-w64-mingw32/lib}"

ports=$(mktemp -d)
socat pty,raw,echo=0,link="$ports/a" pty,raw,echo=0,link="$ports/b" &
socat_pid=$!
trap 'kill $socat_pid 2>/dev/null || true; wineserver -k >/dev/null 2>&1 || true; rm -rf "$ports"' EXIT
for _ in $(seq 50); do [ -e "$ports/b" ] && break; sleep 0.1; done
[ -e "$ports/b" ] || { echo "socat made no pseudo-terminal pair" >&2; exit 1; }

# A new prefix says so at length on its first run; created quietly first.
wine wineboot --init >/dev/null 2>&1 || true
# COM12: a port above COM9 needs the device namespace (\\.\COM12).
wine reg add 'HKLM\Software\Wine\Ports' /v COM5 /t REG_SZ /d "$ports/a" /f >/dev/null
wine reg add 'HKLM\Software\Wine\Ports' /v COM12 /t REG_SZ /d "$ports/b" /f >/dev/null
# The ports are mapped when the wineserver starts. It is started here with its
# output away from the test's: stopped at the end, it lists every object it
# still holds (ten thousand lines), which says nothing about the ports.
wineserver -k >/dev/null 2>&1 || true
wineserver -w >/dev/null 2>&1 || true
wineserver -p5 >/dev/null 2>&1

RFID_TEST_COM_PAIR=COM5,COM12 wine "$build/tests/unit_tests.exe" --gtest_filter='CommPort*'
