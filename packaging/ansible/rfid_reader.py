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
  - Writes a settings file to a reader with C(rfidctl apply), only where the reader differs.
  - The keyboard language and the output settings are read back and written only when they
    differ. The reader cannot report its reader mode, Bluetooth mode and name and sleep time;
    they are written every time unless I(write_only_settings=when-changed).
  - Supports check mode (C(rfidctl apply --check): nothing is sent to the reader) and diff mode
    (the settings that differ, as the reader has them and as wanted).
options:
  src:
    description: A settings file on the target (the format C(rfidctl save) writes).
    type: path
  settings:
    description: The settings as a dictionary of the settings file's keys, instead of I(src).
    type: dict
  device:
    description: The reader's device path or serial number (C(rfidctl list)); default the first reader.
    type: str
  write_only_settings:
    description: When to write the settings the reader cannot report.
    type: str
    choices: [always, when-changed]
    default: always
  rfidctl:
    description: The rfidctl program to run.
    type: str
    default: rfidctl
  sim:
    description: Use the simulated reader (C(rfidctl --sim)), for tests.
    type: bool
    default: false
"""

EXAMPLES = r"""
- name: Set up the reader
  rfid_reader:
    src: /etc/rfid-demo/reader.json
    write_only_settings: when-changed

- name: German keyboard, Enter after each number
  rfid_reader:
    settings:
      language: German
      add_enter: true
"""

RETURN = r"""
device: {description: The reader's device path., returned: always, type: str}
serial: {description: The reader's serial number., returned: always, type: str}
written: {description: The steps written (with check mode, that would be written)., returned: always, type: list}
unchanged: {description: The steps left out because the reader has them., returned: always, type: list}
not_written: {description: The steps not written because the write stopped., returned: always, type: list}
cannot_be_read_back: {description: The keys the reader cannot report., returned: always, type: list}
differences: {description: "The settings that differed: key, reader, wanted.", returned: always, type: list}
"""

import json
import os
import tempfile

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
            write_only_settings=dict(type="str", default="always", choices=["always", "when-changed"]),
            rfidctl=dict(type="str", default="rfidctl"),
            sim=dict(type="bool", default=False),
        ),
        mutually_exclusive=[["src", "settings"]],
        required_one_of=[["src", "settings"]],
        supports_check_mode=True,
    )
    p = module.params
    inline = None
    path = p["src"]
    if p["settings"] is not None:
        settings = dict(p["settings"])
        settings.setdefault("version", 1)
        fd, inline = tempfile.mkstemp(prefix="rfid-reader-", suffix=".json")
        with os.fdopen(fd, "w") as f:
            json.dump(settings, f)
        path = inline

    command = [p["rfidctl"]]
    if p["sim"]:
        command.append("--sim")
    if p["device"]:
        command += ["--device", p["device"]]
    command += ["apply", path, "--json", "--write-only-settings=" + p["write_only_settings"]]
    if module.check_mode:
        command.append("--check")
    try:
        rc, out, err = module.run_command(command)
    finally:
        if inline:
            os.unlink(inline)

    report = last_json_line(out)
    if report is None:
        # A bad file or bad options: rfidctl says why on standard error.
        module.fail_json(msg=err.strip() or "rfidctl printed no result", rc=rc, cmd=command)

    # No "rc" on success: Ansible takes a result with a non-zero rc for a failure,
    # and with --check exit status 1 only says that something would change.
    result = dict(
        changed=bool(report.get("changed")),
        device=report.get("device", ""),
        serial=report.get("serial", ""),
        written=report.get("written", []),
        unchanged=report.get("unchanged", []),
        not_written=report.get("not_written", []),
        cannot_be_read_back=report.get("cannot_be_read_back", []),
        differences=report.get("differences", []),
    )
    if module._diff:
        differences = report.get("differences", [])
        result["diff"] = dict(
            before_header="reader " + result["device"],
            after_header=path if not inline else "settings",
            before="".join("%s: %s\n" % (d["key"], d["reader"]) for d in differences),
            after="".join("%s: %s\n" % (d["key"], d["wanted"]) for d in differences),
        )
    if report.get("error") or (rc != 0 and not (module.check_mode and rc == 1)):
        module.fail_json(msg=report.get("error") or err.strip() or "rfidctl failed", rc=rc, **result)
    module.exit_json(**result)


if __name__ == "__main__":
    main()
