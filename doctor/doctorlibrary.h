// The connection check's view of the USB library the program loaded.
#pragma once

#include "readerdoctor.h"
#include "usblink.h"

namespace rfid {

class DoctorLibrary : public doctor::LibraryAccess {
public:
    explicit DoctorLibrary(UsbLibrary& library) : m_library(library) {}

    std::string fileName() override;
    bool loaded() override;
    std::optional<std::vector<Reader>> readers() override;
    bool select(const std::string& key) override;
    std::optional<std::vector<std::uint8_t>> exchange(const std::vector<std::uint8_t>& frame) override;
    std::optional<std::pair<LinkError, std::string>> lastError() override;

private:
    UsbLibrary& m_library;
};

// The check with the system's own roots and the ids RFIDUSB_DEVICE names (or the
// built-in ones), asking the reader `device` (empty: the library's choice).
doctor::Report runConnectionCheck(UsbLibrary& library, const QString& device = {});

} // namespace rfid
