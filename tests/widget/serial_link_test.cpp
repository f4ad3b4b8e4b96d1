// The window's serial link against a real pseudo-terminal: the window opens the
// terminal end as its port, the test plays the reader on the controlling end.
#include "harness.h"
#include "tcomm.h"

#include <QElapsedTimer>
#include <QFile>
#include <QPushButton>

#include <fcntl.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

namespace {

class SerialLink : public WindowTest {
protected:
    void SetUp() override {
        WindowTest::SetUp();
        master = ::posix_openpt(O_RDWR | O_NOCTTY);
        ASSERT_GE(master, 0);
        ASSERT_EQ(::grantpt(master), 0);
        ASSERT_EQ(::unlockpt(master), 0);
        slave = QString::fromLocal8Bit(::ptsname(master));
        ASSERT_TRUE(slave.startsWith(QLatin1String("/dev/")));
    }
    void TearDown() override {
        WindowTest::TearDown(); // closes the port with the window
        ::close(master);
    }

    // Chooses a port in the list the way the operator does: the name is relative to /dev.
    void choosePort(const QString& name) const {
        form->ComboBox1->addItem(name);
        form->ComboBox1->setCurrentIndex(form->ComboBox1->count() - 1);
        emit form->ComboBox1->activated(form->ComboBox1->currentIndex());
    }
    void openSlave() const { choosePort(slave.mid(5)); }

    void send(const QString& hex) const {
        const QByteArray bytes = QByteArray::fromHex(hex.toLatin1());
        ASSERT_EQ(::write(master, bytes.constData(), size_t(bytes.size())), ssize_t(bytes.size()));
    }
    // Processes events until `done()` holds; the limit is generous, not a timing check.
    template <typename F> static bool waitUntil(F done) {
        QElapsedTimer clock;
        clock.start();
        while (!done()) {
            if (clock.elapsed() > 10000)
                return false;
            QCoreApplication::processEvents();
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        return true;
    }
    bool waitForLines(int count) const {
        return waitUntil([&] { return log().size() >= count; });
    }

    int master = -1;
    QString slave;
};

} // namespace

TEST_F(SerialLink, ChoosingAPortOpensItAndReceivedBytesFeedTheResponseAndTheDebuggingLine) {
    select("RadioButton4");
    openSlave();
    ASSERT_TRUE(errors.isEmpty()) << errors.join(QLatin1Char('|')).toStdString();
    EXPECT_EQ(form->Comm1->CommName(), slave);
    ASSERT_TRUE(form->Comm1->IsOpen());
    EXPECT_FALSE(form->Button1->isEnabled());
    EXPECT_TRUE(form->Button2->isEnabled());

    send(QStringLiteral("aa0104"));
    ASSERT_TRUE(waitForLines(1));
    EXPECT_EQ(form->lastResponse, QStringLiteral("AA0104"));
    EXPECT_EQ(logT(), QStringList{QStringLiteral(" AA 01 04")});

    // Bytes keep being appended; with the default read-state nothing else happens.
    select("RadioButton3");
    send(QStringLiteral("ff00"));
    ASSERT_TRUE(waitUntil([&] { return form->lastResponse.size() >= 10; }));
    EXPECT_EQ(form->lastResponse, QStringLiteral("AA0104FF00"));
    EXPECT_EQ(log().size(), 1);

    click("Button2");
    EXPECT_FALSE(form->Comm1->IsOpen());
    EXPECT_TRUE(form->Button1->isEnabled());
    EXPECT_FALSE(form->Button2->isEnabled());
    click("Button1");
    EXPECT_TRUE(form->Comm1->IsOpen());
}

TEST_F(SerialLink, EachCardTypeIsReportedWithItsNumberAndEmptiesTheResponse) {
    struct Case {
        const char* bytes;
        QString first;
        QString second;
    };
    const Case cases[] = {
        {"aa0111223344", QStringLiteral("检测到S50/S70卡"), QStringLiteral("卡的ID号码为： 11223344")},
        {"aa0204112233445566770000", QStringLiteral("检测到Ultralight/desfire卡"),
         QStringLiteral("卡的ID号码为： 04112233445566")},
        {"aa03a1b2c3d4", QStringLiteral("检测到ISO 14443 B卡"), QStringLiteral("卡的ID号码为： A1B2C3D4")},
        {"aa040102030405060708", QStringLiteral("中华人民共和国第二代身份证.."),
         QStringLiteral("身份证卡的ID号码为： 0102030405060708")},
        {"aa05e004010203040506", QStringLiteral("检测到ISO 15693卡"),
         QStringLiteral("卡的ID号码为： E004010203040506")},
    };
    select("RadioButton19");
    form->Comm1->setCommName(slave);
    click("Button1");
    ASSERT_TRUE(form->Comm1->IsOpen());
    for (const Case& c : cases) {
        form->RichEdit1->clear();
        send(QLatin1String(c.bytes));
        ASSERT_TRUE(waitForLines(3)) << c.bytes;
        EXPECT_EQ(log(), (QStringList{c.first, c.second, QString()})) << c.bytes;
        EXPECT_TRUE(form->lastResponse.isEmpty()) << c.bytes;
    }
}

TEST_F(SerialLink, AnUnknownCardTypeStaysAndLaterBytesAreAppended) {
    select("RadioButton19");
    form->Comm1->setCommName(slave);
    click("Button1");
    send(QStringLiteral("aa0611"));
    ASSERT_TRUE(waitUntil([&] { return form->lastResponse.size() >= 6; }));
    send(QStringLiteral("0101"));
    ASSERT_TRUE(waitUntil([&] { return form->lastResponse.size() >= 10; }));
    EXPECT_EQ(form->lastResponse, QStringLiteral("AA06110101"));
    EXPECT_TRUE(log().isEmpty());
}

TEST_F(SerialLink, TheResponseStopsGrowingAtItsLimitKeepingItsStart) {
    // A chattering device whose bytes no card report consumes.
    select("RadioButton19");
    form->Comm1->setCommName(slave);
    click("Button1");
    send(QStringLiteral("aa09"));
    QByteArray chunk(1000, '\x5A');
    int sent = 2;
    while (sent < 40000) {
        ASSERT_EQ(::write(master, chunk.constData(), size_t(chunk.size())), ssize_t(chunk.size()));
        sent += int(chunk.size());
        QCoreApplication::processEvents();
    }
    ASSERT_TRUE(waitUntil([&] { return form->lastResponse.size() >= 64 * 1024; }));
    // Everything sent has been handed over once the port is closed.
    click("Button2");
    QCoreApplication::processEvents();
    EXPECT_EQ(form->lastResponse.size(), 64 * 1024);
    EXPECT_TRUE(form->lastResponse.startsWith(QLatin1String("AA095A5A")));
    // The next exchange starts afresh.
    form->SendHex(QStringLiteral("AA 00 01 CF CE BB"));
    EXPECT_LT(form->lastResponse.size(), 600);
}

TEST_F(SerialLink, OpenErrorsLeaveTheButtonsAsTheyWere) {
    openSlave();
    ASSERT_TRUE(form->Comm1->IsOpen());
    rfid::runGuarded([&] { form->Button1Click(); });
    EXPECT_EQ(errors, QStringList{QStringLiteral("This serial port already opened")});
    EXPECT_TRUE(form->Comm1->IsOpen());
    EXPECT_FALSE(form->Button1->isEnabled());

    // A name that is no device: the port is closed first, then opening fails.
    errors.clear();
    choosePort(QStringLiteral("no-such-serial-port"));
    EXPECT_EQ(errors, QStringList{QStringLiteral("the com is not exist!...")});
    EXPECT_FALSE(form->Comm1->IsOpen());
    EXPECT_TRUE(form->Button1->isEnabled());
    EXPECT_FALSE(form->Button2->isEnabled());

    errors.clear();
    choosePort(QStringLiteral("null"));
    EXPECT_EQ(errors, QStringList{QStringLiteral("File handle is not a comm handle ")});
    EXPECT_FALSE(form->Comm1->IsOpen());
}

TEST_F(SerialLink, ABaudRateChangeReopensThePortAtTheNewRate) {
    select("RadioButton4");
    openSlave();
    termios t{};
    ASSERT_EQ(::tcgetattr(form->Comm1->Handle(), &t), 0);
    EXPECT_EQ(::cfgetospeed(&t), speed_t(B9600));

    form->ComboBox2->setCurrentIndex(4);
    emit form->ComboBox2->activated(4);
    ASSERT_TRUE(errors.isEmpty()) << errors.join(QLatin1Char('|')).toStdString();
    EXPECT_EQ(form->Comm1->BaudRate(), 115200u);
    ASSERT_TRUE(form->Comm1->IsOpen());
    ASSERT_EQ(::tcgetattr(form->Comm1->Handle(), &t), 0);
    EXPECT_EQ(::cfgetospeed(&t), speed_t(B115200));
    send(QStringLiteral("0102"));
    ASSERT_TRUE(waitForLines(1));
    EXPECT_EQ(log().first(), QStringLiteral(" 01 02"));
}

TEST_F(SerialLink, ClosingTheWindowClosesThePort) {
    openSlave();
    ASSERT_TRUE(form->Comm1->IsOpen());
    form->close();
    EXPECT_FALSE(form->Comm1->IsOpen());
}

TEST_F(SerialLink, ThePortListStartsEmptyAndGetComRefillsItWithPortsThatOpen) {
    EXPECT_EQ(form->ComboBox1->count(), 0);
    form->ComboBox1->addItem(QStringLiteral("ttyGone99"));
    form->GetCom();
    for (int i = 0; i < form->ComboBox1->count(); ++i) {
        const QString name = form->ComboBox1->itemText(i);
        EXPECT_NE(name, QStringLiteral("ttyGone99"));
        EXPECT_TRUE(QFile::exists(QStringLiteral("/dev/") + name)) << name.toStdString();
    }
    EXPECT_FALSE(form->Comm1->IsOpen()); // listing the ports opens none for good
}
