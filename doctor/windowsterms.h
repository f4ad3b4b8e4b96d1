// The connection check's report in a Windows computer's terms: Device Manager
// and the driver instead of udev, hidraw, lsusb and the kernel log, and
// environment variables set with "set" rather than before the command.
#pragma once

#include "readerdoctor.h"

namespace rfid::doctor {

// Rewrites the details and actions of `report` that only hold on Linux. The
// check applies it on Windows; it is plain text work, so it runs anywhere.
void useWindowsTerms(Report& report);

} // namespace rfid::doctor
