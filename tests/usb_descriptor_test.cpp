// The HID report descriptor parser: what a reader declares, and what a broken or
// hostile device may send instead.
#include "hid_descriptor.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace rfidusb;
using Bytes = std::vector<std::uint8_t>;

namespace {

// Usage page generic desktop, keyboard application collection: an 8-byte input
// report and a 1-byte LED output report, under `id` (no Report ID item when 0).
Bytes keyboard(std::uint8_t id) {
    Bytes d{0x05, 0x01, 0x09, 0x06, 0xA1, 0x01};
    if (id != 0)
        d.insert(d.end(), {0x85, id});
    d.insert(d.end(), {0x05, 0x07, 0x75, 0x08, 0x95, 0x08, 0x81, 0x02, 0x75, 0x01, 0x95,
                       0x05, 0x91, 0x02, 0x75, 0x03, 0x95, 0x01, 0x91, 0x01, 0xC0});
    return d;
}

// Vendor-defined command collection: `in`-byte input and `out`-byte output reports.
Bytes command(std::uint8_t id, std::uint8_t in, std::uint8_t out) {
    Bytes d{0x06, 0x00, 0xFF, 0x09, 0x01, 0xA1, 0x01};
    if (id != 0)
        d.insert(d.end(), {0x85, id});
    d.insert(d.end(), {0x15, 0x00, 0x26, 0xFF, 0x00, 0x75, 0x08, 0x95, in,   0x09,
                       0x01, 0x81, 0x02, 0x95, out,  0x09, 0x01, 0x91, 0x02, 0xC0});
    return d;
}

Bytes join(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

std::string rejection(const Bytes& d) {
    std::string error;
    const auto parsed = parseReportDescriptor(d.data(), d.size(), &error);
    return parsed ? std::string("accepted") : error;
}

} // namespace

TEST(HidDescriptor, ReadsCollectionsReportIdsAndSizes) {
    const Bytes d = join(keyboard(1), command(2, 32, 64));
    const auto parsed = parseReportDescriptor(d.data(), d.size());
    ASSERT_TRUE(parsed);
    EXPECT_TRUE(parsed->numbered);
    ASSERT_EQ(parsed->collections.size(), 2u);
    const TopCollection& kb = parsed->collections[0];
    EXPECT_EQ(kb.usagePage, 0x01);
    EXPECT_EQ(kb.usage, 0x06);
    ASSERT_EQ(kb.reports.size(), 2u);
    EXPECT_EQ(kb.reports[0].bytes(), 8u);
    EXPECT_EQ(kb.reports[1].kind, ReportKind::Output);
    EXPECT_EQ(kb.reports[1].bits, 8u); // 5 LED bits and 3 padding bits
    EXPECT_EQ(parsed->collections[1].usagePage, 0xFF00);

    // The command collection, whichever collection the enumeration named.
    for (std::uint16_t page : {0xFF00, 0x0001}) {
        const auto layout = commandLayout(*parsed, page, page == 0x0001 ? 0x06 : 0x01);
        ASSERT_TRUE(layout);
        EXPECT_EQ(layout->outputId, 2);
        EXPECT_EQ(layout->outputBytes, 64u);
        EXPECT_EQ(layout->inputId, 2);
        EXPECT_EQ(layout->inputBytes, 32u);
        EXPECT_TRUE(layout->numbered);
    }

    // Without report ids, and with the usage page inside a 4-byte usage.
    Bytes plain = command(0, 64, 64);
    plain.erase(plain.begin(), plain.begin() + 5);
    plain.insert(plain.begin(), {0x0B, 0x01, 0x00, 0xA0, 0xFF});
    const auto parsedPlain = parseReportDescriptor(plain.data(), plain.size());
    ASSERT_TRUE(parsedPlain);
    EXPECT_FALSE(parsedPlain->numbered);
    EXPECT_EQ(parsedPlain->collections[0].usagePage, 0xFFA0);
    const auto layout = commandLayout(*parsedPlain, 0, 0);
    ASSERT_TRUE(layout);
    EXPECT_EQ(layout->outputId, 0);
    EXPECT_EQ(layout->outputBytes, 64u);
}

TEST(HidDescriptor, PushPopLongItemsAndReportsSplitByNestedCollections) {
    // Push, change the report size for one field, pop; a long item in between; a
    // nested collection; the input report continues after it.
    const Bytes d{0x06, 0x00, 0xFF, 0x09, 0x01, 0xA1, 0x01, 0x85, 0x07, 0x75, 0x08, 0x95,
                  0x10, 0xA4, 0x75, 0x10, 0x95, 0x02, 0x81, 0x02, 0xB4, 0xFE, 0x02, 0x10,
                  0xAB, 0xCD, 0xA1, 0x02, 0x81, 0x02, 0xC0, 0x81, 0x02, 0x91, 0x02, 0xC0};
    const auto parsed = parseReportDescriptor(d.data(), d.size());
    ASSERT_TRUE(parsed) << rejection(d);
    const auto layout = commandLayout(*parsed, 0xFF00, 0x01);
    ASSERT_TRUE(layout);
    EXPECT_EQ(layout->inputBytes, 4u + 16u + 16u);
    EXPECT_EQ(layout->outputBytes, 16u);
    EXPECT_EQ(layout->outputId, 7);
}

TEST(HidDescriptor, NeverTakesAKeyboardAndNeedsBothDirections) {
    const Bytes kb = keyboard(0);
    const auto parsed = parseReportDescriptor(kb.data(), kb.size());
    ASSERT_TRUE(parsed);
    std::string why;
    EXPECT_FALSE(commandLayout(*parsed, 0x01, 0x06, &why));
    EXPECT_EQ(why, "no collection with both an input and an output report");

    // Input only in the vendor collection.
    Bytes inputOnly = command(0, 8, 8);
    inputOnly.erase(inputOnly.end() - 7, inputOnly.end() - 1);
    const auto p2 = parseReportDescriptor(inputOnly.data(), inputOnly.size());
    ASSERT_TRUE(p2) << rejection(inputOnly);
    EXPECT_FALSE(commandLayout(*p2, 0xFF00, 0x01));
}

TEST(HidDescriptor, RefusesBrokenAndAbsurdDescriptors) {
    const Bytes good = join(keyboard(1), command(2, 64, 64));
    EXPECT_EQ(rejection(good), "accepted");
    EXPECT_EQ(rejection({}), "empty descriptor");
    EXPECT_EQ(rejection(Bytes(good.begin(), good.begin() + 3)), "truncated item at byte 2");
    EXPECT_EQ(rejection(Bytes(good.begin(), good.end() - 1)),
              "collection not closed at the end of the descriptor");
    EXPECT_EQ(rejection({0xFE, 0x10, 0x00, 0x01}), "truncated long item at byte 0");
    EXPECT_EQ(rejection({0xFE}), "truncated long item at byte 0");
    EXPECT_EQ(rejection({0xC0}), "end of a collection that was not opened at byte 0");
    EXPECT_EQ(rejection({0xB4}), "pop without push at byte 0");
    EXPECT_EQ(rejection(Bytes(9, 0xA4)), "too many pushes at byte 8");
    EXPECT_EQ(rejection(Bytes(80, 0xA1)), "collections nested too deeply at byte 64");
    EXPECT_EQ(rejection({0x05, 0x01}), "no top-level collection");
    EXPECT_EQ(rejection({0xA1, 0x01, 0x81, 0x02, 0x85, 0x01, 0x81, 0x02, 0xC0}),
              "report ids used after fields without one at byte 4");
    EXPECT_EQ(rejection({0xA1, 0x01, 0x85, 0x00, 0xC0}), "report id 0 outside 1 to 255 at byte 2");
    EXPECT_EQ(rejection({0xA1, 0x01, 0x86, 0x01, 0x01, 0xC0}), "report id 257 outside 1 to 255 at byte 2");
    EXPECT_EQ(rejection({0x81, 0x02}), "report field outside any collection at byte 0");
    EXPECT_EQ(rejection({0xA1, 0x01, 0x76, 0x01, 0x01, 0xC0}), "report size of 257 bits at byte 2");
    EXPECT_EQ(rejection({0xA1, 0x01, 0x97, 0xFF, 0xFF, 0xFF, 0xFF, 0xC0}),
              "report count of 4294967295 at byte 2");
    // Fields adding up past 4096 bytes in one report.
    Bytes huge{0xA1, 0x01, 0x75, 0x08, 0x96, 0x00, 0x08};
    for (int i = 0; i < 3; ++i)
        huge.insert(huge.end(), {0x81, 0x02});
    huge.push_back(0xC0);
    EXPECT_EQ(rejection(huge), "report 0 larger than 4096 bytes at byte 11");
    // More bytes than any descriptor may have, however well-formed.
    Bytes longOne;
    while (longOne.size() <= kMaxDescriptorBytes)
        longOne.insert(longOne.end(), good.begin(), good.end());
    EXPECT_EQ(rejection(longOne).rfind("descriptor of ", 0), 0u);
}

TEST(HidDescriptor, AcceptsEveryLegalItemWidthAndLargeCounts) {
    // The report id item with its value in 2 and in 4 bytes.
    for (const Bytes& idItem : {Bytes{0x86, 0x05, 0x00}, Bytes{0x87, 0x05, 0x00, 0x00, 0x00}}) {
        Bytes d = command(0, 32, 32);
        d.insert(d.begin() + 7, idItem.begin(), idItem.end());
        const auto parsed = parseReportDescriptor(d.data(), d.size());
        ASSERT_TRUE(parsed) << rejection(d);
        const auto layout = commandLayout(*parsed, 0xFF00, 0x01);
        ASSERT_TRUE(layout);
        EXPECT_EQ(layout->outputId, 5);
        EXPECT_EQ(layout->inputId, 5);
        EXPECT_TRUE(layout->numbered);
    }
    EXPECT_EQ(rejection({0xA1, 0x01, 0x87, 0x00, 0x01, 0x00, 0x00, 0xC0}),
              "report id 256 outside 1 to 255 at byte 2");
    EXPECT_EQ(rejection({0xA1, 0x01, 0x86, 0x00, 0x00, 0xC0}), "report id 0 outside 1 to 255 at byte 2");

    // 8192 fields: of one bit (1024 bytes) and of four (4096 bytes, the largest
    // report) are fine; of eight they make a report past the largest.
    auto counted = [](std::uint8_t fieldBits) {
        return Bytes{0x06, 0x00, 0xFF, 0x09, 0x01, 0xA1, 0x01, 0x75, fieldBits, 0x96, 0x00,
                     0x20, 0x81, 0x02, 0x75, 0x08, 0x95, 0x40, 0x91, 0x02,      0xC0};
    };
    for (std::uint8_t bits : {1, 4}) {
        const Bytes d = counted(bits);
        const auto parsed = parseReportDescriptor(d.data(), d.size());
        ASSERT_TRUE(parsed) << rejection(d);
        const auto layout = commandLayout(*parsed, 0xFF00, 0x01);
        ASSERT_TRUE(layout);
        EXPECT_EQ(layout->inputBytes, 8192u * bits / 8);
        EXPECT_EQ(layout->outputBytes, 64u);
    }
    EXPECT_EQ(rejection(counted(8)), "report 0 larger than 4096 bytes at byte 12");
    EXPECT_EQ(rejection({0xA1, 0x01, 0x97, 0x01, 0x80, 0x00, 0x00, 0xC0}), "report count of 32769 at byte 2");
}

TEST(HidDescriptor, HidrawNameFromDevicePath) {
    EXPECT_EQ(hidrawName("/dev/hidraw3"), "hidraw3");
    EXPECT_EQ(hidrawName("hidraw12"), "hidraw12");
    EXPECT_EQ(hidrawName("/dev/hidraw"), "");
    EXPECT_EQ(hidrawName("/dev/hidraw1/../x"), "");
    EXPECT_EQ(hidrawName("/dev/hidraw1x"), "");
    EXPECT_EQ(hidrawName("1-2:1.0"), "");
    EXPECT_EQ(hidrawName("/dev/usb/hiddev0"), "");
}
