// Drives librfidusb's entry points against an in-process stand-in for hidapi, so the
// write/read/reopen logic is exercised without a reader attached.

#include <hidapi.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <string>
#include <thread>
#include <vector>

extern "C" int hidWriteData(int device, int count, const unsigned char* frame);
extern "C" int hidReadData(int device, int capacity, unsigned char* buffer);

using Bytes = std::vector<unsigned char>;

namespace {

struct FakeEntry {
    std::string path;
    unsigned short vendor, product, usagePage, usage;
    int iface;
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
        bus.infos.push_back(info);
    }
    for (std::size_t i = 0; i + 1 < bus.infos.size(); ++i)
        bus.infos[i].next = &bus.infos[i + 1];
    return bus.infos.empty() ? nullptr : bus.infos.data();
}

void hid_free_enumeration(hid_device_info*) {}

hid_device* hid_open_path(const char* path) {
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
    }

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
