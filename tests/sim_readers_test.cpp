// The simulated reader as several readers behind the USB library's optional entry
// points: each with its own settings, chosen by path or serial, plugged in and out.
#include "rfidsim.h"
#include "rfidusb_api.h"

#include <gtest/gtest.h>

#include <poll.h>

#include <cstdlib>
#include <string>
#include <vector>

using Bytes = std::vector<unsigned char>;

namespace {

Bytes frame(unsigned char command, const Bytes& data = {}) {
    Bytes f{0xAA, 0x00, static_cast<unsigned char>(data.size() + 1), command};
    for (unsigned char b : data)
        f.push_back(b);
    unsigned char x = 0;
    for (std::size_t i = 1; i < f.size(); ++i)
        x ^= f[i];
    f.push_back(x);
    f.push_back(0xBB);
    return f;
}

// Sends a frame and returns the answer (empty when none came).
Bytes exchange(const Bytes& f) {
    if (hidWriteData(0, int(f.size()), f.data()) != int(f.size()))
        return {};
    unsigned char buf[257] = {};
    const int n = hidReadData(0, 245, buf);
    return n > 0 ? Bytes(buf, buf + n) : Bytes{};
}

// The language byte the current reader reports (read-settings answer, first data byte).
int language() {
    const Bytes a = exchange(frame(0x83));
    return a.size() > 4 ? a[4] : -1;
}

std::string info(int index) {
    char buf[512];
    return hidDeviceInfo(index, buf, sizeof buf) >= 0 ? std::string(buf) : std::string("<none>");
}

int lastError(std::string* text = nullptr) {
    char buf[200];
    const int kind = hidLastError(buf, sizeof buf);
    if (text)
        *text = buf;
    return kind;
}

bool readable(int fd) {
    pollfd p{fd, POLLIN, 0};
    return ::poll(&p, 1, 0) == 1 && (p.revents & POLLIN);
}

class SimReaders : public ::testing::Test {
protected:
    void SetUp() override { rfidsim_reset(); }
    void TearDown() override { rfidsim_reset(); }
};

} // namespace

TEST_F(SimReaders, ListsReadersAndKeepsEachOnesSettings) {
    EXPECT_EQ(rfidsim_reader_count(), 1);
    rfidsim_set_reader_count(3);
    ASSERT_EQ(hidEnumerate(), 3);
    EXPECT_EQ(info(1), "path=sim:1\nvendor=04d8\nproduct=003f\ninterface=1\nmanufacturer=Simulation\n"
                       "product_name=Simulated RFID reader\nserial=SIM-0001\naccess=ok\n");
    EXPECT_EQ(info(3), "<none>");
    EXPECT_EQ(info(-1), "<none>");
    char tiny[8] = "x";
    EXPECT_LT(hidDeviceInfo(0, tiny, sizeof tiny), 0);
    EXPECT_STREQ(tiny, "");

    // The first reader is chosen until another one is.
    EXPECT_EQ(rfidsim_current(), 0);
    ASSERT_FALSE(exchange(frame(0x80, {0x05})).empty()); // language 5 on reader 0
    ASSERT_EQ(hidSelectDevice("SIM-0002"), 0);
    EXPECT_EQ(rfidsim_current(), 2);
    EXPECT_EQ(language(), 0);
    ASSERT_FALSE(exchange(frame(0x80, {0x07})).empty());
    ASSERT_EQ(hidSelectDevice("sim:0"), 0);
    EXPECT_EQ(language(), 5);
    ASSERT_EQ(hidSelectDevice("sim:2"), 0);
    EXPECT_EQ(language(), 7);
    // Control functions act on the current reader: its frames only.
    EXPECT_EQ(rfidsim_frame_count(), 3);

    // An unknown name leaves the choice as it was.
    EXPECT_LT(hidSelectDevice("sim:9"), 0);
    EXPECT_LT(hidSelectDevice("SIM-0002x"), 0);
    EXPECT_EQ(rfidsim_current(), 2);
    EXPECT_EQ(hidSelectDevice(nullptr), 0);
    EXPECT_EQ(rfidsim_current(), 0);
}

TEST_F(SimReaders, UnpluggedReaderIsNoReaderUntilPluggedBack) {
    rfidsim_set_reader_count(2);
    const int fd = hidMonitorFd();
    ASSERT_GE(fd, 0);
    hidMonitorDrain();
    EXPECT_FALSE(readable(fd));

    ASSERT_EQ(hidSelectDevice("sim:1"), 0);
    rfidsim_plug(1, 0);
    EXPECT_TRUE(readable(fd));
    hidMonitorDrain();
    EXPECT_FALSE(readable(fd));
    rfidsim_plug(1, 0); // no change, no notice
    EXPECT_FALSE(readable(fd));

    const Bytes version = frame(0xC0);
    EXPECT_EQ(hidWriteData(0, int(version.size()), version.data()), -1);
    std::string text;
    EXPECT_EQ(lastError(&text), RFIDUSB_ERROR_NO_READER);
    EXPECT_NE(text.find("sim:1"), std::string::npos) << text;
    unsigned char buf[64];
    EXPECT_EQ(hidReadData(0, 64, buf), -1);
    EXPECT_EQ(hidEnumerate(), 1);
    EXPECT_NE(info(0).find("path=sim:0\n"), std::string::npos);

    // Back in: the first command works again.
    rfidsim_plug(1, 1);
    EXPECT_TRUE(readable(fd));
    EXPECT_EQ(exchange(version), frame(0x00, {'V', '1', '.', '0'}));
    EXPECT_EQ(lastError(), RFIDUSB_ERROR_NONE);

    // With the automatic choice, the first plugged-in reader answers.
    ASSERT_EQ(hidSelectDevice(""), 0);
    rfidsim_plug(0, 0);
    EXPECT_EQ(rfidsim_current(), 1);
    EXPECT_FALSE(exchange(version).empty());
    rfidsim_plug(1, 0);
    EXPECT_EQ(rfidsim_current(), -1);
    EXPECT_TRUE(exchange(version).empty());
    EXPECT_EQ(lastError(), RFIDUSB_ERROR_NO_READER);
    EXPECT_EQ(hidEnumerate(), 0);

    // Reset plugs everything back in and says so.
    hidMonitorDrain();
    rfidsim_reset();
    EXPECT_TRUE(readable(fd));
    EXPECT_EQ(rfidsim_current(), 0);
}

TEST_F(SimReaders, ReportsWhyACallFailed) {
    const Bytes version = frame(0xC0);
    rfidsim_set_access(0, RFIDSIM_ACCESS_DENIED);
    ASSERT_EQ(hidEnumerate(), 1);
    EXPECT_NE(info(0).find("\naccess=denied\n"), std::string::npos);
    EXPECT_EQ(hidWriteData(0, int(version.size()), version.data()), -1);
    EXPECT_EQ(lastError(), RFIDUSB_ERROR_PERMISSION);
    rfidsim_set_access(0, RFIDSIM_ACCESS_BUSY);
    EXPECT_TRUE(exchange(version).empty());
    EXPECT_EQ(lastError(), RFIDUSB_ERROR_BUSY);
    rfidsim_set_access(0, RFIDSIM_ACCESS_OK);

    rfidsim_set_fault(RFIDSIM_SILENT, 0);
    EXPECT_TRUE(exchange(version).empty());
    EXPECT_EQ(lastError(), RFIDUSB_ERROR_TIMEOUT);
    rfidsim_set_fault(RFIDSIM_WRITE_FAIL, 0);
    EXPECT_TRUE(exchange(version).empty());
    EXPECT_EQ(lastError(), RFIDUSB_ERROR_IO);
    rfidsim_set_fault(RFIDSIM_OK, 0);
    EXPECT_FALSE(exchange(version).empty());
    EXPECT_EQ(lastError(), RFIDUSB_ERROR_NONE);

    // The text is cut to the buffer and always terminated.
    rfidsim_plug(0, 0);
    exchange(version);
    char small[6] = "zzzzz";
    EXPECT_EQ(hidLastError(small, sizeof small), RFIDUSB_ERROR_NO_READER);
    EXPECT_STREQ(small, "no re");
    EXPECT_EQ(hidLastError(nullptr, 0), RFIDUSB_ERROR_NO_READER);
}

TEST_F(SimReaders, LockPathIsTheStateFileOfTheCurrentReader) {
    auto lockPath = [](int* result = nullptr) {
        char buf[256] = "x";
        const int n = hidLockPath(buf, sizeof buf);
        if (result)
            *result = n;
        return n >= 0 ? std::string(buf) : std::string("<error>");
    };
    // Without a state file the reader lives in this process: nothing to lock.
    ::unsetenv("RFIDSIM_STATE");
    int n = -1;
    EXPECT_EQ(lockPath(&n), "");
    EXPECT_EQ(n, 0);

    ::setenv("RFIDSIM_STATE", "/tmp/some dir/reader.state", 1);
    EXPECT_EQ(lockPath(&n), "/tmp/some dir/reader.state.lock");
    EXPECT_EQ(n, int(std::string("/tmp/some dir/reader.state.lock").size()));
    // Each reader with a state file of its own has a lock of its own.
    rfidsim_set_reader_count(3);
    ASSERT_EQ(hidSelectDevice("sim:2"), 0);
    EXPECT_EQ(lockPath(), "/tmp/some dir/reader.state.2.lock");
    // The automatic choice follows the first plugged-in reader.
    ASSERT_EQ(hidSelectDevice(nullptr), 0);
    rfidsim_plug(0, 0);
    EXPECT_EQ(lockPath(), "/tmp/some dir/reader.state.1.lock");
    // No reader: nothing to lock.
    rfidsim_plug(1, 0);
    rfidsim_plug(2, 0);
    EXPECT_EQ(lockPath(&n), "");
    EXPECT_EQ(n, 0);
    rfidsim_plug(0, 1);

    char small[8] = "zzzzzzz";
    EXPECT_LT(hidLockPath(small, sizeof small), 0);
    EXPECT_STREQ(small, "");
    EXPECT_LT(hidLockPath(nullptr, 0), 0);
    ::unsetenv("RFIDSIM_STATE");
}

// RFIDSIM_REFUSE: the command it names is refused; a value of any other form
// fails the exchange naming it, never passes unnoticed.
TEST_F(SimReaders, RefusalFromTheEnvironment) {
    ::setenv("RFIDSIM_REFUSE", "83:10", 1);
    EXPECT_EQ(exchange(frame(0x83)), (Bytes{0xAA, 0x00, 0x02, 0x01, 0x10, 0x13, 0xBB}));
    for (const char* bad : {"8310", "83:1", "83:10x", "G3:10", "83-10", ":", "83:10:00"}) {
        SCOPED_TRACE(bad);
        ::setenv("RFIDSIM_REFUSE", bad, 1);
        const Bytes f = frame(0x83);
        EXPECT_EQ(hidWriteData(0, int(f.size()), f.data()), -1);
        std::string text;
        EXPECT_EQ(lastError(&text), RFIDUSB_ERROR_IO);
        EXPECT_EQ(text, "RFIDSIM_REFUSE=\"" + std::string(bad) +
                            "\" is not COMMAND:CODE (two hex digits each, such as 88:10)");
    }
    ::unsetenv("RFIDSIM_REFUSE");
    EXPECT_EQ(language(), 0x00);
}
