// The report descriptors the VM's uhid reader declares, read back with the USB
// library's own parser: the report ids and sizes the VM cases rely on are really
// what the kernel and the library are told.
#include "hid_descriptor.h"
#include "uhid_reader.h"

#include <gtest/gtest.h>

namespace {

std::optional<rfidusb::ReportLayout> layoutOf(const rfidvm::DeviceOptions& o, std::string* error) {
    const auto bytes = rfidvm::reportDescriptor(o);
    const auto parsed = rfidusb::parseReportDescriptor(bytes.data(), bytes.size(), error);
    if (!parsed)
        return std::nullopt;
    return rfidusb::commandLayout(*parsed, 0xFF00, 0x01, error);
}

TEST(UhidDescriptor, CommandReportIdsAndSizes) {
    for (const auto layout : {rfidvm::Layout::Vendor, rfidvm::Layout::Composite}) {
        for (const std::uint8_t id : {0, 2, 5}) {
            if (layout == rfidvm::Layout::Composite && id == 0)
                continue; // two collections need report ids
            for (const int size : {8, 32, 64, 255}) {
                rfidvm::DeviceOptions o;
                o.layout = layout;
                o.reportId = id;
                o.reportSize = size;
                std::string error;
                const auto l = layoutOf(o, &error);
                ASSERT_TRUE(l) << error << " id " << int(id) << " size " << size;
                EXPECT_EQ(l->outputId, id);
                EXPECT_EQ(l->inputId, id);
                EXPECT_EQ(l->outputBytes, std::size_t(size));
                EXPECT_EQ(l->inputBytes, std::size_t(size));
                EXPECT_EQ(l->numbered, id != 0);
            }
        }
    }
}

TEST(UhidDescriptor, KeyboardCollections) {
    rfidvm::DeviceOptions o;
    o.layout = rfidvm::Layout::Composite;
    o.reportId = 2;
    const auto bytes = rfidvm::reportDescriptor(o);
    const auto parsed = rfidusb::parseReportDescriptor(bytes.data(), bytes.size());
    ASSERT_TRUE(parsed);
    ASSERT_EQ(parsed->collections.size(), 2u);
    EXPECT_EQ(parsed->collections[0].usagePage, 0x01);
    EXPECT_EQ(parsed->collections[0].usage, 0x06);

    // The keyboard interface alone offers no command channel.
    o.layout = rfidvm::Layout::Keyboard;
    std::string error;
    EXPECT_FALSE(layoutOf(o, &error));
    EXPECT_FALSE(error.empty());
}

} // namespace
