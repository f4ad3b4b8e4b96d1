// The result report of every operation of the system commands, S50/S70 and
// Ultralight pages, for its four outcomes.
#include "hidden1_fixture.h"

namespace {

const QString kNoData = QStringLiteral("通讯错误，没有接收到数据..   T");
const QString kDamaged = QStringLiteral("数据丢包，流水校验出错   T");

struct Operation {
    const char* button;
    QString answer;      // status and data of a successful answer
    QStringList success; // the log for that answer
    QString failure;     // the failure line, without its time
};

const QString kUid = QStringLiteral("A1 B2 C3 D4 ");
const QString kUl = QStringLiteral("04 1A 2B 3C 4D 5E 6F");

std::vector<Operation> operations() {
    const QString blockData = QStringLiteral("00 11 22 33 44 55 66 77 88 99 AA BB CC DD EE FF ");
    return {
        // System commands
        {"Button12", "00", {"波特率设置成功   T", ""}, "波特率设置失败   "},
        {"Button4", "00 05 11 22 33 44 55 66 77 88", {"系统地址为 : 05   T", ""}, "操作失败        "},
        {"Button11", "00", {"读写器地址设置成功   T", ""}, "读写器地址设置失败   "},
        {"Button14",
         "00 01 11 22 33 44 55 66 77 88",
         {"读序列号成功   T", "地址为：01", "序列号为：1122334455667788", ""},
         "读序列号失败   "},
        {"Button13", "00", {"机器序列号设置成功   T", ""}, "机器序列号设置失败   "},
        {"Button20", "00", {"设置LED操作成功   T", ""}, "设置LED操作失败   "},
        {"Button23", "00", {"设置LED-R操作成功   T", ""}, "设置LED-R操作失败   "},
        {"Button21", "00", {"设置BUZ操作成功   T", ""}, "设置BUZ操作失败   "},
        // S50/S70
        {"Button8",
         "00 " + kUid + blockData,
         {"操作成功   T", "卡号为:A1B2C3D4", "卡的数据为:00112233445566778899AABBCCDDEEFF", ""},
         "读卡失败   "},
        {"Button9", "00 " + kUid, {"操作成功   T", "卡号为:A1B2C3D4"}, "读卡失败   "},
        {"Button26", "00 " + kUid, {"操作成功   T", "返回卡ID号为:A1B2C3D4", ""}, "读卡失败   "},
        {"Button10",
         "00 " + kUid + "00 A8 00 00",
         {"操作成功   T", "返回卡ID号为:A1B2C3D4", "剩余值为为: 00A80000", ""},
         "读卡失败   "},
        {"Button15",
         "00 " + kUid + "00 68 00 00",
         {"操作成功   T", "返回卡ID号为:A1B2C3D4", "剩余值为为: 00680000", ""},
         "读卡失败   "},
        {"Button29",
         "00 01 0A 0B 0C 0D",
         {"操作成功   T", "", "返回卡号为:0A0B0C0D", "检测到的卡的数量为多张卡..", ""},
         "读卡号操作失败   "},
        {"Button16", "00", {"HALT操作成功   T", ""}, "HALT操作失败   "},
        // Ultralight
        {"Button55",
         "00 " + kUl,
         {"读卡号 操作成功   T", "卡号为:041A2B3C4D5E6F", ""},
         "读卡ID号操作失败   "},
        {"Button17", "00", {"HALT操作成功   T", ""}, "HALT操作失败   "},
        {"Button18",
         "00 " + blockData + kUl,
         {"读卡 操作成功   T", "读卡返回数据为: 00112233445566778899AABBCCDDEEFF", "卡ID号为:041A2B3C4D5E6F",
          ""},
         "读卡失败   "},
        {"Button54", "00 " + kUl, {"写卡操作成功   T", "卡号为:041A2B3C4D5E6F", ""}, "写卡操作失败   "},
    };
}

} // namespace

TEST_F(HfWindowTest, EveryOperationReportsItsFourOutcomes) {
    for (const Operation& op : operations()) {
        SCOPED_TRACE(op.button);

        form->RichEdit1->clear();
        scriptAnswer(answerFrame(op.answer));
        click(op.button);
        EXPECT_EQ(logT(), op.success);

        form->RichEdit1->clear();
        rfidsim_set_fault(RFIDSIM_REFUSE, 0x83);
        click(op.button);
        EXPECT_EQ(logT(), QStringList({op.failure + "T", "卡不存在....", ""}));

        form->RichEdit1->clear();
        rfidsim_set_fault(RFIDSIM_DAMAGED, 0x05);
        click(op.button);
        EXPECT_EQ(logT(), QStringList({kDamaged, ""}));

        form->RichEdit1->clear();
        rfidsim_set_fault(RFIDSIM_SILENT, 0);
        click(op.button);
        EXPECT_EQ(logT(), QStringList({kNoData, ""}));

        rfidsim_set_fault(RFIDSIM_OK, 0);
    }
    EXPECT_TRUE(errors.isEmpty()) << errors.join('\n').toStdString();
}

TEST_F(HfWindowTest, ReportsOfUnusualAnswers) {
    // A failure code the status table does not know leaves an empty reason line.
    scriptAnswer(answerFrame("01 0A"));
    click("Button4");
    EXPECT_EQ(logT(), QStringList({"操作失败        T", "", ""}));

    // A block read that ends right after the card number shows no data.
    form->RichEdit1->clear();
    scriptAnswer(answerFrame("00 " + kUid));
    click("Button8");
    EXPECT_EQ(logT(), QStringList({"操作成功   T", "卡号为:A1B2C3D4", "卡的数据为:", ""}));

    // One card found; then a count byte that is neither 00 nor 01 gives no third
    // line, and the next entry follows directly.
    form->RichEdit1->clear();
    scriptAnswer(answerFrame("00 00 0A 0B 0C 0D"));
    click("Button29");
    scriptAnswer(answerFrame("00 07 0A 0B 0C 0D"));
    click("Button29");
    scriptAnswer(answerFrame("00"));
    click("Button16");
    EXPECT_EQ(logT(), QStringList({"操作成功   T", "", "返回卡号为:0A0B0C0D", "检测到的卡的数量为一张卡..",
                                   "", "操作成功   T", "", "返回卡号为:0A0B0C0D", "HALT操作成功   T", ""}));

    // The write's two lines have no empty line after them.
    form->RichEdit1->clear();
    scriptAnswer(answerFrame("00 " + kUid));
    click("Button9");
    scriptAnswer(answerFrame("00"));
    click("Button16");
    EXPECT_EQ(logT(), QStringList({"操作成功   T", "卡号为:A1B2C3D4", "HALT操作成功   T", ""}));

    // Short answers give shorter runs, cut at the end of the payload: the
    // checksum and end marker are never shown as card data.
    form->RichEdit1->clear();
    scriptAnswer(answerFrame("00 01 02 03"));
    click("Button18");
    scriptAnswer(answerFrame("00 04 1A"));
    click("Button55");
    scriptAnswer(answerFrame("00 01 11 22"));
    click("Button14");
    scriptAnswer(answerFrame("00"));
    click("Button4");
    scriptAnswer(answerFrame("00 A1 B2 C3 D4 00 0A"));
    click("Button10");
    scriptAnswer(answerFrame("00 01 0A 0B"));
    click("Button29");
    scriptAnswer(answerFrame("00 A1 B2"));
    click("Button8");
    EXPECT_EQ(logT(), QStringList({"读卡 操作成功   T",
                                   "读卡返回数据为: 010203",
                                   "卡ID号为:",
                                   "",
                                   "读卡号 操作成功   T",
                                   "卡号为:041A",
                                   "",
                                   "读序列号成功   T",
                                   "地址为：01",
                                   "序列号为：1122",
                                   "",
                                   "系统地址为 :    T",
                                   "",
                                   "操作成功   T",
                                   "返回卡ID号为:A1B2C3D4",
                                   "剩余值为为: 000A",
                                   "",
                                   "操作成功   T",
                                   "",
                                   "返回卡号为:0A0B",
                                   "检测到的卡的数量为多张卡..",
                                   "",
                                   "操作成功   T",
                                   "卡号为:A1B2",
                                   "卡的数据为:",
                                   ""}));

    // A write the library refuses: its own line, then the page's no-data line.
    form->RichEdit1->clear();
    rfidsim_set_fault(RFIDSIM_WRITE_FAIL, 0);
    click("Button55");
    EXPECT_EQ(logT(), QStringList({"Non data receiving,Please check the equipment....", kNoData, ""}));
}
