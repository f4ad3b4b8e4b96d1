#!/bin/sh
# Builds the Windows program (scripts/build-windows.sh, whose options pass
# through) and runs its tests under Wine: the unit, core, rfidctl and widget
# tests, the window under Qt's offscreen platform. Tests that cannot mean anything
# on Windows are left out of that build in tests/CMakeLists.txt, each with its reason.
set -eu
cd "$(dirname "$0")/.."
./scripts/build-windows.sh --no-package "$@"
B=${RFID_WIN_BUILD:-build/win}
# shellcheck disable=SC1091
. "$B/wine-env.sh"
echo "== tests under Wine =="
# One at a time: Wine's server is shared, and the tests of one reader share the
# simulated reader's settings file.
(cd "$B/project" && ctest --output-on-failure --timeout 600)
echo "== the serial component on two COM ports under Wine =="
./scripts/windows/test-serial-wine.sh "$B/project" "$B/deps/qt"
# Wine's server lingers a few seconds after the last program; stop it now.
wineserver -k 2>/dev/null || true
echo "All Windows tests passed."
