// librfidusb: carries reader frames over USB HID reports using hidapi.
//
// The program loads this library at run time and calls the two C entry points at the
// bottom of this file. The device is opened on first use and reopened after any I/O
// error, so unplugging and replugging the reader needs no restart.

#include "rfidusb_core.h"

#include <hidapi.h>

#include <algorithm>
#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <vector>

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

constexpr std::size_t kReadBufferSize = 1024; // larger than any input report we expect
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

std::size_t reportSize() {
    return static_cast<std::size_t>(parseIntSetting(std::getenv("RFIDUSB_REPORT_SIZE"),
                                                    static_cast<int>(kDefaultReportSize), 1,
                                                    static_cast<int>(kMaxReportSize)));
}

int timeoutMs() {
    return parseIntSetting(std::getenv("RFIDUSB_TIMEOUT_MS"), kDefaultTimeoutMs, 0, kMaxTimeoutMs);
}

class Reader {
public:
    ~Reader() {
        closeDevice();
        if (initialised_)
            hid_exit();
    }

    int write(const std::uint8_t* frame, int count);
    int read(std::uint8_t* buffer, int capacity);

private:
    bool initialise();
    bool ensureOpen();
    void closeDevice();
    void fail(const char* what);
    bool drain();

    std::mutex mutex_;
    std::once_flag initOnce_;
    bool initialised_ = false;
    bool permissionHintShown_ = false;
    hid_device* dev_ = nullptr;
};

bool Reader::initialise() {
    std::call_once(initOnce_, [this] {
        initialised_ = hid_init() == 0;
        if (!initialised_)
            std::fprintf(stderr, "rfidusb: hid_init failed\n");
    });
    return initialised_;
}

bool Reader::ensureOpen() {
    if (dev_ != nullptr)
        return true;
    if (!initialise())
        return false;

    const std::vector<DeviceId> wanted = wantedDevices();
    std::vector<HidCandidate> candidates;
    for (const DeviceId& id : wanted) {
        hid_device_info* list = hid_enumerate(id.vendor, id.product);
        for (const hid_device_info* info = list; info != nullptr; info = info->next) {
            if (info->path == nullptr)
                continue;
            candidates.push_back({info->path, info->vendor_id, info->product_id, info->usage_page,
                                  info->usage, info->interface_number});
        }
        hid_free_enumeration(list);
    }

    const auto chosen = chooseCandidate(candidates, wanted);
    if (!chosen) {
        trace("no reader found (%zu HID entries with matching ids)", candidates.size());
        return false;
    }
    const HidCandidate& c = candidates[*chosen];
    dev_ = hid_open_path(c.path.c_str());
    if (dev_ == nullptr) {
        if (!permissionHintShown_) {
            permissionHintShown_ = true;
            std::fprintf(stderr,
                         "rfidusb: cannot open %s (%04x:%04x); if this is a permission problem, "
                         "install 60-rfid-reader.rules into /etc/udev/rules.d\n",
                         c.path.c_str(), c.vendor, c.product);
        }
        return false;
    }
    trace("opened %s (%04x:%04x interface %d, usage page %04x usage %04x)", c.path.c_str(), c.vendor,
          c.product, c.interfaceNumber, c.usagePage, c.usage);
    return true;
}

void Reader::closeDevice() {
    if (dev_ != nullptr) {
        hid_close(dev_);
        dev_ = nullptr;
    }
}

void Reader::fail(const char* what) {
    if (traceEnabled()) {
        const wchar_t* err = dev_ != nullptr ? hid_error(dev_) : nullptr;
        std::fprintf(stderr, "rfidusb: %s failed: %ls; closing the device\n", what,
                     err != nullptr ? err : L"?");
    }
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
    if (frame == nullptr || count <= 0)
        return -1;
    std::lock_guard<std::mutex> lock(mutex_);

    const auto reports = splitIntoReports(frame, static_cast<std::size_t>(count), reportSize());
    // A handle that went stale while the reader was unplugged fails on first use. As
    // long as nothing has been sent yet, reopen once and try again.
    const bool wasOpen = dev_ != nullptr;
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (!ensureOpen())
            return -1;
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
            if (i + 1 == reports.size())
                return count;
        }
    }
    return -1;
}

int Reader::read(std::uint8_t* buffer, int capacity) {
    if (buffer == nullptr || capacity <= 0)
        return -1;
    std::lock_guard<std::mutex> lock(mutex_);
    if (!ensureOpen())
        return -1;

    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs());
    AnswerAssembler answer;
    std::uint8_t report[kReadBufferSize];
    for (;;) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0)
            break;
        const int n = hid_read_timeout(dev_, report, sizeof report, static_cast<int>(left));
        if (n < 0) {
            fail("read");
            return -1;
        }
        if (n > 0 && answer.feed(report, static_cast<std::size_t>(n)))
            break;
    }

    const auto& bytes = answer.bytes();
    if (!answer.complete())
        trace("read timed out with %zu bytes%s%s", bytes.size(), bytes.empty() ? "" : ": ",
              hexBytes(bytes.data(), bytes.size()).c_str());
    else
        trace("< %s", hexBytes(bytes.data(), bytes.size()).c_str());
    return static_cast<int>(answer.copyTo(buffer, static_cast<std::size_t>(capacity)));
}

Reader& reader() {
    static Reader instance;
    return instance;
}

} // namespace

RFIDUSB_EXPORT int hidWriteData(int device, int count, const unsigned char* frame) {
    (void)device; // one reader per host
    return reader().write(frame, count);
}

RFIDUSB_EXPORT int hidReadData(int device, int capacity, unsigned char* buffer) {
    (void)device;
    return reader().read(buffer, capacity);
}
