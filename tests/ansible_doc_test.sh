#!/bin/bash
# The Ansible module's documentation: ansible-doc shows it without an error or a
# warning, and its options agree with the module's argument_spec in names,
# types, choices, defaults, required and elements, as Ansible's module
# validation compares them (the argument_spec is taken by running the module's
# main() with AnsibleModule replaced). The sections a well-kept module has are
# present, every return value has a sample, and the check is shown to be real on
# a copy whose argument_spec disagrees.
#
#   ansible_doc_test.sh <source dir>
#
# Exit status: 0 passed, 1 failed, 77 skipped (ansible-doc is missing).
set -u
src=${1:?usage: ansible_doc_test.sh <source dir>}
module=$src/packaging/ansible/rfid_reader.py

if ! command -v ansible-doc >/dev/null 2>&1; then
    echo "SKIP: ansible-doc is not installed (scripts/install-deps.sh installs ansible-core)"
    exit 77
fi
python=$(head -1 "$(command -v ansible-doc)" | sed -n 's/^#! *\([^ ]*\).*/\1/p')
[ -x "$python" ] || python=python3

work=$(mktemp -d "${TMPDIR:-/tmp}/rfid-ansible-doc.XXXXXX")
trap 'rm -rf "$work"' EXIT
export HOME=$work ANSIBLE_HOME=$work/ansible ANSIBLE_NOCOLOR=1 ANSIBLE_LIBRARY=$work/modules
mkdir -p "$work/modules"
failures=0
fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}

# <module file>: the differences between documentation and argument_spec, one a
# line; nothing when they agree.
compare() {
    "$python" - "$1" <<'EOF'
import importlib.util, sys, yaml
import ansible.module_utils.basic as basic

path = sys.argv[1]
found = importlib.util.spec_from_file_location("rfid_reader_under_test", path)
mod = importlib.util.module_from_spec(found)
found.loader.exec_module(mod)
problems = []
doc = yaml.safe_load(mod.DOCUMENTATION)
for name in ("EXAMPLES", "RETURN"):
    yaml.safe_load(getattr(mod, name))

class Captured(Exception):
    pass

captured = {}
def capture(*args, **kwargs):
    captured.update(kwargs)
    raise Captured()
mod.AnsibleModule = capture
try:
    mod.main()
except Captured:
    pass
argspec = captured.get("argument_spec", {})

for section in ("module", "short_description", "description", "author", "requirements",
                "attributes", "notes", "seealso", "options"):
    if not doc.get(section):
        problems.append("DOCUMENTATION has no " + section)
for attribute in ("check_mode", "diff_mode", "platform"):
    if attribute not in (doc.get("attributes") or {}):
        problems.append("attributes has no " + attribute)
check_mode = (doc.get("attributes") or {}).get("check_mode", {}).get("support", "none") != "none"
if check_mode != bool(captured.get("supports_check_mode")):
    problems.append("attributes.check_mode and supports_check_mode disagree")

options = doc.get("options") or {}
for name in sorted(set(options) | set(argspec)):
    if name not in argspec:
        problems.append(name + ": documented, not in argument_spec")
        continue
    if name not in options:
        problems.append(name + ": in argument_spec, not documented")
        continue
    d, a = options[name], argspec[name]
    for field, default in (("type", "str"), ("choices", None), ("default", None),
                           ("required", False), ("elements", None)):
        if d.get(field, default) != a.get(field, default):
            problems.append("%s: %s documented %r, argument_spec %r" % (
                name, field, d.get(field, default), a.get(field, default)))
    if not d.get("description"):
        problems.append(name + ": no description")

for name, value in (yaml.safe_load(mod.RETURN) or {}).items():
    for field in ("description", "returned", "type", "sample"):
        if field not in value:
            problems.append("return value %s has no %s" % (name, field))
print("\n".join(problems))
EOF
}

cp "$module" "$work/modules/rfid_reader.py"
if out=$(ansible-doc rfid_reader 2>"$work/stderr") && [ ! -s "$work/stderr" ] &&
    ! echo "$out" | grep -qE '^\[WARNING\]|^ERROR!'; then
    echo "ok: ansible-doc rfid_reader"
    echo "$out" | head -3
else
    fail "ansible-doc rfid_reader: $(cat "$work/stderr") $out"
fi
ansible-doc --json rfid_reader >/dev/null 2>&1 || fail "ansible-doc --json rfid_reader"

problems=$(compare "$module" 2>&1)
[ -z "$problems" ] && echo "ok: the documentation and the argument_spec agree" || fail "$problems"

# The comparison is real: a default changed in the argument_spec alone is found.
sed 's/default="when-changed", choices/default="always", choices/' "$module" >"$work/disagrees.py"
problems=$(compare "$work/disagrees.py" 2>&1)
echo "$problems" | grep -q "write_only_settings: default documented 'when-changed', argument_spec 'always'" &&
    echo "ok: a disagreeing default is found" || fail "a disagreeing default is not found: $problems"

if [ "$failures" -gt 0 ]; then
    echo "$failures check(s) failed"
    exit 1
fi
echo "all module documentation checks passed"
exit 0
