#include "doctorlibrary.h"

#include "hex.h"
#include "readerlink.h"

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
    // Through the reader link, so that the check waits for a reader another
    // program is using instead of mixing its frame into theirs.
    ReaderLink link(m_library);
    const LinkReply reply = link.send(Frame{frame, toHex(frame.data(), int(frame.size()))});
    // Nothing written (no library, the reader in use, the write refused): no exchange.
    if (reply.outcome == ExchangeOutcome::NotWritten)
        return std::nullopt;
    return reply.answer.bytes;
}

std::optional<std::pair<LinkError, std::string>> DoctorLibrary::lastError() {
    const auto e = m_library.lastError();
    if (!e)
        return std::nullopt;
    return std::make_pair(e->kind, e->text.toStdString());
}

doctor::Report runConnectionCheck(UsbLibrary& library, const QString& device) {
    DoctorLibrary access(library);
    return doctor::diagnose(access, doctor::SystemRoots{},
                            doctor::wantedReaders(std::getenv("RFIDUSB_DEVICE")), device.toStdString());
}

} // namespace rfid
