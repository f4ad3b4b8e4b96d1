#include "hid_descriptor.h"

#include <algorithm>
#include <map>
#include <utility>

namespace rfidusb {

namespace {

// Item types and tags of the short items this parser acts on.
enum : std::uint8_t { kMain = 0, kGlobal = 1, kLocal = 2 };
enum : std::uint8_t { kInput = 0x8, kOutput = 0x9, kCollection = 0xA, kFeature = 0xB, kEndCollection = 0xC };
enum : std::uint8_t {
    kUsagePage = 0x0,
    kReportSize = 0x7,
    kReportId = 0x8,
    kReportCount = 0x9,
    kPush = 0xA,
    kPop = 0xB
};
enum : std::uint8_t { kUsage = 0x0, kUsageMinimum = 0x1 };
constexpr std::uint8_t kLongItem = 0xFE;

struct Globals {
    std::uint16_t usagePage = 0;
    std::uint32_t reportSize = 0;
    std::uint32_t reportCount = 0;
    std::uint8_t reportId = 0;
};

bool fail(std::string* error, std::string text) {
    if (error != nullptr)
        *error = std::move(text);
    return false;
}

class Parser {
public:
    Parser(const std::uint8_t* data, std::size_t size, std::string* error)
        : data_(data), size_(size), error_(error) {}

    std::optional<ReportDescriptor> run() {
        if (data_ == nullptr || size_ == 0)
            return failed("empty descriptor");
        if (size_ > kMaxDescriptorBytes)
            return failed("descriptor of " + std::to_string(size_) + " bytes is larger than " +
                          std::to_string(kMaxDescriptorBytes));
        std::size_t at = 0;
        while (at < size_) {
            const std::size_t start = at;
            const std::uint8_t prefix = data_[at++];
            if (prefix == kLongItem) {
                // Long items carry no report layout; skip them whole.
                if (size_ - at < 2)
                    return failed("truncated long item at byte " + std::to_string(start));
                const std::size_t length = data_[at];
                at += 2;
                if (size_ - at < length)
                    return failed("truncated long item at byte " + std::to_string(start));
                at += length;
                continue;
            }
            static const std::size_t sizes[] = {0, 1, 2, 4};
            const std::size_t length = sizes[prefix & 0x03];
            if (size_ - at < length)
                return failed("truncated item at byte " + std::to_string(start));
            std::uint32_t value = 0;
            for (std::size_t i = 0; i < length; ++i)
                value |= static_cast<std::uint32_t>(data_[at + i]) << (8 * i);
            at += length;
            const std::uint8_t type = (prefix >> 2) & 0x03;
            const std::uint8_t tag = prefix >> 4;
            bool ok = true;
            if (type == kMain)
                ok = main(tag, start);
            else if (type == kGlobal)
                ok = global(tag, value, start);
            else if (type == kLocal)
                local(tag, value, length);
            if (!ok)
                return std::nullopt;
        }
        if (depth_ != 0)
            return failed("collection not closed at the end of the descriptor");
        if (result_.collections.empty())
            return failed("no top-level collection");
        return std::move(result_);
    }

private:
    std::nullopt_t failed(std::string text) {
        fail(error_, std::move(text));
        return std::nullopt;
    }
    bool reject(std::string text, std::size_t at) {
        return fail(error_, std::move(text) + " at byte " + std::to_string(at));
    }

    bool main(std::uint8_t tag, std::size_t at) {
        switch (tag) {
        case kCollection:
            if (depth_ >= kMaxCollectionDepth)
                return reject("collections nested too deeply", at);
            if (depth_ == 0) {
                // A top-level collection (normally an application collection); its usage
                // may carry its own page (4-byte usage).
                TopCollection c;
                c.usagePage =
                    usageHasPage_ ? static_cast<std::uint16_t>(firstUsage_ >> 16) : globals_.usagePage;
                c.usage = static_cast<std::uint16_t>(firstUsage_ & 0xFFFF);
                result_.collections.push_back(std::move(c));
            }
            ++depth_;
            break;
        case kEndCollection:
            if (depth_ == 0)
                return reject("end of a collection that was not opened", at);
            --depth_;
            break;
        case kInput:
        case kOutput:
        case kFeature:
            if (!field(tag == kInput    ? ReportKind::Input
                       : tag == kOutput ? ReportKind::Output
                                        : ReportKind::Feature,
                       at))
                return false;
            break;
        default:
            break; // reserved main items carry nothing this parser needs
        }
        clearLocals();
        return true;
    }

    bool field(ReportKind kind, std::size_t at) {
        if (depth_ == 0)
            return reject("report field outside any collection", at);
        if (usedIds_ && globals_.reportId == 0)
            return reject("report field without a report id in a descriptor that uses report ids", at);
        if (globals_.reportId == 0)
            sawUnnumbered_ = true;
        const std::size_t bits = static_cast<std::size_t>(globals_.reportSize) * globals_.reportCount;
        const auto key = std::make_pair(static_cast<int>(kind), globals_.reportId);
        std::size_t& total = totals_[key];
        total += bits;
        if (total > kMaxReportBytes * 8)
            return reject("report " + std::to_string(globals_.reportId) + " larger than " +
                              std::to_string(kMaxReportBytes) + " bytes",
                          at);
        // The report belongs to the top-level collection it first appears in; its size
        // is the sum over the whole descriptor (a report may continue after a nested
        // collection closes).
        auto& reports = result_.collections.back().reports;
        auto it = std::find_if(reports.begin(), reports.end(), [&](const DeclaredReport& r) {
            return r.kind == kind && r.id == globals_.reportId;
        });
        if (it == reports.end()) {
            for (auto& c : result_.collections)
                for (auto& r : c.reports)
                    if (r.kind == kind && r.id == globals_.reportId) {
                        r.bits = total;
                        return true;
                    }
            reports.push_back({kind, globals_.reportId, total});
        } else {
            it->bits = total;
        }
        return true;
    }

    bool global(std::uint8_t tag, std::uint32_t value, std::size_t at) {
        switch (tag) {
        case kUsagePage:
            globals_.usagePage = static_cast<std::uint16_t>(value);
            break;
        case kReportSize:
            if (value > kMaxFieldBits)
                return reject("report size of " + std::to_string(value) + " bits", at);
            globals_.reportSize = value;
            break;
        case kReportCount:
            if (value > kMaxReportCount)
                return reject("report count of " + std::to_string(value), at);
            globals_.reportCount = value;
            break;
        case kReportId:
            // The item may carry its value in 1, 2 or 4 bytes; the id itself is one byte.
            if (value == 0 || value > 255)
                return reject("report id " + std::to_string(value) + " outside 1 to 255", at);
            if (sawUnnumbered_)
                return reject("report ids used after fields without one", at);
            globals_.reportId = static_cast<std::uint8_t>(value);
            usedIds_ = true;
            result_.numbered = true;
            break;
        case kPush:
            if (stack_.size() >= static_cast<std::size_t>(kMaxGlobalStack))
                return reject("too many pushes", at);
            stack_.push_back(globals_);
            break;
        case kPop:
            if (stack_.empty())
                return reject("pop without push", at);
            globals_ = stack_.back();
            stack_.pop_back();
            break;
        default:
            break;
        }
        return true;
    }

    void local(std::uint8_t tag, std::uint32_t value, std::size_t length) {
        if ((tag == kUsage || tag == kUsageMinimum) && !haveUsage_) {
            haveUsage_ = true;
            firstUsage_ = value;
            usageHasPage_ = length == 4;
        }
    }

    void clearLocals() {
        haveUsage_ = false;
        usageHasPage_ = false;
        firstUsage_ = 0;
    }

    const std::uint8_t* data_;
    std::size_t size_;
    std::string* error_;
    ReportDescriptor result_;
    Globals globals_;
    std::vector<Globals> stack_;
    std::map<std::pair<int, std::uint8_t>, std::size_t> totals_;
    int depth_ = 0;
    bool usedIds_ = false;
    bool sawUnnumbered_ = false;
    bool haveUsage_ = false;
    bool usageHasPage_ = false;
    std::uint32_t firstUsage_ = 0;
};

bool isKeyboardCollection(const TopCollection& c) {
    return c.usagePage == 0x01 && c.usage == 0x06;
}

template <typename Pred>
const DeclaredReport* findReport(const TopCollection& c, ReportKind kind, Pred pred) {
    for (const auto& r : c.reports)
        if (r.kind == kind && r.bits > 0 && pred(r))
            return &r;
    return nullptr;
}

} // namespace

std::optional<ReportDescriptor> parseReportDescriptor(const std::uint8_t* data, std::size_t size,
                                                      std::string* error) {
    return Parser(data, size, error).run();
}

std::optional<ReportLayout> commandLayout(const ReportDescriptor& descriptor, std::uint16_t usagePage,
                                          std::uint16_t usage, std::string* error) {
    auto usable = [](const TopCollection& c) {
        const auto any = [](const DeclaredReport&) { return true; };
        return !isKeyboardCollection(c) && findReport(c, ReportKind::Output, any) != nullptr &&
               findReport(c, ReportKind::Input, any) != nullptr;
    };
    const auto& cs = descriptor.collections;
    auto pick = std::find_if(cs.begin(), cs.end(), [&](const TopCollection& c) {
        return c.usagePage == usagePage && c.usage == usage;
    });
    if (pick == cs.end() || !usable(*pick))
        pick = std::find_if(cs.begin(), cs.end(),
                            [&](const TopCollection& c) { return c.usagePage >= 0xFF00 && usable(c); });
    if (pick == cs.end())
        pick = std::find_if(cs.begin(), cs.end(), usable);
    if (pick == cs.end()) {
        fail(error, "no collection with both an input and an output report");
        return std::nullopt;
    }
    const DeclaredReport* out =
        findReport(*pick, ReportKind::Output, [](const DeclaredReport&) { return true; });
    const DeclaredReport* in =
        findReport(*pick, ReportKind::Input, [&](const DeclaredReport& r) { return r.id == out->id; });
    if (in == nullptr)
        in = findReport(*pick, ReportKind::Input, [](const DeclaredReport&) { return true; });
    ReportLayout layout;
    layout.outputId = out->id;
    layout.outputBytes = out->bytes();
    layout.inputId = in->id;
    layout.inputBytes = in->bytes();
    layout.numbered = descriptor.numbered;
    return layout;
}

std::string hidrawName(const std::string& devicePath) {
    const auto slash = devicePath.rfind('/');
    std::string name = devicePath.substr(slash == std::string::npos ? 0 : slash + 1);
    if (name.size() <= 6 || name.compare(0, 6, "hidraw") != 0)
        return {};
    for (std::size_t i = 6; i < name.size(); ++i)
        if (name[i] < '0' || name[i] > '9')
            return {};
    return name;
}

} // namespace rfidusb
