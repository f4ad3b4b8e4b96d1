// Notices that a HID device arrived or left, where the USB library offers no
// descriptor to watch (hidMonitorFd gives -1): on Windows, the system's device
// notifications for the HID device interface.
#pragma once

#include <functional>

class QObject;

namespace rfid {

// Calls `changed` on the calling thread, from its event loop, each time a HID
// device arrives or leaves, for as long as `owner` lives (a later call for
// the same owner replaces the earlier, and an empty `changed` ends the
// notices). False where this platform has no such notices.
bool watchHidDevices(QObject* owner, std::function<void()> changed);

} // namespace rfid
