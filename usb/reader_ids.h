// The vendor:product ids the USB library looks for when RFIDUSB_DEVICE is not set,
// in order of preference: USB-HID bridge ids that readers of this kind are commonly
// built on. Header-only, so that tools outside the library (the connection check)
// name the same ids.
#pragma once

#include <cstdint>

namespace rfidusb {

struct KnownReaderId {
    std::uint16_t vendor;
    std::uint16_t product;
    const char* bridge;
};

inline constexpr KnownReaderId kKnownReaderIds[] = {
    {0x04d8, 0x003f, "Microchip generic HID firmware"},
    {0x0483, 0x5750, "STMicroelectronics custom HID firmware"},
    {0x1a86, 0xe010, "WCH HID bridge"},
};

// The rule file that gives the logged-in user access to readers with these ids.
inline constexpr const char* kUdevRuleFile = "60-rfid-reader.rules";

} // namespace rfidusb
