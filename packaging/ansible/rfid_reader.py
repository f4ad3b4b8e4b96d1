#!/usr/bin/python
# -*- coding: utf-8 -*-
# Sets up a USB RFID reader on the target with rfidctl. A thin wrapper: rfidctl
# apply --json does the work (reading the reader, writing what differs,
# checking) and says what it did; this turns that into Ansible's result.

from __future__ import absolute_import, division, print_function

__metaclass__ = type

DOCUMENTATION = r"""
---
module: rfid_reader
short_description: Set up a USB RFID reader (keyboard output) from a settings file
description:
  - Writes a settings file to a USB RFID reader with C(rfidctl apply), only where the reader
    differs, then reads the reader back to check it.
  - The keyboard language and the output settings are read from the reader first and written
    only when they differ.
  - The reader cannot report its reader mode, Bluetooth mode and name and sleep time. By default
    (C(write_only_settings=when-changed)) they are written when this computer has not written
    the same values to this reader before; see I(write_only_settings).
  - A setting the reader refuses fails the task with the reader's reason.
author:
  - rfid-demo maintainers <rfid-demo@localhost>
requirements:
  - C(rfidctl) on the target (the rfid-demo package), which talks to the reader
  - Access to the reader's device node on the target (the package's udev rule gives it to the
    logged-in user; otherwise run the task as root with C(become))
attributes:
  check_mode:
    description: Runs C(rfidctl apply --check), which reads the reader and sends nothing.
    support: full
  diff_mode:
    description: Shows each setting that would be written, as the reader has it and as wanted.
    support: full
  platform:
    description: Runs on Linux targets where rfidctl is installed.
    support: full
    platforms: posix
options:
  src:
    description:
      - A settings file on the target (the format C(rfidctl save) writes).
      - Exactly one of I(src) and I(settings) is required.
    type: path
  settings:
    description:
      - The settings as a dictionary of the settings file's keys, instead of I(src).
      - C(version) may be left out. Errors name them as C(settings).
    type: dict
  device:
    description:
      - The reader's device path or serial number (C(rfidctl list)).
      - When left out, the first reader rfidctl lists.
    type: str
  write_only_settings:
    description:
      - When to write the settings the reader cannot report (reader mode, Bluetooth mode and
        name, sleep time).
      - C(when-changed) leaves them out when this computer wrote the same values to this reader
        last (the record rfidctl keeps in its state folder on the target).
      - C(always) writes them on every run; the task then reports C(changed) every time.
    type: str
    choices: [always, when-changed]
    default: when-changed
  rfidctl:
    description: The rfidctl program on the target.
    type: path
    default: rfidctl
  sim:
    description: Use the simulated reader (C(rfidctl --sim)) instead of a USB reader, for tests.
    type: bool
    default: false
notes:
  - What the reader cannot report is judged by this computer's record only; a change made
    on another computer, by another user or with the reader's own button is not seen. Use
    C(write_only_settings=always) to write those settings regardless.
  - Several readers on one target are set up one task each, by I(device) (see the example).
seealso:
  - module: ansible.builtin.copy
    description: Puts the settings file on the target before this module writes it.
  - module: ansible.builtin.command
    description: Runs C(rfidctl audit FILE --prometheus PATH) to watch the readers afterwards.
"""

EXAMPLES = r"""
- name: Set up the reader from a settings file
  rfid_reader:
    src: /etc/rfid-demo/reader.json

- name: German keyboard, Enter after each number
  rfid_reader:
    settings:
      language: German
      add_enter: true
      reader_mode: Key trigger mode

- name: Find the readers
  ansible.builtin.command: rfidctl list --json
  register: readers
  changed_when: false

- name: Set up every reader
  rfid_reader:
    src: /etc/rfid-demo/reader.json
    device: "{{ item.path }}"
  loop: "{{ readers.stdout | from_json }}"
"""

RETURN = r"""
msg:
  description: What was done, in a few words.
  returned: always
  type: str
  sample: 3 settings written
device:
  description: The reader's device path.
  returned: always
  type: str
  sample: /dev/hidraw3
serial:
  description: The reader's serial number.
  returned: always
  type: str
  sample: 0001A7
written:
  description: The settings written (in check mode, those that would be written).
  returned: always
  type: list
  elements: str
  sample: [keyboard language, reader mode]
unchanged:
  description: The settings left out because the reader has them (or this computer wrote them last).
  returned: always
  type: list
  elements: str
  sample: [output settings]
not_written:
  description: The settings not written because writing stopped at a refusal or a fault.
  returned: always
  type: list
  elements: str
  sample: []
cannot_be_read_back:
  description: The keys the reader cannot report.
  returned: always
  type: list
  elements: str
  sample: [reader_mode]
differences:
  description: The settings the reader reported differently, before writing.
  returned: always
  type: list
  elements: dict
  sample: [{key: language, reader: American style, wanted: German}]
diff:
  description: Each setting written (or that would be), as the reader has it and as wanted.
  returned: in diff mode
  type: dict
  sample: {before: "reader_mode: (not reported)\n", after: "reader_mode: Key trigger mode\n"}
"""

import json

from ansible.module_utils.basic import AnsibleModule


def last_json_line(text):
    for line in reversed(text.splitlines()):
        line = line.strip()
        if line.startswith("{"):
            try:
                return json.loads(line)
            except ValueError:
                return None
    return None


def main():
    module = AnsibleModule(
        argument_spec=dict(
            src=dict(type="path"),
            settings=dict(type="dict"),
            device=dict(type="str"),
            write_only_settings=dict(type="str", default="when-changed", choices=["always", "when-changed"]),
            rfidctl=dict(type="path", default="rfidctl"),
            sim=dict(type="bool", default=False),
        ),
        mutually_exclusive=[["src", "settings"]],
        required_one_of=[["src", "settings"]],
        supports_check_mode=True,
    )
    p = module.params
    command = [p["rfidctl"]]
    if p["sim"]:
        command.append("--sim")
    if p["device"]:
        command += ["--device", p["device"]]
    # Inline settings go to rfidctl on its standard input ("-"), which names
    # them "settings" in its errors.
    stdin = None
    source = p["src"]
    if p["settings"] is not None:
        settings = dict(p["settings"])
        settings.setdefault("version", 1)
        stdin = json.dumps(settings)
        source = "-"
    command += ["apply", source, "--json", "--write-only-settings=" + p["write_only_settings"]]
    if module.check_mode:
        command.append("--check")
    rc, out, err = module.run_command(command, data=stdin, binary_data=True)

    report = last_json_line(out)
    if report is None:
        # Bad settings or options: rfidctl says why on standard error.
        module.fail_json(msg=err.strip() or "rfidctl printed no result", rc=rc, cmd=command)

    written = report.get("written", [])
    # No "rc" on success: Ansible takes a result with a non-zero rc for a failure,
    # and with --check exit status 1 only says that something would change.
    result = dict(
        changed=bool(report.get("changed")) or bool(written),
        device=report.get("device", ""),
        serial=report.get("serial", ""),
        written=written,
        unchanged=report.get("unchanged", []),
        not_written=report.get("not_written", []),
        cannot_be_read_back=report.get("cannot_be_read_back", []),
        differences=report.get("differences", []),
    )
    if module._diff:
        pending = report.get("differences", []) + report.get("unreported_writes", [])
        result["diff"] = dict(
            before_header="reader " + result["device"],
            after_header=source if stdin is None else "settings",
            before="".join("%s: %s\n" % (d["key"], d["reader"]) for d in pending),
            after="".join("%s: %s\n" % (d["key"], d["wanted"]) for d in pending),
        )
    if report.get("error") or (rc != 0 and not (module.check_mode and rc == 1)):
        module.fail_json(msg=report.get("error") or err.strip() or "rfidctl failed", rc=rc, **result)
    if not written:
        result["msg"] = "nothing to change"
    else:
        result["msg"] = "%d %s %s" % (
            len(written),
            "setting" if len(written) == 1 else "settings",
            "would be written" if module.check_mode else "written",
        )
    module.exit_json(**result)


if __name__ == "__main__":
    main()
