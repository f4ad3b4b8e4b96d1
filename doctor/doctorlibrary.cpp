#include "doctorlibrary.h"

#include <array>
#include <cstdlib>

namespace rfid {

std::string DoctorLibrary::fileName() {
    return m_library.fileName().toStdString();
}

bool DoctorLibrary::loaded() {
    return m_library.isLoaded() && m_library.writeFn() && m_library.readFn();
}

std::optional<std::vector<doctor::LibraryAccess::Reader>> DoctorLibrary::readers() {
    const auto list = m_library.readers();
    if (!list)
        return std::nullopt;
    std::vector<Reader> out;
    for (const ReaderEntry& e : *list)
        out.push_back(
            {e.key().toStdString(), e.path.toStdString(), e.label().toStdString(), e.access.toStdString()});
    return out;
}

bool DoctorLibrary::select(const std::string& key) {
    return m_library.selectReader(QString::fromStdString(key));
}

std::optional<std::vector<std::uint8_t>> DoctorLibrary::exchange(const std::vector<std::uint8_t>& frame) {
    UsbLibrary::WriteFn write = m_library.writeFn();
    UsbLibrary::ReadFn read = m_library.readFn();
    if (!write || !read || write(0, int(frame.size()), frame.data()) != int(frame.size()))
        return std::nullopt;
    std::array<unsigned char, kReceiveBufferBytes> buffer{};
    const int n = read(0, kReadCapacity, buffer.data());
    if (n <= 0)
        return std::vector<std::uint8_t>{};
    return std::vector<std::uint8_t>(buffer.begin(), buffer.begin() + std::min(n, kReadCapacity));
}

std::optional<std::pair<int, std::string>> DoctorLibrary::lastError() {
    const auto e = m_library.lastError();
    if (!e)
        return std::nullopt;
    return std::make_pair(int(e->kind), e->text.toStdString());
}

doctor::Report runConnectionCheck(UsbLibrary& library, const QString& device) {
    DoctorLibrary access(library);
    return doctor::diagnose(access, doctor::SystemRoots{},
                            doctor::wantedReaders(std::getenv("RFIDUSB_DEVICE")), device.toStdString());
}

} // namespace rfid
