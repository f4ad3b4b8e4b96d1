// The ISO15693 page: the commands built from each row's flags and fields, the
// inventory card list, the other reports and the continuous modes.
#include "hidden2_helpers.h"

#include "iso15693page.h"

#include <QLabel>
#include <QTabWidget>

namespace {

class VicinityPageTest : public HfPageTest {
protected:
    void SetUp() override {
        HfPageTest::SetUp();
        page = form->iso15693Page();
        ASSERT_NE(page, nullptr);
    }
    void choose(const char* comboName, const char* item) const {
        if (auto* box = find<QComboBox>(comboName))
            box->setCurrentText(QLatin1String(item));
    }
    Iso15693Page* page = nullptr;
};

// The simulated reader's cards as printed, and inventory records (flags,
// DSFID, UID least significant byte first).
const QString kUid2 = QStringLiteral("E0 07 C0 00 3A 51 9D 26");
const QString kUid3 = QStringLiteral("E0 02 28 00 0C 7F 41 B3");
const QString kRecord1 = QStringLiteral("00 00 78 56 34 12 00 01 04 E0");
const QString kRecord2 = QStringLiteral("00 00 26 9D 51 3A 00 C0 07 E0");
const QString kCard1 = QStringLiteral("第1张卡卡号为：E0 04 01 00 12 34 56 78 ");
const QString kCard2 = QStringLiteral("第2张卡卡号为：E0 07 C0 00 3A 51 9D 26 ");

QString digits(QString spaced) {
    return spaced.remove(QLatin1Char(' '));
}

} // namespace

TEST_F(VicinityPageTest, ControlsStartAsDescribed) {
    // Captions that differ only in their trailing blanks, and fields with labels.
    EXPECT_EQ(page->CheckBox5->text() + "|" + page->CheckBox6->text() + "|" + page->CheckBox7->text(),
              "连续读   |连续读     |连续写   ");
    EXPECT_EQ(page->Button47->text(), "锁定DSFID");
    EXPECT_EQ(find<QLabel>("LabelEdit18")->text(), "要锁的块号           ");
    EXPECT_EQ(find<QLabel>("LabelEdit55")->text(), "卡的uid信息    ");
    EXPECT_EQ(find<QLabel>("LabelComboBox19")->text(), "标志位    ");
    EXPECT_EQ(page->Edit16->text() + "|" + page->Edit15->text() + "|" + page->Edit17->text() + "|" +
                  page->Edit41->text(),
              "11 22 33 44|06|08|");
    // Fixed four-item lists with the window's start-up selection.
    QString chosen;
    for (QComboBox* box :
         {page->ComboBox10, page->ComboBox11, page->ComboBox12, page->ComboBox13, page->ComboBox19}) {
        EXPECT_FALSE(box->isEditable());
        EXPECT_EQ(box->count(), 4);
        chosen += box->currentText() + " ";
    }
    EXPECT_EQ(chosen, "Philips TI Philips uid Philips ");
    EXPECT_FALSE(form->PageControl1->isTabVisible(form->PageControl1->indexOf(page)));
}

TEST_F(VicinityPageTest, CommandsFromFlagsAndFields) {
    // The worked examples with the page's defaults.
    setText("Edit19", "E0 04 01 00 12 34 56 78");
    const std::pair<const char*, QString> defaults[] = {{"Button37", "10 06 00 00"},
                                                        {"Button38", "11 02 01 05"},
                                                        {"Button39", "12 42 05 01 11 22 33 44"},
                                                        {"Button42", "15 22 E0 04 01 00 12 34 56 78"},
                                                        {"Button40", "13 02 05"},
                                                        {"Button44", "17 02 06"},
                                                        {"Button45", "18 02"},
                                                        {"Button46", "19 02 08"},
                                                        {"Button47", "1A 02"},
                                                        {"Button48", "1B 02"},
                                                        {"Button49", "1C 02 00 05"}};
    for (const auto& [button, command] : defaults) {
        click(button);
        EXPECT_EQ(lastFrame(), frameOf(command)) << button;
    }
    EXPECT_EQ(frames().front(), "AA 00 04 10 06 00 00 12 BB");

    // "uid" puts the row's UID field in, at its place in the command; lock
    // block has none.
    for (const char* name : {"Edit55", "Edit50", "Edit28", "Edit32", "Edit36", "Edit38", "Edit41", "Edit43"})
        setText(name, kUid2);
    for (int i = 10; i <= 19; ++i)
        choose(QStringLiteral("ComboBox%1").arg(i).toLatin1().constData(), "uid");
    const std::pair<const char*, QString> addressed[] = {
        {"Button38", "11 22 01 05 " + kUid2},
        {"Button39", "12 22 05 01 " + kUid2 + " 11 22 33 44"},
        {"Button40", "13 22 05"},
        {"Button44", "17 22 06 " + kUid2},
        {"Button45", "18 22 " + kUid2},
        {"Button46", "19 22 08 " + kUid2},
        {"Button47", "1A 22 " + kUid2},
        {"Button48", "1B 22 " + kUid2},
        {"Button49", "1C 22 00 05 " + kUid2}};
    for (const auto& [button, command] : addressed) {
        click(button);
        EXPECT_EQ(lastFrame(), frameOf(command)) << button;
    }
    setText("Edit55", ""); // addressed mode, but no UID follows
    click("Button38");
    EXPECT_EQ(lastFrame(), frameOf("11 22 01 05"));

    choose("ComboBox10", "Other");
    setText("Edit14", "0a");
    setText("Edit55", kUid3); // not sent outside addressed mode
    click("Button38");
    EXPECT_EQ(lastFrame(), frameOf("11 52 0A 05"));
    setText("Edit19", kUid3); // select sends the UID whatever the choice
    for (const char* item : {"TI", "Philips", "Other"}) {
        choose("ComboBox13", item);
        click("Button42");
        EXPECT_EQ(lastFrame(), frameOf("15 " + iso15693Flags(QLatin1String(item)) + " " + kUid3)) << item;
    }
    EXPECT_EQ(iso15693Flags("TI") + iso15693Flags("Philips") + iso15693Flags("uid") + iso15693Flags("Other") +
                  iso15693Flags("philips"),
              "42022252");
}

TEST_F(VicinityPageTest, InventoryCardList) {
    click("Button37");
    EXPECT_EQ(logText(), lines({"操作成功   T", "域内的卡片数量为：03",
                                "域内的卡片数据为：" + digits(kRecord1 + kRecord2) + "0000B3417F0C002802E0",
                                kCard1, kCard2, "第3张卡卡号为：E0 02 28 00 0C 7F 41 B3 ", ""}));

    // Length byte 2; 25 bytes after a count shown as reported (0A); an answer
    // cut short of its length byte (the card line that cannot be made ends the list).
    form->RichEdit1->clear();
    scriptAnswer(answerFrame("00 00"));
    click("Button37");
    scriptAnswer(answerFrame("00 0A " + kRecord1 + " " + kRecord2 + " 01 02 03 04 05"));
    click("Button37");
    scriptAnswer("AA 00 17 00 02 " + kRecord1 + " 00 00 26 9D");
    click("Button37");
    EXPECT_EQ(logText(), lines({"操作成功   T", "域内的卡片数量为：00", "域内的卡片数据为：", "",
                                "操作成功   T", "域内的卡片数量为：0A",
                                "域内的卡片数据为：" + digits(kRecord1 + kRecord2) + "0102030405", kCard1,
                                kCard2, "", "操作成功   T", "域内的卡片数量为：02",
                                "域内的卡片数据为：" + digits(kRecord1) + "0000269D", kCard1,
                                "卡号长度非法，无法算出准确的卡号！..", ""}));

    // A length byte far beyond the 245 bytes read: nothing past them is used.
    form->RichEdit1->clear();
    rfidsim_set_fault(RFIDSIM_OVERLONG, 0);
    click("Button37");
    const QStringList log = logT();
    ASSERT_EQ(log.size(), 29);
    EXPECT_EQ(log[26], "第24张卡卡号为：5A 5A 5A 5A 5A 5A 5A 5A ");
    EXPECT_EQ(log[27], "卡号长度非法，无法算出准确的卡号！..");
}

TEST_F(VicinityPageTest, BlocksWriteReadLockAndSecurity) {
    click("Button38");
    click("Button39");
    setText("Edit14", "05");
    setText("Edit13", "01");
    click("Button38");
    click("Button40");
    click("Button39");
    setText("Edit21", "04");
    setText("Edit20", "02");
    click("Button49");
    choose("ComboBox10", "uid"); // no UID: the reader refuses
    click("Button38");
    EXPECT_EQ(logText(), lines({"操作成功   T",
                                "标志位为：00",
                                "读卡返回数据为：0405060708090A0B0C0D0E0F1011121314151617",
                                "",
                                "写卡操作成功   T",
                                "",
                                "操作成功   T",
                                "标志位为：00",
                                "读卡返回数据为：11223344",
                                "",
                                "锁操作成功   T",
                                "",
                                "写卡失败   T",
                                "要操作的对象已经别锁定，不能进行修改....",
                                "",
                                "操作成功   T",
                                "标志位为：00",
                                "块安全位状态为：0001",
                                "",
                                "读卡失败   T",
                                "输入参数或者输入命令格式错误....",
                                ""}));
}

TEST_F(VicinityPageTest, SystemInformationSelectAfiAndDsfid) {
    // Select the third card; write its AFI through the select flag, lock it by
    // UID, try again; write and lock its DSFID.
    setText("Edit19", kUid3);
    click("Button42");
    choose("ComboBox14", "Other");
    setText("Edit15", "07");
    click("Button44");
    choose("ComboBox15", "uid");
    setText("Edit32", kUid3);
    click("Button45");
    click("Button44");
    choose("ComboBox16", "Other");
    click("Button46");
    choose("ComboBox17", "Other");
    click("Button47");
    EXPECT_EQ(logText(), lines({"选择卡操作成功   T", "", "写AFI操作成功   T", "", "锁定AFI操作成功   T", "",
                                "写AFI操作失败   T", "要操作的对象已经别锁定，不能进行修改....", "",
                                "写DSFID操作成功   T", "", "锁定DSFID操作成功   T", ""}));

    // The UID in received order (least significant byte first).
    form->RichEdit1->clear();
    click("Button48");
    choose("ComboBox18", "uid");
    setText("Edit41", kUid3);
    click("Button48");
    EXPECT_EQ(logText(), lines({"操作成功   T", "  Flags值为： 00", "  INFO Flags值为： 0F",
                                "  卡UID值为： 78563412000104E0", "  DSFID值为： 00", "  AFI值为： 00",
                                "  Other fields值为： 1B0301", "", "操作成功   T", "  Flags值为： 00",
                                "  INFO Flags值为： 0F", "  卡UID值为： B3417F0C002802E0", "  DSFID值为： 08",
                                "  AFI值为： 07", "  Other fields值为： 3F0320", ""}));

    // Code 05 has no reason text: an empty reason line. A short answer shows
    // only what its payload holds.
    form->RichEdit1->clear();
    scriptAnswer(answerFrame("01 05"));
    click("Button44");
    scriptAnswer(answerFrame("00 00 0F 01 02"));
    click("Button48");
    EXPECT_EQ(logText(),
              lines({"写AFI操作失败   T", "", "", "操作成功   T", "  Flags值为： 00", "  INFO Flags值为： 0F",
                     "  卡UID值为： 0102", "  DSFID值为： ", "  AFI值为： ", "  Other fields值为： ", ""}));
}

TEST_F(VicinityPageTest, ContinuousModesRepeatUntilCleared) {
    const std::tuple<const char*, QCheckBox*, QString> modes[] = {
        {"CheckBox5", page->CheckBox5, frameOf("10 06 00 00")},
        {"CheckBox6", page->CheckBox6, frameOf("11 02 01 05")},
        {"CheckBox7", page->CheckBox7, frameOf("12 42 05 01 11 22 33 44")}};
    for (const auto& [name, box, frame] : modes) {
        rfidsim_clear_frames();
        whenFrames(3, [box = box] { box->setChecked(false); });
        click(name);
        EXPECT_EQ(frames(), std::vector<QString>(3, frame)) << name;
        // A page change clears the box: the loop ends after its current pass.
        rfidsim_clear_frames();
        whenFrames(2,
                   [this] { form->PageControl1->setCurrentIndex(1 - form->PageControl1->currentIndex()); });
        click(name);
        EXPECT_FALSE(box->isChecked()) << name;
        EXPECT_EQ(rfidsim_frame_count(), 2) << name;
    }
}
