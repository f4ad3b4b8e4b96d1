#include "hex.h"

#include "errors.h"
#include "frame.h"

namespace rfid {

bool isHexDigit(QChar c) {
    const ushort u = c.unicode();
    return (u >= '0' && u <= '9') || (u >= 'a' && u <= 'f') || (u >= 'A' && u <= 'F');
}

QString hexDigits(const QString& text) {
    QString out;
    out.reserve(text.size());
    for (QChar c : text) {
        if (isHexDigit(c))
            out.append(c);
    }
    return out;
}

QString checkdata(const QString& text) {
    QString digits = hexDigits(text);
    if (digits.size() % 2 != 0)
        digits.chop(1);
    return digits;
}

QString cdate(const QString& hex) {
    const qsizetype len = hex.size();
    const qsizetype pairs = len / 2;
    QString out;
    out.reserve(pairs * 3);
    for (qsizetype i = 1; i <= pairs; ++i) {
        out.append(hex.mid(len - 2 * i, 2));
        out.append(QLatin1Char(' '));
    }
    return out;
}

static int hexValue(QChar c) {
    const ushort u = c.unicode();
    if (u >= '0' && u <= '9')
        return u - '0';
    if (u >= 'a' && u <= 'f')
        return u - 'a' + 10;
    if (u >= 'A' && u <= 'F')
        return u - 'A' + 10;
    return -1;
}

static int pairValue(const QString& text, qsizetype pos) {
    const int hi = hexValue(text.at(pos));
    const int lo = hexValue(text.at(pos + 1));
    if (hi < 0 || lo < 0)
        throw EConvertError(QStringLiteral("'$%1' is not a valid integer value").arg(text.mid(pos, 2)));
    return hi * 16 + lo;
}

QByteArray Getchr(const QString& hex) {
    const qsizetype groups = hex.size() / 4;
    QByteArray out;
    out.reserve(groups * 2);
    for (qsizetype k = 0; k < groups; ++k) {
        out.append(static_cast<char>(pairValue(hex, 4 * k)));
        out.append(static_cast<char>(pairValue(hex, 4 * k + 2)));
    }
    return out;
}

void GetAscii(const QByteArray& bytes, QString& result) {
    result.append(toHex(reinterpret_cast<const std::uint8_t*>(bytes.constData()), int(bytes.size())));
}

QString toHex(const std::uint8_t* bytes, int count) {
    static const char digits[] = "0123456789ABCDEF";
    QString out;
    out.resize(qsizetype(count) * 2);
    for (int i = 0; i < count; ++i) {
        out[2 * i] = QLatin1Char(digits[bytes[i] >> 4]);
        out[2 * i + 1] = QLatin1Char(digits[bytes[i] & 0x0F]);
    }
    return out;
}

std::vector<std::uint8_t> hexToBytes(const QString& hex) {
    const QString digits = checkdata(hex);
    std::vector<std::uint8_t> out;
    out.reserve(digits.size() / 2);
    for (qsizetype i = 0; i + 1 < digits.size(); i += 2)
        out.push_back(static_cast<std::uint8_t>(hexValue(digits[i]) * 16 + hexValue(digits[i + 1])));
    return out;
}

FrameResult buildFrame(const QString& address, const QString& command) {
    const QString data = hexDigits(command);
    if (data.size() % 2 != 0)
        return {FrameError::OddDigits, {}};
    if (data.size() / 2 > kMaxCommandBytes)
        return {FrameError::TooLong, {}};
    const std::vector<std::uint8_t> addressBytes = hexToBytes(address);
    Frame f;
    f.bytes = protocol::commandFrame(addressBytes.empty() ? 0 : addressBytes.front(), hexToBytes(data));
    const std::size_t n = f.bytes.size();
    f.text = QStringLiteral("AA") + address + toHex(&f.bytes[2], 1) + data + toHex(&f.bytes[n - 2], 1) +
             QStringLiteral("BB");
    return {FrameError::None, f};
}

FrameResult typedFrame(const QString& text) {
    Frame f;
    f.text = hexDigits(text);
    if (f.text.size() % 2 != 0)
        return {FrameError::OddDigits, f};
    if (f.text.size() / 2 > kMaxFrameBytes)
        return {FrameError::TooLong, f};
    f.bytes = hexToBytes(f.text);
    return {FrameError::None, f};
}

QString frameErrorText(FrameError error) {
    switch (error) {
    case FrameError::OddDigits:
        return QStringLiteral("Command not sent: its data has an odd number of hex digits.");
    case FrameError::TooLong:
        return QStringLiteral("Command not sent: it is longer than the 255 bytes a frame can hold.");
    case FrameError::None:
        break;
    }
    return {};
}

} // namespace rfid
