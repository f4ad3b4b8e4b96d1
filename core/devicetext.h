// Text that comes from a device (its version, serial number, names) or from
// another process, made safe to print on a terminal or write to a file.
#pragma once

#include <QString>

namespace rfid {

// `text` with every character that a terminal or a viewer would act on instead
// of showing written out: C0 controls (escape, BEL, CR, LF, tab, ...), DEL and
// the C1 controls as "\x1b", the Unicode characters that reorder or hide text
// (bidirectional controls, zero-width characters, line and paragraph
// separators) as "\u202e". Everything else stays as it is.
QString printableDeviceText(const QString& text);

// The same for text that arrives as bytes meant to be UTF-8 (names from sysfs,
// /proc, the USB library): well-formed UTF-8 is read as characters and shown
// as above, every byte that is not part of a well-formed sequence (a cut or
// overlong sequence, a surrogate, a raw C1 byte) as "\xNN".
QString printableDeviceBytes(const QByteArray& utf8);

} // namespace rfid
