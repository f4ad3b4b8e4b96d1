// One exchange through a USB library that answers with any bytes, whatever
// its length byte says and whatever count the library claims.
//
// Input: byte 0 flags (bits 0-1: what hidWriteData returns: 0 and 1 the frame's
// count, 2 one byte less, 3 -1; bit 2: debugging lines), bytes 1-2 what
// hidReadData returns (signed 16 bit, little end first), byte 3 the length k
// of the frame text, then k characters of frame text (Latin-1), then the bytes
// the library puts into the receive buffer.
#include "check.h"
#include "hex.h"
#include "usblink.h"

#include <algorithm>
#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <dlfcn.h>
#include <vector>

#ifndef RFID_FUZZ_USB_LIBRARY
#error "RFID_FUZZ_USB_LIBRARY names the stand-in USB library"
#endif

namespace {

// Tells the stand-in library to return the frame's own count from hidWriteData.
constexpr int kEchoCount = INT_MIN;

using SetFn = void (*)(int writeResult, int readResult, const unsigned char* answer, int count);
using WrittenFn = int (*)(unsigned char* buffer, int capacity, int* writes, int* reads, int* readCapacity);

struct Library {
    rfid::UsbLibrary usb{QStringLiteral(RFID_FUZZ_USB_LIBRARY)};
    SetFn set = nullptr;
    WrittenFn written = nullptr;
    Library() {
        // The same file the exchange loads, so both handles name one library.
        void* handle = dlopen(RFID_FUZZ_USB_LIBRARY, RTLD_NOW | RTLD_LOCAL);
        if (handle) {
            set = reinterpret_cast<SetFn>(dlsym(handle, "fuzzusb_set"));
            written = reinterpret_cast<WrittenFn>(dlsym(handle, "fuzzusb_written"));
        }
        if (!set || !written) {
            std::fprintf(stderr, "cannot load %s\n", RFID_FUZZ_USB_LIBRARY);
            std::abort();
        }
    }
};

Library& library() {
    static Library lib;
    return lib;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 4)
        return 0;
    const int writeMode = data[0] & 3;
    const bool debug = data[0] & 4;
    const int readResult = std::int16_t(std::uint16_t(data[1] | (data[2] << 8)));
    const std::size_t textSize = std::min<std::size_t>(data[3], size - 4);
    const QString frameText =
        QString::fromLatin1(reinterpret_cast<const char*>(data + 4), qsizetype(textSize));
    const std::uint8_t* answer = data + 4 + textSize;
    const int answerSize = int(size - 4 - textSize);

    // What the exchange should write, worked out from the text alone.
    const QString digits = rfid::hexDigits(frameText);
    const std::vector<std::uint8_t> frame = rfid::hexToBytes(digits);
    const int count = int(frame.size());
    const bool writeOk = writeMode < 2;
    const int writeResult = writeOk ? kEchoCount : writeMode == 2 ? count - 1 : -1;

    Library& lib = library();
    lib.set(writeResult, readResult, answer, answerSize);

    // The typed text becomes a frame once, at the edge; only a sendable one is exchanged.
    const rfid::FrameResult typed = rfid::typedFrame(frameText);
    const bool sendable = digits.size() % 2 == 0 && count <= rfid::kMaxFrameBytes;
    FUZZ_CHECK((typed.error == rfid::FrameError::None) == sendable, "the edge judged the frame wrongly");
    FUZZ_CHECK(typed.frame.text == digits, QStringLiteral("typed frame ") + typed.frame.text);
    const rfid::ExchangeResult result =
        sendable ? rfid::exchange(lib.usb, typed.frame, debug) : rfid::ExchangeResult{};

    unsigned char written[512];
    int writes = 0, reads = 0, capacity = 0;
    const int writtenCount = lib.written(written, int(sizeof written), &writes, &reads, &capacity);

    const QString r = rfid::toHex(result.answer.data(), int(result.answer.size()));
    FUZZ_CHECK(r.size() <= 2 * rfid::kReadCapacity && isUpperHexBytes(r), QStringLiteral("response ") + r);

    QStringList expectedLog;
    if (debug)
        expectedLog << QStringLiteral("发送...") + digits;
    if (!sendable) {
        FUZZ_CHECK(writes == 0 && reads == 0 && r.isEmpty(), "an unsendable frame was written");
        return 0;
    }
    FUZZ_CHECK(writes == 1 && writtenCount == count && std::equal(frame.begin(), frame.end(), written),
               QStringLiteral("written frame differs from ") + digits);
    if (!writeOk) {
        FUZZ_CHECK(reads == 0 && r.isEmpty(), "read after a failed write");
        expectedLog << rfid::writeFailureText();
        FUZZ_CHECK(result.log == expectedLog, result.log.join(QLatin1Char('|')));
        return 0;
    }
    FUZZ_CHECK(reads == 1 && capacity == rfid::kReadCapacity, "one read of 245 bytes");

    // The answer: as many bytes as its length byte asks for, never more than the
    // library said it read nor more than it was asked for.
    QString expected;
    if (readResult > 0) {
        std::uint8_t buffer[rfid::kReceiveBufferBytes] = {};
        std::copy_n(answer, std::min(answerSize, rfid::kReadCapacity), buffer);
        const int take = std::min({buffer[2] + 5, readResult, rfid::kReadCapacity});
        expected = rfid::toHex(buffer, take);
    }
    FUZZ_CHECK(r == expected, QStringLiteral("response ") + r + QStringLiteral(" expected ") + expected);
    if (debug)
        expectedLog << QStringLiteral("接收...") + expected;
    FUZZ_CHECK(result.log == expectedLog, result.log.join(QLatin1Char('|')));
    return 0;
}
