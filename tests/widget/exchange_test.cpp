// One exchange with the reader: the library loaded at run time by file name
// (here the simulated reader), the stored answer, waits and the result report.
#include "harness.h"
#include "wait.h"

#include <QElapsedTimer>
#include <QTimer>

using Exchange = WindowTest;

namespace {
const rfid::CycleTexts kFactoryTexts{
    "Data error,no data recevice..   ", "Restore factory settings Success    ",
    "Restore factory settings False    ", "data error,please check data..   "};
}

TEST_F(Exchange, SendFramesWritesAndStoresTheAnswer) {
    form->Send("cf");
    EXPECT_EQ(lastFrame(), "AA 00 01 CF CE BB");
    EXPECT_EQ(form->lastResponse, "AA000100"
                                  "01"
                                  "BB"); // 00 ^ 01 ^ 00 = 01
    form->Send("c0");
    EXPECT_EQ(lastFrame(), "AA 00 01 C0 C1 BB");
    EXPECT_TRUE(form->lastResponse.startsWith("AA000500"));
    // Blanks, line breaks and lower case give the same bytes.
    form->SendHex("aa 00 03\r\n85 01 78 ff bb");
    form->SendHex("AA0003850178FFBB");
    const auto f = frames();
    EXPECT_EQ(f[f.size() - 1], "AA 00 03 85 01 78 FF BB");
    EXPECT_EQ(f[f.size() - 2], "AA 00 03 85 01 78 FF BB");
}

TEST_F(Exchange, AddressComesFromTheAddressList) {
    form->setadd->setCurrentIndex(0x1a);
    form->Send("cf");
    EXPECT_EQ(lastFrame(), "AA 1A 01 CF D4 BB");
}

TEST_F(Exchange, AnswerIsStoredToItsLengthByte) {
    scriptAnswer("AA 00 02 00 41 43 BB 99 99 99");
    form->Send("cf");
    EXPECT_EQ(form->lastResponse, "AA00020041"
                                  "43BB");
    EXPECT_EQ(form->lastResponse.size(), 14);
}

TEST_F(Exchange, MendedFaults) {
    // Nothing read: no answer, not a zero "success".
    rfidsim_set_fault(RFIDSIM_SILENT, 0);
    form->Send("cf");
    EXPECT_TRUE(form->lastResponse.isEmpty());
    form->report(kFactoryTexts);
    EXPECT_EQ(logT(), (QStringList{"Data error,no data recevice..   T", ""}));
    rfidsim_set_fault(RFIDSIM_OK, 0);

    // A length byte far beyond what was read takes only what was read.
    rfidsim_set_fault(RFIDSIM_OVERLONG, 0);
    form->Send("cf");
    EXPECT_EQ(form->lastResponse.size(), 2 * rfid::kReadCapacity);
    rfidsim_set_fault(RFIDSIM_OK, 0);
    scriptAnswer("AA 00 F0 00 01");
    form->Send("cf");
    EXPECT_EQ(form->lastResponse, "AA00F00001");

    // Odd digits or an oversized field: nothing written, one line why.
    form->RichEdit1->clear();
    const int before = rfidsim_frame_count();
    form->lastResponse = "stale";
    form->Send("cf0");
    form->Send(QString(251 * 2, QLatin1Char('0')));
    form->SendHex(QString(256 * 2, QLatin1Char('0')));
    form->SendHex("AA0");
    EXPECT_EQ(rfidsim_frame_count(), before);
    EXPECT_TRUE(form->lastResponse.isEmpty());
    EXPECT_EQ(log(), (QStringList{rfid::frameErrorText(rfid::FrameError::OddDigits),
                                  rfid::frameErrorText(rfid::FrameError::TooLong),
                                  rfid::frameErrorText(rfid::FrameError::TooLong),
                                  rfid::frameErrorText(rfid::FrameError::OddDigits)}));
    // The largest field that fits is sent.
    form->Send(QString(250 * 2, QLatin1Char('0')));
    EXPECT_EQ(rfidsim_frame_count(), before + 1);
}

TEST_F(Exchange, WriteFailureAndMissingLibrary) {
    rfidsim_set_fault(RFIDSIM_WRITE_FAIL, 0);
    form->cycle("cf", 0, kFactoryTexts);
    EXPECT_EQ(logT(), (QStringList{"Non data receiving,Please check the equipment....",
                                   "Data error,no data recevice..   T", ""}));
    EXPECT_TRUE(form->lastResponse.isEmpty());

    rfid::UsbLibrary missing(QStringLiteral("librfid-no-such-library.so"));
    const rfid::Frame cf = rfid::typedFrame("AA0001cfCEBB").frame;
    const rfid::ExchangeResult r = rfid::exchange(missing, cf, false);
    EXPECT_EQ(r.log, QStringList{"Non data receiving,Please check the equipment...."});
    EXPECT_TRUE(r.answer.empty());
    // A library without the entry points counts as missing too.
    rfid::UsbLibrary wrong(QStringLiteral("libc.so.6"));
    EXPECT_EQ(rfid::exchange(wrong, cf, false).log.size(), 1);
}

TEST_F(Exchange, DebuggingLines) {
    form->RadioButton4->setChecked(true);
    form->SendHex("aa 00 01 cf ce bb");
    EXPECT_EQ(log(), (QStringList{"发送...aa0001cfcebb", "接收...AA00010001BB"}));
}

TEST_F(Exchange, FourWayReportOfTheFactoryDefaultCommand) {
    form->cycle("cf", 300, kFactoryTexts);
    rfidsim_set_fault(RFIDSIM_REFUSE, 0x83);
    form->cycle("cf", 300, kFactoryTexts);
    rfidsim_set_fault(RFIDSIM_DAMAGED, 0x02);
    form->cycle("cf", 300, kFactoryTexts);
    rfidsim_set_fault(RFIDSIM_SILENT, 0);
    form->cycle("cf", 10, kFactoryTexts);
    EXPECT_EQ(logT(),
              (QStringList{"Restore factory settings Success    T", "", "Restore factory settings False    T",
                           "卡不存在....", "", "data error,please check data..   T", "",
                           "Data error,no data recevice..   T", ""}));
}

TEST_F(Exchange, DelayReturnsAtOnceWithAnAnswerAndWaitsWithout) {
    form->Send("cf");
    QElapsedTimer t;
    t.start();
    form->Delay(5000);
    EXPECT_LT(t.elapsed(), 2500);

    rfidsim_set_fault(RFIDSIM_WRITE_FAIL, 0);
    form->Send("cf");
    t.restart();
    form->Delay(300);
    EXPECT_GE(t.elapsed(), 300);
}

TEST_F(Exchange, WaitsProcessEventsAndNest) {
    int fired = 0;
    QTimer::singleShot(0, [&] { ++fired; });
    form->Delayy(0);
    EXPECT_EQ(fired, 1);

    // A click during a wait runs its own cycle inside the waiting one.
    rfidsim_set_fault(RFIDSIM_SILENT, 0);
    QString inner;
    QTimer::singleShot(20, [&] {
        rfidsim_set_fault(RFIDSIM_OK, 0);
        form->Send("c0");
        inner = form->lastResponse;
    });
    form->Send("cf");
    form->Delay(3000);
    EXPECT_TRUE(inner.startsWith("AA000500"));
    EXPECT_EQ(form->lastResponse, inner); // the inner cycle replaced the answer

    QElapsedTimer t;
    t.start();
    rfid::Delayy(120);
    EXPECT_GE(t.elapsed(), 120);
}
