// Frames built from the controls of the system commands, S50/S70 and
// Ultralight pages, and their controls' start values.
#include "hidden1_fixture.h"

#include <QListWidget>

TEST_F(HfWindowTest, SystemCommandFrames) {
    SystemPage* page = systemPage();
    EXPECT_EQ(page->ComboBox5->currentText(), "9600");
    EXPECT_TRUE(page->ComboBox5->isEditable());

    page->ComboBox5->setCurrentText("38400");
    click("Button12");
    EXPECT_EQ(lastFrame(), "AA 00 02 81 02 81 BB");
    // A rate the reader does not know goes out as the command byte alone.
    page->ComboBox5->setCurrentText("4800");
    click("Button12");
    EXPECT_EQ(lastFrame(), "AA 00 01 81 80 BB");

    click("Button4");
    EXPECT_EQ(lastFrame(), "AA 00 01 83 82 BB");
    click("Button11");
    EXPECT_EQ(lastFrame(), "AA 00 02 80 00 82 BB");
    click("Button13");
    EXPECT_EQ(lastFrame(), "AA 00 09 82 FF FF FF FF FF FF FF FF 8B BB");
    // Period first, then count.
    click("Button20");
    EXPECT_EQ(lastFrame(), "AA 00 03 88 16 03 9E BB");
    click("Button23");
    EXPECT_EQ(lastFrame(), "AA 00 03 87 16 03 91 BB");
    setText("Edit33", "20");
    setText("Edit34", "05");
    click("Button21");
    EXPECT_EQ(lastFrame(), "AA 00 03 89 20 05 AF BB");

    // The reading-mode switches send and nothing else: no wait, no report.
    form->RichEdit1->clear();
    click("Button52");
    EXPECT_EQ(lastFrame(), "AA 00 02 0F 01 0C BB");
    click("Button53");
    EXPECT_EQ(lastFrame(), "AA 00 02 0F 02 0F BB");
    EXPECT_TRUE(log().isEmpty()) << log().join('|').toStdString();
    EXPECT_FALSE(form->lastResponse.isEmpty());
    EXPECT_FALSE(hf().system.activeReading);
}

TEST_F(HfWindowTest, WaitTimeFieldKeepsAWholeNumber) {
    QLineEdit* wait = systemPage()->Edit22;
    EXPECT_EQ(wait->text(), "100");
    for (const char* bad : {"", "-1", "-250", "abc", "99999999999"}) {
        wait->setText("7");
        wait->setText(bad);
        EXPECT_EQ(wait->text(), "100") << bad;
    }
    for (const char* good : {"0", "2500"}) {
        wait->setText(good);
        EXPECT_EQ(wait->text(), good);
        EXPECT_EQ(systemPage()->waitTime(), QString(good).toInt());
    }
    // Deleting the last digit the way the operator does.
    wait->setText("5");
    wait->setFocus();
    wait->end(false);
    wait->backspace();
    EXPECT_EQ(wait->text(), "100");

    // A pause of the longest wait plus an offset stays at the longest wait.
    wait->setText("2147483647");
    EXPECT_EQ(systemPage()->pauseTime(100), 2147483647);
    wait->setText("250");
    EXPECT_EQ(systemPage()->pauseTime(50), 300);
    EXPECT_TRUE(errors.isEmpty());
}

TEST_F(HfWindowTest, S50Frames) {
    S50Page* page = s50();
    EXPECT_EQ(page->ComboBox3->count(), 64);
    EXPECT_EQ(page->ComboBox3->itemText(63), "3f");
    EXPECT_EQ(page->ComboBox4->count(), 3);
    EXPECT_EQ(page->ComboBox4->currentText(), S50Page::presetKeys().at(2));
    for (const QString& key : S50Page::presetKeys())
        EXPECT_TRUE(QRegularExpression("^[0-9A-F]{2}( [0-9A-F]{2}){5}$").match(key).hasMatch())
            << key.toStdString();
    for (QLineEdit* keyEdit : {page->Edit58, page->Edit5, page->Edit7})
        EXPECT_EQ(keyEdit->text(), S50Page::presetKeys().at(2));

    // Read defaults: mode, number of blocks, start block, key.
    click("Button8");
    EXPECT_EQ(lastFrame(), "AA 00 0A 20 00 04 10 FF FF FF FF FF FF 3E BB");
    // "All" with "Key B" on the write section; data after the key.
    select("reqaa");
    select("keybb");
    click("Button9");
    EXPECT_EQ(lastFrame(),
              "AA 00 1A 21 03 01 10 FF FF FF FF FF FF FF FF FF FF FF FF FF FF FF FF FF FF FF FF FF FF 29 BB");
    // "Key B" alone, on the read section, with a typed start block and count.
    select("keyb");
    page->ComboBox3->setCurrentText("3c");
    page->ComboBox6->setCurrentText("02");
    page->ComboBox4->setCurrentText("A0 A1 A2 A3 A4 A5");
    click("Button8");
    EXPECT_EQ(lastFrame(), "AA 00 0A 20 02 02 3C A0 A1 A2 A3 A4 A5 17 BB");

    // Value commands: the key stands between the sector and the value.
    click("Button26");
    EXPECT_EQ(lastFrame(), "AA 00 0D 22 00 01 FF FF FF FF FF FF 00 88 00 00 A6 BB");
    select("reqaaaa");
    click("Button10");
    EXPECT_EQ(lastFrame(), "AA 00 0D 24 01 01 FF FF FF FF FF FF 00 20 00 00 09 BB");
    select("keybbbbb");
    click("Button15");
    EXPECT_EQ(lastFrame(), "AA 00 0D 23 02 01 FF FF FF FF FF FF 00 20 00 00 0D BB");

    click("Button29");
    EXPECT_EQ(lastFrame(), "AA 00 03 25 26 00 00 BB");
    select("reqa5");
    select("yeshalt");
    click("Button29");
    EXPECT_EQ(lastFrame(), "AA 00 03 25 52 01 75 BB");

    click("Button16");
    EXPECT_EQ(lastFrame(), "AA 00 01 06 07 BB");
}

TEST_F(HfWindowTest, AddressButtonsChangeEveryLaterFrame) {
    EXPECT_FALSE(s50()->RadioButton2->isChecked());
    EXPECT_FALSE(s50()->RadioButton1->isChecked());
    click("RadioButton2");
    EXPECT_EQ(form->setadd->currentText(), "10");
    click("Button16");
    EXPECT_EQ(lastFrame(), "AA 10 01 06 17 BB");
    click("RadioButton1");
    EXPECT_EQ(form->setadd->currentText(), "11");
    click("Button16");
    EXPECT_EQ(lastFrame(), "AA 11 01 06 16 BB");
    // Other pages too; the reader answers, and its answer carries the address.
    click("Button55");
    EXPECT_EQ(lastFrame(), "AA 11 02 E3 00 F0 BB");
    EXPECT_EQ(form->lastResponse.mid(2, 2), "11");
    click("Button4");
    EXPECT_EQ(lastFrame(), "AA 11 01 83 93 BB");
}

TEST_F(HfWindowTest, UltralightFrames) {
    UltralightPage* page = ultralight();
    EXPECT_EQ(page->ListBox1->count(), 16);
    EXPECT_EQ(page->ListBox1->item(15)->text(), "15");
    EXPECT_EQ(page->ListBox1->currentItem()->text(), "00");
    EXPECT_EQ(page->ListBox2->currentItem()->text(), "04");

    click("Button55");
    EXPECT_EQ(lastFrame(), "AA 00 02 E3 00 E1 BB");
    select("Ula");
    click("Button55");
    EXPECT_EQ(lastFrame(), "AA 00 02 E3 01 E0 BB");

    // Page numbers are decimal: "10" goes out as 0A.
    page->ListBox1->setCurrentRow(10);
    click("Button18");
    EXPECT_EQ(lastFrame(), "AA 00 03 E0 00 0A E9 BB");
    select("Ulaa");
    page->ListBox1->setCurrentRow(15);
    click("Button18");
    EXPECT_EQ(lastFrame(), "AA 00 03 E0 01 0F ED BB");

    // Write: mode, the fixed 01, page, four data bytes.
    click("Button54");
    EXPECT_EQ(lastFrame(), "AA 00 08 E1 00 01 04 00 00 00 00 EC BB");

    click("Button17");
    EXPECT_EQ(lastFrame(), "AA 00 01 06 07 BB");

    // With no page selected the handler ends with an error and sends nothing;
    // an item the operator deselected (it stays current) chooses no page either.
    page->ListBox2->setCurrentItem(nullptr);
    const int before = rfidsim_frame_count();
    click("Button54");
    EXPECT_EQ(rfidsim_frame_count(), before);
    page->ListBox1->setCurrentRow(15, QItemSelectionModel::Deselect); // Ctrl+click on "15"
    ASSERT_NE(page->ListBox1->currentItem(), nullptr);
    ASSERT_TRUE(page->ListBox1->selectedItems().isEmpty());
    click("Button18");
    EXPECT_EQ(rfidsim_frame_count(), before);
    EXPECT_EQ(errors, QStringList({"List index out of bounds (-1)", "List index out of bounds (-1)"}));
}
