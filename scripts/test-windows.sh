#!/bin/sh
# Builds the Windows program (scripts/build-windows.sh, whose options pass
# through) and runs its tests under Wine: the unit, core, rfidctl and widget
# tests, the window under Qt's offscreen platform. Tests that cannot mean anything
# on Windows are left out of that build in tests/CMakeLists.txt, each with its reason.
set -eu
cd "$(dirname "$0")/.."
./scripts/build-windows.sh --tests-only "$@"
B=${RFID_WIN_BUILD:-build/win}
# shellcheck disable=SC1091
. "$B/wine-env.sh"
echo "== tests under Wine =="
# Left out of the run under Wine, by name, each with its reason (one a line:
# the test's ctest name, then why). Every other test must pass.
left_out=$(grep -v '^#' <<'LIST' || true
LIST
)
skip=$(printf '%s\n' "$left_out" | awk 'NF { printf "%s^%s$", sep, $1; sep = "|" }')
echo "left out under Wine: $(printf '%s\n' "$left_out" | grep -c . || true) tests (see scripts/test-windows.sh)"
# Each test is a Windows process of its own, with a Wine start-up of its own: as
# many at a time as there are cores, as the Linux tests run (each test's files
# are its own). The test lists are read from the programs first, once. An empty
# -E would leave every test out.
t0=$(date +%s)
(cd "$B/project" && ctest -N >/dev/null &&
    ctest --output-on-failure --timeout 600 -j"$(nproc)" ${skip:+-E "$skip"})
echo "tests under Wine: $(($(date +%s) - t0)) s"
echo "== the serial component on two COM ports under Wine =="
./scripts/windows/test-serial-wine.sh "$B/project" "$B/deps/qt"
# Wine's server lingers a few seconds after the last program; stop it now.
wineserver -k 2>/dev/null || true
echo "All Windows tests passed."
