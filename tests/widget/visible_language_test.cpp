// The keyboard language page against the simulated keyboard-output reader.
#include "harness.h"

namespace {

class Language : public WindowTest {};

// Every language radio button, by code, with the name "Read" gives it.
struct LanguageRow {
    const char* radio;
    const char* readName;
};
const LanguageRow kLanguages[30] = {
    {"RadioButton18", "American style"},
    {"RadioButton24", "Belgium"},
    {"RadioButton25", "Brazil"},
    {"RadioButton26", "Canada"},
    {"RadioButton53", "Croatia"},
    {"RadioButton52", "Czech Republic"},
    {"RadioButton51", "Slovakia"},
    {"RadioButton50", "Denmark"},
    {"RadioButton49", "Finland "},
    {"RadioButton39", "French"},
    {"RadioButton38", "German"},
    {"RadioButton20", "Hungary"},
    {"RadioButton47", "Italy "},
    {"RadioButton45", "Latin America "},
    {"RadioButton31", "Netherlands "},
    {"RadioButton27", "Norway"},
    {"RadioButton43", "poland"},
    {"RadioButton41", "Portugal "},
    {"RadioButton37", "Serbia"},
    {"RadioButton36", "Slovenia "},
    {"RadioButton35", "Spain"},
    {"RadioButton23", "Sweden"},
    {"RadioButton48", "Switzerland-French"},
    {"RadioButton46", "Switzerland-German"},
    {"RadioButton44", "England "},
    {"RadioButton28", "Non Latin"},
    {"RadioButton42", "turkey-F"},
    {"RadioButton40", "turkey-Q"},
    {"RadioButton34", "Japanese "},
    {"RadioButton33", "Romania"},
};

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
    // In an answer without data the checksum (01) stands where the code would.
    scriptAnswer(answerFrame("00"));
    click("Button28");
    EXPECT_EQ(logT(),
              (QStringList{"The output language is : German .  T", "The output language is : Slovenia  .  T",
                           "The output language is :  .  T", "The output language is : Belgium .  T"}));
}

TEST_F(Language, EveryLanguageRoundTripsAndReadMovesNoControl) {
    for (int code = 0; code < 30; ++code) {
        SCOPED_TRACE(kLanguages[code].radio);
        form->RichEdit1->clear();
        select(kLanguages[code].radio);
        click("Button27");
        const QString sent = lastFrame();
        EXPECT_EQ(sent.mid(12, 2).toInt(nullptr, 16), code);
        click("Button28");
        EXPECT_EQ(logT(),
                  (QStringList{"Set Up Success   T", "",
                               QString("The output language is : ") + kLanguages[code].readName + " .  T"}));
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
