#include "version.h"

namespace rfid {

QString versionText(const Answer& answer) {
    if (!answer.ok())
        return {};
    QString out;
    out.reserve(qsizetype(answer.payload.size()));
    for (std::uint8_t b : answer.payload)
        out += QChar(b);
    return out;
}

} // namespace rfid
