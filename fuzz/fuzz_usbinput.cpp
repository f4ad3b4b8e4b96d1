// What a USB device hands the library: its HID report descriptor, and the input
// reports that carry an answer.
//
// Input: byte 0 chooses. Even: the rest is a report descriptor. Odd: the rest is a
// run of input reports, each a length byte followed by that many bytes.
#include "hid_descriptor.h"
#include "rfidusb_core.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#define CHECK(cond)                                                                                          \
    do {                                                                                                     \
        if (!(cond)) {                                                                                       \
            std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #cond);                    \
            std::abort();                                                                                    \
        }                                                                                                    \
    } while (0)

namespace {

void descriptor(const std::uint8_t* data, std::size_t size) {
    std::string error;
    const auto parsed = rfidusb::parseReportDescriptor(data, size, &error);
    CHECK(parsed.has_value() == error.empty());
    if (!parsed)
        return;
    CHECK(!parsed->collections.empty());
    for (const auto& c : parsed->collections)
        for (const auto& r : c.reports) {
            CHECK(r.bytes() <= rfidusb::kMaxReportBytes);
            CHECK(parsed->numbered == (r.id != 0));
        }
    const std::uint16_t page = size > 1 ? data[0] | data[1] << 8 : 0;
    const auto layout = rfidusb::commandLayout(*parsed, page, 1, &error);
    if (!layout)
        return;
    CHECK(layout->outputBytes > 0 && layout->outputBytes <= rfidusb::kMaxReportBytes);
    CHECK(layout->inputBytes > 0 && layout->inputBytes <= rfidusb::kMaxReportBytes);
    CHECK(layout->numbered == (layout->outputId != 0));
}

void reports(const std::uint8_t* data, std::size_t size) {
    rfidusb::AnswerAssembler answer;
    std::size_t at = 0;
    while (at < size) {
        const std::size_t n = std::min<std::size_t>(data[at], size - at - 1);
        const bool done = answer.feed(data + at + 1, n);
        at += 1 + n;
        const auto& bytes = answer.bytes();
        CHECK(bytes.size() <= 255 + rfidusb::kFrameOverhead);
        CHECK(bytes.empty() || bytes.front() == rfidusb::kFrameStart);
        if (done) {
            CHECK(bytes.size() == answer.expectedSize());
            CHECK(bytes.back() == rfidusb::kFrameEnd);
            std::uint8_t out[245];
            CHECK(answer.copyTo(out, sizeof out) == std::min(bytes.size(), sizeof out));
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0)
        return 0;
    if (data[0] % 2 == 0)
        descriptor(data + 1, size - 1);
    else
        reports(data + 1, size - 1);
    return 0;
}
