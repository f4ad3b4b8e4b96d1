#include "uhid_reader.h"

#include <linux/uhid.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <poll.h>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

namespace rfidvm {

namespace {

using Bytes = std::vector<std::uint8_t>;

void append(Bytes& out, std::initializer_list<std::uint8_t> bytes) {
    out.insert(out.end(), bytes);
}

// Vendor-defined usage page 0xFF00: one input and one output report of `size` bytes.
void vendorCollection(Bytes& d, std::uint8_t reportId, int size) {
    const auto count = static_cast<std::uint8_t>(size);
    append(d, {0x06, 0x00, 0xFF, 0x09, 0x01, 0xA1, 0x01}); // usage page FF00, usage 1, application
    if (reportId != 0)
        append(d, {0x85, reportId});
    append(d, {0x09, 0x02, 0x15, 0x00, 0x26, 0xFF, 0x00, 0x75, 0x08, 0x95, count, 0x81, 0x02}); // input
    append(d, {0x09, 0x03, 0x15, 0x00, 0x26, 0xFF, 0x00, 0x75, 0x08, 0x95, count, 0x91, 0x02}); // output
    append(d, {0xC0});
}

// A boot keyboard: modifier bits, a reserved byte, six key codes; five LEDs out.
void keyboardCollection(Bytes& d, std::uint8_t reportId) {
    append(d, {0x05, 0x01, 0x09, 0x06, 0xA1, 0x01});
    if (reportId != 0)
        append(d, {0x85, reportId});
    append(d,
           {0x05, 0x07, 0x19, 0xE0, 0x29, 0xE7, 0x15, 0x00, 0x25, 0x01, 0x75, 0x01, 0x95, 0x08, 0x81, 0x02});
    append(d, {0x95, 0x01, 0x75, 0x08, 0x81, 0x01});
    append(d, {0x95, 0x05, 0x75, 0x01, 0x05, 0x08, 0x19, 0x01, 0x29, 0x05, 0x91, 0x02});
    append(d, {0x95, 0x01, 0x75, 0x03, 0x91, 0x01});
    append(d,
           {0x95, 0x06, 0x75, 0x08, 0x15, 0x00, 0x25, 0x65, 0x05, 0x07, 0x19, 0x00, 0x29, 0x65, 0x81, 0x00});
    append(d, {0xC0});
}

constexpr std::uint8_t kKeyboardReportId = 1;

std::string readFile(const std::string& path) {
    std::ifstream in(path);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

} // namespace

std::vector<std::uint8_t> reportDescriptor(const DeviceOptions& o) {
    if (!o.descriptor.empty())
        return o.descriptor;
    Bytes d;
    switch (o.layout) {
    case Layout::Vendor:
        vendorCollection(d, o.reportId, o.reportSize);
        break;
    case Layout::Composite:
        keyboardCollection(d, kKeyboardReportId);
        vendorCollection(d, o.reportId, o.reportSize);
        break;
    case Layout::Keyboard:
        keyboardCollection(d, 0);
        break;
    }
    return d;
}

UhidReader::UhidReader(DeviceOptions options) : options_(std::move(options)) {
    firmware_.keyboard.version = options_.version;
}

UhidReader::~UhidReader() {
    destroy();
}

bool UhidReader::writeEvent(const void* event, std::size_t size) {
    const ssize_t n = ::write(fd_, event, size);
    return n == static_cast<ssize_t>(size);
}

bool UhidReader::create(std::string* error, int timeoutMs) {
    destroy();
    fd_ = ::open("/dev/uhid", O_RDWR | O_CLOEXEC);
    if (fd_ < 0) {
        *error = std::string("cannot open /dev/uhid: ") + std::strerror(errno);
        return false;
    }
    if (::pipe2(stopPipe_, O_CLOEXEC) != 0) {
        *error = "pipe failed";
        destroy();
        return false;
    }
    const Bytes rd = reportDescriptor(options_);
    uhid_event ev{};
    ev.type = UHID_CREATE2;
    auto& c = ev.u.create2;
    std::snprintf(reinterpret_cast<char*>(c.name), sizeof c.name, "%s", options_.name.c_str());
    std::snprintf(reinterpret_cast<char*>(c.phys), sizeof c.phys, "uhid/%s", options_.serial.c_str());
    std::snprintf(reinterpret_cast<char*>(c.uniq), sizeof c.uniq, "%s", options_.serial.c_str());
    std::copy(rd.begin(), rd.end(), c.rd_data);
    c.rd_size = static_cast<__u16>(rd.size());
    c.bus = BUS_USB;
    c.vendor = options_.vendor;
    c.product = options_.product;
    c.version = 0x0100;
    if (!writeEvent(&ev, sizeof ev)) {
        *error = std::string("UHID_CREATE2 failed: ") + std::strerror(errno);
        destroy();
        return false;
    }
    thread_ = std::thread([this] { run(); });

    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (std::chrono::steady_clock::now() < deadline) {
        const std::string node = findNode();
        struct stat st {};
        if (!node.empty() && ::stat(node.c_str(), &st) == 0) {
            std::lock_guard<std::mutex> lock(mutex_);
            node_ = node;
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    *error = "no hidraw node appeared for " + options_.serial;
    destroy();
    return false;
}

void UhidReader::destroy() {
    if (thread_.joinable()) {
        const char stop = 'x';
        (void)!::write(stopPipe_[1], &stop, 1);
        thread_.join();
    }
    if (fd_ >= 0) {
        uhid_event ev{};
        ev.type = UHID_DESTROY;
        writeEvent(&ev, sizeof ev);
        ::close(fd_);
        fd_ = -1;
    }
    for (int& p : stopPipe_) {
        if (p >= 0)
            ::close(p);
        p = -1;
    }
    std::lock_guard<std::mutex> lock(mutex_);
    node_.clear();
    frame_.clear();
}

std::string UhidReader::node() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return node_;
}

std::vector<std::string> UhidReader::refusals() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return refusals_;
}

// The hidraw node whose HID device carries this reader's name and serial.
std::string UhidReader::findNode() const {
    DIR* dir = ::opendir("/sys/class/hidraw");
    if (dir == nullptr)
        return {};
    std::string found;
    while (dirent* e = ::readdir(dir)) {
        const std::string name = e->d_name;
        if (name.rfind("hidraw", 0) != 0)
            continue;
        const std::string uevent = readFile("/sys/class/hidraw/" + name + "/device/uevent");
        if (uevent.find("HID_UNIQ=" + options_.serial + "\n") != std::string::npos &&
            uevent.find("HID_NAME=" + options_.name + "\n") != std::string::npos) {
            found = "/dev/" + name;
            break;
        }
    }
    ::closedir(dir);
    return found;
}

void UhidReader::run() {
    const auto noiseEvery = std::chrono::milliseconds(5);
    auto nextNoise = std::chrono::steady_clock::now();
    for (;;) {
        pollfd fds[2] = {{fd_, POLLIN, 0}, {stopPipe_[0], POLLIN, 0}};
        int wait = 200;
        if (options_.noise && started_)
            wait =
                static_cast<int>(std::max<long long>(0, std::chrono::duration_cast<std::chrono::milliseconds>(
                                                            nextNoise - std::chrono::steady_clock::now())
                                                            .count()));
        const int n = ::poll(fds, 2, wait);
        if (n < 0 && errno != EINTR)
            return;
        if (fds[1].revents != 0)
            return;
        if (options_.noise && started_ && std::chrono::steady_clock::now() >= nextNoise) {
            const std::uint8_t junk[] = {0x55, 0x01, 0x02, 0x03, 0xFE, 0x13};
            sendInput(junk, sizeof junk);
            nextNoise = std::chrono::steady_clock::now() + noiseEvery;
        }
        if (n <= 0 || (fds[0].revents & POLLIN) == 0)
            continue;
        uhid_event ev{};
        const ssize_t got = ::read(fd_, &ev, sizeof ev);
        if (got <= 0)
            continue;
        switch (ev.type) {
        case UHID_START:
            started_ = true;
            break;
        case UHID_STOP:
            started_ = false;
            break;
        case UHID_OUTPUT:
            if (ev.u.output.rtype == UHID_OUTPUT_REPORT)
                handleOutput(ev.u.output.data, ev.u.output.size);
            break;
        case UHID_GET_REPORT: {
            uhid_event reply{};
            reply.type = UHID_GET_REPORT_REPLY;
            reply.u.get_report_reply.id = ev.u.get_report.id;
            reply.u.get_report_reply.err = EIO;
            writeEvent(&reply, sizeof reply);
            break;
        }
        case UHID_SET_REPORT: {
            // Keyboard LEDs come this way; accepted and ignored.
            uhid_event reply{};
            reply.type = UHID_SET_REPORT_REPLY;
            reply.u.set_report_reply.id = ev.u.set_report.id;
            reply.u.set_report_reply.err = 0;
            writeEvent(&reply, sizeof reply);
            break;
        }
        default:
            break;
        }
    }
}

// An output report as hidraw hands it over: the report id byte (0 when unnumbered),
// then the payload. Like a real device, anything but the declared report id and size
// is refused.
void UhidReader::handleOutput(const std::uint8_t* data, std::size_t size) {
    if (size == 0)
        return;
    if (options_.layout == Layout::Keyboard ||
        (options_.layout == Layout::Composite && data[0] == kKeyboardReportId))
        return; // keyboard LEDs
    const std::size_t expected = 1 + static_cast<std::size_t>(options_.reportSize);
    std::lock_guard<std::mutex> lock(mutex_);
    if (data[0] != options_.reportId) {
        refusals_.push_back("output report id " + std::to_string(data[0]) + ", expected " +
                            std::to_string(options_.reportId));
        return;
    }
    if (size != expected && !(options_.anyOutputSize && size > 1)) {
        refusals_.push_back("output report of " + std::to_string(size) + " bytes, expected " +
                            std::to_string(expected));
        return;
    }
    const std::uint8_t* payload = data + 1;
    if (frame_.empty() && payload[0] != 0xAA) {
        refusals_.push_back("output report without a frame start");
        return;
    }
    frame_.insert(frame_.end(), payload, data + size);
    if (frame_.size() < 3 || frame_.size() < std::size_t(frame_[2]) + 5)
        return;
    frame_.resize(std::size_t(frame_[2]) + 5); // the rest is report padding
    const Bytes frame = std::move(frame_);
    frame_.clear();
    firmware_.write(frame.data(), static_cast<int>(frame.size()));
    std::uint8_t answer[512];
    const int n = firmware_.read(answer, sizeof answer);
    if (options_.silent || n <= 0)
        return;
    ++answered_;
    Bytes out(answer, answer + n);
    if (options_.lyingLength)
        out[2] = 0xF0;
    sendAnswer(out);
    if (options_.onFrame)
        options_.onFrame(frame, out);
}

void UhidReader::sendAnswer(const std::vector<std::uint8_t>& answer) {
    if (options_.delayMs > 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(options_.delayMs));
    Bytes stream;
    for (int i = 0; i < options_.garbage; ++i)
        stream.push_back(static_cast<std::uint8_t>(0x30 + i % 0x40)); // never 0xAA
    stream.insert(stream.end(), answer.begin(), answer.end());
    // Every report but the last is full: the reports carry no count of their own, so
    // zero padding can only come at the end.
    const std::size_t per = std::size_t(options_.reportSize);
    for (std::size_t off = 0; off < stream.size(); off += per) {
        if (off != 0 && options_.gapMs > 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(options_.gapMs));
        sendInput(stream.data() + off, std::min(per, stream.size() - off));
    }
}

// One input report: the report id when numbered, then `size` payload bytes padded to
// the declared report size.
void UhidReader::sendInput(const std::uint8_t* payload, std::size_t size) {
    uhid_event ev{};
    ev.type = UHID_INPUT2;
    std::size_t at = 0;
    if (options_.reportId != 0)
        ev.u.input2.data[at++] = options_.reportId;
    std::copy(payload, payload + std::min(size, std::size_t(options_.reportSize)), ev.u.input2.data + at);
    ev.u.input2.size = static_cast<__u16>(at + std::size_t(options_.reportSize));
    writeEvent(&ev, sizeof ev);
}

} // namespace rfidvm
