// The simulated reader's command parser and firmware on any frames.
//
// Input: byte 0 flags (bit 0: the 13.56 MHz family, bit 1: wrap every chunk
// into a well-formed frame, bits 2-4: a fault, 0 and 7 none), byte 1 the
// fault's argument, then chunks, each a length byte and that many bytes. A
// wrapped chunk is address, command, data; a raw chunk is written as it is.
// One fresh reader takes all chunks in order, so settings written by one
// frame are read back by a later one.
#include "check.h"
#include "model.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>

namespace {

using rfidsim::Bytes;
using rfidsim::Fault;

Bytes wrap(const std::uint8_t* chunk, std::size_t n) {
    if (n < 2)
        return Bytes(chunk, chunk + n);
    // Address, length, command and data, XOR, end marker; at most 255 bytes.
    const std::size_t body = std::min<std::size_t>(n - 1, 250);
    Bytes frame{0xAA, chunk[0], static_cast<std::uint8_t>(body)};
    frame.insert(frame.end(), chunk + 1, chunk + 1 + body);
    std::uint8_t x = 0;
    for (std::size_t i = 1; i < frame.size(); ++i)
        x ^= frame[i];
    frame.push_back(x);
    frame.push_back(0xBB);
    return frame;
}

QString hex(const std::uint8_t* bytes, int n) {
    return QString::fromLatin1(QByteArray(reinterpret_cast<const char*>(bytes), n).toHex(' '));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2)
        return 0;
    static const Fault faults[8] = {Fault::None,    Fault::WriteFail, Fault::Silent,   Fault::Refuse,
                                    Fault::Damaged, Fault::Short,     Fault::Overlong, Fault::None};
    rfidsim::Reader reader;
    reader.family = (data[0] & 1) ? rfidsim::Family::HighFrequency : rfidsim::Family::Keyboard;
    const bool wrapped = data[0] & 2;
    reader.fault = faults[(data[0] >> 2) & 7];
    reader.faultArg = data[1];

    std::size_t at = 2;
    while (at < size) {
        const std::size_t n = std::min<std::size_t>(data[at], size - at - 1);
        const std::uint8_t* chunk = data + at + 1;
        at += 1 + n;
        const Bytes frame = wrapped ? wrap(chunk, n) : Bytes(chunk, chunk + n);
        const QString sent = hex(frame.data(), int(frame.size()));

        const bool taken = reader.write(frame.data(), int(frame.size()));
        FUZZ_CHECK(taken == (reader.fault != Fault::WriteFail), QStringLiteral("write ") + sent);

        // The program asks for 245 bytes into a 257-byte buffer; the rest must stay untouched.
        std::uint8_t buffer[257];
        std::fill(std::begin(buffer), std::end(buffer), 0xEE);
        const int got = reader.read(buffer, 245);
        FUZZ_CHECK(got >= 0 && got <= 245, QStringLiteral("read %1 bytes").arg(got));
        FUZZ_CHECK(std::all_of(buffer + std::max(got, 0), std::end(buffer),
                               [](std::uint8_t b) { return b == 0xEE; }),
                   QStringLiteral("read wrote past its count for ") + sent);
        FUZZ_CHECK(reader.read(buffer, 245) == 0, "the same answer was handed out twice");

        const std::optional<rfidsim::Request> request = rfidsim::parseFrame(frame.data(), int(frame.size()));
        if (wrapped && frame.size() >= 6)
            FUZZ_CHECK(request.has_value(), QStringLiteral("a well-formed frame was not parsed: ") + sent);
        if (!taken || !request || reader.fault == Fault::Silent) {
            FUZZ_CHECK(got == 0, QStringLiteral("an answer to ") + sent);
            continue;
        }
        const QString answer = hex(buffer, got);
        if (reader.fault == Fault::Short) {
            FUZZ_CHECK(got <= reader.faultArg, QStringLiteral("a short answer too long: ") + answer);
            continue;
        }
        if (reader.fault == Fault::Overlong) {
            FUZZ_CHECK(got == 245 && buffer[2] == 0xFF, QStringLiteral("over-long answer ") + answer);
            continue;
        }
        // A whole answer frame from the same address.
        const std::optional<rfidsim::Request> reply = rfidsim::parseFrame(buffer, got);
        FUZZ_CHECK(reply.has_value() && reply->address == request->address,
                   sent + QStringLiteral(" answered by ") + answer);
        const std::uint8_t status = reply->command;
        if (reader.fault == Fault::Refuse)
            FUZZ_CHECK(status == 0x01 && reply->data == Bytes{std::uint8_t(reader.faultArg)}, answer);
        else if (reader.fault == Fault::Damaged)
            FUZZ_CHECK(status == std::uint8_t(reader.faultArg), answer);
        else
            FUZZ_CHECK(status == 0x00 || (status == 0x01 && reply->data.size() == 1),
                       sent + QStringLiteral(" answered by ") + answer);
    }
    return 0;
}
