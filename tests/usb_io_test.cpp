// Drives librfidusb's entry points against an in-process stand-in for hidapi, so the
// write/read/reopen logic is exercised without a reader attached.

#include <hidapi.h>

#include "rfidusb_api.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <filesystem>
#include <fstream>
#include <functional>
#include <set>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

using Bytes = std::vector<unsigned char>;

namespace {

struct FakeEntry {
    std::string path;
    unsigned short vendor, product, usagePage, usage;
    int iface;
    std::wstring serial = L"", manufacturer = L"", product_name = L"";
};

struct FakeBus {
    std::vector<FakeEntry> entries;
    std::vector<hid_device_info> infos;
    int generation = 0; // bumped on unplug; handles from older generations fail
    std::vector<std::string> opened;
    std::deque<Bytes> input;       // input reports waiting to be read
    std::deque<Bytes> answerQueue; // input reports the device produces after the next write
    std::vector<Bytes> written;
    bool failWrites = false;
    std::set<std::string> unopenable;   // hid_open_path fails for these
    std::function<Bytes()> unsolicited; // when set, the device sends this report whenever read
};

FakeBus bus;

} // namespace

struct hid_device_ {
    int generation;
};

int hid_init() {
    return 0;
}
int hid_exit() {
    return 0;
}

hid_device_info* hid_enumerate(unsigned short vendor, unsigned short product) {
    bus.infos.clear();
    bus.infos.reserve(bus.entries.size());
    for (auto& e : bus.entries) {
        if (e.vendor != vendor || e.product != product)
            continue;
        hid_device_info info{};
        info.path = e.path.data();
        info.vendor_id = e.vendor;
        info.product_id = e.product;
        info.usage_page = e.usagePage;
        info.usage = e.usage;
        info.interface_number = e.iface;
        info.serial_number = e.serial.data();
        info.manufacturer_string = e.manufacturer.data();
        info.product_string = e.product_name.data();
        bus.infos.push_back(info);
    }
    for (std::size_t i = 0; i + 1 < bus.infos.size(); ++i)
        bus.infos[i].next = &bus.infos[i + 1];
    return bus.infos.empty() ? nullptr : bus.infos.data();
}

void hid_free_enumeration(hid_device_info*) {}

hid_device* hid_open_path(const char* path) {
    if (bus.unopenable.count(path) != 0)
        return nullptr;
    bus.opened.push_back(path);
    return new hid_device{bus.generation};
}

void hid_close(hid_device* dev) {
    delete dev;
}

const wchar_t* hid_error(hid_device*) {
    return L"fake error";
}

int hid_write(hid_device* dev, const unsigned char* data, size_t length) {
    if (dev->generation != bus.generation || bus.failWrites)
        return -1;
    bus.written.emplace_back(data, data + length);
    while (!bus.answerQueue.empty()) {
        bus.input.push_back(bus.answerQueue.front());
        bus.answerQueue.pop_front();
    }
    return static_cast<int>(length);
}

int hid_read_timeout(hid_device* dev, unsigned char* data, size_t length, int milliseconds) {
    if (dev->generation != bus.generation)
        return -1;
    if (bus.input.empty() && bus.unsolicited) {
        std::this_thread::sleep_for(std::chrono::microseconds(200));
        const Bytes report = bus.unsolicited();
        const std::size_t n = std::min(length, report.size());
        std::memcpy(data, report.data(), n);
        return static_cast<int>(n);
    }
    if (bus.input.empty()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(std::min(milliseconds, 5)));
        return 0;
    }
    Bytes report = bus.input.front();
    bus.input.pop_front();
    const std::size_t n = std::min(length, report.size());
    std::memcpy(data, report.data(), n);
    return static_cast<int>(n);
}

namespace {

Bytes frame(unsigned char command, const Bytes& data) {
    Bytes f{0xAA, 0x00, static_cast<unsigned char>(data.size() + 1), command};
    f.insert(f.end(), data.begin(), data.end());
    unsigned char x = 0;
    for (std::size_t i = 1; i < f.size(); ++i)
        x ^= f[i];
    f.push_back(x);
    f.push_back(0xBB);
    return f;
}

Bytes padded(Bytes b, std::size_t size = 64) {
    b.resize(size, 0);
    return b;
}

Bytes withReportId(const Bytes& b) {
    Bytes r{0x00};
    r.insert(r.end(), b.begin(), b.end());
    return r;
}

class UsbIo : public ::testing::Test {
protected:
    void SetUp() override {
        ::setenv("RFIDUSB_DEVICE", "1234:5678", 1);
        ::setenv("RFIDUSB_TIMEOUT_MS", "60", 1);
        ::unsetenv("RFIDUSB_REPORT_SIZE");
        ++bus.generation; // whatever the previous test left open is gone
        bus.entries = {{"/dev/hidraw0", 0x1234, 0x5678, 0x0001, 0x0006, 0},
                       {"/dev/hidraw1", 0x1234, 0x5678, 0xFF00, 0x0001, 1}};
        bus.opened.clear();
        bus.input.clear();
        bus.answerQueue.clear();
        bus.written.clear();
        bus.failWrites = false;
        bus.unopenable.clear();
        bus.unsolicited = nullptr;
        // An empty sysfs of our own: no report descriptor unless a test writes one.
        sysfs = std::filesystem::temp_directory_path() / ("rfidusb-sysfs-" + std::to_string(::getpid()));
        std::filesystem::remove_all(sysfs);
        std::filesystem::create_directories(sysfs);
        ::setenv("RFIDUSB_SYSFS_ROOT", sysfs.c_str(), 1);
        hidSelectDevice(nullptr);
    }
    void TearDown() override { std::filesystem::remove_all(sysfs); }

    void writeDescriptor(const char* node, const Bytes& descriptor) {
        const auto dir = sysfs / "class/hidraw" / node / "device";
        std::filesystem::create_directories(dir);
        std::ofstream(dir / "report_descriptor", std::ios::binary)
            .write(reinterpret_cast<const char*>(descriptor.data()),
                   static_cast<std::streamsize>(descriptor.size()));
    }

    std::filesystem::path sysfs;

    int write(const Bytes& f) { return hidWriteData(0, static_cast<int>(f.size()), f.data()); }
    int read() {
        std::memset(buffer, 0, sizeof buffer);
        return hidReadData(0, 245, buffer);
    }

    unsigned char buffer[257] = {};
};

} // namespace

TEST_F(UsbIo, SendsFrameOnCommandInterfaceAndReadsSplitAnswer) {
    const Bytes command = frame(0x25, {});
    const Bytes answer = frame(0x00, Bytes(80, 0x42)); // 86 bytes: two input reports
    bus.input = {padded(frame(0x00, {0x99}))};         // late answer to an earlier command
    bus.answerQueue = {padded(Bytes(answer.begin(), answer.begin() + 64)),
                       padded(Bytes(answer.begin() + 64, answer.end()))};

    ASSERT_EQ(write(command), static_cast<int>(command.size()));
    EXPECT_EQ(bus.opened, std::vector<std::string>{"/dev/hidraw1"});
    ASSERT_EQ(bus.written.size(), 1u);
    EXPECT_EQ(bus.written[0], padded(withReportId(command), 65));

    ASSERT_EQ(read(), static_cast<int>(answer.size()));
    EXPECT_TRUE(std::equal(answer.begin(), answer.end(), buffer));
    EXPECT_EQ(buffer[answer.size()], 0);
}

TEST_F(UsbIo, LongFrameGoesOutInConsecutiveReports) {
    ::setenv("RFIDUSB_REPORT_SIZE", "32", 1);
    const Bytes command = frame(0x30, Bytes(249, 0x17)); // 255 bytes
    ASSERT_EQ(write(command), 255);
    ASSERT_EQ(bus.written.size(), 8u);
    Bytes joined;
    for (const Bytes& r : bus.written) {
        ASSERT_EQ(r.size(), 33u);
        EXPECT_EQ(r[0], 0x00);
        joined.insert(joined.end(), r.begin() + 1, r.end());
    }
    EXPECT_EQ(joined, padded(command, 256));
}

TEST_F(UsbIo, ReadTimesOutWithNothingOrReturnsWhatArrived) {
    ASSERT_EQ(write(frame(0x25, {})), 6);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(read(), 0);
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(50));

    const Bytes answer = frame(0x00, Bytes(20, 0x01));
    bus.answerQueue = {Bytes{0x00, 0x00}, Bytes(answer.begin(), answer.begin() + 10)};
    ASSERT_EQ(write(frame(0x25, {})), 6);
    EXPECT_EQ(read(), 10);
    EXPECT_TRUE(std::equal(answer.begin(), answer.begin() + 10, buffer));
}

TEST_F(UsbIo, ReopensAfterUnplug) {
    const Bytes command = frame(0x25, {});
    ASSERT_EQ(write(command), 6);

    // Unplugged and plugged back in: the old handle fails, the write still goes out.
    ++bus.generation;
    bus.answerQueue = {padded(frame(0x00, {0x01}))};
    ASSERT_EQ(write(command), 6);
    EXPECT_EQ(bus.opened.size(), 2u);
    EXPECT_EQ(read(), 7);

    // A read error closes the handle; the next call opens the device again.
    ++bus.generation;
    EXPECT_EQ(read(), -1);
    EXPECT_EQ(read(), 0);
    EXPECT_EQ(bus.opened.size(), 3u);

    // Gone for good: the write fails rather than hangs.
    bus.entries.clear();
    ++bus.generation;
    EXPECT_EQ(write(command), -1);
    EXPECT_EQ(read(), -1);

    // Writes failing on a freshly opened handle are reported, not retried forever.
    bus.entries = {{"/dev/hidraw1", 0x1234, 0x5678, 0xFF00, 0x0001, 1}};
    bus.failWrites = true;
    EXPECT_EQ(write(command), -1);
}

namespace {

// A keyboard collection (report id 1) and a vendor-defined command collection
// (report id `id`, `size`-byte input and output reports) on one node.
Bytes keyboardAndCommand(unsigned char id, unsigned char size) {
    return {0x05, 0x01, 0x09, 0x06, 0xA1, 0x01, 0x85, 0x01, 0x05, 0x07, 0x19, 0xE0, 0x29, 0xE7,
            0x15, 0x00, 0x25, 0x01, 0x75, 0x01, 0x95, 0x08, 0x81, 0x02, 0x95, 0x06, 0x75, 0x08,
            0x26, 0xFF, 0x00, 0x19, 0x00, 0x2A, 0xFF, 0x00, 0x81, 0x00, 0xC0, 0x06, 0x00, 0xFF,
            0x09, 0x01, 0xA1, 0x01, 0x85, id,   0x15, 0x00, 0x26, 0xFF, 0x00, 0x75, 0x08, 0x95,
            size, 0x09, 0x01, 0x81, 0x02, 0x09, 0x01, 0x91, 0x02, 0xC0};
}

Bytes prefixed(unsigned char id, const Bytes& payload) {
    Bytes r{id};
    r.insert(r.end(), payload.begin(), payload.end());
    return r;
}

int lastError(std::string* text = nullptr) {
    char buf[256] = {};
    const int kind = hidLastError(buf, sizeof buf);
    if (text)
        *text = buf;
    return kind;
}

} // namespace

TEST_F(UsbIo, TakesReportIdAndSizesFromTheDescriptor) {
    writeDescriptor("hidraw1", keyboardAndCommand(5, 32));
    ::setenv("RFIDUSB_TRACE", "1", 1);
    testing::internal::CaptureStderr();
    const Bytes command = frame(0xC0, {});
    const Bytes answer = frame(0x00, Bytes(40, 0x33)); // 46 bytes: two 32-byte reports
    // A key press on the same node comes first; it is not part of the answer.
    bus.answerQueue = {Bytes{0x01, 0x00, 0x00, 0x04, 0, 0, 0, 0, 0},
                       prefixed(5, Bytes(answer.begin(), answer.begin() + 32)),
                       prefixed(5, padded(Bytes(answer.begin() + 32, answer.end()), 32))};
    ASSERT_EQ(write(command), 6);
    ASSERT_EQ(bus.written.size(), 1u);
    EXPECT_EQ(bus.written[0], prefixed(5, padded(command, 32)));
    ASSERT_EQ(read(), static_cast<int>(answer.size()));
    EXPECT_TRUE(std::equal(answer.begin(), answer.end(), buffer));
    const std::string log = testing::internal::GetCapturedStderr();
    ::unsetenv("RFIDUSB_TRACE");
    EXPECT_NE(log.find("output report id 5, 32 bytes; input report id 5, 32 bytes"), std::string::npos)
        << log;
    EXPECT_NE(log.find("ignored 1 input reports"), std::string::npos) << log;

    // The environment still wins over the descriptor for the report size.
    ::setenv("RFIDUSB_REPORT_SIZE", "8", 1);
    ASSERT_EQ(write(command), 6);
    ASSERT_EQ(bus.written.size(), 2u);
    EXPECT_EQ(bus.written[1], prefixed(5, padded(command, 8)));
}

TEST_F(UsbIo, FallsBackToPlainReportsWhenTheDescriptorIsUnusable) {
    const Bytes good = keyboardAndCommand(5, 32);
    const Bytes truncated(good.begin(), good.begin() + 50);
    const Bytes keyboardOnly(good.begin(), good.begin() + 39);
    const Bytes unbalanced{0x06, 0x00, 0xFF, 0x09, 0x01, 0xA1, 0x01, 0xC0, 0xC0};
    for (const Bytes& bad : {truncated, keyboardOnly, unbalanced, Bytes{}}) {
        ++bus.generation; // the next write opens the device again and reads its descriptor
        writeDescriptor("hidraw1", bad);
        ::setenv("RFIDUSB_TRACE", "1", 1);
        testing::internal::CaptureStderr();
        bus.written.clear();
        const Bytes command = frame(0xC0, {});
        EXPECT_EQ(write(command), 6);
        const std::string log = testing::internal::GetCapturedStderr();
        ::unsetenv("RFIDUSB_TRACE");
        ASSERT_FALSE(bus.written.empty());
        EXPECT_EQ(bus.written.back(), padded(withReportId(command), 65));
        EXPECT_NE(log.find("report descriptor not used"), std::string::npos) << log;
        EXPECT_NE(log.find("using 64-byte reports with report id 0"), std::string::npos) << log;
    }
}

TEST_F(UsbIo, HostileInputReportsEndInNoAnswerWithinTheTimeout) {
    const Bytes command = frame(0xC0, {});
    auto timedRead = [this](int* result) {
        const auto start = std::chrono::steady_clock::now();
        *result = read();
        return std::chrono::steady_clock::now() - start;
    };
    int n = 0;
    // Endless garbage with no start marker.
    bus.unsolicited = [] { return Bytes(64, 0x55); };
    ASSERT_EQ(write(command), 6);
    EXPECT_LT(timedRead(&n), std::chrono::milliseconds(500));
    EXPECT_EQ(n, 0);
    EXPECT_EQ(lastError(), RFIDUSB_ERROR_TIMEOUT);

    // A length byte that claims more than the frame, then endless padding: the bytes
    // never end in 0xBB where the length says, so they are no answer.
    bus.unsolicited = nullptr;
    bus.answerQueue = {padded(Bytes{0xAA, 0x00, 0xF0, 0x00, 0x01, 0xBB})};
    ASSERT_EQ(write(command), 6);
    bus.unsolicited = [] { return Bytes(64, 0x00); };
    EXPECT_LT(timedRead(&n), std::chrono::milliseconds(500));
    EXPECT_EQ(n, 0);

    // Noise with a stray 0xAA before the real answer: the answer is still found.
    bus.unsolicited = nullptr;
    const Bytes answer = frame(0x00, {'V', '1'});
    Bytes noisy{0x13, 0xAA, 0x02, 0x01, 0x7F, 0x00, 0x00, 0x00};
    noisy.insert(noisy.end(), answer.begin(), answer.end());
    bus.answerQueue = {padded(noisy)};
    ASSERT_EQ(write(command), 6);
    ASSERT_EQ(read(), static_cast<int>(answer.size()));
    EXPECT_TRUE(std::equal(answer.begin(), answer.end(), buffer));
    EXPECT_EQ(lastError(), RFIDUSB_ERROR_NONE);

    // A flood of reports before a write does not keep the write from going out.
    bus.unsolicited = [] { return Bytes(64, 0xAA); };
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(write(command), 6);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(500));
}

TEST_F(UsbIo, ListsChoosesAndExplainsReaders) {
    bus.entries = {{"/dev/hidraw0", 0x1234, 0x5678, 0x0001, 0x0006, 0, L"A-1", L"Maker", L"Reader"},
                   {"/dev/hidraw1", 0x1234, 0x5678, 0xFF00, 0x0001, 1, L"A-1", L"Maker", L"Reader"},
                   {"/dev/hidraw4", 0x1234, 0x5678, 0xFF00, 0x0001, 1, L"B-\u00e9", L"", L"读卡器"}};
    ASSERT_EQ(hidEnumerate(), 2);
    char text[512];
    ASSERT_GT(hidDeviceInfo(1, text, sizeof text), 0);
    // The fake's nodes do not exist, so opening them finds nothing there.
    EXPECT_STREQ(text, "path=/dev/hidraw4\nvendor=1234\nproduct=5678\ninterface=1\nmanufacturer=\n"
                       "product_name=读卡器\nserial=B-é\naccess=gone\n");

    // A reader that arrived after the last scan can be chosen all the same.
    bus.entries.push_back({"/dev/hidraw9", 0x1234, 0x5678, 0xFF00, 0x0001, 1, L"C-3", L"", L""});
    EXPECT_EQ(hidSelectDevice("C-3"), 0);
    EXPECT_EQ(hidEnumerate(), 3);
    bus.entries.pop_back();
    ASSERT_EQ(hidEnumerate(), 2);
    hidSelectDevice(nullptr);

    // The first reader by default; the other by serial, then by path.
    ASSERT_EQ(write(frame(0xC0, {})), 6);
    EXPECT_EQ(bus.opened.back(), "/dev/hidraw1");
    ASSERT_EQ(hidSelectDevice("B-é"), 0);
    ASSERT_EQ(write(frame(0xC0, {})), 6);
    EXPECT_EQ(bus.opened.back(), "/dev/hidraw4");
    EXPECT_LT(hidSelectDevice("/dev/hidraw0"), 0); // the keyboard is no reader
    ASSERT_EQ(hidSelectDevice("/dev/hidraw1"), 0);
    ASSERT_EQ(write(frame(0xC0, {})), 6);
    EXPECT_EQ(bus.opened.back(), "/dev/hidraw1");

    // The chosen reader unplugged: "no reader", even though another one is there.
    bus.entries.erase(bus.entries.begin(), bus.entries.begin() + 2);
    ++bus.generation;
    EXPECT_EQ(write(frame(0xC0, {})), -1);
    std::string why;
    EXPECT_EQ(lastError(&why), RFIDUSB_ERROR_NO_READER);
    EXPECT_NE(why.find("/dev/hidraw1"), std::string::npos) << why;

    // Plugged back in at another node: found again by its serial.
    bus.entries.push_back({"/dev/hidraw7", 0x1234, 0x5678, 0xFF00, 0x0001, 1, L"A-1", L"Maker", L"Reader"});
    EXPECT_EQ(write(frame(0xC0, {})), 6);
    EXPECT_EQ(bus.opened.back(), "/dev/hidraw7");

    // Found but not opened: the node is gone, so this is no reader either.
    hidSelectDevice(nullptr);
    bus.unopenable = {"/dev/hidraw4"};
    bus.entries = {{"/dev/hidraw4", 0x1234, 0x5678, 0xFF00, 0x0001, 1}};
    ++bus.generation;
    EXPECT_EQ(write(frame(0xC0, {})), -1);
    EXPECT_EQ(lastError(&why), RFIDUSB_ERROR_NO_READER);
    EXPECT_NE(why.find("cannot be opened"), std::string::npos) << why;

    // A write that fails on the device is an I/O error.
    bus.unopenable.clear();
    bus.failWrites = true;
    EXPECT_EQ(write(frame(0xC0, {})), -1);
    EXPECT_EQ(lastError(), RFIDUSB_ERROR_IO);
}

namespace {

std::string lockPath(int* result = nullptr) {
    char buf[64] = "x";
    const int n = hidLockPath(buf, sizeof buf);
    if (result)
        *result = n;
    return n >= 0 ? std::string(buf) : "<error>";
}

} // namespace

TEST_F(UsbIo, UnpluggedReaderIsNotReplacedByAnotherWithItsSerial) {
    // Two readers whose firmware gives them one serial number.
    const FakeEntry first{"/dev/hidraw1", 0x1234, 0x5678, 0xFF00, 0x0001, 1, L"SAME"};
    const FakeEntry second{"/dev/hidraw4", 0x1234, 0x5678, 0xFF00, 0x0001, 1, L"SAME"};
    bus.entries = {first, second};
    ASSERT_EQ(hidEnumerate(), 2);
    ASSERT_EQ(hidSelectDevice("/dev/hidraw1"), 0);
    ASSERT_EQ(write(frame(0xC0, {})), 6);
    EXPECT_EQ(bus.opened, std::vector<std::string>{"/dev/hidraw1"});

    // The chosen one unplugged: its command goes nowhere, not to the other one, with
    // the handle gone stale (the retry) and with it closed alike.
    bus.entries = {second};
    ++bus.generation;
    bus.written.clear();
    EXPECT_EQ(write(frame(0xC0, {})), -1);
    std::string why;
    EXPECT_EQ(lastError(&why), RFIDUSB_ERROR_NO_READER);
    EXPECT_NE(why.find("/dev/hidraw1"), std::string::npos) << why;
    EXPECT_NE(why.find("SAME"), std::string::npos) << why;
    EXPECT_EQ(write(frame(0xC0, {})), -1);
    EXPECT_TRUE(bus.written.empty());
    EXPECT_EQ(bus.opened, std::vector<std::string>{"/dev/hidraw1"});
    EXPECT_EQ(lockPath(), "");

    // Chosen by that serial number instead: either reader is the one asked for.
    ASSERT_EQ(hidSelectDevice("SAME"), 0);
    ASSERT_EQ(write(frame(0xC0, {})), 6);
    EXPECT_EQ(bus.opened.back(), "/dev/hidraw4");

    // Chosen by path while another reader had the same serial number: the one left
    // later is still not taken for the chosen one.
    bus.entries = {first, second};
    ASSERT_EQ(hidSelectDevice("/dev/hidraw4"), 0);
    bus.entries = {first};
    ++bus.generation;
    EXPECT_EQ(write(frame(0xC0, {})), -1);
    EXPECT_EQ(lastError(), RFIDUSB_ERROR_NO_READER);
    EXPECT_EQ(bus.opened.back(), "/dev/hidraw4");
}

TEST_F(UsbIo, ReaderChosenByPathIsFoundAgainOnlyByItsOwnSerial) {
    const FakeEntry a{"/dev/hidraw1", 0x1234, 0x5678, 0xFF00, 0x0001, 1, L"A-1"};
    const FakeEntry b{"/dev/hidraw4", 0x1234, 0x5678, 0xFF00, 0x0001, 1, L"B-2"};
    bus.entries = {a, b};
    ASSERT_EQ(hidSelectDevice("/dev/hidraw1"), 0);
    ASSERT_EQ(write(frame(0xC0, {})), 6);

    // Unplugged, and another reader took its node: that is not the chosen reader.
    FakeEntry other = b;
    other.path = "/dev/hidraw1";
    other.serial = L"C-3";
    bus.entries = {other, b};
    ++bus.generation;
    EXPECT_EQ(write(frame(0xC0, {})), -1);
    EXPECT_EQ(lastError(), RFIDUSB_ERROR_NO_READER);
    EXPECT_EQ(lockPath(), "");

    // Back at another node with its unique serial number: found, and followed there.
    FakeEntry moved = a;
    moved.path = "/dev/hidraw7";
    bus.entries = {other, b, moved};
    ASSERT_EQ(write(frame(0xC0, {})), 6);
    EXPECT_EQ(bus.opened.back(), "/dev/hidraw7");
    EXPECT_EQ(lockPath(), "/dev/hidraw7");

    // A reader without a serial number chosen by path is gone once its node is.
    FakeEntry bare = b;
    bare.serial.clear();
    bus.entries = {bare};
    ASSERT_EQ(hidSelectDevice("/dev/hidraw4"), 0);
    ASSERT_EQ(write(frame(0xC0, {})), 6);
    bare.path = "/dev/hidraw5";
    bus.entries = {bare};
    ++bus.generation;
    EXPECT_EQ(write(frame(0xC0, {})), -1);
    EXPECT_EQ(lastError(), RFIDUSB_ERROR_NO_READER);
}

TEST_F(UsbIo, LockPathIsTheNodeTheNextWriteGoesTo) {
    // Nodes that exist on no machine, so that an open handle's node counts as gone.
    bus.entries = {{"/dev/hidraw90", 0x1234, 0x5678, 0x0001, 0x0006, 0, L"A-1"},
                   {"/dev/hidraw91", 0x1234, 0x5678, 0xFF00, 0x0001, 1, L"A-1"},
                   {"/dev/hidraw94", 0x1234, 0x5678, 0xFF00, 0x0001, 1, L"B-2"}};
    // The automatic choice, before anything is open, and the node then opened.
    int n = 0;
    EXPECT_EQ(lockPath(&n), "/dev/hidraw91");
    EXPECT_EQ(n, 13);
    EXPECT_TRUE(bus.opened.empty()); // asking opens nothing
    ASSERT_EQ(write(frame(0xC0, {})), 6);
    EXPECT_EQ(bus.opened.back(), "/dev/hidraw91");
    EXPECT_EQ(lockPath(), "/dev/hidraw91");

    // The chosen reader, by serial or by path; never the keyboard.
    ASSERT_EQ(hidSelectDevice("B-2"), 0);
    EXPECT_EQ(lockPath(), "/dev/hidraw94");
    ASSERT_EQ(write(frame(0xC0, {})), 6);
    EXPECT_EQ(bus.opened.back(), "/dev/hidraw94");
    ASSERT_EQ(hidSelectDevice("/dev/hidraw91"), 0);
    EXPECT_EQ(lockPath(), "/dev/hidraw91");

    // A buffer too small, or none: an error, never a cut path.
    char small[13] = "zzzzzzzzzzzz";
    EXPECT_LT(hidLockPath(small, sizeof small), 0);
    EXPECT_STREQ(small, "");
    EXPECT_LT(hidLockPath(nullptr, 0), 0);

    // The chosen reader gone: nothing to lock. Asking is no exchange, so the last
    // exchange's outcome stays.
    ASSERT_EQ(write(frame(0xC0, {})), 6);
    bus.entries = {{"/dev/hidraw94", 0x1234, 0x5678, 0xFF00, 0x0001, 1, L"B-2"}};
    ++bus.generation;
    EXPECT_EQ(lockPath(&n), "");
    EXPECT_EQ(n, 0);
    EXPECT_EQ(lastError(), RFIDUSB_ERROR_NONE);
    EXPECT_EQ(write(frame(0xC0, {})), -1);
    EXPECT_EQ(lastError(), RFIDUSB_ERROR_NO_READER);

    // No reader at all.
    hidSelectDevice(nullptr);
    bus.entries.clear();
    EXPECT_EQ(lockPath(&n), "");
    EXPECT_EQ(n, 0);
}

TEST_F(UsbIo, MonitorDescriptorIsStableAndDrainsWithoutBlocking) {
    // A udev monitor where the system allows one; -1 is allowed (no netlink here).
    const int fd = hidMonitorFd();
    EXPECT_GE(fd, -1);
    EXPECT_EQ(hidMonitorFd(), fd);
    const auto start = std::chrono::steady_clock::now();
    hidMonitorDrain();
    hidMonitorDrain();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(500));
}
