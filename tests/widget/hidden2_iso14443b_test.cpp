// The ISO14443B page: type B commands, the data exchange with its own frame
// and reasons, the identity-card reads and the continuous reads.
#include "hidden2_helpers.h"

#include "iso14443bpage.h"
#include "systempage.h"

#include <QGroupBox>
#include <QLabel>
#include <QTabWidget>

namespace {

class TypeBPageTest : public HfPageTest {
protected:
    void SetUp() override {
        HfPageTest::SetUp();
        page = form->iso14443bPage();
        ASSERT_NE(page, nullptr);
    }
    Iso14443bPage* page = nullptr;
};

// The ATQB of the simulated reader's identity card.
const QString kAtqb = QStringLiteral("508C1E520700000000008171");

} // namespace

TEST_F(TypeBPageTest, ControlsStartAsDescribed) {
    EXPECT_EQ(page->CheckBox11->text() + "|" + page->CheckBox13->text() + "|" + page->CheckBox14->text(),
              "连续读      |连续读      |连续读      ");
    EXPECT_EQ(page->Button31->text() + page->Button34->text() + page->Button36->text(),
              "卡请求复位卡发送数据");
    // The anti-collision and reset buttons start disabled.
    EXPECT_FALSE(page->Button32->isEnabled());
    EXPECT_FALSE(page->Button34->isEnabled());
    EXPECT_TRUE(page->Button33->isEnabled());
    EXPECT_EQ(page->Edit76->text() + "|" + page->Edit76->toolTip(), "41 30 0A 10|insert card number");
    EXPECT_EQ(page->Edit77->text() + "|" + page->Edit77->toolTip(), "05 00 00|data");
    EXPECT_EQ(page->LabelCardId->text() + "|" + page->LabelFileId->text(),
              "请输入卡ID号码：         |读身份证文件ID号：   ");
    EXPECT_EQ(page->GroupBox22->title(), "第二代居民身份证");
    EXPECT_FALSE(form->PageControl1->isTabVisible(form->PageControl1->indexOf(page)));
}

TEST_F(TypeBPageTest, SendDataBuildsItsOwnFrame) {
    click("Button36");
    EXPECT_EQ(lastFrame(), "AA 00 05 0D 03 05 00 00 0E BB");
    EXPECT_EQ(logText(), lines({"操作成功   T", "操作后的数据串为：" + kAtqb, ""}));

    form->RichEdit1->clear();
    setText("Edit77", "");
    click("Button36");
    EXPECT_EQ(lastFrame(), "AA 00 02 0D 00 0F BB");
    EXPECT_EQ(logText(), lines({"操作失败   T", "输入参数或者输入命令格式错误....", ""}));

    // Separators and lower case are fine; the address is in frame and checksum.
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
    EXPECT_EQ(lines(log.mid(1)), lines({"操作失败   T", "无数据接收..", ""}));
}

TEST_F(TypeBPageTest, SendDataJudgesTheAnswerWithItsOwnTable) {
    // Status only; code 05 is not in the table; 8F reads in English here while
    // a cycle operation gives the common reason; 80 has its own wording; any
    // status but 00 goes to the table.
    const char* const answers[] = {"00", "01 05", "01 8F", "01 80", "07 83", "07"};
    for (const char* a : answers) {
        scriptAnswer(answerFrame(a));
        click("Button36");
    }
    scriptAnswer(answerFrame("01 8F"));
    click("Button31");
    EXPECT_EQ(logText(), lines({"操作成功   T", "操作后的数据串为：", "", "操作失败   T", "操作失败   T",
                                "Reader received unknown command....", "", "操作失败   T",
                                "参数设置成功.....", "", "操作失败   T", "卡不存在....", "", "操作失败   T",
                                "操作失败   T", "读写设备接收到了未定义的命令.....", ""}));

    form->RichEdit1->clear();
    rfidsim_set_fault(RFIDSIM_WRITE_FAIL, 0);
    click("Button36");
    EXPECT_EQ(logText(), lines({"Non data receiving,Please check the equipment....", "操作失败   T",
                                "无数据接收..", ""}));
}

TEST_F(TypeBPageTest, RequestResetAndAttrib) {
    click("Button31");
    EXPECT_EQ(lastFrame(), "AA 00 01 09 08 BB");
    click("Button33"); // the default card ID is not the card in the field
    EXPECT_EQ(lastFrame(), "AA 00 05 0B 41 30 0A 10 65 BB");
    EXPECT_EQ(logText(), lines({"操作成功   T", "", "卡片复位数据的长度为:0C", "返回操作后的数据为:" + kAtqb,
                                "", "操作失败   T", "卡不存在....", ""}));

    // The disabled buttons do nothing; their handlers work. Reset writes the
    // serial number into the card ID field, and Attrib then sends it.
    rfidsim_clear_frames();
    click("Button34");
    click("Button32");
    EXPECT_EQ(rfidsim_frame_count(), 0);
    form->RichEdit1->clear();
    page->Button34Click();
    EXPECT_EQ(lastFrame(), "AA 00 01 0C 0D BB");
    EXPECT_EQ(page->Edit76->text(), "8C1E5207");
    click("Button33");
    EXPECT_EQ(lastFrame(), "AA 00 05 0B 8C 1E 52 07 C9 BB");
    EXPECT_EQ(logText(),
              lines({"操作成功   T", "", "卡的序列号为：8C1E5207", "", "操作成功、复位成功   T", ""}));

    scriptAnswer(answerFrame("00 12 34 56 78"));
    page->Button34Click();
    click("Button33");
    EXPECT_EQ(lastFrame(), "AA 00 05 0B 12 34 56 78 06 BB");

    setText("Edit76", ""); // the command byte alone
    click("Button33");
    EXPECT_EQ(lastFrame(), "AA 00 01 0B 0A BB");
    page->Button32Click();
    EXPECT_EQ(lastFrame(), "AA 00 01 09 08 BB");
}

TEST_F(TypeBPageTest, IdentityCardReadsShowBytesFiveToTwelve) {
    click("Button19");
    EXPECT_EQ(lastFrame(), "AA 00 01 26 27 BB");
    click("Button22");
    EXPECT_EQ(lastFrame(), "AA 00 01 27 26 BB");
    // A longer answer still shows 16 digits; a short one only its own payload.
    const char* const answers[] = {"00 AA 11 22 33 44 55 66 77 88 99 BB CC", "00 AA 11 22", "01 83", "02 00"};
    for (const char* a : answers) {
        scriptAnswer(answerFrame(a));
        click("Button19");
    }
    EXPECT_EQ(logText(), lines({"操作成功   T", "返回卡号为:213A094C7D5618E3", "", "操作成功   T",
                                "返回卡号为:5F0001102B64C90E", "", "操作成功   T",
                                "返回卡号为:1122334455667788", "", "操作成功   T", "返回卡号为:1122", "",
                                "读卡号操作失败   T", "卡不存在....", "", "数据丢包，流水校验出错   T", ""}));
}

TEST_F(TypeBPageTest, ContinuousRequestRepeatsUntilClearedOrPageChange) {
    whenFrames(3, [this] { page->CheckBox11->setChecked(false); });
    click("CheckBox11");
    EXPECT_EQ(frames(), std::vector<QString>(3, "AA 00 01 09 08 BB"));
    EXPECT_EQ(logT().count("操作成功   T"), 3);

    // Checking it again starts a new loop with one immediate pass.
    whenFrames(4, [this] { page->CheckBox11->setChecked(false); });
    click("CheckBox11");
    EXPECT_EQ(rfidsim_frame_count(), 4);

    // A page change clears the box; the loop ends after its current pass.
    whenFrames(6, [this] { form->PageControl1->setCurrentIndex(1); });
    click("CheckBox11");
    EXPECT_FALSE(page->CheckBox11->isChecked());
    EXPECT_EQ(rfidsim_frame_count(), 6);
}

TEST_F(TypeBPageTest, IdentityLoopsSurviveAPageChange) {
    form->systemPage()->Edit22->setText("0");
    const std::pair<QCheckBox*, const char*> loops[] = {{page->CheckBox13, "AA 00 01 26 27 BB"},
                                                        {page->CheckBox14, "AA 00 01 27 26 BB"}};
    for (const auto& [box, frame] : loops) {
        rfidsim_clear_frames();
        bool stillChecked = false;
        whenFrames(1,
                   [this] { form->PageControl1->setCurrentIndex(1 - form->PageControl1->currentIndex()); });
        whenFrames(3, [box = box, &stillChecked] {
            stillChecked = box->isChecked();
            box->setChecked(false);
        });
        box->click();
        EXPECT_TRUE(stillChecked) << frame;
        EXPECT_EQ(frames(), std::vector<QString>(3, frame));
    }
}
