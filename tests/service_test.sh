#!/bin/bash
# The plug-in service: systemd-analyze verify on the unit (in a scratch root
# holding the system's units, the unit and rfidctl), the udev rule that starts
# it, and the unit's own ExecCondition and ExecStart command lines run against
# the simulated reader.
#
#   service_test.sh <rfidctl> <source dir>
#
# Exit status: 0 passed, 1 failed, 77 skipped (systemd-analyze is missing; the
# command lines were still run).
set -u
rfidctl=${1:?usage: service_test.sh <rfidctl> <source dir>}
src=${2:?usage: service_test.sh <rfidctl> <source dir>}
rule=$src/packaging/udev/61-rfid-reader-apply.rules
installed=/usr/bin/rfidctl

failures=0
skipped=""
fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}
pass() { echo "ok: $*"; }

work=$(mktemp -d "${TMPDIR:-/tmp}/rfid-service.XXXXXX")
trap 'rm -rf "$work"' EXIT

# The unit as the Debian package installs it (the install writes it with the
# installed rfidctl's path).
unit=$work/rfid-reader-apply@.service
cmake -DRFIDCTL=$installed -DOUT="$unit" -P "$src/packaging/systemd/configure-unit.cmake" ||
    fail "the unit could not be configured"

# --- The unit's text ----------------------------------------------------------
setting() { sed -n "s/^$1=//p" "$unit"; }
settings_file=$(setting ConditionPathExists)
exec_start=$(setting ExecStart)
exec_condition=$(setting ExecCondition)
[ "$settings_file" = /etc/rfid-demo/reader.json ] && pass "ConditionPathExists=$settings_file" ||
    fail "ConditionPathExists is '$settings_file'"
[ "$exec_start" = "$installed --device /dev/%I apply $settings_file" ] && pass "ExecStart=$exec_start" ||
    fail "ExecStart is '$exec_start'"
[ "$exec_condition" = "$installed attached /dev/%I" ] && pass "ExecCondition=$exec_condition" ||
    fail "ExecCondition is '$exec_condition'"
[ "$(setting Type)" = oneshot ] && pass "Type=oneshot" || fail "Type is not oneshot"
[ "$(setting StateDirectory)" = rfid-demo ] && pass "StateDirectory=rfid-demo" || fail "no StateDirectory=rfid-demo"

# --- The udev rule -------------------------------------------------------------
# Every line that matches a reader's hidraw node tags it for systemd and wants
# the service for the node's kernel name.
n=0
while IFS= read -r line; do
    case $line in '' | '#'*) continue ;; esac
    n=$((n + 1))
    case $line in
    *'SUBSYSTEM=="hidraw"'*'TAG+="systemd"'*'ENV{SYSTEMD_WANTS}+="rfid-reader-apply@%k.service"'*) ;;
    *) fail "rule line does not start the service for the node: $line" ;;
    esac
done <"$rule"
ids_of() { grep -v '^#' "$1" | sed -n 's/.*idVendor}=="\([0-9a-f]*\)".*idProduct}=="\([0-9a-f]*\)".*/\1:\2/p' | sort -u; }
ids=$(ids_of "$src/packaging/udev/60-rfid-reader.rules")
[ -n "$ids" ] && [ "$(ids_of "$rule")" = "$ids" ] &&
    pass "the rule covers the $n reader ids of 60-rfid-reader.rules" ||
    fail "the rule's reader ids differ from those of 60-rfid-reader.rules"

# --- systemd-analyze verify ----------------------------------------------------
if command -v systemd-analyze >/dev/null 2>&1; then
    root=$work/root
    mkdir -p "$root/usr/lib/systemd/system" "$root/usr/bin"
    # The system's own units (targets the unit is ordered against), then ours.
    for d in /lib/systemd/system /usr/lib/systemd/system; do
        [ -d "$d" ] && cp -a "$d/." "$root/usr/lib/systemd/system/" 2>/dev/null
    done
    cp "$unit" "$root/usr/lib/systemd/system/"
    cp "$rfidctl" "$root$installed"
    if out=$(systemd-analyze verify --root="$root" 'rfid-reader-apply@hidraw3.service' 2>&1) && [ -z "$out" ]; then
        pass "systemd-analyze verify rfid-reader-apply@hidraw3.service"
    else
        fail "systemd-analyze verify: $out"
    fi
    # The check is real: a unit whose program is missing fails it.
    rm "$root$installed"
    if systemd-analyze verify --root="$root" 'rfid-reader-apply@hidraw3.service' >/dev/null 2>&1; then
        fail "systemd-analyze verify passes a unit whose program is missing"
    fi
    # The sandbox: systemd's own exposure rating (0 safe to 10 unsafe), at most 5.0.
    cp "$unit" "$work/rfid-reader-apply@hidraw3.service"
    score=$(systemd-analyze security --offline=yes "$work/rfid-reader-apply@hidraw3.service" 2>&1 |
        sed -n 's/.*Overall exposure level for [^:]*: \([0-9.]*\) .*/\1/p')
    if [ -n "$score" ] && awk "BEGIN { exit !($score <= 5.0) }"; then
        pass "systemd-analyze security: exposure $score"
    else
        fail "systemd-analyze security: exposure '$score' (more than 5.0)"
    fi
else
    echo "SKIP: systemd-analyze is not installed; the unit was not verified"
    skipped=1
fi

# --- The command lines against the simulated reader ----------------------------
# As systemd runs them for instance "sim:0": %I is the instance, the program is
# the built rfidctl with --sim, the settings file lies in the scratch folder, and
# STATE_DIRECTORY is what StateDirectory= sets. The simulated reader's device is
# "sim:0", not a node under /dev: that one word is put in place of /dev/sim:0.
mkdir -p "$work/etc/rfid-demo" "$work/state"
cat >"$work/etc/rfid-demo/reader.json" <<'EOF'
{ "version": 1, "language": "German", "add_enter": true, "reader_mode": "Active read single" }
EOF
export RFIDSIM_STATE=$work/reader.state RFIDSIM_LOG=$work/frames.log STATE_DIRECTORY=$work/state
unset RFIDSIM_READERS RFIDSIM_UNPLUGGED RFIDSIM_NO_ACCESS RFIDSIM_IGNORE
command_line() { # <line> <instance>
    local line=${1//%I/$2}
    line=${line//\/dev\/sim:/sim:}
    line=${line//$settings_file/$work$settings_file}
    echo "$rfidctl --sim ${line#"$installed" }"
}
run_line() { # <line> <instance>
    # shellcheck disable=SC2046
    $(command_line "$1" "$2")
}
if out=$(run_line "$exec_condition" sim:0 2>&1); then
    pass "ExecCondition for a reader: $(command_line "$exec_condition" sim:0) -> $out"
else
    fail "ExecCondition refused the reader sim:0: $out"
fi
out=$(run_line "$exec_condition" hidraw9 2>&1)
[ $? = 1 ] && pass "ExecCondition skips a node that is no reader: $out" ||
    fail "ExecCondition for hidraw9 did not exit 1: $out"
# A USB library that cannot list readers (here: none found beside a copy of
# rfidctl) is a failure systemd shows, not a node to skip: exit status 255.
mkdir -p "$work/bin" && cp "$rfidctl" "$work/bin/rfidctl"
out=$(LD_LIBRARY_PATH= "$work/bin/rfidctl" attached /dev/hidraw3 2>&1)
rc=$?
case $rc in
255) pass "ExecCondition fails when the USB library cannot list readers: $out" ;;
0 | 1) echo "note: a USB library is installed on this computer; the failing library was not tried" ;;
*) fail "ExecCondition without a USB library exits $rc: $out" ;;
esac
if out=$(run_line "$exec_start" sim:0 2>&1) && echo "$out" | grep -qx 'Written: keyboard language, output settings, reader mode.'; then
    pass "ExecStart on a new reader: $(command_line "$exec_start" sim:0)"
else
    fail "ExecStart on a new reader: $out"
fi
: >"$work/frames.log"
if out=$(run_line "$exec_start" sim:0 2>&1) && echo "$out" | grep -qx 'Unchanged: keyboard language, output settings.'; then
    pass "ExecStart again: the language and output settings unchanged"
else
    fail "ExecStart again: $out"
fi
writes=$(grep '^>' "$work/frames.log" | grep -vc '^> AA 00 01 83 ')
[ "$writes" = 1 ] && pass "ExecStart again sent one write (the reader mode, which the reader cannot report)" ||
    fail "ExecStart again sent $writes writes: $(cat "$work/frames.log")"
ls "$work/state"/reader-*.json >/dev/null 2>&1 && pass "the record is kept in STATE_DIRECTORY" ||
    fail "no record in STATE_DIRECTORY"

if [ "$failures" -gt 0 ]; then
    echo "$failures check(s) failed"
    exit 1
fi
[ -n "$skipped" ] && exit 77
echo "all service checks passed"
exit 0
