// The serial component against a real pseudo-terminal: the component opens the
// terminal end as its port, the test plays the device on the controlling end.
#include "tcomm.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cstdlib>
#include <fcntl.h>
#include <memory>
#include <poll.h>
#include <termios.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

// Queued events need an application object; the unit test binary has none of
// its own, so a test makes one for its duration unless one exists.
std::unique_ptr<QCoreApplication> ensureApplication() {
    if (QCoreApplication::instance())
        return nullptr;
    static int argc = 1;
    static char name[] = "unit_tests";
    static char* argv[] = {name, nullptr};
    return std::make_unique<QCoreApplication>(argc, argv);
}

// Processes events until `done()` holds or a generous time has passed.
template <typename F> bool waitUntil(F done, int ms = 10000) {
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > ms)
            return false;
        QCoreApplication::processEvents();
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

struct Pty {
    Pty() {
        master = ::posix_openpt(O_RDWR | O_NOCTTY);
        if (master >= 0 && ::grantpt(master) == 0 && ::unlockpt(master) == 0)
            slave = QString::fromLocal8Bit(::ptsname(master));
    }
    ~Pty() { closeMaster(); }
    void closeMaster() {
        if (master >= 0)
            ::close(master);
        master = -1;
    }
    void send(const std::vector<unsigned char>& bytes) const {
        size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t n = ::write(master, bytes.data() + done, bytes.size() - done);
            ASSERT_GT(n, 0);
            done += size_t(n);
        }
    }
    // Reads what the component sent, until `count` bytes came or time is up.
    std::vector<unsigned char> receive(size_t count) const {
        std::vector<unsigned char> out;
        QElapsedTimer clock;
        clock.start();
        while (out.size() < count && clock.elapsed() < 10000) {
            pollfd p{master, POLLIN, 0};
            if (::poll(&p, 1, 50) > 0) {
                unsigned char buffer[256];
                const ssize_t n = ::read(master, buffer, sizeof buffer);
                if (n > 0)
                    out.insert(out.end(), buffer, buffer + n);
            }
        }
        return out;
    }
    int master = -1;
    QString slave;
};

int countEntries(const char* dir) {
    return int(
        QDir(QLatin1String(dir)).entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot).size());
}

class CommTest : public ::testing::Test {
protected:
    void SetUp() override {
        app = ensureApplication();
        ASSERT_FALSE(pty.slave.isEmpty()) << "no pseudo-terminal";
        comm = std::make_unique<TComm>();
        comm->setCommName(pty.slave);
        // The settings the main window gives its port.
        comm->setParityCheck(true);
        comm->setTxContinueOnXoff(false);
        comm->setOutx_XonXoffFlow(false);
        comm->setInx_XonXoffFlow(false);
        comm->OnReceiveData = [this](TComm* sender, const unsigned char* b, quint16 n) {
            EXPECT_EQ(sender, comm.get());
            EXPECT_LE(int(n), rfid::comm::kReadBlockBytes);
            received.insert(received.end(), b, b + n);
            ++blocks;
        };
    }
    QString openError() {
        try {
            comm->OpenPort();
        } catch (const ECommsError& e) {
            return e.text();
        }
        return {};
    }

    void TearDown() override {
        comm.reset();
        app.reset();
    }

    std::unique_ptr<QCoreApplication> app;
    Pty pty;
    std::unique_ptr<TComm> comm;
    std::vector<unsigned char> received;
    int blocks = 0;
};

} // namespace

TEST(CommErrorMarks, MarkedSequencesAreUndoneAcrossReads) {
    using rfid::comm::ErrorMarkDecoder;
    ErrorMarkDecoder::Options marking;
    marking.marking = true;
    ErrorMarkDecoder decoder;
    unsigned char out[16];
    quint32 errors = 0;
    // A real 0xFF arrives doubled, and the pair may be split between two reads.
    const unsigned char first[] = {0x01, 0xFF};
    ASSERT_EQ(decoder.decode(marking, first, 2, out, errors), 1);
    EXPECT_EQ(out[0], 0x01);
    const unsigned char second[] = {0xFF, 0x02};
    ASSERT_EQ(decoder.decode(marking, second, 2, out, errors), 2);
    EXPECT_EQ(out[0], 0xFF);
    EXPECT_EQ(out[1], 0x02);
    EXPECT_EQ(errors, 0u);

    // Without parity a marked NUL is a break (no byte) and another marked byte a framing error.
    const unsigned char line[] = {0xFF, 0x00, 0x00, 0x41, 0xFF, 0x00, 0x42};
    ASSERT_EQ(decoder.decode(marking, line, 7, out, errors), 2);
    EXPECT_EQ(out[0], 0x41);
    EXPECT_EQ(out[1], 0x42);
    EXPECT_EQ(errors, rfid::comm::kErrorBreak | rfid::comm::kErrorFrame);

    // With parity, a byte with an error is replaced when asked to; NULs may be dropped.
    ErrorMarkDecoder::Options parity = marking;
    parity.parityEnabled = true;
    parity.replace = true;
    parity.replacedChar = 0x3F;
    parity.ignoreNull = true;
    errors = 0;
    const unsigned char bad[] = {0x00, 0xFF, 0x00, 0x55, 0x00, 0x66};
    ASSERT_EQ(decoder.decode(parity, bad, 6, out, errors), 2);
    EXPECT_EQ(out[0], 0x3F);
    EXPECT_EQ(out[1], 0x66);
    EXPECT_EQ(errors, rfid::comm::kErrorParity);

    // Unmarked input passes unchanged.
    ErrorMarkDecoder plain;
    const unsigned char raw[] = {0xFF, 0x00, 0x00};
    ASSERT_EQ(plain.decode(ErrorMarkDecoder::Options{}, raw, 3, out, errors), 3);
    EXPECT_EQ(out[0], 0xFF);
}

TEST_F(CommTest, OpensWithTheLineSettingsAndDeliversEveryByte) {
    comm->OpenPort();
    ASSERT_TRUE(comm->IsOpen());
    termios t{};
    ASSERT_EQ(::tcgetattr(comm->Handle(), &t), 0);
    EXPECT_EQ(::cfgetospeed(&t), speed_t(B9600));
    EXPECT_EQ(::cfgetispeed(&t), speed_t(B9600));
    EXPECT_EQ(t.c_cflag & CSIZE, tcflag_t(CS8));
    EXPECT_EQ(t.c_cflag & (PARENB | CSTOPB), 0u);
    EXPECT_EQ(t.c_lflag & (ICANON | ECHO | ISIG), 0u);
    EXPECT_EQ(t.c_iflag & (IXON | IXOFF | ICRNL), 0u);
    EXPECT_NE(t.c_iflag & INPCK, 0u);

    // Every byte value, in order, including the ones the driver marks or translates.
    std::vector<unsigned char> all;
    for (int i = 0; i < 256; ++i)
        all.push_back(static_cast<unsigned char>(i));
    all.push_back(0xFF);
    all.push_back(0x0D);
    pty.send(all);
    ASSERT_TRUE(waitUntil([&] { return received.size() >= all.size(); }));
    EXPECT_EQ(received, all);

    // More than one read's worth arrives in blocks of at most 2048 bytes.
    received.clear();
    std::vector<unsigned char> big(5000);
    for (size_t i = 0; i < big.size(); ++i)
        big[i] = static_cast<unsigned char>('A' + i % 26);
    pty.send(big);
    ASSERT_TRUE(waitUntil([&] { return received.size() >= big.size(); }));
    EXPECT_EQ(received, big);

    comm->ClosePort();
    EXPECT_FALSE(comm->IsOpen());
    EXPECT_EQ(comm->Handle(), -1);
    comm->ClosePort(); // closing a closed port does nothing
}

TEST_F(CommTest, OpenFailuresLeaveNothingBehind) {
    const int fdsBefore = countEntries("/proc/self/fd");
    comm->OpenPort();
    EXPECT_EQ(openError(), QStringLiteral("This serial port already opened"));
    // The open port is untouched.
    pty.send({0x31, 0x32});
    ASSERT_TRUE(waitUntil([&] { return received.size() >= 2; }));
    comm->ClosePort();

    QTemporaryDir dir;
    QFile file(dir.filePath(QStringLiteral("ttyS0")));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    comm->setCommName(file.fileName());
    EXPECT_EQ(openError(), QStringLiteral("File handle is not a comm handle "));
    EXPECT_FALSE(comm->IsOpen());
    EXPECT_EQ(countEntries("/proc/self/fd"), fdsBefore);
}

TEST_F(CommTest, LineSettingsChangedWhileOpenAreAppliedAtOnce) {
    comm->OpenPort();
    comm->setBaudRate(115200);
    comm->setParity(TParity::Even);
    comm->setStopBits(TStopBits::_2);
    comm->setOutx_XonXoffFlow(true);
    // A pseudo-terminal keeps 8 data bits without parity whatever it is told.
    termios t{};
    ASSERT_EQ(::tcgetattr(comm->Handle(), &t), 0);
    EXPECT_EQ(::cfgetospeed(&t), speed_t(B115200));
    EXPECT_NE(t.c_cflag & CSTOPB, 0u);
    EXPECT_NE(t.c_iflag & IXON, 0u);
    EXPECT_EQ(t.c_iflag & IXOFF, 0u);
}

TEST_F(CommTest, TransmitPathWritesQueuedBlocksAndReportsTheEmptyQueue) {
    int emptied = 0;
    comm->OnSendDataEmpty = [&](TComm*) { ++emptied; };
    const unsigned char frame[] = {0xAA, 0x00, 0x03, 0x85, 0x01, 0x78, 0xFF, 0xBB};
    EXPECT_FALSE(comm->WriteCommData(frame, sizeof frame)); // closed
    comm->OpenPort();
    ASSERT_TRUE(comm->WriteCommData(frame, sizeof frame));
    ASSERT_TRUE(comm->WriteCommData(frame, 3));
    const std::vector<unsigned char> got = pty.receive(11);
    std::vector<unsigned char> want(frame, frame + 8);
    want.insert(want.end(), frame, frame + 3);
    EXPECT_EQ(got, want);
    ASSERT_TRUE(waitUntil([&] { return emptied > 0; }));
    EXPECT_TRUE(comm->SendDataEmpty());
}

TEST_F(CommTest, AVanishedDeviceRequestsAHangup) {
    int hangups = 0;
    comm->OnRequestHangup = [&](TComm*) { ++hangups; };
    comm->OpenPort();
    pty.send({0x01, 0x02, 0x03});
    ASSERT_TRUE(waitUntil([&] { return received.size() >= 3; }));
    EXPECT_EQ(hangups, 0);
    pty.closeMaster();
    ASSERT_TRUE(waitUntil([&] { return hangups > 0; }));
    comm->ClosePort();
    EXPECT_FALSE(comm->IsOpen());
}

TEST_F(CommTest, BlocksStillQueuedWhenTheComponentGoesAreDropped) {
    comm->OpenPort();
    pty.send({0x10, 0x20});
    // Let the receive thread take the bytes without delivering them here.
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    comm.reset();
    QCoreApplication::processEvents();
    EXPECT_EQ(blocks, 0);
}

TEST_F(CommTest, AThousandOpenCloseCyclesLeaveNoThreadOrDescriptor) {
    comm->OpenPort(); // anything created once per process is there before counting
    comm->ClosePort();
    const int fdsBefore = countEntries("/proc/self/fd");
    const int threadsBefore = countEntries("/proc/self/task");
    for (int i = 0; i < 1000; ++i) {
        comm->OpenPort();
        comm->ClosePort();
    }
    // Other code may end threads of its own meanwhile, never start ours.
    EXPECT_LE(countEntries("/proc/self/fd"), fdsBefore);
    EXPECT_LE(countEntries("/proc/self/task"), threadsBefore);
    // The port still works afterwards.
    comm->OpenPort();
    pty.send({0x42});
    EXPECT_TRUE(waitUntil([&] { return !received.empty(); }));
}

TEST_F(CommTest, PortListHoldsTerminalsThatOpen) {
    const QStringList found = TComm::GetCom({pty.slave, QStringLiteral("/dev/null"),
                                             QStringLiteral("/dev/no-such-serial-port"), QDir::tempPath()});
    ASSERT_EQ(found.size(), 1);
    EXPECT_EQ(QStringLiteral("/dev/") + found.first(), pty.slave);
}
