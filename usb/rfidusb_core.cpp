#include "rfidusb_core.h"

#include "reader_ids.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <set>
#include <tuple>

namespace rfidusb {

const std::vector<DeviceId>& defaultDeviceIds() {
    // Any other reader is chosen with RFIDUSB_DEVICE=vvvv:pppp[:interface].
    static const std::vector<DeviceId> ids = [] {
        std::vector<DeviceId> list;
        for (const KnownReaderId& id : kKnownReaderIds)
            list.push_back({id.vendor, id.product, -1});
        return list;
    }();
    return ids;
}

namespace {

std::string_view trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\n' || s.back() == '\r'))
        s.remove_suffix(1);
    return s;
}

std::optional<std::uint16_t> parseHex16(std::string_view s) {
    if (s.empty() || s.size() > 4)
        return std::nullopt;
    unsigned value = 0;
    for (char c : s) {
        unsigned digit;
        if (c >= '0' && c <= '9')
            digit = static_cast<unsigned>(c - '0');
        else if (c >= 'a' && c <= 'f')
            digit = static_cast<unsigned>(c - 'a' + 10);
        else if (c >= 'A' && c <= 'F')
            digit = static_cast<unsigned>(c - 'A' + 10);
        else
            return std::nullopt;
        value = value * 16 + digit;
    }
    return static_cast<std::uint16_t>(value);
}

std::optional<int> parseInterface(std::string_view s) {
    if (s.empty() || s.size() > 3)
        return std::nullopt;
    int value = 0;
    for (char c : s) {
        if (c < '0' || c > '9')
            return std::nullopt;
        value = value * 10 + (c - '0');
    }
    if (value > 255)
        return std::nullopt;
    return value;
}

bool matches(const HidCandidate& c, const DeviceId& id) {
    return c.vendor == id.vendor && c.product == id.product &&
           (id.interfaceNumber < 0 || c.interfaceNumber == id.interfaceNumber);
}

} // namespace

std::optional<DeviceId> parseDeviceId(std::string_view text, std::string* why) {
    auto refuse = [why](const char* reason) -> std::optional<DeviceId> {
        if (why != nullptr)
            *why = reason;
        return std::nullopt;
    };
    text = trim(text);
    const auto first = text.find(':');
    if (first == std::string_view::npos)
        return refuse("no ':' between the vendor and the product id");
    const auto second = text.find(':', first + 1);
    const auto vendor = parseHex16(text.substr(0, first));
    if (!vendor)
        return refuse("the vendor id is not 1 to 4 hex digits");
    const auto product =
        parseHex16(second == std::string_view::npos ? text.substr(first + 1)
                                                    : text.substr(first + 1, second - first - 1));
    if (!product)
        return refuse("the product id is not 1 to 4 hex digits");
    DeviceId id{*vendor, *product, -1};
    if (second != std::string_view::npos) {
        const auto iface = parseInterface(text.substr(second + 1));
        if (!iface)
            return refuse("the interface is not a decimal number from 0 to 255");
        id.interfaceNumber = *iface;
    }
    return id;
}

bool isKeyboard(const HidCandidate& c) {
    return c.usagePage == 0x01 && c.usage == 0x06;
}

bool isVendorDefined(const HidCandidate& c) {
    return c.usagePage >= 0xFF00;
}

std::optional<std::size_t> chooseCandidate(const std::vector<HidCandidate>& candidates,
                                           const std::vector<DeviceId>& wanted) {
    // A keyboard collection and a vendor collection may share one interface (one
    // device node). Such a node is only taken for its vendor collection, and only
    // when no clean node exists.
    std::set<std::string> keyboardPaths;
    for (const auto& c : candidates)
        if (isKeyboard(c))
            keyboardPaths.insert(c.path);

    using Rank = std::tuple<int, std::size_t, int, std::string>; // class, wanted order, interface, path
    std::optional<Rank> best;
    std::optional<std::size_t> bestIndex;
    for (std::size_t i = 0; i < candidates.size(); ++i) {
        const auto& c = candidates[i];
        if (isKeyboard(c))
            continue;
        const auto w =
            std::find_if(wanted.begin(), wanted.end(), [&](const DeviceId& id) { return matches(c, id); });
        if (w == wanted.end())
            continue;
        const bool sharesKeyboard = keyboardPaths.count(c.path) != 0;
        int cls;
        if (!sharesKeyboard)
            cls = isVendorDefined(c) ? 0 : 1;
        else if (isVendorDefined(c))
            cls = 2;
        else
            continue;
        Rank rank{cls, static_cast<std::size_t>(w - wanted.begin()), c.interfaceNumber, c.path};
        if (!best || rank < *best) {
            best = std::move(rank);
            bestIndex = i;
        }
    }
    return bestIndex;
}

std::vector<std::vector<std::uint8_t>> splitIntoReports(const std::uint8_t* frame, std::size_t count,
                                                        std::size_t payloadSize, std::uint8_t reportId) {
    std::vector<std::vector<std::uint8_t>> reports;
    if (frame == nullptr || payloadSize == 0)
        return reports;
    for (std::size_t offset = 0; offset < count; offset += payloadSize) {
        std::vector<std::uint8_t> report(payloadSize + 1, 0);
        report[0] = reportId;
        const std::size_t n = std::min(payloadSize, count - offset);
        std::copy(frame + offset, frame + offset + n, report.begin() + 1);
        reports.push_back(std::move(report));
    }
    return reports;
}

bool AnswerAssembler::feed(const std::uint8_t* data, std::size_t size) {
    if (data == nullptr || complete())
        return complete();
    for (std::size_t i = 0; i < size && !complete(); ++i) {
        if (bytes_.empty() && data[i] != kFrameStart)
            continue;
        bytes_.push_back(data[i]);
        settle();
    }
    return complete();
}

void AnswerAssembler::settle() {
    // A frame whose end marker is not where its length byte says is no answer: a length
    // byte that lies, or noise that happened to contain 0xAA. Start again at the next
    // 0xAA among the bytes taken so far.
    for (;;) {
        const std::size_t expected = expectedSize();
        if (expected == 0 || bytes_.size() < expected)
            return;
        if (bytes_[expected - 1] == kFrameEnd) {
            bytes_.resize(expected); // what followed the frame is not part of it
            return;
        }
        bytes_.erase(bytes_.begin(), std::find(bytes_.begin() + 1, bytes_.end(), kFrameStart));
    }
}

std::size_t AnswerAssembler::expectedSize() const {
    return bytes_.size() >= 3 ? static_cast<std::size_t>(bytes_[2]) + kFrameOverhead : 0;
}

bool AnswerAssembler::complete() const {
    const std::size_t expected = expectedSize();
    return expected != 0 && bytes_.size() >= expected && bytes_[expected - 1] == kFrameEnd;
}

std::size_t AnswerAssembler::copyTo(std::uint8_t* out, std::size_t capacity) const {
    if (out == nullptr)
        return 0;
    const std::size_t n = std::min(capacity, bytes_.size());
    std::copy(bytes_.begin(), bytes_.begin() + static_cast<std::ptrdiff_t>(n), out);
    return n;
}

int parseIntSetting(const char* text, int fallback, int minimum, int maximum) {
    if (text == nullptr || *text == '\0')
        return fallback;
    errno = 0;
    char* end = nullptr;
    const long value = std::strtol(text, &end, 10);
    if (errno != 0 || end == text || *end != '\0' || value < minimum || value > maximum)
        return fallback;
    return static_cast<int>(value);
}

const char* accessWord(ErrorKind kind) {
    switch (kind) {
    case ErrorKind::None:
        return "ok";
    case ErrorKind::Permission:
        return "denied";
    case ErrorKind::Busy:
        return "busy";
    case ErrorKind::NoReader:
        return "gone";
    default:
        return "error";
    }
}

ErrorKind classifyOpenError(int err) {
    switch (err) {
    case EACCES:
    case EPERM:
        return ErrorKind::Permission;
    case EBUSY:
        return ErrorKind::Busy;
    case ENOENT:
    case ENODEV:
    case ENXIO:
        return ErrorKind::NoReader;
    default:
        return ErrorKind::Io;
    }
}

namespace {

// A device's text with the control characters a terminal acts on (C0, DEL, and the
// C1 controls U+0080 to U+009F in their UTF-8 form) as spaces.
std::string cleanValue(const std::string& s) {
    std::string out;
    out.reserve(s.size());
    for (std::size_t i = 0; i < s.size(); ++i) {
        const auto c = static_cast<unsigned char>(s[i]);
        if (c == 0xC2 && i + 1 < s.size() && static_cast<unsigned char>(s[i + 1]) >= 0x80 &&
            static_cast<unsigned char>(s[i + 1]) <= 0x9F) {
            out.push_back(' ');
            ++i;
        } else {
            out.push_back(c < 0x20 || c == 0x7F ? ' ' : s[i]);
        }
    }
    return out;
}

std::string hex4(std::uint16_t v) {
    static const char digits[] = "0123456789abcdef";
    std::string out(4, '0');
    for (int i = 3; i >= 0; --i, v = static_cast<std::uint16_t>(v >> 4))
        out[static_cast<std::size_t>(i)] = digits[v & 0x0F];
    return out;
}

} // namespace

std::string formatDeviceInfo(const ReaderInfo& info) {
    std::string out;
    out += "path=" + cleanValue(info.path) + '\n';
    out += "vendor=" + hex4(info.vendor) + '\n';
    out += "product=" + hex4(info.product) + '\n';
    out += "interface=" + std::to_string(info.interfaceNumber) + '\n';
    out += "manufacturer=" + cleanValue(info.manufacturer) + '\n';
    out += "product_name=" + cleanValue(info.productName) + '\n';
    out += "serial=" + cleanValue(info.serial) + '\n';
    if (!info.access.empty())
        out += "access=" + cleanValue(info.access) + '\n';
    return out;
}

int copyText(const std::string& text, char* buf, int capacity) {
    if (buf == nullptr || capacity <= 0)
        return -1;
    if (text.size() + 1 > static_cast<std::size_t>(capacity)) {
        buf[0] = '\0';
        return -1;
    }
    std::copy(text.begin(), text.end(), buf);
    buf[text.size()] = '\0';
    return static_cast<int>(text.size());
}

void copyTextTruncated(const std::string& text, char* buf, int capacity) {
    if (buf == nullptr || capacity <= 0)
        return;
    const std::size_t n = std::min(text.size(), static_cast<std::size_t>(capacity) - 1);
    std::copy(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(n), buf);
    buf[n] = '\0';
}

std::vector<std::size_t> listReaders(const std::vector<HidCandidate>& candidates,
                                     const std::vector<DeviceId>& wanted,
                                     const std::vector<std::string>& deviceKeys) {
    auto keyOf = [&](std::size_t i) {
        return i < deviceKeys.size() && !deviceKeys[i].empty() ? deviceKeys[i] : candidates[i].path;
    };
    // Candidates grouped by physical device, in order of first appearance.
    std::vector<std::string> keys;
    std::vector<std::vector<std::size_t>> groups;
    for (std::size_t i = 0; i < candidates.size(); ++i) {
        const std::string key = keyOf(i);
        const auto at = std::find(keys.begin(), keys.end(), key);
        if (at == keys.end()) {
            keys.push_back(key);
            groups.push_back({i});
        } else {
            groups[static_cast<std::size_t>(at - keys.begin())].push_back(i);
        }
    }
    std::vector<std::size_t> chosen;
    for (const auto& group : groups) {
        std::vector<HidCandidate> members;
        for (std::size_t i : group)
            members.push_back(candidates[i]);
        if (const auto pick = chooseCandidate(members, wanted))
            chosen.push_back(group[*pick]);
    }
    auto wantedRank = [&](std::size_t i) {
        const auto& c = candidates[i];
        const auto w =
            std::find_if(wanted.begin(), wanted.end(), [&](const DeviceId& id) { return matches(c, id); });
        return static_cast<std::size_t>(w - wanted.begin());
    };
    std::sort(chosen.begin(), chosen.end(), [&](std::size_t a, std::size_t b) {
        return std::make_tuple(wantedRank(a), candidates[a].path) <
               std::make_tuple(wantedRank(b), candidates[b].path);
    });
    return chosen;
}

std::optional<std::size_t> findReader(const std::vector<ReaderInfo>& readers, std::string_view pathOrSerial) {
    if (pathOrSerial.empty())
        return std::nullopt;
    for (std::size_t i = 0; i < readers.size(); ++i)
        if (readers[i].path == pathOrSerial)
            return i;
    for (std::size_t i = 0; i < readers.size(); ++i)
        if (!readers[i].serial.empty() && readers[i].serial == pathOrSerial)
            return i;
    return std::nullopt;
}

std::size_t countSerial(const std::vector<ReaderInfo>& readers, const std::string& serial) {
    if (serial.empty())
        return 0;
    return static_cast<std::size_t>(std::count_if(readers.begin(), readers.end(),
                                                  [&](const ReaderInfo& r) { return r.serial == serial; }));
}

std::optional<std::size_t> findChosenReader(const std::vector<ReaderInfo>& readers,
                                            const ReaderChoice& choice, std::string* why) {
    for (std::size_t i = 0; i < readers.size(); ++i)
        if (readers[i].path == choice.path && (choice.serial.empty() || readers[i].serial == choice.serial))
            return i;
    const std::size_t sharing = countSerial(readers, choice.serial);
    const bool unique = sharing == 1 && !choice.serialShared;
    if (sharing > 0 && (choice.bySerial || unique)) {
        for (std::size_t i = 0; i < readers.size(); ++i)
            if (readers[i].serial == choice.serial)
                return i;
    }
    std::string text = "the chosen reader (" + choice.path + ") is not attached";
    if (sharing > 0)
        text +=
            " (other readers have its serial number " + choice.serial + ", so none of them is taken for it)";
    if (why != nullptr)
        *why = text;
    return std::nullopt;
}

std::string hexBytes(const std::uint8_t* data, std::size_t size) {
    static const char digits[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(size * 3);
    for (std::size_t i = 0; i < size; ++i) {
        if (i != 0)
            out.push_back(' ');
        out.push_back(digits[data[i] >> 4]);
        out.push_back(digits[data[i] & 0x0F]);
    }
    return out;
}

} // namespace rfidusb
