// The ISO14443B page: type B commands, the data exchange with its own frame
// and reasons, the identity-card reads and the continuous reads.
#include "harness.h"

#include "iso14443bpage.h"
#include "systempage.h"

#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QTabWidget>
#include <QTimer>

#include <functional>

namespace {

// One text per log, so that a difference shows readably.
std::string joined(const QStringList& lines) {
    return lines.join(QLatin1Char('\n')).toStdString();
}

class TypeBPageTest : public WindowTest {
  protected:
    void SetUp() override {
        WindowTest::SetUp();
        rfidsim_set_family(RFIDSIM_HF);
        page = form->iso14443bPage();
        ASSERT_NE(page, nullptr);
    }

    // Runs `action` once, from inside a running loop, as soon as the reader has
    // received `count` frames.
    void whenFrames(int count, std::function<void()> action) {
        auto* timer = new QTimer(form.get());
        timer->setInterval(0);
        QObject::connect(timer, &QTimer::timeout, form.get(), [timer, count, action] {
            if (rfidsim_frame_count() >= count) {
                timer->stop();
                action();
            }
        });
        timer->start();
    }

    Iso14443bPage* page = nullptr;
};

// The default identity card of the simulated reader.
const QString kAtqb = QStringLiteral("508C1E520700000000008171");

} // namespace

TEST_F(TypeBPageTest, ControlsStartAsDescribed) {
    EXPECT_EQ(find<QGroupBox>("GroupBox21")->title(), "ISO14443 Type-B Commands");
    EXPECT_EQ(find<QGroupBox>("GroupBox22")->title(), "第二代居民身份证");
    const std::pair<const char*, const char*> captions[] = {
        {"Button31", "卡请求"},        {"Button32", "防冲突"},         {"Button33", "Attrib"},
        {"Button34", "复位卡"},        {"Button36", "发送数据"},       {"Button19", "读取"},
        {"Button22", "读取"},          {"CheckBox11", "连续读      "}, {"CheckBox13", "连续读      "},
        {"CheckBox14", "连续读      "}};
    for (const auto& [name, caption] : captions) {
        auto* b = find<QAbstractButton>(name);
        ASSERT_NE(b, nullptr);
        EXPECT_EQ(b->text(), QString::fromUtf8(caption)) << name;
        EXPECT_EQ(b->isEnabled(), QLatin1String(name) != "Button32" && QLatin1String(name) != "Button34")
            << name;
    }
    EXPECT_FALSE(page->CheckBox11->isChecked());
    EXPECT_FALSE(page->CheckBox13->isChecked());
    EXPECT_FALSE(page->CheckBox14->isChecked());
    EXPECT_EQ(find<QLineEdit>("Edit76")->text(), "41 30 0A 10");
    EXPECT_EQ(page->Edit76->toolTip(), "insert card number");
    EXPECT_EQ(find<QLineEdit>("Edit77")->text(), "05 00 00");
    EXPECT_EQ(page->Edit77->toolTip(), "data");
    EXPECT_EQ(page->LabelCardId->text(), "请输入卡ID号码：         ");
    EXPECT_EQ(page->LabelData->text(), "数据：    ");
    EXPECT_EQ(page->LabelIdNumber->text(), "读身份证ID号：     ");
    EXPECT_EQ(page->LabelFileId->text(), "读身份证文件ID号：   ");
    // The page stays hidden: its tab is not shown.
    const int index = form->PageControl1->indexOf(page);
    EXPECT_EQ(form->PageControl1->tabText(index), "ISO14443B");
    EXPECT_FALSE(form->PageControl1->isTabVisible(index));
}

TEST_F(TypeBPageTest, SendDataBuildsItsOwnFrame) {
    click("Button36");
    EXPECT_EQ(lastFrame(), "AA 00 05 0D 03 05 00 00 0E BB");
    // The card answers the REQB with its ATQB.
    EXPECT_EQ(joined(logT()), joined(QStringList({"操作成功   T", "操作后的数据串为：" + kAtqb, ""})));

    form->RichEdit1->clear();
    setText("Edit77", "");
    click("Button36");
    EXPECT_EQ(lastFrame(), "AA 00 02 0D 00 0F BB");
    EXPECT_EQ(joined(logT()), joined(QStringList({"操作失败   T", "输入参数或者输入命令格式错误....", ""})));

    // Lower-case digits and any separators; the address of setadd is in the
    // frame and its checksum.
    form->setadd->setCurrentIndex(0x1a);
    setText("Edit77", "05,00;0a");
    click("Button36");
    EXPECT_EQ(lastFrame(), "AA 1A 05 0D 03 05 00 0A 1E BB");

    // A lone digit would shift every following byte: nothing is sent.
    form->setadd->setCurrentIndex(0);
    form->RichEdit1->clear();
    rfidsim_clear_frames();
    setText("Edit77", "05 00 0");
    click("Button36");
    EXPECT_EQ(rfidsim_frame_count(), 0);
    const QStringList log = logT();
    ASSERT_EQ(log.size(), 4);
    EXPECT_TRUE(log[0].startsWith("Command not sent")) << log[0].toStdString();
    EXPECT_EQ(log.mid(1), QStringList({"操作失败   T", "无数据接收..", ""}));
}

TEST_F(TypeBPageTest, SendDataJudgesTheAnswerWithItsOwnTable) {
    scriptAnswer(answerFrame("00"));
    click("Button36");
    EXPECT_EQ(joined(logT()), joined(QStringList({"操作成功   T", "操作后的数据串为：", ""})));

    // Code 05 is not in the table: only the failure line.
    form->RichEdit1->clear();
    scriptAnswer(answerFrame("01 05"));
    click("Button36");
    EXPECT_EQ(joined(logT()), joined(QStringList({"操作失败   T"})));

    // 8F reads in English here; a cycle operation gives the common reason.
    form->RichEdit1->clear();
    scriptAnswer(answerFrame("01 8F"));
    click("Button36");
    scriptAnswer(answerFrame("01 8F"));
    click("Button31");
    EXPECT_EQ(joined(logT()), joined(QStringList({"操作失败   T", "Reader received unknown command....", "",
                                                  "操作失败   T", "读写设备接收到了未定义的命令.....", ""})));

    // 80 has its own wording; any status other than 00 goes to the table.
    form->RichEdit1->clear();
    scriptAnswer(answerFrame("01 80"));
    click("Button36");
    scriptAnswer(answerFrame("07 83"));
    click("Button36");
    scriptAnswer(answerFrame("07"));
    click("Button36");
    EXPECT_EQ(joined(logT()), joined(QStringList({"操作失败   T", "参数设置成功.....", "", "操作失败   T",
                                                  "卡不存在....", "", "操作失败   T"})));

    form->RichEdit1->clear();
    rfidsim_set_fault(RFIDSIM_WRITE_FAIL, 0);
    click("Button36");
    EXPECT_EQ(joined(logT()), joined(QStringList({"Non data receiving,Please check the equipment....",
                                                  "操作失败   T", "无数据接收..", ""})));
}

TEST_F(TypeBPageTest, RequestResetAndAttrib) {
    click("Button31");
    EXPECT_EQ(lastFrame(), "AA 00 01 09 08 BB");
    EXPECT_EQ(joined(logT()), joined(QStringList({"操作成功   T", "", "卡片复位数据的长度为:0C",
                                                  "返回操作后的数据为:" + kAtqb, ""})));

    // The default card ID is not the card in the field.
    form->RichEdit1->clear();
    click("Button33");
    EXPECT_EQ(lastFrame(), "AA 00 05 0B 41 30 0A 10 65 BB");
    EXPECT_EQ(joined(logT()), joined(QStringList({"操作失败   T", "卡不存在....", ""})));

    // Reset (its button is disabled; the handler still works) writes the
    // serial number into the card ID field, and Attrib then sends it.
    rfidsim_clear_frames();
    click("Button34");
    click("Button32");
    EXPECT_EQ(rfidsim_frame_count(), 0);
    form->RichEdit1->clear();
    page->Button34Click();
    EXPECT_EQ(lastFrame(), "AA 00 01 0C 0D BB");
    EXPECT_EQ(page->Edit76->text(), "8C1E5207");
    EXPECT_EQ(joined(logT()), joined(QStringList({"操作成功   T", "", "卡的序列号为：8C1E5207", ""})));
    form->RichEdit1->clear();
    click("Button33");
    EXPECT_EQ(lastFrame(), "AA 00 05 0B 8C 1E 52 07 C9 BB");
    EXPECT_EQ(joined(logT()), joined(QStringList({"操作成功、复位成功   T", ""})));

    // A reset answer with 12 34 56 78 leaves 12345678 to send.
    scriptAnswer(answerFrame("00 12 34 56 78"));
    page->Button34Click();
    EXPECT_EQ(page->Edit76->text(), "12345678");
    click("Button33");
    EXPECT_EQ(lastFrame(), "AA 00 05 0B 12 34 56 78 06 BB");

    // An empty card ID sends the command byte alone.
    setText("Edit76", "");
    form->RichEdit1->clear();
    click("Button33");
    EXPECT_EQ(lastFrame(), "AA 00 01 0B 0A BB");
    EXPECT_EQ(joined(logT()), joined(QStringList({"操作失败   T", "输入参数或者输入命令格式错误....", ""})));

    // The anti-collision handler sends the card request.
    page->Button32Click();
    EXPECT_EQ(lastFrame(), "AA 00 01 09 08 BB");
}

TEST_F(TypeBPageTest, IdentityCardReadsShowBytesFiveToTwelve) {
    click("Button19");
    EXPECT_EQ(lastFrame(), "AA 00 01 26 27 BB");
    click("Button22");
    EXPECT_EQ(lastFrame(), "AA 00 01 27 26 BB");
    EXPECT_EQ(joined(logT()), joined(QStringList({"操作成功   T", "返回卡号为:213A094C7D5618E3", "",
                                                  "操作成功   T", "返回卡号为:5F0001102B64C90E", ""})));

    // A longer answer still shows 16 digits; a short one only its own payload.
    form->RichEdit1->clear();
    scriptAnswer(answerFrame("00 AA 11 22 33 44 55 66 77 88 99 BB CC"));
    click("Button19");
    scriptAnswer(answerFrame("00 AA 11 22"));
    click("Button22");
    scriptAnswer(answerFrame("01 83"));
    click("Button19");
    scriptAnswer(answerFrame("02 00"));
    click("Button22");
    EXPECT_EQ(joined(logT()), joined(QStringList({"操作成功   T", "返回卡号为:1122334455667788", "",
                                                  "操作成功   T", "返回卡号为:1122", "", "读卡号操作失败   T",
                                                  "卡不存在....", "", "数据丢包，流水校验出错   T", ""})));
}

TEST_F(TypeBPageTest, ContinuousRequestRepeatsUntilClearedOrPageChange) {
    whenFrames(3, [this] { page->CheckBox11->setChecked(false); });
    click("CheckBox11");
    EXPECT_FALSE(page->CheckBox11->isChecked());
    ASSERT_EQ(rfidsim_frame_count(), 3);
    for (const QString& f : frames())
        EXPECT_EQ(f, "AA 00 01 09 08 BB");
    EXPECT_EQ(logT().count("操作成功   T"), 3);

    // Checking it again starts a new loop with one immediate pass.
    whenFrames(4, [this] { page->CheckBox11->setChecked(false); });
    click("CheckBox11");
    EXPECT_EQ(rfidsim_frame_count(), 4);

    // A page change clears the box and ends the loop after the current pass.
    whenFrames(6, [this] { form->PageControl1->setCurrentIndex(1); });
    click("CheckBox11");
    EXPECT_FALSE(page->CheckBox11->isChecked());
    EXPECT_EQ(rfidsim_frame_count(), 6);
}

TEST_F(TypeBPageTest, IdentityLoopsSurviveAPageChange) {
    form->systemPage()->Edit22->setText("0");
    bool stillChecked = false;
    whenFrames(2, [this] { form->PageControl1->setCurrentIndex(1); });
    whenFrames(4, [this, &stillChecked] {
        stillChecked = page->CheckBox13->isChecked();
        page->CheckBox13->setChecked(false);
    });
    click("CheckBox13");
    EXPECT_TRUE(stillChecked);
    EXPECT_EQ(rfidsim_frame_count(), 4);
    for (const QString& f : frames())
        EXPECT_EQ(f, "AA 00 01 26 27 BB");

    rfidsim_clear_frames();
    stillChecked = false;
    whenFrames(1, [this] { form->PageControl1->setCurrentIndex(0); });
    whenFrames(3, [this, &stillChecked] {
        stillChecked = page->CheckBox14->isChecked();
        page->CheckBox14->setChecked(false);
    });
    click("CheckBox14");
    EXPECT_TRUE(stillChecked);
    EXPECT_EQ(rfidsim_frame_count(), 3);
    for (const QString& f : frames())
        EXPECT_EQ(f, "AA 00 01 27 26 BB");
}
