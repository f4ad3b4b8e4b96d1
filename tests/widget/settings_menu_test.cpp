// The "Settings" menu: settings files saved and loaded by the window, write all
// with its check, read all, bad files and bad fields, and the round trip
// through the simulated reader to rfidctl in another process.
#include "dialogs.h"
#include "harness.h"
#include "messagelog.h"
#include "readersettings.h"
#include "settingsfile.h"
#include "settingsmenu.h"

#include <QFile>
#include <QMenuBar>
#include <QProcess>
#include <QTemporaryDir>

namespace {

class SettingsMenuTest : public WindowTest {
protected:
    SettingsMenu* menu() const { return form->settingsMenu(); }

    // What the three pages hold now.
    rfid::ReaderSettings controls() const {
        rfid::ReaderSettings s;
        EXPECT_EQ(menu()->windowSettings(s), "");
        return s;
    }

    // Moves every control away from its start value.
    void changeEveryControl() const {
        select("RadioButton22");
        click("CheckBox16");
        click("CheckBox18");
        click("CheckBox15");
        select("RadioButton30");
        click("CheckBox19");
        setText("Edit23", "7e");
        const char* fields[8] = {"Edit24", "Edit25", "Edit26", "Edit27",
                                 "Edit44", "Edit45", "Edit46", "Edit47"};
        const char* values[8] = {"02", "1F", "00", "a0", "0D", "0A", "FF", "00"};
        for (int i = 0; i < 8; ++i)
            setText(fields[i], values[i]);
        select("RadioButton33"); // Romania
        select("RadioButton55"); // active read continuity
        select("RadioButton58"); // BLE
        setText("Edit29", "Gate 7");
        find<QComboBox>("ComboBox20")->setCurrentIndex(8);
    }

    QString write(const QString& name, const QByteArray& text) {
        const QString path = dir.filePath(name);
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(text);
        return path;
    }
    static QByteArray read(const QString& path) {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

    QTemporaryDir dir;
};

// Our own long lines come broken to the log's width.
const char* const kNotChecked = "Not checked (the reader does not report\n"
                                "them): reader mode, Bluetooth mode,\n"
                                "Bluetooth name, sleep time   T";

// A report line as the log shows it: broken to the log's width, the time stamp
// (shown as T) on the last line, an empty line after it.
QStringList fitted(const QString& text) {
    QStringList lines = rfid::fitToWidth(text, QStringLiteral("   12:59:59 PM"), rfid::kFitChars);
    lines.last().replace(QStringLiteral("12:59:59 PM"), QStringLiteral("T"));
    return lines << QString();
}

// Whether the log's lines hold `text`'s lines one after the other.
bool holds(const QStringList& lines, const QString& text) {
    return (QLatin1Char('\n') + lines.join('\n') + QLatin1Char('\n')).contains('\n' + text + '\n');
}

} // namespace

TEST_F(SettingsMenuTest, MenuBesideTheOthers) {
    QStringList titles;
    for (QAction* a : form->menuBar()->actions())
        titles << a->text();
    // The menus that were there keep their places; the new ones follow them.
    EXPECT_EQ(titles, (QStringList{"System", "Stype", "About", "Settings", "Reader", "Tools"}));
    QStringList items;
    for (QAction* a : find<QMenu>("NSettings")->actions()) {
        if (!a->isSeparator())
            items << a->objectName() + "=" + a->text();
    }
    EXPECT_EQ(items,
              (QStringList{"NSettingsSave=Save settings to file…", "NSettingsLoad=Load settings from file…",
                           "NSettingsWriteAll=Write all to reader", "NSettingsReadAll=Read all from reader",
                           "NSettingsCheck=Check reader against settings"}));
}

TEST_F(SettingsMenuTest, RoundTripThroughFilesTheReaderAndRfidctl) {
    const QString state = dir.filePath("reader.state");
    qputenv("RFIDSIM_STATE", state.toLocal8Bit());

    changeEveryControl();
    const rfid::ReaderSettings chosen = controls();
    const QString saved = dir.filePath("window.json");
    // Through the menu item, as the operator does it.
    rfid::setFileDialogAnswers([&](const QString&, const QString&) { return saved; }, {});
    find<QAction>("NSettingsSave")->trigger();
    rfid::setFileDialogAnswers({}, {});
    ASSERT_TRUE(errors.isEmpty()) << errors.join('\n').toStdString();
    EXPECT_TRUE(frames().empty());

    // A fresh window takes the file; nothing is sent until "Write all".
    form = std::make_unique<TForm1>();
    form->setExitAction([] {});
    form->RichEdit1->clear();
    rfid::setFileDialogAnswers({}, [&](const QString&, const QString&) { return saved; });
    find<QAction>("NSettingsLoad")->trigger();
    rfid::setFileDialogAnswers({}, {});
    EXPECT_EQ(controls(), chosen);
    EXPECT_TRUE(frames().empty());
    EXPECT_TRUE(find<QRadioButton>("RadioButton33")->isChecked());
    EXPECT_EQ(find<QLineEdit>("Edit27")->text(), "A0");
    EXPECT_EQ(find<QComboBox>("ComboBox20")->currentText(), "120 minute");

    form->RichEdit1->clear();
    find<QAction>("NSettingsWriteAll")->trigger();
    const QStringList lines = logT();
    qunsetenv("RFIDSIM_STATE");
    // Each page's own report, then the summary and the check.
    EXPECT_EQ(lines.filter("success", Qt::CaseInsensitive).size(), 6) << lines.join('\n').toStdString();
    EXPECT_TRUE(holds(lines, "Write all: keyboard language, output\nsettings, reader mode, Bluetooth mode,\n"
                             "Bluetooth name, sleep time\nwritten   T"))
        << lines.join('\n').toStdString();
    EXPECT_TRUE(lines.contains("Check: the reader agrees with the window"));
    EXPECT_TRUE(holds(lines, kNotChecked));
    const std::vector<QString> sent = frames();
    ASSERT_EQ(sent.size(), 7u);
    EXPECT_EQ(sent[1].toStdString(), "AA 00 11 82 02 01 00 01 01 00 01 7E 02 1F 00 A0 0D 0A FF 00 AA BB");

    // Another process reads the same reader back into a file.
    const QString fromReader = dir.filePath("reader.json");
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("RFIDSIM_STATE", state);
    p.setProcessEnvironment(env);
    p.start(QStringLiteral(RFIDCTL_PATH), {"--sim", "save", fromReader});
    ASSERT_TRUE(p.waitForFinished(30000));
    ASSERT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
    // The window's file without what the reader cannot report, to the byte.
    rfid::ReaderSettings reportable;
    QString error;
    ASSERT_TRUE(rfid::loadSettingsFile(saved, reportable, error));
    for (rfid::SettingKey key : rfid::allSettingKeys()) {
        if (!rfid::readerReports(key))
            rfid::clear(reportable, key);
    }
    EXPECT_EQ(read(fromReader).toStdString(), rfid::settingsToJson(reportable).toStdString());
    EXPECT_TRUE(read(saved).startsWith(read(fromReader).chopped(3))) << "the same keys in the same order";
}

TEST_F(SettingsMenuTest, SaveGivesANewNameTheSettingsSuffix) {
    const QString chosen = dir.filePath("office");
    rfid::setFileDialogAnswers([&](const QString&, const QString&) { return chosen; }, {});
    find<QAction>("NSettingsSave")->trigger();
    EXPECT_TRUE(QFile::exists(chosen + ".json"));
    EXPECT_FALSE(QFile::exists(chosen));
    EXPECT_EQ(logT(), fitted("Settings saved to " + chosen + ".json"));

    // A file that is there already keeps the name it was chosen by.
    const QString existing = write("office-backup", "old");
    rfid::setFileDialogAnswers([&](const QString&, const QString&) { return existing; }, {});
    find<QAction>("NSettingsSave")->trigger();
    rfid::setFileDialogAnswers({}, {});
    EXPECT_TRUE(read(existing).startsWith("{\n  \"version\": 1,"));
    EXPECT_FALSE(QFile::exists(existing + ".json"));
    ASSERT_TRUE(errors.isEmpty()) << errors.join('\n').toStdString();
}

TEST_F(SettingsMenuTest, BadFilesChangeNothingAndSendNothing) {
    changeEveryControl();
    const rfid::ReaderSettings before = controls();
    struct Case {
        QByteArray text;
        QString error; // after the file's name
    };
    const Case cases[] = {
        {"{\"version\": 1,\n\"format\": \"5 no. in D\",\n\"add_enter\": tru}",
         ": line 3, column 15: not valid JSON (illegal value)"},
        {"{\"version\": 1, \"format\": \"5 no. in D\", \"beep\": true}", ": \"beep\": unknown key"},
        {"{\"version\": 1, \"format\": \"5 no. in D\", \"language\": 10}",
         ": \"language\": expected a text in quotes, not 10"},
        {"{\"version\": 1, \"format\": \"5 no. in D\", \"prefix_1\": \"G0\"}",
         ": \"prefix_1\": expected two hex digits, not \"G0\""},
        {"{\"version\": 1, \"format\": \"5 no. in D\", \"bluetooth_mode\": \"USB mode\"}",
         ": \"bluetooth_mode\": \"USB mode\" is not a Bluetooth mode (one of \"HID mode\", \"SPP mode\", "
         "\"BLE "
         "mode\")"},
        {"{\"version\": 2, \"format\": \"5 no. in D\"}",
         ": \"version\": version 2 is newer than this program reads (1); use a newer program"},
    };
    for (const Case& c : cases) {
        errors.clear();
        const QString path = write("bad.json", c.text);
        menu()->loadSettings(path);
        EXPECT_EQ(errors.join('\n').toStdString(), (path + c.error).toStdString());
        EXPECT_EQ(controls(), before) << c.text.constData();
    }
    EXPECT_TRUE(frames().empty());
    EXPECT_TRUE(log().isEmpty()) << log().join('\n').toStdString();
}

TEST_F(SettingsMenuTest, BadFieldsAreRefusedBeforeAnythingIsSent) {
    setText("Edit25", "1");
    menu()->writeAllToReader();
    menu()->checkReader();
    const QStringList prefix = fitted("Prefix byte 2 must be two hex digits, not \"1\"; nothing was sent.");
    EXPECT_EQ(logT(), prefix + prefix);
    menu()->saveSettings(dir.filePath("never.json"));
    EXPECT_EQ(errors,
              QStringList{"Prefix byte 2 must be two hex digits, not \"1\"; the settings were not saved."});
    EXPECT_FALSE(QFile::exists(dir.filePath("never.json")));

    setText("Edit25", " 0 d ");
    click("CheckBox19");
    setText("Edit23", "2B3");
    form->RichEdit1->clear();
    menu()->writeAllToReader();
    EXPECT_EQ(logT(), fitted("Custom byte must be two hex digits, not \"2B3\"; nothing was sent."));
    // Not ticked, the custom byte is not sent and so not checked.
    click("CheckBox19");
    setText("Edit29", "");
    form->RichEdit1->clear();
    menu()->writeAllToReader();
    EXPECT_EQ(logT(), fitted("Bluetooth name: the Bluetooth name must not be empty."));
    EXPECT_TRUE(frames().empty());
}

TEST_F(SettingsMenuTest, BluetoothNamesTheReaderWouldChangeAreRefused) {
    const QString why = QString::fromUtf8(
        "Bluetooth name: the Bluetooth name holds \"Ä\", which the reader's code page (GBK) cannot hold; "
        "the reader would show \"?\" instead");
    setText("Edit29", QString::fromUtf8("Ä-Leser"));
    menu()->writeAllToReader();
    EXPECT_EQ(logT(), fitted(why + "."));
    menu()->saveSettings(dir.filePath("never.json"));
    EXPECT_EQ(errors, QStringList{why + "; the settings were not saved."});
    EXPECT_FALSE(QFile::exists(dir.filePath("never.json")));

    form->RichEdit1->clear();
    setText("Edit29", QString(31, 'x'));
    menu()->writeAllToReader();
    EXPECT_EQ(logT(),
              fitted("Bluetooth name: the Bluetooth name takes 31 bytes; the reader takes at most 30."));
    EXPECT_TRUE(frames().empty());

    // The page's own button sends the field as it always did.
    setText("Edit29", QString::fromUtf8("Ä"));
    click("Button41");
    EXPECT_EQ(lastFrame(), "AA 00 02 88 3F B5 BB");
}

TEST_F(SettingsMenuTest, CheckFindsTheSettingTheReaderKept) {
    click("CheckBox15");     // add Enter
    select("RadioButton38"); // German
    rfidsim_set_fault(RFIDSIM_IGNORE_SETTING, 5);
    menu()->writeAllToReader();
    QStringList lines = logT();
    EXPECT_TRUE(holds(lines, "add_enter: reader has false, the window\nhas true"))
        << lines.join('\n').toStdString();
    EXPECT_FALSE(lines.contains("Check: the reader agrees with the window"));

    rfidsim_set_fault(RFIDSIM_OK, 0);
    form->RichEdit1->clear();
    select("RadioButton33"); // Romania, not sent
    menu()->checkReader();
    EXPECT_EQ(logT().join('\n'), QStringLiteral("add_enter: reader has false, the window\nhas true\n"
                                                "language: reader has German, the window\nhas Romania\n") +
                                     kNotChecked + "\n");
    EXPECT_EQ(frames().size(), 8u) << "seven of write all, one of the check";
}

TEST_F(SettingsMenuTest, RefusalHalfWayNamesWhatWasWritten) {
    // The reader takes the first four settings and refuses the Bluetooth name
    // (error 10: a parameter beyond the allowed range).
    for (int i = 0; i < 4; ++i)
        scriptAnswer(answerFrame("00"));
    scriptAnswer(answerFrame("01 10"));
    setText("Edit29", "A name far longer than thirty");
    menu()->writeAllToReader();
    const QStringList lines = logT();
    EXPECT_TRUE(holds(lines,
                      "Stopped at the Bluetooth name: the\nreader refused it. Written: keyboard\n"
                      "language, output settings, reader mode,\nBluetooth mode. Not written: Bluetooth\n"
                      "name, sleep time.   T\n"))
        << lines.join('\n').toStdString();
    EXPECT_EQ(frames().size(), 5u);
    EXPECT_TRUE(lastFrame().startsWith("AA 00 1E 88 41"));

    form->RichEdit1->clear();
    setText("Edit29", "Gate");
    rfidsim_set_fault(RFIDSIM_SILENT, 0);
    menu()->writeAllToReader();
    EXPECT_TRUE(holds(logT(),
                      "Stopped at the keyboard language: no\nanswer from the reader. Written:\n"
                      "nothing. Not written: keyboard language,\noutput settings, reader mode, Bluetooth\n"
                      "mode, Bluetooth name, sleep\ntime.   T\n"))
        << logT().join('\n').toStdString();
}

TEST_F(SettingsMenuTest, EachStepIsLoggedAsTheFlowReadsTheAnswer) {
    // Answers a page's own button reads by byte 3 alone, but that carry no
    // status the length counts: the step's line and the stop agree on "damaged".
    for (const char* answer : {"AA 00 00 00 BB", "AA 00 01 01 00 BB"}) {
        form->RichEdit1->clear();
        scriptAnswer(answer);
        menu()->writeAllToReader();
        const QStringList lines = logT();
        ASSERT_GE(lines.size(), 4) << answer;
        EXPECT_EQ(lines.at(0), "data error,please check data..   T") << answer;
        EXPECT_TRUE(lines.mid(2).join('\n').startsWith(
            "Stopped at the keyboard language: the\nreader's answer was damaged."))
            << answer;
    }
}

TEST_F(SettingsMenuTest, ReadAllMovesTheControlsTheReaderReports) {
    // Language German, format 02, ; and , added, small buzzer, custom byte 2B, prefix 02.
    scriptAnswer(answerFrame("00 0A 02 01 00 01 00 00 01 2B 02 00 00 00 0D 00 00 00"));
    select("RadioButton55");
    menu()->readAllFromReader();
    EXPECT_TRUE(find<QRadioButton>("RadioButton38")->isChecked());
    EXPECT_TRUE(find<QRadioButton>("RadioButton22")->isChecked());
    EXPECT_TRUE(find<QCheckBox>("CheckBox16")->isChecked());
    EXPECT_FALSE(find<QCheckBox>("CheckBox17")->isChecked());
    EXPECT_TRUE(find<QCheckBox>("CheckBox18")->isChecked());
    EXPECT_TRUE(find<QRadioButton>("RadioButton30")->isChecked());
    EXPECT_TRUE(find<QCheckBox>("CheckBox19")->isChecked());
    EXPECT_EQ(find<QLineEdit>("Edit24")->text(), "02");
    EXPECT_EQ(find<QLineEdit>("Edit44")->text(), "0D");
    EXPECT_TRUE(find<QRadioButton>("RadioButton55")->isChecked()) << "the reader does not report its mode";
    EXPECT_TRUE(holds(logT(),
                      "Read all: the keyboard language and\noutput settings now show what the reader\n"
                      "holds. Not read (the reader does not\nreport them): reader mode, Bluetooth\n"
                      "mode, Bluetooth name, sleep\ntime   T\n"))
        << logT().join('\n').toStdString();

    // A format the window has no button for, and no custom byte.
    form->RichEdit1->clear();
    scriptAnswer(answerFrame("00 0A 04 00 00 00 00 01 01 00 00 00 00 00 00 00 00 00"));
    menu()->readAllFromReader();
    EXPECT_TRUE(find<QRadioButton>("RadioButton22")->isChecked());
    EXPECT_FALSE(find<QCheckBox>("CheckBox19")->isChecked());
    EXPECT_EQ(find<QLineEdit>("Edit23")->text(), "2B");
    EXPECT_TRUE(
        holds(logT(), "format: the reader has code 04, which\nthe window cannot show; left as it is"));

    // Too short, refused, silent: no control moves.
    const rfid::ReaderSettings before = controls();
    form->RichEdit1->clear();
    scriptAnswer(answerFrame("00 0A 02 01"));
    menu()->readAllFromReader();
    rfidsim_set_fault(RFIDSIM_REFUSE, 0x89);
    menu()->readAllFromReader();
    rfidsim_set_fault(RFIDSIM_SILENT, 0);
    menu()->readAllFromReader();
    EXPECT_EQ(logT().join('\n').toStdString(),
              "Read all: the reader's answer was too\nshort to hold its settings   T\n\n"
              "Read all: the reader refused\nit   T\n"
              "The parameter of the command or the Format of the command Erro...\n\n"
              "Read all: no answer from the\nreader   T\n");
    EXPECT_EQ(controls(), before);
}
