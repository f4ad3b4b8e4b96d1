// The output format page against the simulated keyboard-output reader.
#include "harness.h"

namespace {

class OutputFormat : public WindowTest {
protected:
    // The frame the reader receives for a command-and-data text (spaced hex).
    static QString commandFrame(const QString& commandAndData) {
        return answerFrame(commandAndData).toUpper();
    }

    // Every radio button, check box and edit field of the output format and
    // language pages with its state, to show that nothing moved.
    QStringList controlStates() const {
        QStringList out;
        for (const char* page : {"OutputFormatPage", "LanguagePage"}) {
            QWidget* p = find(page);
            for (auto* b : p->findChildren<QAbstractButton*>())
                if (b->isCheckable())
                    out << b->objectName() + (b->isChecked() ? "=1" : "=0");
            for (auto* e : p->findChildren<QLineEdit*>())
                out << e->objectName() + "=" + e->text();
        }
        return out;
    }
};

// The read-back lines after "Read data success    T" for one settings answer.
QStringList readLines(const QString& format, const QString& semicolon, const QString& comma,
                      const QString& question, const QString& enter, const QStringList& custom,
                      const QString& prefix, const QString& suffix) {
    const QString h = "The Output format ： ";
    return QStringList{
               "Read data success    T", h + format, h + semicolon, h + comma, h + question, h + enter} +
           custom + QStringList{"The Prefix Byte is:" + prefix, "The suffix Byte is:" + suffix, ""};
}

const QStringList kNoCustom{"Custom byte output is not added.   ", ""};

} // namespace

TEST_F(OutputFormat, InitialControlsAndOtherChoices) {
    EXPECT_TRUE(find<QRadioButton>("RadioButton16")->isChecked());
    EXPECT_TRUE(find<QRadioButton>("RadioButton29")->isChecked());
    EXPECT_EQ(find<QLineEdit>("Edit23")->text(), "2B");
    EXPECT_EQ(find<QAbstractButton>("CheckBox19")->text(), "Add custom bytes\n   ");
    EXPECT_EQ(find<QAbstractButton>("CheckBox15")->text(), "add \"Enter\"");
    EXPECT_EQ(find<QAbstractButton>("RadioButton11")->text(), find<QAbstractButton>("RadioButton13")->text());

    click("Button24");
    EXPECT_EQ(lastFrame(), "AA 00 11 82 0F 00 00 00 00 01 01 00 00 00 00 00 00 00 00 00 9C BB");

    select("RadioButton11");
    click("Button24");
    EXPECT_EQ(lastFrame(), commandFrame("82 0E 00 00 00 00 01 01 00 00 00 00 00 00 00 00 00"));
    select("RadioButton13");
    click("Button24");
    EXPECT_EQ(lastFrame(), commandFrame("82 09 00 00 00 00 01 01 00 00 00 00 00 00 00 00 00"));

    // Flags in frame order ; ? , Enter; small buzzer; custom byte not ticked.
    click("CheckBox16");
    click("CheckBox18");
    select("RadioButton30");
    setText("Edit23", "7F");
    click("Button24");
    EXPECT_EQ(lastFrame(), commandFrame("82 09 01 00 01 00 00 01 00 00 00 00 00 00 00 00 00"));
    click("CheckBox17");
    click("CheckBox15");
    click("CheckBox19");
    click("Button24");
    EXPECT_EQ(lastFrame(), commandFrame("82 09 01 01 01 01 00 01 7F 00 00 00 00 00 00 00 00"));
    // Ticked, the custom field is sent even when it reads 00.
    setText("Edit23", "00");
    click("Button24");
    EXPECT_EQ(lastFrame(), commandFrame("82 09 01 01 01 01 00 01 00 00 00 00 00 00 00 00 00"));
    // The prefix and suffix come from the language page.
    setText("Edit24", "02");
    setText("Edit27", "ab");
    setText("Edit44", "0D");
    setText("Edit47", "0A");
    click("Button24");
    EXPECT_EQ(lastFrame(), commandFrame("82 09 01 01 01 01 00 01 00 02 00 00 AB 0D 00 00 0A"));
    EXPECT_EQ(logT(), (QStringList{"Set Up Success   T", "", "Set Up Success   T", "", "Set Up Success   T",
                                   "", "Set Up Success   T", "", "Set Up Success   T", "",
                                   "Set Up Success   T", "", "Set Up Success   T", ""}));
}

TEST_F(OutputFormat, ByteFieldsThatAreNotTwoHexDigitsSendNothing) {
    // Each field would otherwise shift every later byte of the command. The
    // first bad field in frame order is named with what it holds.
    const std::pair<const char*, const char*> cases[] = {
        {"Edit25", ""},  {"Edit24", "1"},   {"Edit26", "123"}, {"Edit27", "0G"},
        {"Edit44", "x"}, {"Edit45", "0x1"}, {"Edit46", "-1"},  {"Edit47", "蓝"},
    };
    QStringList expected;
    const char* names[] = {"Prefix byte 2", "Prefix byte 1", "Prefix byte 3", "Prefix byte 4",
                           "Suffix byte 1", "Suffix byte 2", "Suffix byte 3", "Suffix byte 4"};
    int i = 0;
    for (const auto& [field, text] : cases) {
        setText(field, text);
        click("Button24");
        expected << QString(names[i]) + " must be two hex digits, not \"" + QString::fromUtf8(text) +
                        "\"; nothing was sent.T";
        setText(field, "00");
        ++i;
    }
    EXPECT_EQ(logT(), expected);
    EXPECT_TRUE(frames().empty());

    // Two bad fields: only the first is named. The custom byte counts only
    // when it is ticked.
    form->RichEdit1->clear();
    setText("Edit23", "2B3");
    setText("Edit26", "7");
    setText("Edit46", "");
    click("Button24");
    click("CheckBox19");
    click("Button24");
    EXPECT_EQ(logT(), (QStringList{"Prefix byte 3 must be two hex digits, not \"7\"; nothing was sent.T",
                                   "Custom byte must be two hex digits, not \"2B3\"; nothing was sent.T"}));
    EXPECT_TRUE(frames().empty());

    // Blanks are removed before the check; lower case is fine.
    form->RichEdit1->clear();
    setText("Edit23", " 2 b ");
    setText("Edit26", "0d ");
    setText("Edit46", " a0");
    click("Button24");
    EXPECT_EQ(lastFrame(), commandFrame("82 0F 00 00 00 00 01 01 2B 00 00 0D 00 00 00 A0 00"));
    EXPECT_EQ(logT(), (QStringList{"Set Up Success   T", ""}));
    EXPECT_TRUE(errors.isEmpty());
}

TEST_F(OutputFormat, FourOutcomesOfSetAndRead) {
    for (const char* button : {"Button24", "Button25"}) {
        rfidsim_set_fault(RFIDSIM_REFUSE, 0x81);
        click(button);
        rfidsim_set_fault(RFIDSIM_DAMAGED, 0x55);
        click(button);
        rfidsim_set_fault(RFIDSIM_SILENT, 0);
        click(button);
    }
    const QStringList tail{"data error,please check data..   T", "", "Data error，no data recevice..   T",
                           ""};
    EXPECT_EQ(logT(), QStringList({"Set up format false   T", "参数设置失败....", ""}) + tail +
                          QStringList({"Read format false   T", "参数设置失败....", ""}) + tail);
    EXPECT_EQ(lastFrame(), "AA 00 01 83 82 BB");
}

TEST_F(OutputFormat, ReadShowsTheSettingsInWords) {
    // language, format, ; ? , Enter, buzzer, fixed, custom, prefix, suffix
    scriptAnswer(answerFrame("00 0A 0E 01 00 01 00 01 01 2B 11 22 33 44 55 66 77 88"));
    click("Button25");
    EXPECT_EQ(logT(),
              readLines("8 no. in D (The card last 3bytes)", "add semicolon", "add ,", "do not add ? ",
                        "do not add enter ", {"Custom byte output is  ：  2B"}, "11223344", "55667788"));

    form->RichEdit1->clear();
    scriptAnswer(answerFrame("00 00 09 00 01 00 01 01 01 00 00 00 00 00 00 00 00 00"));
    click("Button25");
    scriptAnswer(answerFrame("00 00 04 00 00 00 00 01 01 00 00 00 00 00 00 00 00 00"));
    click("Button25");
    EXPECT_EQ(logT(), readLines("8 no. in D ", "do not add semicolon ", "do not add , ", "add ?", "add enter",
                                kNoCustom, "00000000", "00000000") +
                          readLines("", "do not add semicolon ", "do not add , ", "do not add ? ",
                                    "do not add enter ", kNoCustom, "00000000", "00000000"));

    // A success answer too short to hold every field is a damaged answer: no
    // field is read from the checksum, the end marker or past the end.
    form->RichEdit1->clear();
    scriptAnswer(answerFrame("00 00 07"));
    click("Button25");
    scriptAnswer(answerFrame("00"));
    click("Button25");
    // One byte short of the last suffix byte.
    scriptAnswer(answerFrame("00 0A 0E 01 00 01 00 01 01 2B 11 22 33 44 55 66 77"));
    click("Button25");
    // A length byte that promises more than arrives.
    scriptAnswer("AA 00 20 00 00 07 00 00 00 00 01 01 00 00 00 00 00 00 27 BB");
    click("Button25");
    EXPECT_EQ(
        logT(),
        (QStringList{"data error,please check data..   T", "", "data error,please check data..   T", "",
                     "data error,please check data..   T", "", "data error,please check data..   T", ""}));
    // A longer answer still shows the fields at their places.
    form->RichEdit1->clear();
    scriptAnswer(answerFrame("00 00 07 00 00 00 00 01 01 00 00 00 00 00 00 00 00 00 99 99"));
    click("Button25");
    EXPECT_EQ(logT(), readLines("10 no. in HEX", "do not add semicolon ", "do not add , ", "do not add ? ",
                                "do not add enter ", kNoCustom, "00000000", "00000000"));
}

TEST_F(OutputFormat, SetThenReadShowsTheChoicesAndMovesNoControl) {
    select("RadioButton22");
    click("CheckBox16");
    click("CheckBox17");
    click("CheckBox18");
    click("CheckBox15");
    select("RadioButton30");
    click("CheckBox19");
    setText("Edit23", "3c");
    setText("Edit24", "01");
    setText("Edit25", "02");
    setText("Edit26", "03");
    setText("Edit27", "04");
    setText("Edit44", "0d");
    setText("Edit45", "0a");
    click("Button24");
    // The language travels in the same settings answer.
    select("RadioButton20");
    click("Button27");

    const QStringList before = controlStates();
    form->RichEdit1->clear();
    click("Button25");
    click("Button28");
    EXPECT_EQ(logT(), readLines("14 no. in HEX reverse  (7 byte)  ", "add semicolon", "add ,", "add ?",
                                "add enter", {"Custom byte output is  ：  3C"}, "01020304", "0D0A0000") +
                          QStringList{"The output language is : Hungary .  T"});
    EXPECT_EQ(controlStates(), before);

    // Factory settings bring the reader back to its defaults; the page still
    // shows what the operator chose.
    click("Button57");
    form->RichEdit1->clear();
    click("Button25");
    EXPECT_EQ(logT(), readLines("10 no.in D", "do not add semicolon ", "do not add , ", "do not add ? ",
                                "do not add enter ", kNoCustom, "00000000", "00000000"));
    EXPECT_EQ(controlStates(), before);
    EXPECT_TRUE(errors.isEmpty());
}
