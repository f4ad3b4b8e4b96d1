#!/bin/bash
# Runs inside the system test's VM (run-system-test.sh copies it to /opt/rfid with
# rfid_plug_reader and reader.json). Plugs a reader in through /dev/uhid and looks
# at what the installed udev rules, rfid-reader-apply@.service and rfidctl did.
#
#   vm-cases.sh plug-in          the plug-in cases, one "rfid-system: CASE" line each
#   vm-cases.sh plug SERIAL      plugs a reader in and leaves it plugged; prints
#                                "plugged <command node> <keyboard node> <time>"
#   vm-cases.sh unplug           unplugs it
#   vm-cases.sh frames           the frames it answered ("> frame", "< answer t=...")
#   vm-cases.sh clear-frames     forgets them
#   vm-cases.sh holds NODE       exit 0 when the reader at NODE holds reader.json's settings
set -u
here=/opt/rfid
run=/run/rfid-test
settings=/etc/rfid-demo/reader.json
mkdir -p "$run"
export LD_LIBRARY_PATH=$here/lib

# --- the reader ---------------------------------------------------------------
plug() { # SERIAL [rfid_plug_reader options...]: sets cmd, kbd and plugged_at
    local serial=$1 _
    shift
    : >"$run/plug.out"
    "$here/rfid_plug_reader" --serial "$serial" --state "$run/$serial.state" --log "$run/frames.log" "$@" \
        </dev/null >"$run/plug.out" 2>&1 &
    echo $! >"$run/plug.pid"
    for _ in $(seq 300); do
        grep -q '^plugged ' "$run/plug.out" && break
        kill -0 "$(cat "$run/plug.pid")" 2>/dev/null || break
        sleep 0.1
    done
    read -r _ cmd kbd plugged_at < <(grep '^plugged ' "$run/plug.out")
    [ -n "${cmd:-}" ] || { cat "$run/plug.out" >&2; return 1; }
}
unplug() { # waits until the reader has gone (it may have unplugged itself)
    local pid
    pid=$(cat "$run/plug.pid" 2>/dev/null) || return 0
    kill -TERM "$pid" 2>/dev/null
    while kill -0 "$pid" 2>/dev/null; do sleep 0.1; done
    rm -f "$run/plug.pid"
    udevadm settle
}
holds() { # NODE: the readable settings of reader.json, read back with rfidctl
    rfidctl --device "$1" read --json >"$run/read.json" 2>"$run/read.err" || { cat "$run/read.err"; return 1; }
    python3 - "$here/reader.json" "$run/read.json" <<'EOF'
import json, sys
want, have = (json.load(open(p)) for p in sys.argv[1:])
diff = [k for k in have if k in want and k != "version" and have[k] != want[k]]
print("differs: " + ", ".join(f"{k} {have[k]!r} (wanted {want[k]!r})" for k in diff) if diff else "")
sys.exit(1 if diff else 0)
EOF
}

# --- what systemd and udev did ------------------------------------------------
unit_of() { echo "rfid-reader-apply@${1#/dev/}.service"; }
prop() { systemctl show "$1" -p "$2" --value; }
# The journal from the last mark on (whole seconds: mark waits for the next one).
mark() {
    since=$(($(date +%s) + 1))
    sleep 1.1
}
journal_since() { journalctl --since "@$since" -o cat --no-pager "$@"; }
wait_run() { # UNIT: until a run started after the last mark has ended (120 s at most)
    local end=$((SECONDS + 120))
    while [ $SECONDS -lt $end ]; do
        journal_since -u "$1" | grep -qE '^(Finished|Failed to start|Stopped) |unmet condition|: (Failed|Deactivated)' &&
            [ "$(prop "$1" ActiveState)" != activating ] && return 0
        sleep 0.5
    done
    return 1
}
tags() { udevadm info -q property "$1" | sed -n 's/^TAGS=//p'; }
case_line() { echo "rfid-system: CASE $1: $2 $3"; }
quote() { sed 's/^/    | /'; }

# A reader made through /dev/uhid has no USB device above its HID device, so the
# package's rules, which match the USB device's idVendor and idProduct, cannot
# match it. The cases run with copies of the installed rules in /etc/udev/rules.d
# (same names, so they replace them) that match the same ids on the HID device's
# name instead (bus 0003 is USB; the kernel writes the ids in capitals); every
# other part of each line stays the package's own.
uhid_rules() {
    local f
    for f in /usr/lib/udev/rules.d/6?-rfid-reader*.rules; do
        sed 's/ATTRS{idVendor}=="\([0-9a-f]*\)", ATTRS{idProduct}=="\([0-9a-f]*\)"/KERNELS=="0003:\U\1:\2\E.*"/' \
            "$f" >"/etc/udev/rules.d/$(basename "$f")"
        echo "rules for uhid readers: /etc/udev/rules.d/$(basename "$f"):"
        grep -m1 KERNELS "/etc/udev/rules.d/$(basename "$f")" | quote
    done
    udevadm control --reload
}

plug_in_cases() {
    uhid_rules
    systemctl reset-failed
    mkdir -p /etc/rfid-demo
    cp "$here/reader.json" "$settings"
    rm -f "$run"/*.state "$run/frames.log"

    # 1. Plugged in with the settings file in place.
    mark
    plug system-test || { case_line plug-in FAIL "the uhid reader did not come up"; return; }
    echo "plugged in: command interface $cmd, keyboard interface $kbd"
    local unit kunit result started
    unit=$(unit_of "$cmd") kunit=$(unit_of "$kbd")
    wait_run "$unit"
    result=$(prop "$unit" Result)
    started=$(systemctl list-units --all --plain --no-legend 'rfid-reader-apply@*' | cut -d' ' -f1 | tr '\n' ' ')
    if [ "$result" = success ] && [ "$started" = "$unit " ] && [ -z "$(journal_since -u "$kunit")" ]; then
        case_line started-for-command-interface PASS "$unit ran (Result=$result); units: $started; none for $kbd"
    else
        case_line started-for-command-interface FAIL "Result=$result; units: $started; $kunit: $(journal_since -u "$kunit" | tr '\n' ' ')"
    fi
    journal_since -u "$unit" | quote
    if journal_since -u "$unit" | grep -q "${cmd#/dev/}"; then
        case_line journal PASS "the unit's lines above name ${cmd#/dev/}"
    else
        case_line journal FAIL "the unit's lines do not name ${cmd#/dev/}"
    fi
    local last
    last=$(sed -n 's/^< .* t=//p' "$run/frames.log" | tail -n1)
    if [ -n "$last" ]; then
        case_line plug-to-configured PASS "$(awk "BEGIN { printf \"%.2f\", $last - $plugged_at }") s from the uhid create to the last write's answer ($(grep -c '^>' "$run/frames.log") frames)"
    else
        case_line plug-to-configured FAIL "the reader answered no frame"
    fi
    local why
    if why=$(holds "$cmd"); then
        case_line settings-held PASS "rfidctl read --json matches reader.json: $(rfidctl --device "$cmd" read | grep -E '^(language|format|add_enter):' | tr '\n' ' ')"
    else
        case_line settings-held FAIL "$why"
    fi
    local ct kt
    ct=$(tags "$cmd") kt=$(tags "$kbd")
    if [[ $ct == *:uaccess:* ]] && [[ $kt != *:uaccess:* ]]; then
        case_line uaccess PASS "$cmd TAGS=$ct; $kbd TAGS=$kt"
    else
        case_line uaccess FAIL "$cmd TAGS=$ct; $kbd TAGS=$kt"
    fi
    unplug
    if grep -q '^language=0A$' "$run/system-test.state"; then
        case_line model-state PASS "the firmware model holds $(grep -E '^(language|output)=' "$run/system-test.state" | tr '\n' ' ')"
    else
        case_line model-state FAIL "$(tr '\n' ' ' <"$run/system-test.state")"
    fi

    # 2. A HID device with other ids: no unit, nothing sent, no access.
    rm -f "$run/frames.log"
    mark
    plug other-ids --vendor 1234 --product 5678 || { case_line other-ids FAIL "not plugged in"; return; }
    udevadm settle
    sleep 3
    if [ -z "$(journal_since -u 'rfid-reader-apply@*')" ] && [ ! -s "$run/frames.log" ] && [[ $(tags "$cmd") != *uaccess* ]]; then
        case_line other-ids PASS "1234:5678 at $cmd: no unit started, no frame, TAGS=$(tags "$cmd")"
    else
        case_line other-ids FAIL "1234:5678 at $cmd: $(grep -c '^>' "$run/frames.log" 2>/dev/null) frames, TAGS=$(tags "$cmd"), journal:"
        journal_since -u 'rfid-reader-apply@*' | quote
    fi
    unplug

    # 3. Without the settings file nothing is sent.
    mv "$settings" "$run/reader.json.away"
    rm -f "$run/frames.log" "$run/system-test.state"
    mark
    plug system-test || { case_line no-settings-file FAIL "not plugged in"; return; }
    unit=$(unit_of "$cmd")
    wait_run "$unit"
    sleep 2
    local skipped
    skipped=$(journal_since -u "$unit" | grep 'unmet condition')
    if [ -n "$skipped" ] && [ ! -s "$run/frames.log" ]; then
        case_line no-settings-file PASS "no frame sent; the journal: $skipped"
    else
        case_line no-settings-file FAIL "$(grep -c '^>' "$run/frames.log" 2>/dev/null) frames; journal: $(journal_since -u "$unit" | tr '\n' ' ')"
    fi
    unplug
    mv "$run/reader.json.away" "$settings"

    # 4. Unplugged while the service writes (each answer 400 ms late, unplugged after
    # the second answer), then plugged in again. Whichever sees the unplug first,
    # systemd (BindsTo=) or rfidctl, the unit may fail only saying what it wrote and
    # what not, and no other unit may fail.
    rm -f "$run/frames.log" "$run/system-test.state"
    mark
    plug system-test --delay 400 --unplug-after 2 || { case_line unplug-during-apply FAIL "not plugged in"; return; }
    unit=$(unit_of "$cmd")
    while kill -0 "$(cat "$run/plug.pid")" 2>/dev/null; do sleep 0.1; done
    udevadm settle
    wait_run "$unit"
    sleep 1
    local state failed
    state=$(prop "$unit" ActiveState)/$(prop "$unit" Result)
    failed=$(systemctl list-units --failed --plain --no-legend | cut -d' ' -f1 | tr '\n' ' ')
    journal_since -u "$unit" | quote
    if [[ $state != active* && $state != activating* ]] &&
        { [ -z "$failed" ] || { [ "$failed" = "$unit " ] &&
            journal_since -u "$unit" | grep -E 'unplugged during write|device disconnected' | grep -q 'Not written: '; }; }; then
        case_line unplug-during-apply PASS "after $(grep -c '^>' "$run/frames.log") frames: $unit $state; failed units: ${failed:-none}"
    else
        case_line unplug-during-apply FAIL "$unit $state; failed units: ${failed:-none}"
    fi
    rm -f "$run/frames.log"
    mark
    plug system-test || { case_line replug FAIL "not plugged in"; return; }
    unit=$(unit_of "$cmd")
    wait_run "$unit"
    if [ "$(prop "$unit" Result)" = success ] && why=$(holds "$cmd"); then
        case_line replug PASS "$unit Result=success, the reader holds every setting ($(grep -c '^>' "$run/frames.log") frames)"
    else
        case_line replug FAIL "$unit Result=$(prop "$unit" Result) $why"
        journal_since -u "$unit" | quote
    fi
    unplug

    # The Ansible runs that follow start from a reader the plug-in service leaves alone.
    rm -f "$settings" "$run"/*.state "$run/frames.log"
    systemctl reset-failed
}

case "${1:-}" in
plug-in) plug_in_cases ;;
plug)
    rm -f "$run/$2.state"
    plug "$2" && echo "plugged $cmd $kbd $plugged_at"
    ;;
unplug) unplug ;;
frames) cat "$run/frames.log" 2>/dev/null ;;
clear-frames) : >"$run/frames.log" ;;
holds) holds "$2" ;;
*)
    echo "usage: vm-cases.sh plug-in | plug SERIAL | unplug | frames | clear-frames | holds NODE" >&2
    exit 2
    ;;
esac
