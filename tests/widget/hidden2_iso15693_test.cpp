// The ISO15693 page: the commands built from each row's flags and fields, the
// inventory card list, the other reports and the continuous modes.
#include "harness.h"

#include "iso15693page.h"
#include "systempage.h"

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

class VicinityPageTest : public WindowTest {
  protected:
    void SetUp() override {
        WindowTest::SetUp();
        rfidsim_set_family(RFIDSIM_HF);
        page = form->iso15693Page();
        ASSERT_NE(page, nullptr);
    }

    // The frame the reader receives for a command with address 00.
    static QString frameOf(const QString& command) { return answerFrame(command).toUpper(); }

    void choose(const char* comboName, const char* item) const {
        if (auto* box = find<QComboBox>(comboName))
            box->setCurrentText(QLatin1String(item));
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

    Iso15693Page* page = nullptr;
};

// The simulated reader's cards, as printed (most significant byte first).
const char* const kUid1 = "E0 04 01 00 12 34 56 78";
const char* const kUid2 = "E0 07 C0 00 3A 51 9D 26";
const char* const kUid3 = "E0 02 28 00 0C 7F 41 B3";
// Inventory records: flags, DSFID, UID least significant byte first.
const QString kRecord1 = QStringLiteral("00 00 78 56 34 12 00 01 04 E0");
const QString kRecord2 = QStringLiteral("00 00 26 9D 51 3A 00 C0 07 E0");

QString digits(QString spaced) {
    return spaced.remove(QLatin1Char(' '));
}

} // namespace

TEST_F(VicinityPageTest, ControlsStartAsDescribed) {
    const std::pair<const char*, const char*> captions[] = {
        {"Button37", "防冲突"},       {"Button38", "卡片读"},    {"Button39", "卡片写"},
        {"Button40", "锁定块"},       {"Button42", "选择卡"},    {"Button44", "写AFI"},
        {"Button45", "锁定AFI"},      {"Button46", "写DSFID"},   {"Button47", "锁定DSFID"},
        {"Button48", "系统信息"},     {"Button49", "块安全位"},  {"CheckBox5", "连续读   "},
        {"CheckBox6", "连续读     "}, {"CheckBox7", "连续写   "}};
    for (const auto& [name, caption] : captions) {
        auto* b = find<QAbstractButton>(name);
        ASSERT_NE(b, nullptr);
        EXPECT_EQ(b->text(), QString::fromUtf8(caption)) << name;
        EXPECT_TRUE(b->isEnabled()) << name;
    }
    // Flags lists: fixed, four items, the start-up selection of the window.
    const std::pair<const char*, const char*> lists[] = {
        {"ComboBox10", "Philips"}, {"ComboBox11", "TI"},      {"ComboBox12", "Philips"},
        {"ComboBox13", "uid"},     {"ComboBox14", "Philips"}, {"ComboBox15", "Philips"},
        {"ComboBox16", "Philips"}, {"ComboBox17", "Philips"}, {"ComboBox18", "Philips"},
        {"ComboBox19", "Philips"}};
    for (const auto& [name, item] : lists) {
        auto* box = find<QComboBox>(name);
        ASSERT_NE(box, nullptr);
        EXPECT_EQ(box->currentText(), QLatin1String(item)) << name;
        EXPECT_FALSE(box->isEditable()) << name;
        ASSERT_EQ(box->count(), 4) << name;
        EXPECT_EQ(box->itemText(0) + box->itemText(1) + box->itemText(2) + box->itemText(3),
                  "TIPhilipsuidOther");
        EXPECT_EQ(
            find<QLabel>((QStringLiteral("Label") + QLatin1String(name)).toLatin1().constData())->text(),
            "标志位    ");
    }
    const std::tuple<const char*, const char*, const char*> fields[] = {
        {"Edit14", "01", "起始块  "},      {"Edit13", "05", "块数量  "},
        {"Edit55", "", "卡的uid信息    "}, {"Edit48", "05", "起始块  "},
        {"Edit49", "01", "块数量  "},      {"Edit16", "11 22 33 44", "要写的数据    "},
        {"Edit50", "", "卡uid  "},         {"Edit18", "05", "要锁的块号           "},
        {"Edit19", "", "卡的uid信息  "},   {"Edit15", "06", "AFI"},
        {"Edit28", "", "卡uid  "},         {"Edit32", "", "卡的uid信息  "},
        {"Edit17", "08", "DSFID"},         {"Edit36", "", "卡uid  "},
        {"Edit38", "", "卡的uid信息  "},   {"Edit41", "", "卡的uid信息  "},
        {"Edit21", "00", "起始块号  "},    {"Edit20", "05", "数据长度  "}};
    for (const auto& [name, text, label] : fields) {
        auto* edit = find<QLineEdit>(name);
        ASSERT_NE(edit, nullptr);
        EXPECT_EQ(edit->text(), QString::fromUtf8(text)) << name;
        const QByteArray labelName = "Label" + QByteArray(name);
        EXPECT_EQ(find<QLabel>(labelName.constData())->text(), QString::fromUtf8(label)) << name;
    }
    EXPECT_EQ(find<QLineEdit>("Edit43")->text(), "");
    EXPECT_EQ(form->findChild<QLabel*>("LabelEdit43"), nullptr);
    const int index = form->PageControl1->indexOf(page);
    EXPECT_EQ(form->PageControl1->tabText(index), "ISO15693");
    EXPECT_FALSE(form->PageControl1->isTabVisible(index));
}

TEST_F(VicinityPageTest, CommandsFromFlagsAndFields) {
    // The worked examples with the page's defaults.
    click("Button37");
    EXPECT_EQ(lastFrame(), "AA 00 04 10 06 00 00 12 BB");
    click("Button38");
    EXPECT_EQ(lastFrame(), "AA 00 04 11 02 01 05 13 BB");
    click("Button39");
    EXPECT_EQ(lastFrame(), frameOf("12 42 05 01 11 22 33 44"));
    setText("Edit19", kUid1);
    click("Button42");
    EXPECT_EQ(lastFrame(), frameOf("15 22 E0 04 01 00 12 34 56 78"));
    click("Button40");
    EXPECT_EQ(lastFrame(), frameOf("13 02 05"));
    click("Button44");
    EXPECT_EQ(lastFrame(), frameOf("17 02 06"));
    click("Button45");
    EXPECT_EQ(lastFrame(), frameOf("18 02"));
    click("Button46");
    EXPECT_EQ(lastFrame(), frameOf("19 02 08"));
    click("Button47");
    EXPECT_EQ(lastFrame(), frameOf("1A 02"));
    click("Button48");
    EXPECT_EQ(lastFrame(), frameOf("1B 02"));
    click("Button49");
    EXPECT_EQ(lastFrame(), frameOf("1C 02 00 05"));

    // "uid" puts the row's UID field in, in the position of the command, only
    // in addressed mode; the other choices leave it out.
    const char* const uidFields[] = {"Edit55", "Edit50", "Edit28", "Edit32",
                                     "Edit36", "Edit38", "Edit41", "Edit43"};
    for (const char* name : uidFields)
        setText(name, kUid2);
    for (const char* box : {"ComboBox10", "ComboBox11", "ComboBox12", "ComboBox14", "ComboBox15",
                            "ComboBox16", "ComboBox17", "ComboBox18", "ComboBox19"})
        choose(box, "uid");
    const QString u = QLatin1String(kUid2);
    const std::pair<const char*, QString> addressed[] = {
        {"Button38", "11 22 01 05 " + u}, {"Button39", "12 22 05 01 " + u + " 11 22 33 44"},
        {"Button40", "13 22 05"},         {"Button44", "17 22 06 " + u},
        {"Button45", "18 22 " + u},       {"Button46", "19 22 08 " + u},
        {"Button47", "1A 22 " + u},       {"Button48", "1B 22 " + u},
        {"Button49", "1C 22 00 05 " + u}};
    for (const auto& [button, command] : addressed) {
        click(button);
        EXPECT_EQ(lastFrame(), frameOf(command)) << button;
    }
    // Addressed mode with an empty UID field: the flags say 22, no UID follows.
    setText("Edit55", "");
    click("Button38");
    EXPECT_EQ(lastFrame(), frameOf("11 22 01 05"));

    // TI, Other, and a field typed without blanks and in lower case.
    choose("ComboBox10", "TI");
    click("Button38");
    EXPECT_EQ(lastFrame(), frameOf("11 42 01 05"));
    choose("ComboBox10", "Other");
    setText("Edit14", "0a");
    click("Button38");
    EXPECT_EQ(lastFrame(), frameOf("11 52 0A 05"));

    // Select sends the UID whatever the choice.
    setText("Edit19", kUid3);
    for (const char* item : {"TI", "Philips", "uid", "Other"}) {
        choose("ComboBox13", item);
        click("Button42");
        EXPECT_EQ(lastFrame(),
                  frameOf(QStringLiteral("15 ") + iso15693Flags(QLatin1String(item)) + " " + kUid3))
            << item;
    }
    EXPECT_EQ(iso15693Flags("TI") + iso15693Flags("Philips") + iso15693Flags("uid") + iso15693Flags("Other"),
              "42022252");
    EXPECT_EQ(iso15693Flags("philips"), "");
}

TEST_F(VicinityPageTest, InventoryListsTheCards) {
    click("Button37");
    EXPECT_EQ(joined(logT()),
              joined(QStringList({"操作成功   T", "域内的卡片数量为：03",
                                  "域内的卡片数据为：" + digits(kRecord1 + kRecord2) + "0000B3417F0C002802E0",
                                  "第1张卡卡号为：E0 04 01 00 12 34 56 78 ",
                                  "第2张卡卡号为：E0 07 C0 00 3A 51 9D 26 ",
                                  "第3张卡卡号为：E0 02 28 00 0C 7F 41 B3 ", "", ""})));

    // Length byte 2: status and count only.
    form->RichEdit1->clear();
    scriptAnswer(answerFrame("00 00"));
    click("Button37");
    EXPECT_EQ(joined(logT()),
              joined(QStringList({"操作成功   T", "域内的卡片数量为：00", "域内的卡片数据为：", "", ""})));

    // 25 bytes after the count: two card lines, the incomplete third record
    // only in the data line. The count is shown as reported.
    form->RichEdit1->clear();
    scriptAnswer(answerFrame("00 0A " + kRecord1 + " " + kRecord2 + " 01 02 03 04 05"));
    click("Button37");
    EXPECT_EQ(joined(logT()),
              joined(QStringList({"操作成功   T", "域内的卡片数量为：0A",
                                  "域内的卡片数据为：" + digits(kRecord1 + kRecord2) + "0102030405",
                                  "第1张卡卡号为：E0 04 01 00 12 34 56 78 ",
                                  "第2张卡卡号为：E0 07 C0 00 3A 51 9D 26 ", "", ""})));

    // An answer cut short of what its length byte says: the card line that
    // cannot be produced ends the list.
    form->RichEdit1->clear();
    scriptAnswer("AA 00 17 00 02 " + kRecord1 + " 00 00 26 9D");
    click("Button37");
    EXPECT_EQ(joined(logT()), joined(QStringList({"操作成功   T", "域内的卡片数量为：02",
                                                  "域内的卡片数据为：" + digits(kRecord1) + "0000269D",
                                                  "第1张卡卡号为：E0 04 01 00 12 34 56 78 ",
                                                  "卡号长度非法，无法算出准确的卡号！..", "", ""})));

    // A length byte far beyond the 245 bytes read: nothing past them is used.
    form->RichEdit1->clear();
    rfidsim_set_fault(RFIDSIM_OVERLONG, 0);
    click("Button37");
    const QStringList log = logT();
    ASSERT_EQ(log.size(), 30);
    EXPECT_EQ(log[3], "第1张卡卡号为：E0 04 01 00 12 34 56 78 ");
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
    EXPECT_EQ(joined(logT()), joined(QStringList({"操作成功   T",
                                                  "标志位为：00",
                                                  "读卡返回数据为：0405060708090A0B0C0D0E0F1011121314151617",
                                                  "",
                                                  "写卡操作成功   T",
                                                  "",
                                                  "",
                                                  "操作成功   T",
                                                  "标志位为：00",
                                                  "读卡返回数据为：11223344",
                                                  "",
                                                  "锁操作成功   T",
                                                  "",
                                                  "",
                                                  "写卡失败   T",
                                                  "要操作的对象已经别锁定，不能进行修改....",
                                                  "",
                                                  "操作成功   T",
                                                  "标志位为：00",
                                                  "块安全位状态为：0001",
                                                  ""})));

    // Addressed mode without a UID is refused by the reader; a damaged answer
    // and no answer get their own lines.
    form->RichEdit1->clear();
    choose("ComboBox10", "uid");
    click("Button38");
    scriptAnswer(answerFrame("02 00"));
    click("Button49");
    rfidsim_set_fault(RFIDSIM_SILENT, 0);
    click("Button40");
    EXPECT_EQ(joined(logT()),
              joined(QStringList({"读卡失败   T", "输入参数或者输入命令格式错误....", "",
                                  "数据丢包，流水校验出错   T", "", "通讯错误，没有接收到数据..   T", ""})));
}

TEST_F(VicinityPageTest, SystemInformationSelectAfiAndDsfid) {
    click("Button48");
    EXPECT_EQ(joined(logT()), joined(QStringList({"操作成功   T", "  Flags值为： 00", "  INFO Flags值为： 0F",
                                                  "  卡UID值为： 78563412000104E0", "  DSFID值为： 00",
                                                  "  AFI值为： 00", "  Other fields值为： 1B0301", ""})));

    // Select the third card, then write its AFI through the select flag
    // ("Other"), lock it by UID, and write its DSFID.
    form->RichEdit1->clear();
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
    EXPECT_EQ(
        joined(logT()),
        joined(QStringList({"选择卡操作成功   T", "", "", "写AFI操作成功   T", "", "", "锁定AFI操作成功   T",
                            "", "", "写AFI操作失败   T", "要操作的对象已经别锁定，不能进行修改....", "",
                            "写DSFID操作成功   T", "", "", "锁定DSFID操作成功   T", "", ""})));

    form->RichEdit1->clear();
    choose("ComboBox18", "uid");
    setText("Edit41", kUid3);
    click("Button48");
    EXPECT_EQ(joined(logT()), joined(QStringList({"操作成功   T", "  Flags值为： 00", "  INFO Flags值为： 0F",
                                                  "  卡UID值为： B3417F0C002802E0", "  DSFID值为： 08",
                                                  "  AFI值为： 07", "  Other fields值为： 3F0320", ""})));

    // A refused AFI write with code 05: the failure line, then the reason
    // line, which is empty for a code the reader's table does not know.
    form->RichEdit1->clear();
    scriptAnswer(answerFrame("01 05"));
    click("Button44");
    EXPECT_EQ(joined(logT()), joined(QStringList({"写AFI操作失败   T", "", ""})));

    // A short answer shows only what its payload holds.
    form->RichEdit1->clear();
    scriptAnswer(answerFrame("00 00 0F 01 02"));
    click("Button48");
    EXPECT_EQ(joined(logT()), joined(QStringList({"操作成功   T", "  Flags值为： 00", "  INFO Flags值为： 0F",
                                                  "  卡UID值为： 0102", "  DSFID值为： ", "  AFI值为： ",
                                                  "  Other fields值为： ", ""})));
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
        EXPECT_FALSE(box->isChecked()) << name;
        EXPECT_EQ(frames(), std::vector<QString>(3, frame)) << name;
    }

    // A page change clears the boxes: the loop ends after its current pass.
    rfidsim_clear_frames();
    whenFrames(2, [this] { form->PageControl1->setCurrentIndex(1); });
    click("CheckBox6");
    EXPECT_FALSE(page->CheckBox6->isChecked());
    EXPECT_EQ(rfidsim_frame_count(), 2);

    // Passes go on when nothing comes back.
    rfidsim_clear_frames();
    rfidsim_set_fault(RFIDSIM_WRITE_FAIL, 0);
    form->systemPage()->Edit22->setText("0");
    whenFrames(2, [this] { page->CheckBox7->setChecked(false); });
    click("CheckBox7");
    EXPECT_EQ(rfidsim_frame_count(), 2);
    EXPECT_EQ(logT().count("通讯错误，没有接收到数据..   T"), 2);
}
