// librfidusb: carries reader frames over USB HID reports using hidapi.
//
// The program loads this library at run time and calls the C entry points at the
// bottom of this file (declared in rfidusb_api.h). The device is opened on first use
// and reopened after any I/O error, so unplugging and replugging the reader needs no
// restart.

#include "hid_descriptor.h"
#include "rfidusb_api.h"
#include "rfidusb_core.h"

#include <hidapi.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <mutex>
#include <string>
#include <vector>

#if defined(__unix__) || defined(__APPLE__)
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif
#if defined(__linux__)
#include <climits>
#include <libudev.h>
#endif

#if defined(_WIN32)
#define RFIDUSB_EXPORT extern "C" __declspec(dllexport)
#else
#define RFIDUSB_EXPORT extern "C" __attribute__((visibility("default")))
#endif
#if defined(__MINGW32__)
// The C++ runtime there uses the C99 printf family (%zu), not the system's.
#define RFIDUSB_PRINTF_FORMAT __attribute__((format(gnu_printf, 1, 2)))
#elif defined(__GNUC__)
#define RFIDUSB_PRINTF_FORMAT __attribute__((format(printf, 1, 2)))
#else
#define RFIDUSB_PRINTF_FORMAT
#endif

namespace {

using namespace rfidusb;
using Clock = std::chrono::steady_clock;

constexpr std::size_t kReadBufferSize = kMaxReportBytes + 1; // the largest report and its id
constexpr int kMaxDrainReports = 256;

bool traceEnabled() {
    const char* v = std::getenv("RFIDUSB_TRACE");
    return v != nullptr && *v != '\0' && std::strcmp(v, "0") != 0;
}

RFIDUSB_PRINTF_FORMAT void trace(const char* fmt, ...) {
    if (!traceEnabled())
        return;
    std::va_list args;
    va_start(args, fmt);
    std::fputs("rfidusb: ", stderr);
    std::vfprintf(stderr, fmt, args);
    std::fputc('\n', stderr);
    va_end(args);
}

std::vector<DeviceId> wantedDevices() {
    const char* env = std::getenv("RFIDUSB_DEVICE");
    if (env == nullptr || *env == '\0')
        return defaultDeviceIds();
    if (auto id = parseDeviceId(env))
        return {*id};
    static std::once_flag warned;
    std::call_once(warned, [env] {
        std::fprintf(stderr, "rfidusb: ignoring RFIDUSB_DEVICE=\"%s\" (expected vvvv:pppp[:interface])\n",
                     env);
    });
    return defaultDeviceIds();
}

// RFIDUSB_REPORT_SIZE, when set to a valid size; it wins over the descriptor.
std::size_t reportSizeOverride() {
    return static_cast<std::size_t>(
        parseIntSetting(std::getenv("RFIDUSB_REPORT_SIZE"), 0, 1, static_cast<int>(kMaxReportSize)));
}

// Where sysfs is mounted; tests point it at a directory of their own.
std::string sysfsRoot() {
    const char* v = std::getenv("RFIDUSB_SYSFS_ROOT");
    return v != nullptr && *v != '\0' ? v : "/sys";
}

// The layout used when the descriptor cannot tell: 64-byte reports without report ids.
ReportLayout defaultLayout() {
    ReportLayout layout;
    layout.outputBytes = kDefaultReportSize;
    layout.inputBytes = kDefaultReportSize;
    return layout;
}

// The report layout of the command interface at `path` (a hidraw node), from the
// descriptor the kernel exposes in sysfs. nullopt, with the reason, when it cannot be
// read or parsed.
std::optional<ReportLayout> layoutFromDescriptor(const HidCandidate& c, std::string* why) {
    const std::string name = hidrawName(c.path);
    if (name.empty()) {
        *why = c.path + " is not a hidraw node";
        return std::nullopt;
    }
    const std::string file = sysfsRoot() + "/class/hidraw/" + name + "/device/report_descriptor";
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        *why = "cannot read " + file;
        return std::nullopt;
    }
    std::vector<std::uint8_t> bytes;
    char buf[512];
    while (in && bytes.size() <= kMaxDescriptorBytes) {
        in.read(buf, sizeof buf);
        bytes.insert(bytes.end(), buf, buf + in.gcount());
    }
    std::string error;
    const auto descriptor = parseReportDescriptor(bytes.data(), bytes.size(), &error);
    if (!descriptor) {
        *why = file + ": " + error;
        return std::nullopt;
    }
    const auto layout = commandLayout(*descriptor, c.usagePage, c.usage, &error);
    if (!layout)
        *why = file + ": " + error;
    return layout;
}

int timeoutMs() {
    return parseIntSetting(std::getenv("RFIDUSB_TIMEOUT_MS"), kDefaultTimeoutMs, 0, kMaxTimeoutMs);
}

std::string utf8(const wchar_t* text) {
    std::string out;
    if (text == nullptr)
        return out;
    for (; *text != L'\0'; ++text) {
        const auto c = static_cast<std::uint32_t>(*text);
        if (c < 0x80) {
            out.push_back(static_cast<char>(c));
        } else if (c < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (c >> 6)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        } else if (c < 0x10000) {
            out.push_back(static_cast<char>(0xE0 | (c >> 12)));
            out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        } else if (c < 0x110000) {
            out.push_back(static_cast<char>(0xF0 | (c >> 18)));
            out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        }
    }
    return out;
}

// The physical device a HID device node belongs to, so that the interfaces of one
// reader are listed once: on Linux the USB device above the node's interface; an
// empty key (every node on its own) where that cannot be told.
std::string deviceKey(const std::string& path) {
#if defined(__linux__)
    const auto slash = path.rfind('/');
    const std::string name = path.substr(slash == std::string::npos ? 0 : slash + 1);
    if (name.rfind("hidraw", 0) != 0)
        return {};
    char resolved[PATH_MAX];
    const std::string link = sysfsRoot() + "/class/hidraw/" + name + "/device";
    if (::realpath(link.c_str(), resolved) == nullptr)
        return {};
    std::string hid = resolved;                              // .../1-2:1.0/0003:04D8:003F.0001
    const std::string iface = hid.substr(0, hid.rfind('/')); // .../1-2:1.0
    struct stat st;
    if (::stat((iface + "/bInterfaceNumber").c_str(), &st) == 0) // a USB interface
        return iface.substr(0, iface.rfind('/'));                // .../1-2
    return hid; // uhid, Bluetooth, I2C: the node's own device
#else
    (void)path;
    return {};
#endif
}

struct Scan {
    std::vector<HidCandidate> candidates;
    std::vector<ReaderInfo> readers;
    std::vector<HidCandidate> readerEntries; // the enumeration entry of each reader
};

class Reader {
public:
    ~Reader() {
        closeDevice();
        if (initialised_)
            hid_exit();
#if defined(__linux__)
        if (monitor_ != nullptr)
            udev_monitor_unref(monitor_);
        if (udev_ != nullptr)
            udev_unref(udev_);
#endif
    }

    int write(const std::uint8_t* frame, int count);
    int read(std::uint8_t* buffer, int capacity);
    int enumerate();
    int deviceInfo(int index, char* buf, int capacity);
    int select(const char* pathOrSerial);
    int lastError(char* buf, int capacity);
    int monitorFd();
    void monitorDrain();
    int lockPath(char* buf, int capacity);

private:
    bool initialise();
    Scan scan();
    std::optional<std::size_t> pick(const Scan& found, std::string* why) const;
    bool ensureOpen();
    void closeDevice();
    void fail(const char* what);
    bool drain();
    void setError(ErrorKind kind, std::string text);
    void succeed() {
        setError(ErrorKind::None, {});
    }

    std::mutex mutex_;
    std::once_flag initOnce_;
    bool initialised_ = false;
    bool permissionHintShown_ = false;
    hid_device* dev_ = nullptr;
    std::string openPath_;
    ReportLayout layout_ = defaultLayout();
    std::vector<ReaderInfo> lastScan_;
    ReaderChoice choice_; // an empty path: automatic choice
    ErrorKind error_ = ErrorKind::None;
    std::string errorText_;
#if defined(__linux__)
    udev* udev_ = nullptr;
    udev_monitor* monitor_ = nullptr;
#endif
};

bool Reader::initialise() {
    std::call_once(initOnce_, [this] {
        initialised_ = hid_init() == 0;
        // A library does not write to its host program's error output: the
        // failure shows as "no reader" to callers and in the trace. (Under Wine
        // hid_init always fails: its configuration manager lacks a function.)
        if (!initialised_)
            trace("hid_init failed");
    });
    return initialised_;
}

void Reader::setError(ErrorKind kind, std::string text) {
    error_ = kind;
    errorText_ = std::move(text);
    if (kind != ErrorKind::None)
        trace("%s", errorText_.c_str());
}

Scan Reader::scan() {
    Scan result;
    if (!initialise())
        return result;
    const std::vector<DeviceId> wanted = wantedDevices();
    std::vector<ReaderInfo> infos;
    std::vector<std::string> keys;
    for (const DeviceId& id : wanted) {
        hid_device_info* list = hid_enumerate(id.vendor, id.product);
        for (const hid_device_info* info = list; info != nullptr; info = info->next) {
            if (info->path == nullptr)
                continue;
            result.candidates.push_back({info->path, info->vendor_id, info->product_id, info->usage_page,
                                         info->usage, info->interface_number});
            infos.push_back({info->path, info->vendor_id, info->product_id, info->interface_number,
                             utf8(info->manufacturer_string), utf8(info->product_string),
                             utf8(info->serial_number)});
            keys.push_back(deviceKey(info->path));
        }
        hid_free_enumeration(list);
    }
    for (std::size_t i : listReaders(result.candidates, wanted, keys)) {
        result.readers.push_back(infos[i]);
        result.readerEntries.push_back(result.candidates[i]);
    }
    // Two readers with the chosen one's serial number at once: from now on, that
    // number no longer tells which of them was chosen.
    if (!choice_.path.empty() && countSerial(result.readers, choice_.serial) > 1)
        choice_.serialShared = true;
    return result;
}

// The reader the next exchange goes to among the attached ones: the chosen one, else
// the first. nullopt, with the reason, when there is none.
std::optional<std::size_t> Reader::pick(const Scan& found, std::string* why) const {
    if (!choice_.path.empty())
        return findChosenReader(found.readers, choice_, why);
    if (!found.readers.empty())
        return 0;
    *why = "no reader found (" + std::to_string(found.candidates.size()) +
           " HID entries with matching ids, none a command interface)";
    return std::nullopt;
}

bool Reader::ensureOpen() {
    if (dev_ != nullptr)
        return true;
    if (!initialise()) {
        setError(ErrorKind::Io, "the HID library could not be initialised");
        return false;
    }

    const Scan found = scan();
    std::string why;
    const std::optional<std::size_t> chosen = pick(found, &why);
    if (!chosen) {
        setError(ErrorKind::NoReader, why);
        return false;
    }
    const ReaderInfo& r = found.readers[*chosen];
    dev_ = hid_open_path(r.path.c_str());
    if (dev_ == nullptr) {
        // hidapi keeps no errno; opening the node again tells why it failed.
        ErrorKind kind = ErrorKind::Io;
        std::string why = "cannot be opened";
#if defined(__unix__) || defined(__APPLE__)
        const int fd = ::open(r.path.c_str(), O_RDWR | O_CLOEXEC);
        if (fd >= 0) {
            ::close(fd);
        } else {
            const int err = errno;
            kind = classifyOpenError(err);
            why = std::string("cannot be opened: ") + std::strerror(err);
        }
#endif
        if (kind == ErrorKind::Permission && !permissionHintShown_) {
            permissionHintShown_ = true;
            std::fprintf(stderr,
                         "rfidusb: no permission to open %s (%04x:%04x); install 60-rfid-reader.rules "
                         "into /etc/udev/rules.d (see rfidctl doctor)\n",
                         r.path.c_str(), r.vendor, r.product);
        }
        setError(kind, r.path + " " + why);
        return false;
    }
    openPath_ = r.path;
    if (!choice_.path.empty() && choice_.path != r.path) {
        trace("the chosen reader %s is back at %s", choice_.path.c_str(), r.path.c_str());
        choice_.path = r.path; // follow it, so that its new node is where it is looked for
    }
    trace("opened %s (%04x:%04x interface %d)", r.path.c_str(), r.vendor, r.product, r.interfaceNumber);
    why.clear();
    if (const auto layout = layoutFromDescriptor(found.readerEntries[*chosen], &why)) {
        layout_ = *layout;
        trace("report descriptor: output report id %u, %zu bytes; input report id %u, %zu bytes",
              layout_.outputId, layout_.outputBytes, layout_.inputId, layout_.inputBytes);
    } else {
        layout_ = defaultLayout();
        trace("report descriptor not used (%s); using %zu-byte reports with report id 0", why.c_str(),
              kDefaultReportSize);
    }
    return true;
}

void Reader::closeDevice() {
    if (dev_ != nullptr) {
        hid_close(dev_);
        dev_ = nullptr;
        openPath_.clear();
    }
}

void Reader::fail(const char* what) {
    const wchar_t* err = dev_ != nullptr ? hid_error(dev_) : nullptr;
    setError(ErrorKind::Io, std::string(what) + " failed on " + openPath_ + ": " +
                                (err != nullptr ? utf8(err) : std::string("?")));
    closeDevice();
}

// Throws away input reports that arrived since the last answer was taken, so a late
// answer to an earlier command is not read as the answer to the next one.
bool Reader::drain() {
    std::uint8_t buf[kReadBufferSize];
    for (int i = 0; i < kMaxDrainReports; ++i) {
        const int n = hid_read_timeout(dev_, buf, sizeof buf, 0);
        if (n < 0)
            return false;
        if (n == 0)
            return true;
        trace("dropped stale %d bytes: %s", n, hexBytes(buf, static_cast<std::size_t>(n)).c_str());
    }
    return true;
}

int Reader::write(const std::uint8_t* frame, int count) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (frame == nullptr || count <= 0) {
        setError(ErrorKind::Io, "nothing to write");
        return -1;
    }

    // A handle that went stale while the reader was unplugged fails on first use. As
    // long as nothing has been sent yet, reopen once and try again.
    const bool wasOpen = dev_ != nullptr;
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (!ensureOpen())
            return -1;
        const std::size_t overridden = reportSizeOverride();
        const auto reports =
            splitIntoReports(frame, static_cast<std::size_t>(count),
                             overridden != 0 ? overridden : layout_.outputBytes, layout_.outputId);
        const bool mayRetry = wasOpen && attempt == 0;
        if (!drain()) {
            fail("drain");
            if (mayRetry)
                continue;
            return -1;
        }
        trace("> %s", hexBytes(frame, static_cast<std::size_t>(count)).c_str());
        for (std::size_t i = 0; i < reports.size(); ++i) {
            const int n = hid_write(dev_, reports[i].data(), reports[i].size());
            if (n < 0 || static_cast<std::size_t>(n) != reports[i].size()) {
                fail("write");
                if (i == 0 && mayRetry)
                    break;
                return -1;
            }
            if (i + 1 == reports.size()) {
                succeed();
                return count;
            }
        }
    }
    return -1;
}

int Reader::read(std::uint8_t* buffer, int capacity) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (buffer == nullptr || capacity <= 0) {
        setError(ErrorKind::Io, "no buffer to read into");
        return -1;
    }
    if (!ensureOpen())
        return -1;

    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs());
    AnswerAssembler answer;
    std::uint8_t report[kReadBufferSize];
    int ignored = 0;
    for (;;) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0)
            break;
        const int n = hid_read_timeout(dev_, report, sizeof report, static_cast<int>(left));
        if (n < 0) {
            fail("read");
            return -1;
        }
        if (n <= 0)
            continue;
        // Numbered reports start with their id: only the command channel's input
        // report is part of the answer (a keyboard on the same node sends others).
        const std::uint8_t* payload = report;
        std::size_t size = static_cast<std::size_t>(n);
        if (layout_.numbered) {
            if (report[0] != layout_.inputId) {
                ++ignored;
                continue;
            }
            ++payload;
            --size;
        }
        if (answer.feed(payload, size))
            break;
    }

    if (ignored > 0)
        trace("ignored %d input reports with other report ids", ignored);
    const auto& bytes = answer.bytes();
    if (!answer.complete()) {
        setError(ErrorKind::Timeout, "no complete answer within " + std::to_string(timeoutMs()) + " ms (" +
                                         std::to_string(bytes.size()) + " bytes arrived)");
        if (!bytes.empty())
            trace("partial answer: %s", hexBytes(bytes.data(), bytes.size()).c_str());
    } else {
        succeed();
        trace("< %s", hexBytes(bytes.data(), bytes.size()).c_str());
    }
    return static_cast<int>(answer.copyTo(buffer, static_cast<std::size_t>(capacity)));
}

int Reader::enumerate() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!initialise())
        return -1;
    lastScan_ = scan().readers;
    // Whether each reader may be opened, so that a program can tell "no access"
    // before it sends anything.
    for (ReaderInfo& r : lastScan_) {
        ErrorKind kind = ErrorKind::None;
#if defined(__unix__) || defined(__APPLE__)
        if (r.path != openPath_) {
            const int fd = ::open(r.path.c_str(), O_RDWR | O_CLOEXEC | O_NONBLOCK);
            if (fd >= 0)
                ::close(fd);
            else
                kind = classifyOpenError(errno);
        }
#endif
        r.access = accessWord(kind);
    }
    return static_cast<int>(lastScan_.size());
}

int Reader::deviceInfo(int index, char* buf, int capacity) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (index < 0 || static_cast<std::size_t>(index) >= lastScan_.size()) {
        copyText({}, buf, capacity);
        return -1;
    }
    return copyText(formatDeviceInfo(lastScan_[static_cast<std::size_t>(index)]), buf, capacity);
}

int Reader::select(const char* pathOrSerial) {
    std::lock_guard<std::mutex> lock(mutex_);
    ReaderChoice choice;
    if (pathOrSerial != nullptr && *pathOrSerial != '\0') {
        // What is attached now, not what the last hidEnumerate saw: a reader may have
        // come, gone or moved since, and the choice records its serial number.
        const std::vector<ReaderInfo> now = initialise() ? scan().readers : lastScan_;
        const auto at = findReader(now, pathOrSerial);
        if (!at) {
            trace("no reader with path or serial \"%s\"", pathOrSerial);
            return -1;
        }
        const ReaderInfo& r = now[*at];
        choice.path = r.path;
        choice.serial = r.serial;
        choice.bySerial = r.path != pathOrSerial;
        choice.serialShared = countSerial(now, r.serial) > 1;
    }
    if (choice.path != choice_.path) {
        closeDevice();
        trace("reader chosen: %s", choice.path.empty() ? "automatic" : choice.path.c_str());
    }
    choice_ = choice;
    return 0;
}

int Reader::lastError(char* buf, int capacity) {
    std::lock_guard<std::mutex> lock(mutex_);
    copyTextTruncated(errorText_, buf, capacity);
    return static_cast<int>(error_);
}

int Reader::monitorFd() {
    std::lock_guard<std::mutex> lock(mutex_);
#if defined(__linux__)
    if (monitor_ == nullptr) {
        if (udev_ == nullptr)
            udev_ = udev_new();
        if (udev_ == nullptr)
            return -1;
        // Events that udev has finished with (rules applied, so the node is
        // accessible) where udev runs; the kernel's own events where it does not.
        struct stat st;
        const char* source = ::stat("/run/udev/control", &st) == 0 ? "udev" : "kernel";
        monitor_ = udev_monitor_new_from_netlink(udev_, source);
        if (monitor_ == nullptr)
            return -1;
        if (udev_monitor_filter_add_match_subsystem_devtype(monitor_, "hidraw", nullptr) < 0 ||
            udev_monitor_enable_receiving(monitor_) < 0) {
            trace("cannot watch for readers coming and going");
            udev_monitor_unref(monitor_);
            monitor_ = nullptr;
            return -1;
        }
        const int fd = udev_monitor_get_fd(monitor_);
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
        trace("watching %s events for hidraw devices", source);
    }
    return udev_monitor_get_fd(monitor_);
#else
    return -1;
#endif
}

void Reader::monitorDrain() {
    std::lock_guard<std::mutex> lock(mutex_);
#if defined(__linux__)
    if (monitor_ == nullptr)
        return;
    for (int i = 0; i < 1000; ++i) {
        udev_device* device = udev_monitor_receive_device(monitor_);
        if (device == nullptr)
            break;
        const char* action = udev_device_get_action(device);
        const char* node = udev_device_get_devnode(device);
        trace("%s %s", action != nullptr ? action : "?", node != nullptr ? node : "?");
        // The node the library holds went away: forget the handle now rather than at
        // the next command.
        if (action != nullptr && std::strcmp(action, "remove") == 0 && node != nullptr && openPath_ == node)
            closeDevice();
        udev_device_unref(device);
    }
#endif
}

int Reader::lockPath(char* buf, int capacity) {
    std::lock_guard<std::mutex> lock(mutex_);
    // The node the open handle talks to while it is there, else the one ensureOpen
    // would open now. The last exchange's error is left as it is.
    std::string path = openPath_;
    bool stillThere = dev_ != nullptr;
#if defined(__unix__) || defined(__APPLE__)
    struct stat st;
    stillThere = stillThere && ::stat(openPath_.c_str(), &st) == 0;
#endif
    if (!stillThere && initialise()) {
        path.clear();
        const Scan found = scan();
        std::string why;
        if (const auto chosen = pick(found, &why))
            path = found.readers[*chosen].path;
    }
#if defined(__linux__)
    // A hidraw node: the file other programs open to reach the same reader.
    const bool lockable = !path.empty() && path.front() == '/';
#elif defined(_WIN32)
    // A HID device path: the program maps it to a lock file of its own.
    const bool lockable = !path.empty();
#else
    // Elsewhere hidapi's paths name no file that could be locked.
    const bool lockable = false;
#endif
    if (!lockable) {
        copyText({}, buf, capacity);
        return 0;
    }
    return copyText(path, buf, capacity);
}

Reader& reader() {
    static Reader instance;
    return instance;
}

} // namespace

RFIDUSB_EXPORT int hidWriteData(int device, int count, const unsigned char* frame) {
    (void)device; // the reader is chosen with hidSelectDevice
    return reader().write(frame, count);
}

RFIDUSB_EXPORT int hidReadData(int device, int capacity, unsigned char* buffer) {
    (void)device;
    return reader().read(buffer, capacity);
}

RFIDUSB_EXPORT int hidEnumerate(void) {
    return reader().enumerate();
}

RFIDUSB_EXPORT int hidDeviceInfo(int index, char* buf, int capacity) {
    return reader().deviceInfo(index, buf, capacity);
}

RFIDUSB_EXPORT int hidSelectDevice(const char* pathOrSerial) {
    return reader().select(pathOrSerial);
}

RFIDUSB_EXPORT int hidLastError(char* buf, int capacity) {
    return reader().lastError(buf, capacity);
}

RFIDUSB_EXPORT int hidMonitorFd(void) {
    return reader().monitorFd();
}

RFIDUSB_EXPORT void hidMonitorDrain(void) {
    reader().monitorDrain();
}

RFIDUSB_EXPORT int hidLockPath(char* buf, int capacity) {
    return reader().lockPath(buf, capacity);
}
