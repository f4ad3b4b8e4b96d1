// The reader's version, rendered once for every face that shows it (the
// window's Version report, rfidctl version, the connection check, the set-up
// station's CSV).
#pragma once

#include "answer.h"

#include <QString>

namespace rfid {

// The version the reader reports in a successful answer to the version
// command: every payload byte as one character (ISO 8859-1), as the reader
// sends them; empty for any other answer. A face that prints to a terminal or
// writes a file escapes the control characters the result may hold.
QString versionText(const Answer& answer);

} // namespace rfid
