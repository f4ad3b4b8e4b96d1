// The reader mode page against the simulated keyboard-output reader.
#include "harness.h"
#include "readermodepage.h"

#include <QTimer>

namespace {

class ReaderMode : public WindowTest {};

// The buttons that write the plain four-way report, with their own texts.
struct SimpleButton {
    const char* name;
    const char* success;
    const char* failure;
};
const SimpleButton kSimpleButtons[] = {
    {"Button41", "Set Bluetooth name successfully     T", "Set Bluetooth name false     T"},
    {"Button30", "Set sleep time  success     T", "Set sleep time false     T"},
    {"Button57", "Restore factory settings Success    T", "Restore factory settings False    T"},
    {"Button50", "Turn on the buzzer Success    T", "Turn on the buzzer False    T"},
    {"Button51", "Turn off the buzzer Success    T", "Turn off the buzzer False    T"},
    {"Button43", "Clear data Success    T", "Clear data False    T"},
};

} // namespace

TEST_F(ReaderMode, InitialControlsSendTheWorkedFrames) {
    EXPECT_TRUE(find<QRadioButton>("RadioButton32")->isChecked());
    EXPECT_TRUE(find<QRadioButton>("RadioButton56")->isChecked());
    EXPECT_EQ(find<QLineEdit>("Edit29")->text(), "Bluetooth1.0");
    auto* sleep = find<QComboBox>("ComboBox20");
    EXPECT_FALSE(sleep->isEditable());
    EXPECT_EQ(sleep->count(), 9);
    EXPECT_EQ(sleep->currentText(), "0.5 minute");
    EXPECT_EQ(sleep->itemText(0), "0   minute");
    EXPECT_EQ(sleep->itemText(8), "120 minute");

    for (const char* b : {"Button69", "Button35", "Button41", "Button30", "Button57", "Button63", "Button50",
                          "Button51", "Button43"})
        click(b);
    EXPECT_EQ(frames(), (std::vector<QString>{
                            "AA 00 02 0F 01 0C BB",
                            "AA 00 02 22 00 20 BB",
                            "AA 00 0D 88 42 6C 75 65 74 6F 6F 74 68 31 2E 30 FC BB",
                            "AA 00 02 0E 01 0D BB",
                            "AA 00 01 CF CE BB",
                            "AA 00 01 C0 C1 BB",
                            "AA 00 02 CD 01 CE BB",
                            "AA 00 02 CD 00 CF BB",
                            "AA 00 01 0D 0C BB",
                        }));
    EXPECT_EQ(logT(),
              (QStringList{"Set  Key trigger mode  Success    T", "Set  HID mode  Success    T",
                           "Set Bluetooth name successfully     T", "", "Set sleep time  success     T", "",
                           "Restore factory settings Success    T", "", "read version number success    ",
                           "the version number is：V1.0", "", "Turn on the buzzer Success    T", "",
                           "Turn off the buzzer Success    T", "", "Clear data Success    T", ""}));
    EXPECT_TRUE(errors.isEmpty());
}

TEST_F(ReaderMode, OtherChoicesSendTheirBytes) {
    select("RadioButton54");
    click("Button69");
    EXPECT_EQ(lastFrame(), "AA 00 02 0F 02 0F BB");
    select("RadioButton55");
    click("Button69");
    EXPECT_EQ(lastFrame(), "AA 00 02 0F 03 0E BB");
    select("RadioButton57");
    click("Button35");
    EXPECT_EQ(lastFrame(), "AA 00 02 22 01 21 BB");
    select("RadioButton58");
    click("Button35");
    EXPECT_EQ(lastFrame(), "AA 00 02 22 02 22 BB");
    EXPECT_EQ(logT(), (QStringList{"Set  Active read single  Success    T",
                                   "Set  Active read continuity  Success    T", "Set  SPP mode  Success    T",
                                   "Set  BLE mode  Success    T"}));

    auto* sleep = find<QComboBox>("ComboBox20");
    sleep->setCurrentIndex(8);
    click("Button30");
    EXPECT_EQ(lastFrame(), "AA 00 02 0E 08 04 BB");
    sleep->setCurrentIndex(0);
    click("Button30");
    EXPECT_EQ(lastFrame(), "AA 00 02 0E 00 0C BB");

    // An empty name sends the command byte alone; this reader refuses it.
    form->RichEdit1->clear();
    setText("Edit29", "");
    click("Button41");
    EXPECT_EQ(lastFrame(), "AA 00 01 88 89 BB");
    EXPECT_EQ(logT(),
              (QStringList{"Set Bluetooth name false     T", "输入的参数大于最大允许范围，溢出.....", ""}));
    // Chinese characters take two bytes each in the reader's code page.
    setText("Edit29", "蓝牙A");
    click("Button41");
    EXPECT_EQ(lastFrame(), "AA 00 06 88 C0 B6 D1 C0 41 A8 BB");
}

TEST_F(ReaderMode, ModeReportsFourOutcomes) {
    select("RadioButton55");
    rfidsim_set_fault(RFIDSIM_REFUSE, 0x83);
    click("Button69");
    rfidsim_set_fault(RFIDSIM_DAMAGED, 0x02);
    click("Button69");
    rfidsim_set_fault(RFIDSIM_SILENT, 0);
    click("Button69");
    select("RadioButton57");
    rfidsim_set_fault(RFIDSIM_REFUSE, 0x81);
    click("Button35");
    rfidsim_set_fault(RFIDSIM_DAMAGED, 0x7F);
    click("Button35");
    rfidsim_set_fault(RFIDSIM_SILENT, 0);
    click("Button35");
    EXPECT_EQ(logT(), (QStringList{"Set Active read continuity False   T", "卡不存在....", "",
                                   "check sum error.....   T", "", "error,no data  receive..   T", "",
                                   "Set SPP mode False   T", "参数设置失败....", "",
                                   "check sum error.....   T", "", "error,no data  receive..   T", ""}));
}

TEST_F(ReaderMode, ReportNamesTheModeThatWasSent) {
    // The operator switches the radio button while the answer is awaited: the
    // report still names the mode in the frame.
    QTimer::singleShot(0, form.get(), [this] { select("RadioButton58"); });
    click("Button35");
    EXPECT_EQ(lastFrame(), "AA 00 02 22 00 20 BB");
    QTimer::singleShot(0, form.get(), [this] { select("RadioButton32"); });
    rfidsim_set_fault(RFIDSIM_REFUSE, 0x81);
    select("RadioButton55");
    click("Button69");
    EXPECT_EQ(lastFrame(), "AA 00 02 0F 03 0E BB");
    EXPECT_EQ(logT(), (QStringList{"Set  HID mode  Success    T", "Set Active read continuity False   T",
                                   "参数设置失败....", ""}));
    EXPECT_TRUE(find<QRadioButton>("RadioButton32")->isChecked());
}

TEST_F(ReaderMode, SimpleReportsFourOutcomes) {
    for (const SimpleButton& b : kSimpleButtons) {
        SCOPED_TRACE(b.name);
        form->RichEdit1->clear();
        rfidsim_set_fault(RFIDSIM_OK, 0);
        click(b.name);
        rfidsim_set_fault(RFIDSIM_REFUSE, 0x83);
        click(b.name);
        rfidsim_set_fault(RFIDSIM_DAMAGED, 0x02);
        click(b.name);
        rfidsim_set_fault(RFIDSIM_SILENT, 0);
        click(b.name);
        EXPECT_EQ(logT(), (QStringList{b.success, "", b.failure, "卡不存在....", "",
                                       "data error,please check data..   T", "",
                                       "Data error,no data recevice..   T", ""}));
    }
}

TEST_F(ReaderMode, VersionReport) {
    scriptAnswer(answerFrame("00 56 31 2E 30"));
    click("Button63");
    scriptAnswer(answerFrame("00 56 31 2E 30 35"));
    click("Button63");
    scriptAnswer(answerFrame("00"));
    click("Button63");
    // Every byte of the version shows, an odd last one included.
    scriptAnswer(answerFrame("00 56 32"));
    click("Button63");
    scriptAnswer(answerFrame("00 56"));
    click("Button63");
    EXPECT_EQ(logT(), (QStringList{"read version number success    ", "the version number is：V1.0", "",
                                   "read version number success    ", "the version number is：V1.05", "",
                                   "read version number success    ", "the version number is：", "",
                                   "read version number success    ", "the version number is：V2", "",
                                   "read version number success    ", "the version number is：V", ""}));

    form->RichEdit1->clear();
    rfidsim_set_fault(RFIDSIM_REFUSE, 0x87);
    click("Button63");
    rfidsim_set_fault(RFIDSIM_DAMAGED, 0x02);
    click("Button63");
    rfidsim_set_fault(RFIDSIM_SILENT, 0);
    click("Button63");
    EXPECT_EQ(logT(), (QStringList{"read version number false    T", "未知的错误....", "",
                                   "data error,please check data..   T", "",
                                   "Data error,no data recevice..   T", ""}));

    EXPECT_TRUE(errors.isEmpty());
}

TEST(BluetoothName, AsciiNamesKeepTheirBytes) {
    EXPECT_EQ(ReaderModePage::bluetoothNameBytes("Bluetooth1.0"), QByteArray("Bluetooth1.0"));
    EXPECT_EQ(ReaderModePage::bluetoothNameBytes(""), QByteArray());
    // A character the code page lacks becomes a question mark.
    EXPECT_EQ(ReaderModePage::bluetoothNameBytes(QString::fromUtf8("a\U0001F600b")), QByteArray("a?b"));
}
