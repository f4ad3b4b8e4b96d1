// HID report descriptors: the report ids and sizes a device declares, read from the
// descriptor bytes the kernel exposes. Hardware-free; the input is untrusted (it
// comes from the device), so everything is bounded and malformed input is refused.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace rfidusb {

// Limits beyond which a descriptor is refused as absurd. The kernel refuses
// descriptors over 4096 bytes and report sizes over 256 bits per field as well.
constexpr std::size_t kMaxDescriptorBytes = 4096;
constexpr std::uint32_t kMaxFieldBits = 256;
constexpr std::size_t kMaxReportBytes = 4096; // one report, report id byte not counted
// As many fields as one-bit fields fit in the largest report: any larger count
// makes a report past that size whatever the field size.
constexpr std::uint32_t kMaxReportCount = kMaxReportBytes * 8;
constexpr int kMaxCollectionDepth = 32;
constexpr int kMaxGlobalStack = 8;

enum class ReportKind { Input, Output, Feature };

// One report of one top-level collection: its id (0 when the device uses no report
// ids) and its size in bits, without the report id byte.
struct DeclaredReport {
    ReportKind kind = ReportKind::Input;
    std::uint8_t id = 0;
    std::size_t bits = 0;
    std::size_t bytes() const { return (bits + 7) / 8; }
};

// A top-level (application) collection: its usage and the reports declared in it,
// in the order they first appear.
struct TopCollection {
    std::uint16_t usagePage = 0;
    std::uint16_t usage = 0;
    std::vector<DeclaredReport> reports;
};

struct ReportDescriptor {
    bool numbered = false; // the device prefixes every report with its report id
    std::vector<TopCollection> collections;
};

// Parses descriptor bytes. On failure returns nullopt and, when `error` is given, a
// short English reason ("truncated item at byte 17").
std::optional<ReportDescriptor> parseReportDescriptor(const std::uint8_t* data, std::size_t size,
                                                      std::string* error = nullptr);

// How to talk to the command interface.
struct ReportLayout {
    std::uint8_t outputId = 0;
    std::size_t outputBytes = 0;
    std::uint8_t inputId = 0;
    std::size_t inputBytes = 0;
    bool numbered = false;
};

// The command channel among the descriptor's collections: the collection with the
// usage `usagePage`/`usage` (as the HID enumeration reported it) when there is one,
// else the first vendor-defined collection, else the first collection that is not a
// keyboard; a keyboard collection is never taken. Its first output report, and the
// input report with the same id (else its first input report). nullopt, with a
// reason, when no collection has both.
std::optional<ReportLayout> commandLayout(const ReportDescriptor& descriptor, std::uint16_t usagePage,
                                          std::uint16_t usage, std::string* error = nullptr);

// "hidraw3" for "/dev/hidraw3"; empty when the path is not a hidraw node.
std::string hidrawName(const std::string& devicePath);

} // namespace rfidusb
