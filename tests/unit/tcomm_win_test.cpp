// The serial component on Windows. The port names run anywhere; the exchange
// needs two COM ports wired back to back, named in RFID_TEST_COM_PAIR
// ("COM5,COM12"): under Wine a socat pseudo-terminal pair mapped to COM ports,
// whose driver has no line events (scripts/windows/test-serial-wine.sh).
#include "tcomm.h"

#include <gtest/gtest.h>

#ifdef _WIN32
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>
#include <memory>
#include <vector>
#endif

namespace {

TEST(CommPortNames, EveryPortOpensInTheDeviceNamespace) {
    const struct {
        const char* name;
        const char* path;
    } cases[] = {
        {"COM1", "\\\\.\\COM1"},
        {"COM12", "\\\\.\\COM12"},
        {"com255", "\\\\.\\com255"},
        {"\\\\.\\COM3", "\\\\.\\COM3"},
        {"\\\\?\\ftdibus#vid_0403", "\\\\?\\ftdibus#vid_0403"},
        {"", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(TComm::windowsPortPath(QString::fromLatin1(c.name)), QString::fromLatin1(c.path)) << c.name;
}

#ifdef _WIN32

std::unique_ptr<QCoreApplication> ensureApplication() {
    if (QCoreApplication::instance())
        return nullptr;
    static int argc = 1;
    static char name[] = "unit_tests";
    static char* argv[] = {name, nullptr};
    return std::make_unique<QCoreApplication>(argc, argv);
}

TEST(CommPortsOnWindows, SendAndReceiveThroughAPairOfPorts) {
    const QStringList pair = qEnvironmentVariable("RFID_TEST_COM_PAIR").split(QLatin1Char(','));
    if (pair.size() != 2)
        GTEST_SKIP() << "RFID_TEST_COM_PAIR names no pair of ports";
    const auto app = ensureApplication();
    TComm ends[2];
    std::vector<unsigned char> received[2];
    int hangups = 0;
    for (int i = 0; i < 2; ++i) {
        ends[i].setCommName(pair.at(i));
        // Every byte value passes: no XON/XOFF flow control.
        ends[i].setOutx_XonXoffFlow(false);
        ends[i].setInx_XonXoffFlow(false);
        ends[i].OnReceiveData = [&received, i](TComm*, const unsigned char* b, quint16 n) {
            received[i].insert(received[i].end(), b, b + n);
        };
        ends[i].OnRequestHangup = [&hangups](TComm*) { ++hangups; };
        ASSERT_NO_THROW(ends[i].OpenPort()) << pair.at(i).toStdString();
    }
    std::vector<unsigned char> frame;
    for (int i = 0; i < 600; ++i)
        frame.push_back(static_cast<unsigned char>(i * 7));
    for (int from = 0; from < 2; ++from) {
        const int to = 1 - from;
        ASSERT_TRUE(ends[from].WriteCommData(frame.data(), quint16(frame.size())));
        QElapsedTimer clock;
        clock.start();
        while (received[to].size() < frame.size() && clock.elapsed() < 10000) {
            QCoreApplication::processEvents();
            QThread::msleep(5);
        }
        EXPECT_EQ(received[to], frame) << pair.at(from).toStdString() << " to " << pair.at(to).toStdString();
    }
    EXPECT_EQ(hangups, 0);

    for (TComm& end : ends) {
        end.ClosePort();
        EXPECT_FALSE(end.IsOpen());
    }
    EXPECT_EQ(TComm::GetCom(pair), pair) << "closed, both open again";
}

#endif

} // namespace
