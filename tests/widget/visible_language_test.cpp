// The keyboard language page against the simulated keyboard-output reader.
#include "harness.h"

namespace {

class Language : public WindowTest {};

} // namespace

TEST_F(Language, SetSendsTheSelectedCodeOnly) {
    for (const char* edit : {"Edit24", "Edit25", "Edit26", "Edit27", "Edit44", "Edit45", "Edit46", "Edit47"})
        EXPECT_EQ(find<QLineEdit>(edit)->text(), "00") << edit;
    EXPECT_TRUE(find<QRadioButton>("RadioButton18")->isChecked());

    click("Button27");
    EXPECT_EQ(lastFrame(), "AA 00 02 80 00 82 BB");
    // A changed prefix field does not travel with the language.
    setText("Edit24", "41");
    select("RadioButton38");
    click("Button27");
    EXPECT_EQ(lastFrame(), "AA 00 02 80 0A 88 BB");
    select("RadioButton20");
    click("Button27");
    EXPECT_EQ(lastFrame(), "AA 00 02 80 0B 89 BB");
    select("RadioButton33");
    click("Button27");
    EXPECT_EQ(lastFrame(), "AA 00 02 80 1D 9F BB");
    EXPECT_EQ(logT(), (QStringList{"Set Up Success   T", "", "Set Up Success   T", "", "Set Up Success   T",
                                   "", "Set Up Success   T", ""}));
}

TEST_F(Language, FourOutcomesOfSetAndRead) {
    for (const char* button : {"Button27", "Button28"}) {
        rfidsim_set_fault(RFIDSIM_REFUSE, 0x85);
        click(button);
        rfidsim_set_fault(RFIDSIM_DAMAGED, 0x02);
        click(button);
        rfidsim_set_fault(RFIDSIM_SILENT, 0);
        click(button);
    }
    const QStringList oneButton{"Set up format false   T",
                                "输入参数或者输入命令格式错误....",
                                "",
                                "data error,please check data..   T",
                                "",
                                "Data error，no data recevice..   T",
                                ""};
    EXPECT_EQ(logT(), oneButton + oneButton);
    EXPECT_EQ(frames().back(), "AA 00 01 83 82 BB");
}

TEST_F(Language, ReadNamesTheCode) {
    scriptAnswer(answerFrame("00 0A"));
    click("Button28");
    scriptAnswer(answerFrame("00 13 0F 00 00 00 00 01 01 00 00 00 00 00 00 00 00 00"));
    click("Button28");
    scriptAnswer(answerFrame("00 1E"));
    click("Button28");
    // An answer without data is damaged: its checksum (01) is not read as a code.
    scriptAnswer(answerFrame("00"));
    click("Button28");
    EXPECT_EQ(logT(),
              (QStringList{"The output language is : German .  T", "The output language is : Slovenia  .  T",
                           "The output language is :  .  T", "data error,please check data..   T", ""}));
}

TEST_F(Language, SetThenReadRoundTripsAndReadMovesNoControl) {
    // Read names differ from captions in trailing blanks both ways.
    const std::pair<const char*, const char*> picks[] = {
        {"RadioButton49", "Finland "}, {"RadioButton52", "Czech Republic"}, {"RadioButton33", "Romania"}};
    for (const auto& [radio, name] : picks) {
        form->RichEdit1->clear();
        select(radio);
        click("Button27");
        click("Button28");
        EXPECT_EQ(logT(), (QStringList{"Set Up Success   T", "",
                                       QString("The output language is : ") + name + " .  T"}));
    }
    // The reader now holds Romania; reading it back leaves the controls alone.
    select("RadioButton18");
    setText("Edit47", "0D");
    click("Button28");
    EXPECT_TRUE(find<QRadioButton>("RadioButton18")->isChecked());
    EXPECT_FALSE(find<QRadioButton>("RadioButton33")->isChecked());
    EXPECT_EQ(find<QLineEdit>("Edit47")->text(), "0D");
    EXPECT_EQ(find<QLineEdit>("Edit24")->text(), "00");
}
