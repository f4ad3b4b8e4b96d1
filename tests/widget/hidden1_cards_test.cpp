// The card pages against the simulated reader's cards: what a page writes is
// what it reads back, and cards entering and leaving the field.
#include "hidden1_fixture.h"

#include <QListWidget>

TEST_F(HfWindowTest, S50BlocksAndValuesOnTheSimulatedCard) {
    s50()->Edit3->setText("00 11 22 33 44 55 66 77 88 99 AA BB CC DD EE FF");
    click("Button9");
    click("Button8");
    const QString trailer = "FFFFFFFFFFFF"
                            "FF078069"
                            "FFFFFFFFFFFF";
    EXPECT_EQ(logT(),
              QStringList({"操作成功   T", "卡号为:A1B2C3D4", "操作成功   T", "卡号为:A1B2C3D4",
                           "卡的数据为:00112233445566778899AABBCCDDEEFF" + QString(64, '0') + trailer, ""}));

    // A key the sector does not have.
    form->RichEdit1->clear();
    s50()->ComboBox4->setCurrentText("A0 A1 A2 A3 A4 A5");
    click("Button8");
    EXPECT_EQ(logT(), QStringList({"读卡失败   T", "密码认证没通过....", ""}));

    // Initialise 0x8800, add 0x2000, subtract 0x2000 twice (values least
    // significant byte first, in the order typed).
    form->RichEdit1->clear();
    click("Button26");
    click("Button10");
    click("Button15");
    click("Button15");
    EXPECT_EQ(logT(), QStringList({"操作成功   T", "返回卡ID号为:A1B2C3D4", "", "操作成功   T",
                                   "返回卡ID号为:A1B2C3D4", "剩余值为为: 00A80000", "", "操作成功   T",
                                   "返回卡ID号为:A1B2C3D4", "剩余值为为: 00880000", "", "操作成功   T",
                                   "返回卡ID号为:A1B2C3D4", "剩余值为为: 00680000", ""}));

    // Adding to a sector that holds no value block.
    form->RichEdit1->clear();
    s50()->Edit1->setText("02");
    click("Button10");
    EXPECT_EQ(logT(), QStringList({"读卡失败   T", "在块初始化中出现错误...", ""}));
    EXPECT_TRUE(errors.isEmpty());
}

TEST_F(HfWindowTest, S50CardNumberWithCardsInAndOutOfTheField) {
    click("Button29");
    EXPECT_EQ(logT(),
              QStringList({"操作成功   T", "", "返回卡号为:A1B2C3D4", "检测到的卡的数量为一张卡..", ""}));

    // A second card; "halt" sends the first card to sleep after reading it.
    hf().mifare.cards.push_back(rfidsim::makeMifareCard({0x01, 0x02, 0x03, 0x04}));
    form->RichEdit1->clear();
    select("yeshalt");
    click("Button29");
    select("nohalt");
    click("Button29");
    select("reqa5"); // "All" wakes it again
    click("Button29");
    EXPECT_EQ(logT(),
              QStringList({"操作成功   T", "", "返回卡号为:A1B2C3D4", "检测到的卡的数量为多张卡..", "",
                           "操作成功   T", "", "返回卡号为:01020304", "检测到的卡的数量为一张卡..", "",
                           "操作成功   T", "", "返回卡号为:A1B2C3D4", "检测到的卡的数量为多张卡..", ""}));

    form->RichEdit1->clear();
    hf().mifare.takeOut(0);
    hf().mifare.takeOut(1);
    click("Button29");
    click("Button8");
    EXPECT_EQ(logT(),
              QStringList({"读卡号操作失败   T", "卡不存在....", "", "读卡失败   T", "卡不存在....", ""}));
}

TEST_F(HfWindowTest, UltralightPagesOnTheSimulatedCard) {
    ultralight()->Edit56->setText("DE AD BE EF");
    click("Button54");
    ultralight()->ListBox1->setCurrentRow(4);
    click("Button18");
    EXPECT_EQ(logT(),
              QStringList({"写卡操作成功   T", "卡号为:041A2B3C4D5E6F", "", "读卡 操作成功   T",
                           "读卡返回数据为: DEADBEEF" + QString(24, '0'), "卡ID号为:041A2B3C4D5E6F", ""}));

    // The card number pages cannot be written.
    form->RichEdit1->clear();
    ultralight()->ListBox2->setCurrentRow(0);
    click("Button54");
    EXPECT_EQ(logT(), QStringList({"写卡操作失败   T", "要操作的对象已经别锁定，不能进行修改....", ""}));

    // Halt puts the card to sleep: an idle request finds nothing, "All" wakes it.
    form->RichEdit1->clear();
    click("Button17");
    click("Button55");
    select("Ula");
    click("Button55");
    EXPECT_EQ(logT(), QStringList({"HALT操作成功   T", "", "读卡ID号操作失败   T", "卡不存在....", "",
                                   "读卡号 操作成功   T", "卡号为:041A2B3C4D5E6F", ""}));
    EXPECT_TRUE(errors.isEmpty());
}
