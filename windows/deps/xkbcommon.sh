#!/bin/sh
# libxkbcommon and the XKB data for the Windows build (scripts/build-windows.sh
# runs every windows/deps/*.sh with RFID_WIN_PREFIX and RFID_WIN_SRC set).
set -eu
exec "$(dirname "$0")/../../scripts/windows/build-xkbcommon.sh" "$RFID_WIN_PREFIX" "$RFID_WIN_SRC/xkbcommon"
