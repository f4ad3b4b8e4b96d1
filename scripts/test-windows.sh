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
# Left out of the run under Wine, by name, each with its reason (one a line:
# the test's ctest name, then why). Every other test must pass.
left_out=$(grep -v '^#' <<'LIST' || true
LIST
)
skip=$(printf '%s\n' "$left_out" | awk 'NF { printf "%s^%s$", sep, $1; sep = "|" }')
echo "left out under Wine: $(printf '%s\n' "$left_out" | grep -c . || true) tests (see scripts/test-windows.sh)"
# An empty -E would leave every test out.
(cd "$B/project" && ctest --output-on-failure --timeout 600 ${skip:+-E "$skip"})
echo "== the serial component on two COM ports under Wine =="
./scripts/windows/test-serial-wine.sh "$B/project" "$B/deps/qt"
# Wine's server lingers a few seconds after the last program; stop it now.
wineserver -k 2>/dev/null || true
echo "All Windows tests passed."
