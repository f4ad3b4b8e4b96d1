// Hardware-free parts of librfidusb: device id parsing, interface choice, report
// chunking and answer assembly. Nothing in here talks to hidapi.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace rfidusb {

constexpr std::uint8_t kFrameStart = 0xAA;
constexpr std::uint8_t kFrameEnd = 0xBB;
constexpr std::size_t kFrameOverhead = 5; // start, address, length, checksum, end
constexpr std::size_t kDefaultReportSize = 64;
constexpr std::size_t kMaxReportSize = 4096;
constexpr int kDefaultTimeoutMs = 500;
constexpr int kMaxTimeoutMs = 60000;

struct DeviceId {
    std::uint16_t vendor = 0;
    std::uint16_t product = 0;
    int interfaceNumber = -1; // -1: any interface of the device
};

// Vendor/product ids searched when RFIDUSB_DEVICE is not set, in order of preference.
const std::vector<DeviceId>& defaultDeviceIds();

// Parses "vvvv:pppp" or "vvvv:pppp:i" (vendor and product 1 to 4 hex digits,
// interface 0 to 255 in decimal), as RFIDUSB_DEVICE holds it; blanks and line breaks
// around it do not count. Anything else is refused whole (nullopt, and `why` says what
// is wrong), never read in part: the library and the connection check both use this.
std::optional<DeviceId> parseDeviceId(std::string_view text, std::string* why = nullptr);

// One entry of the HID enumeration. A composite device shows up once per interface,
// and an interface with several top-level collections once per collection.
struct HidCandidate {
    std::string path;
    std::uint16_t vendor = 0;
    std::uint16_t product = 0;
    std::uint16_t usagePage = 0;
    std::uint16_t usage = 0;
    int interfaceNumber = -1;
};

bool isKeyboard(const HidCandidate& candidate);
bool isVendorDefined(const HidCandidate& candidate);

// Picks the reader's command interface among the enumerated candidates: only entries
// matching one of `wanted`, never a keyboard collection, vendor-defined usage pages
// first. Returns the index of the chosen entry.
std::optional<std::size_t> chooseCandidate(const std::vector<HidCandidate>& candidates,
                                           const std::vector<DeviceId>& wanted);

// Splits a frame into HID output reports of 1 + payloadSize bytes each: the report id
// (0x00 for a device without numbered reports), then the next payloadSize frame bytes,
// zero-padded.
std::vector<std::vector<std::uint8_t>> splitIntoReports(const std::uint8_t* frame, std::size_t count,
                                                        std::size_t payloadSize, std::uint8_t reportId = 0);

// Collects one answer frame from consecutive input report payloads. Bytes before the
// first 0xAA are dropped; once the length byte is in, the answer is length + 5 bytes
// and anything after that (report padding) is ignored. A frame that does not end in
// 0xBB where its length byte says is dropped, and collecting starts again at the next
// 0xAA after its start.
class AnswerAssembler {
public:
    // Returns true once the answer is complete.
    bool feed(const std::uint8_t* data, std::size_t size);
    bool complete() const;
    // Total answer size, or 0 while the length byte has not arrived.
    std::size_t expectedSize() const;
    const std::vector<std::uint8_t>& bytes() const { return bytes_; }
    std::size_t copyTo(std::uint8_t* out, std::size_t capacity) const;
    void reset() { bytes_.clear(); }

private:
    void settle();
    std::vector<std::uint8_t> bytes_;
};

// Integer setting from an environment value; `fallback` when unset, malformed or out of range.
int parseIntSetting(const char* text, int fallback, int minimum, int maximum);

// Why a call failed; the values are those of hidLastError (rfidusb_api.h).
enum class ErrorKind { None = 0, NoReader = 1, Permission = 2, Busy = 3, Io = 4, Timeout = 5 };

// The failure an errno from opening a device node stands for.
ErrorKind classifyOpenError(int err);
// The "access" value of hidDeviceInfo for the outcome of opening a node.
const char* accessWord(ErrorKind kind);

// One reader as the optional entry points describe it.
struct ReaderInfo {
    std::string path;
    std::uint16_t vendor = 0;
    std::uint16_t product = 0;
    int interfaceNumber = -1;
    std::string manufacturer;
    std::string productName;
    std::string serial;
    std::string access = {}; // "ok", "denied", "busy", "gone", "error"; empty when not checked
};

// "path=...\nvendor=04d8\n..." as hidDeviceInfo returns it, with an "access" line when
// it was checked; line breaks and other control characters inside values (C0, DEL, C1)
// become spaces.
std::string formatDeviceInfo(const ReaderInfo& info);

// Copies `text` and a NUL into `buf`. Returns the length copied, or -1 when `buf` is
// null or cannot hold all of it (then `buf` gets an empty string when capacity > 0).
int copyText(const std::string& text, char* buf, int capacity);
// Copies as much of `text` as fits, NUL-terminated (nothing when buf is null or capacity <= 0).
void copyTextTruncated(const std::string& text, char* buf, int capacity);

// The readers among the enumerated candidates: one command interface per physical
// device, chosen as chooseCandidate does. `deviceKeys[i]`, when given, names the
// physical device candidate i belongs to (interfaces of one device share it); without
// it every device node counts as a device of its own. Returns candidate indexes,
// ordered by the position of their id in `wanted`, then by path.
std::vector<std::size_t> listReaders(const std::vector<HidCandidate>& candidates,
                                     const std::vector<DeviceId>& wanted,
                                     const std::vector<std::string>& deviceKeys = {});

// The reader whose path, or else whose (non-empty) serial number, is `pathOrSerial`.
std::optional<std::size_t> findReader(const std::vector<ReaderInfo>& readers, std::string_view pathOrSerial);

// A reader chosen with hidSelectDevice, as the library remembers it.
struct ReaderChoice {
    std::string path;          // the node it was at (empty: no choice, the automatic one)
    std::string serial;        // its serial number, empty when it has none
    bool bySerial = false;     // chosen by that serial number rather than by path
    bool serialShared = false; // another reader with the same serial number was seen meanwhile
};

// The chosen reader among the attached ones: at its node, unless a reader with
// another serial number took that node meanwhile. Gone from there, it is found again
// by its serial number when it was chosen by serial number; chosen by path, only when
// that serial number is not empty and no other reader has had it (a reader unplugged
// is not replaced by another that merely shares its serial number). nullopt, with the
// reason, when it is not attached.
std::optional<std::size_t> findChosenReader(const std::vector<ReaderInfo>& readers,
                                            const ReaderChoice& choice, std::string* why);

// How many of `readers` have the serial number `serial` (0 for an empty one).
std::size_t countSerial(const std::vector<ReaderInfo>& readers, const std::string& serial);

// "AA 00 03 ..." for trace output.
std::string hexBytes(const std::uint8_t* data, std::size_t size);

} // namespace rfidusb
