#!/bin/bash
# A fleet of 20 computers, each with its own simulated reader, set up with
# ansible-playbook and the rfid_reader module from the source tree (every host
# on ansible_connection=local, its reader's state file and its own state folder
# in host variables, handed to the module as environment):
#
#   1. the first run sets up every reader; one host's reader refuses the
#      Bluetooth name (RFIDSIM_REFUSE), and that host fails with the reader's
#      reason while the others succeed;
#   2. a second run changes nothing anywhere;
#   3. --check --diff on a host whose reader drifted in one setting shows that
#      key alone and sends the reader no write;
#   4. inline settings with --check --diff show a setting the reader cannot
#      report as pending.
#
# The module runs with its default write_only_settings (when-changed), so the
# second run shows that default to be idempotent.
#
#   fleet_test.sh <rfidctl> <source dir>
#
# Exit status: 0 passed, 1 failed, 77 skipped (ansible-playbook is missing).
set -u
rfidctl=${1:?usage: fleet_test.sh <rfidctl> <source dir>}
src=${2:?usage: fleet_test.sh <rfidctl> <source dir>}
hosts=20
refusing=host07
drifting=host03

if ! command -v ansible-playbook >/dev/null 2>&1; then
    echo "SKIP: ansible-playbook is not installed (scripts/install-deps.sh installs ansible-core)"
    exit 77
fi

failures=0
fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}
pass() { echo "ok: $*"; }

work=$(mktemp -d "${TMPDIR:-/tmp}/rfid-fleet.XXXXXX")
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/home" "$work/ansible" "$work/tmp"
export HOME=$work/home ANSIBLE_HOME=$work/ansible ANSIBLE_LOCAL_TEMP=$work/tmp ANSIBLE_REMOTE_TEMP=$work/tmp
export ANSIBLE_LIBRARY=$src/packaging/ansible ANSIBLE_NOCOLOR=1 ANSIBLE_FORCE_COLOR=0
export ANSIBLE_RETRY_FILES_ENABLED=0 ANSIBLE_GATHERING=explicit ANSIBLE_STDOUT_CALLBACK=default
export ANSIBLE_DEPRECATION_WARNINGS=0 ANSIBLE_LOCALHOST_WARNING=0
unset RFIDSIM_READERS RFIDSIM_UNPLUGGED RFIDSIM_NO_ACCESS RFIDSIM_IGNORE RFIDSIM_LOG RFIDSIM_STATE STATE_DIRECTORY

# --- The fleet -----------------------------------------------------------------
cat >"$work/reader.json" <<'EOF'
{
  "version": 1,
  "language": "German",
  "format": "10 no.in D",
  "add_semicolon": false,
  "add_question_mark": false,
  "add_comma_in_middle": false,
  "add_enter": true,
  "buzzer": "small",
  "custom_byte_enabled": false,
  "prefix_1": "00", "prefix_2": "00", "prefix_3": "00", "prefix_4": "00",
  "suffix_1": "00", "suffix_2": "00", "suffix_3": "00", "suffix_4": "00",
  "reader_mode": "Active read single",
  "bluetooth_name": "Till",
  "sleep_time": "5 minute"
}
EOF

python=/usr/bin/python3
[ -x "$python" ] || python=$(command -v python3)
{
    echo "[tills]"
    for i in $(seq -w 1 "$hosts"); do
        h=host$i
        mkdir -p "$work/$h/state"
        # One computer's reader refuses Bluetooth names (error 10), as a reader
        # refuses a value it cannot take.
        refuse=""
        [ "$h" = "$refusing" ] && refuse=" refuse=88:10"
        echo "$h ansible_connection=local ansible_python_interpreter=$python computer=$work/$h settings_source=$work/reader.json$refuse"
    done
} >"$work/inventory"

# The playbook of the README, without the package's installation, with the
# built rfidctl and each computer's simulated reader.
cat >"$work/site.yml" <<EOF
- hosts: tills
  gather_facts: false
  environment:
    RFIDSIM_STATE: "{{ computer }}/reader.state"
    RFIDSIM_LOG: "{{ computer }}/frames.log"
    STATE_DIRECTORY: "{{ computer }}/state"
    RFIDSIM_REFUSE: "{{ refuse | default('') }}"
  tasks:
    - name: Copy the settings file
      ansible.builtin.copy:
        src: "{{ settings_source }}"
        dest: "{{ computer }}/reader.json"
        mode: "0644"
    - name: Set up the reader
      rfid_reader:
        src: "{{ computer }}/reader.json"
        rfidctl: $rfidctl
        sim: true
    - name: Audit the reader
      ansible.builtin.command: $rfidctl --sim audit {{ computer }}/reader.json --json
      changed_when: false
EOF

playbook() { # <log name> <ansible-playbook arguments...>
    local log=$work/$1.log
    shift
    local start end
    start=$(date +%s.%N)
    ansible-playbook -i "$work/inventory" --forks 8 "$work/site.yml" "$@" >"$log" 2>&1
    local rc=$?
    end=$(date +%s.%N)
    elapsed=$(awk "BEGIN { printf \"%.1f\", $end - $start }")
    return $rc
}
recap() { sed -n '/^PLAY RECAP/,$p' "$work/$1.log"; }
recap_of() { recap "$1" | grep "^$2 "; }
field_of() { recap_of "$1" "$2" | grep -o "$3=[0-9]*" | cut -d= -f2; }

# --- 1. The first run ------------------------------------------------------------
playbook first
rc=$?
echo "first run of $hosts hosts (forks 8): $elapsed s, exit status $rc"
recap first
[ "$rc" = 2 ] && pass "the first run exits 2 (a host failed)" || fail "the first run exited $rc"
ok_hosts=0
for i in $(seq -w 1 "$hosts"); do
    h=host$i
    if [ "$h" = "$refusing" ]; then
        [ "$(field_of first "$h" failed)" = 1 ] && pass "$h failed" || fail "$h did not fail: $(recap_of first "$h")"
        continue
    fi
    [ "$(field_of first "$h" failed)" = 0 ] && [ "$(field_of first "$h" changed)" = 2 ] &&
        ok_hosts=$((ok_hosts + 1)) || fail "$h: $(recap_of first "$h")"
    grep -q '^language=0A$' "$work/$h/reader.state" || fail "$h: the reader has no German keyboard"
done
[ "$ok_hosts" = $((hosts - 1)) ] && pass "$ok_hosts hosts set up (settings file copied, reader changed)"
reason=$(grep "^fatal: \[$refusing\]" "$work/first.log")
if echo "$reason" | grep -q 'Stopped at the Bluetooth name: the reader refused it (error 10'; then
    pass "$refusing fails with the reader's reason"
else
    fail "$refusing's failure does not give the reader's reason: $reason"
    sed -n "/\[$refusing\]/p" "$work/first.log"
fi

# --- 2. The second run -----------------------------------------------------------
for i in $(seq -w 1 "$hosts"); do : >"$work/host$i/frames.log"; done
playbook second --limit "all:!$refusing"
rc=$?
echo "second run of $((hosts - 1)) hosts: $elapsed s, exit status $rc"
recap second
[ "$rc" = 0 ] && pass "the second run exits 0" || fail "the second run exited $rc"
changed=$(recap second | grep -o 'changed=[0-9]*' | cut -d= -f2 | sort -u | tr '\n' ' ')
[ "$changed" = "0 " ] && pass "the second run changed nothing anywhere" || fail "changed counts: $changed"
writes=$(cat "$work"/host*/frames.log | grep '^>' | grep -vc '^> AA 00 01 83 ')
[ "$writes" = 0 ] && pass "the second run sent no write to any reader" || fail "the second run sent $writes writes"

# --- 3. --check --diff on a reader that drifted ------------------------------------
RFIDSIM_STATE=$work/$drifting/reader.state STATE_DIRECTORY=$work/$drifting/state \
    "$rfidctl" --sim set add_enter=false >/dev/null || fail "could not change $drifting's reader"
: >"$work/$drifting/frames.log"
playbook drift --limit "$drifting" --check --diff
rc=$?
echo "--check --diff on $drifting: $elapsed s, exit status $rc"
[ "$rc" = 0 ] && pass "--check --diff exits 0" || fail "--check --diff exited $rc"
[ "$(field_of drift "$drifting" changed)" = 1 ] && pass "$drifting would change" ||
    fail "$drifting: $(recap_of drift "$drifting")"
diff_lines=$(grep -E '^[-+][a-z_]+: ' "$work/drift.log")
if [ "$diff_lines" = $'-add_enter: false\n+add_enter: true' ]; then
    pass "the diff shows add_enter alone: $(echo "$diff_lines" | tr '\n' ' ')"
else
    fail "the diff shows: $diff_lines"
    sed -n '/TASK \[Set up the reader\]/,/TASK \[Audit/p' "$work/drift.log"
fi
frames=$(grep '^>' "$work/$drifting/frames.log" | sort -u)
[ -n "$frames" ] && [ "$frames" = '> AA 00 01 83 82 BB' ] && pass "check mode only read the reader" ||
    fail "check mode sent: $frames"
now=$(RFIDSIM_STATE=$work/$drifting/reader.state "$rfidctl" --sim read 2>&1 | grep '^add_enter: ')
[ "$now" = "add_enter: false" ] && pass "$drifting's reader still has add_enter false" || fail "$drifting's reader: $now"

# --- 4. Inline settings ------------------------------------------------------------
RFIDSIM_STATE=$work/$drifting/reader.state STATE_DIRECTORY=$work/$drifting/state \
    ansible "$drifting" -i "$work/inventory" -m rfid_reader --check --diff \
    -a "{\"settings\": {\"reader_mode\": \"Key trigger mode\"}, \"rfidctl\": \"$rfidctl\", \"sim\": true}" \
    >"$work/pending.log" 2>&1
if grep -qx -- '-reader_mode: (not reported)' "$work/pending.log" &&
    grep -qx -- '+reader_mode: Key trigger mode' "$work/pending.log" &&
    grep -q '"msg": "1 setting would be written"' "$work/pending.log"; then
    pass "--check --diff shows the pending reader mode, which the reader cannot report"
else
    fail "--check --diff with a new reader mode: $(cat "$work/pending.log")"
fi

if [ "$failures" -gt 0 ]; then
    echo "--- first run ---"
    cat "$work/first.log"
    echo "$failures check(s) failed"
    exit 1
fi
echo "all fleet checks passed"
exit 0
