// Limits of the keyboard-output reader that more than one part of the program
// must agree on: the settings check, the help texts and the simulated reader's
// firmware. Plain C++ without Qt, so that any of them can include it.
#pragma once

namespace rfid {

// The longest Bluetooth name the reader takes, in bytes of its code page
// (command 0x88 carries the name's bytes, no length byte and no terminator).
constexpr int kMaxBluetoothNameBytes = 30;

} // namespace rfid
