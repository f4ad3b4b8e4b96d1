// The hex-text helpers and the framing on any text.
//
// Input: byte 0 is the device address, byte 1 holds flags (bit 0: address in
// lower case, bit 1: the rest is Latin-1 rather than UTF-8), the rest is the
// text handed to every helper.
#include "check.h"
#include "errors.h"
#include "hex.h"
#include "model.h"

#include <cstddef>
#include <cstdint>

namespace {

QString hexOf(std::uint8_t b, bool lower) {
    const QString t = rfid::toHex(&b, 1);
    return lower ? t.toLower() : t;
}

void checkFilters(const QString& text) {
    const QString digits = rfid::hexDigits(text);
    qsizetype kept = 0;
    qsizetype at = 0;
    for (QChar c : text) {
        if (!rfid::isHexDigit(c))
            continue;
        ++kept;
        FUZZ_CHECK(at < digits.size() && digits[at] == c, "hexDigits lost or changed a digit");
        ++at;
    }
    FUZZ_CHECK(digits.size() == kept, "hexDigits kept something that is not a hex digit");

    const QString even = rfid::checkdata(text);
    FUZZ_CHECK(even.size() % 2 == 0 && even == digits.left(digits.size() & ~qsizetype(1)),
               QStringLiteral("checkdata gave ") + even);

    const std::vector<std::uint8_t> bytes = rfid::hexToBytes(text);
    FUZZ_CHECK(qsizetype(bytes.size()) * 2 == even.size(), "hexToBytes lost a pair");
    const QString back = rfid::toHex(bytes.data(), int(bytes.size()));
    FUZZ_CHECK(back == even.toUpper(), QStringLiteral("toHex(hexToBytes) gave ") + back);
}

void checkCdate(const QString& text) {
    const QString out = rfid::cdate(text);
    const qsizetype pairs = text.size() / 2;
    FUZZ_CHECK(out.size() == 3 * pairs, "cdate length");
    for (qsizetype i = 0; i < pairs; ++i)
        FUZZ_CHECK(out[3 * i + 2] == QLatin1Char(' '), "cdate: a pair not followed by a blank");

    // Reversing twice gives the even tail of the input back.
    QString reversed = out;
    reversed.remove(QLatin1Char(' '));
    if (!text.contains(QLatin1Char(' '))) {
        QString twice = rfid::cdate(reversed);
        twice.remove(QLatin1Char(' '));
        FUZZ_CHECK(twice == text.right(2 * pairs), "cdate twice is not the identity");
    }
}

void checkGetchr(const QString& text) {
    try {
        const QByteArray chars = rfid::Getchr(text);
        FUZZ_CHECK(chars.size() == 2 * (text.size() / 4), "Getchr: two characters per group of four");
    } catch (const rfid::EConvertError&) {
        // A group with something other than hex digits: the one error allowed.
    }

    // On hex digits alone it never fails, and GetAscii undoes it.
    const QString digits = rfid::hexDigits(text);
    const QByteArray chars = rfid::Getchr(digits);
    QString hex = QStringLiteral("pre");
    rfid::GetAscii(chars, hex);
    FUZZ_CHECK(hex == QStringLiteral("pre") + digits.left(4 * (digits.size() / 4)).toUpper(),
               QStringLiteral("GetAscii(Getchr) gave ") + hex);
}

void checkGetAscii(const QByteArray& raw) {
    QString hex = QStringLiteral("x");
    rfid::GetAscii(raw, hex);
    FUZZ_CHECK(hex.size() == 1 + 2 * raw.size() && hex.startsWith(QLatin1Char('x')),
               "GetAscii must append two digits per byte");
    const QString appended = hex.mid(1);
    FUZZ_CHECK(isUpperHexBytes(appended), QStringLiteral("GetAscii gave ") + appended);
    FUZZ_CHECK(QByteArray::fromHex(appended.toLatin1()) == raw, "GetAscii does not round-trip");
}

void checkFrame(std::uint8_t address, bool lower, const QString& command) {
    const QString digits = rfid::hexDigits(command);
    const rfid::FrameResult frame = rfid::buildFrame(hexOf(address, lower), command);
    if (digits.size() % 2 != 0) {
        FUZZ_CHECK(frame.error == rfid::FrameError::OddDigits && frame.frame.text.isEmpty(),
                   "odd digits framed");
        return;
    }
    const qsizetype n = digits.size() / 2;
    if (n > rfid::kMaxCommandBytes) {
        FUZZ_CHECK(frame.error == rfid::FrameError::TooLong && frame.frame.text.isEmpty(),
                   "over-long field framed");
        return;
    }
    FUZZ_CHECK(frame.error == rfid::FrameError::None, "a valid command was not framed");
    FUZZ_CHECK(rfid::hexDigits(frame.frame.text) == frame.frame.text &&
                   frame.frame.text.size() == 2 * (n + 5),
               QStringLiteral("frame text ") + frame.frame.text);
    // The command's digits travel as typed, case kept.
    FUZZ_CHECK(frame.frame.text.mid(6, 2 * n) == digits, QStringLiteral("frame text ") + frame.frame.text);

    const std::vector<std::uint8_t> bytes = rfid::hexToBytes(frame.frame.text);
    FUZZ_CHECK(qsizetype(bytes.size()) == n + 5 && bytes.size() <= std::size_t(rfid::kMaxFrameBytes),
               "frame size");
    FUZZ_CHECK(bytes == frame.frame.bytes,
               QStringLiteral("the frame's bytes differ from its text ") + frame.frame.text);
    FUZZ_CHECK(bytes[0] == 0xAA && bytes[1] == address && bytes[2] == n && bytes.back() == 0xBB,
               QStringLiteral("frame ") + frame.frame.text);
    const std::vector<std::uint8_t> data = rfid::hexToBytes(digits);
    if (n == 0) {
        // Nothing to send still makes a frame: AA, address, 00, checksum, BB.
        FUZZ_CHECK(bytes[3] == address, QStringLiteral("empty frame ") + frame.frame.text);
        return;
    }
    const std::optional<rfidsim::Request> parsed = rfidsim::parseFrame(bytes.data(), int(bytes.size()));
    FUZZ_CHECK(parsed.has_value(), QStringLiteral("the reader cannot parse ") + frame.frame.text);
    FUZZ_CHECK(parsed->address == address && parsed->command == data[0] &&
                   parsed->data == std::vector<std::uint8_t>(data.begin() + 1, data.end()),
               QStringLiteral("the reader reads other data from ") + frame.frame.text);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2)
        return 0;
    const std::uint8_t address = data[0];
    const bool lowerAddress = data[1] & 1;
    const bool latin1 = data[1] & 2;
    const char* rest = reinterpret_cast<const char*>(data + 2);
    const qsizetype restSize = qsizetype(size - 2);
    const QString text = latin1 ? QString::fromLatin1(rest, restSize) : QString::fromUtf8(rest, restSize);

    checkFilters(text);
    checkCdate(text);
    checkGetchr(text);
    checkGetAscii(QByteArray(rest, restSize));
    checkFrame(address, lowerAddress, text);
    return 0;
}
