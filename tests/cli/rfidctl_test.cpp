// rfidctl as a user runs it: a separate process, --sim, the simulated reader's
// settings kept in a file between runs (RFIDSIM_STATE) and every frame it took
// logged (RFIDSIM_LOG).
#include "readersettings.h"
#include "readertables.h"
#include "rfidctl_harness.h"
#include "settingsfile.h"

#include <QCoreApplication>
#include <QFile>

namespace {

struct Outcome {
    int code = -1;
    std::string out;
    std::string err;
};

class Rfidctl : public RfidctlHarness {
protected:
    QString state() const { return dir.filePath("reader.state"); }
    QString log() const { return framesLog(); }

    Outcome run(const QStringList& args, const QStringList& env = {}) {
        const RfidctlRun r = RfidctlHarness::run(args, env);
        return {r.code, r.out.toStdString(), r.err.toStdString()};
    }
    QByteArray stateText() { return read(state()); }
};

// Every key the reader reports, with values other than the reader's defaults.
const QByteArray kFullFile = R"json({
  "version": 1,
  "format": "14 no. in HEX reverse  (7 byte)",
  "add_semicolon": true,
  "add_question_mark": false,
  "add_comma_in_middle": true,
  "add_enter": true,
  "buzzer": "small",
  "custom_byte_enabled": true,
  "custom_byte": "2B",
  "prefix_1": "02",
  "prefix_2": "1F",
  "prefix_3": "00",
  "prefix_4": "A0",
  "suffix_1": "0D",
  "suffix_2": "0A",
  "suffix_3": "FF",
  "suffix_4": "00",
  "language": "Slovenia",
  "reader_mode": "Active read continuity",
  "bluetooth_mode": "BLE mode",
  "bluetooth_name": "Gate 7",
  "sleep_time": "120 minute"
}
)json";

} // namespace

TEST_F(Rfidctl, ApplyThenReadGivesBackWhatWasApplied) {
    const QString path = file("site.json", kFullFile);
    Outcome r = run({"--sim", "apply", path});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out, "Written: keyboard language, output settings, reader mode, Bluetooth mode, Bluetooth "
                     "name, sleep time.\n"
                     "Not checked (the reader does not report them): reader_mode, bluetooth_mode, "
                     "bluetooth_name, sleep_time\n"
                     "Check: the reader agrees with the file.\n");
    // The read that finds what differs, then language, output settings, the
    // four one-byte settings, then the read-back.
    EXPECT_EQ(framesTaken().size(), 8);
    EXPECT_EQ(framesTaken().front(), "> AA 00 01 83 82 BB");

    r = run({"read", "--json", "--sim"});
    ASSERT_EQ(r.code, 0) << r.err;
    rfid::ReaderSettings applied, read;
    QString error;
    ASSERT_TRUE(rfid::parseSettings(kFullFile, "site.json", applied, error));
    ASSERT_TRUE(rfid::parseSettings(QByteArray::fromStdString(r.out), "read", read, error))
        << error.toStdString();
    rfid::ReaderSettings reported = applied;
    for (rfid::SettingKey key : rfid::allSettingKeys()) {
        if (!rfid::readerReports(key))
            rfid::clear(reported, key);
    }
    EXPECT_EQ(read, reported);
    // What the reader cannot report went to it all the same.
    EXPECT_TRUE(
        stateText().contains("reader_mode=03\nbluetooth_mode=02\nbluetooth_name=476174652037\nsleep=08"))
        << stateText().constData();

    // save writes the same settings file that read --json prints.
    r = run({"--sim", "save", dir.filePath("back.json")});
    ASSERT_EQ(r.code, 0) << r.err;
    QFile back(dir.filePath("back.json"));
    ASSERT_TRUE(back.open(QIODevice::ReadOnly));
    EXPECT_EQ(back.readAll().toStdString(), run({"--sim", "read", "--json"}).out);
}

TEST_F(Rfidctl, PartialOutputSettingsKeepTheReadersOthers) {
    ASSERT_EQ(run({"--sim", "apply", file("a.json", kFullFile)}).code, 0);
    QFile::remove(log());
    Outcome r = run({"--sim", "set", "suffix_2=00", "add_enter=false", "--no-verify"});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out, "Written: output settings.\n");
    // The read-back first, then the output settings with only those two bytes changed.
    const QStringList frames = framesTaken();
    ASSERT_EQ(frames.size(), 2);
    EXPECT_EQ(frames[0], "> AA 00 01 83 82 BB");
    EXPECT_TRUE(frames[1].startsWith("> AA 00 11 82 02 01 00 01 00 00 01 2B 02 1F 00 A0 0D 00 FF 00 "))
        << frames[1].toStdString();
}

TEST_F(Rfidctl, CheckFindsTheSettingTheReaderKept) {
    // The simulated reader keeps its Enter flag (output data byte 5).
    const Outcome r = run({"--sim", "apply", file("site.json", kFullFile)}, {"RFIDSIM_IGNORE=5"});
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.out.find("\nadd_enter: reader has false, the file has true\n"), std::string::npos) << r.out;
    EXPECT_EQ(r.err, "rfidctl: the reader differs from the file in 1 setting\n");
    // Without the check the same write counts as done.
    EXPECT_EQ(run({"--sim", "apply", "--no-verify", file("site.json", kFullFile)}, {"RFIDSIM_IGNORE=5"}).code,
              0);
}

TEST_F(Rfidctl, BadFilesAndValuesSendNothing) {
    struct Case {
        QByteArray text;
        std::string error;
    };
    const Case cases[] = {
        {"{\"version\": 1,\n \"language\": German}", ": line 2, column 14: not valid JSON (illegal number)"},
        {"{\"version\": 1, \"colour\": \"red\"}", ": \"colour\": unknown key"},
        {"{\"version\": 1, \"add_enter\": \"yes\"}", ": \"add_enter\": expected true or false, not \"yes\""},
        {"{\"version\": 1, \"prefix_3\": \"100\"}", ": \"prefix_3\": expected two hex digits, not \"100\""},
        {"{\"version\": 1, \"sleep_time\": \"7 minute\"}",
         ": \"sleep_time\": \"7 minute\" is not a sleep time"},
        {"{\"version\": 9, \"language\": \"German\"}",
         ": \"version\": version 9 is newer than this program reads"},
    };
    for (const Case& c : cases) {
        const QString path = file("bad.json", c.text);
        const Outcome r = run({"--sim", "apply", path});
        EXPECT_EQ(r.code, 2) << c.text.constData();
        EXPECT_EQ(r.err.rfind("rfidctl: " + path.toStdString() + c.error, 0), 0u) << r.err;
        EXPECT_NE(r.err.find("; nothing was sent\n"), std::string::npos) << r.err;
        EXPECT_TRUE(r.out.empty());
    }
    EXPECT_EQ(run({"--sim", "apply", dir.filePath("none.json")}).code, 2);
    Outcome r = run({"--sim", "set", "language=German", "custom_byte=2"});
    EXPECT_EQ(r.code, 2);
    EXPECT_EQ(r.err, "rfidctl: \"custom_byte\": expected two hex digits, not \"2\"; nothing was sent\n");
    EXPECT_EQ(run({"--sim", "set", "volume=3"}).code, 2);
    EXPECT_EQ(run({"--sim", "beep", "loud"}).code, 2);
    EXPECT_EQ(run({"--sim", "read", "--yaml"}).code, 2);
    EXPECT_EQ(run({"--sim", "save"}).code, 2);
    EXPECT_EQ(run({"--sim", "frobnicate"}).code, 2);
    EXPECT_TRUE(framesTaken().isEmpty()) << framesTaken().join('\n').toStdString();
    EXPECT_TRUE(stateText().isEmpty()) << "the simulated reader was never asked";
}

TEST_F(Rfidctl, RefusalHalfWayNamesWhatWasWritten) {
    // A reader that refuses the Bluetooth name (error 85) after taking the
    // language and the reader mode.
    const QString path =
        file("half.json", "{\"version\": 1, \"language\": \"German\", \"reader_mode\": "
                          "\"Active read single\", \"bluetooth_name\": \"Gate 7\", \"sleep_time\": "
                          "\"0 minute\"}");
    const Outcome r = run({"--sim", "apply", path}, {"RFIDSIM_REFUSE=88:85"});
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.err, "rfidctl: Stopped at the Bluetooth name: the reader refused it (error 85: a parameter "
                     "or the command's format is wrong). Written: keyboard language, reader mode. Not "
                     "written: Bluetooth name, sleep time.\n");
    const QStringList frames = framesTaken();
    ASSERT_EQ(frames.size(), 4); // the read that finds what differs, then three writes
    EXPECT_TRUE(frames[3].startsWith("> AA 00 07 88 47 61 74 65")) << "no sleep time after the refusal";
}

TEST_F(Rfidctl, OneShotCommandsAndHelp) {
    Outcome r = run({"--sim", "version"});
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.out, "V1.0\n");
    EXPECT_EQ(run({"--sim", "beep", "off"}).out, "Buzzer off.\n");
    EXPECT_TRUE(stateText().contains("buzzer=0\n"));
    EXPECT_EQ(run({"--sim", "set", "language=Japanese"}).code, 0);
    EXPECT_EQ(run({"--sim", "factory-reset"}).code, 0);
    EXPECT_TRUE(stateText().contains("language=00\n"));
    EXPECT_EQ(run({"--sim", "clear-data"}).code, 0);
    EXPECT_TRUE(stateText().contains("stored_records=0\n"));
    EXPECT_EQ(framesTaken(),
              (QStringList{"> AA 00 01 C0 C1 BB", "> AA 00 02 CD 00 CF BB", "> AA 00 01 83 82 BB",
                           "> AA 00 02 80 1C 9E BB", "> AA 00 01 83 82 BB", "> AA 00 01 CF CE BB",
                           "> AA 00 01 0D 0C BB"}));

    r = run({"--help"});
    EXPECT_EQ(r.code, 0);
    for (const char* sub :
         {"read", "save", "apply", "set", "version", "beep", "factory-reset", "clear-data"}) {
        EXPECT_NE(r.out.find(std::string("\n  ") + sub + " "), std::string::npos) << sub;
        const Outcome h = run({sub, "--help"});
        EXPECT_EQ(h.code, 0);
        EXPECT_EQ(h.out.rfind(std::string("Usage: rfidctl [--sim] ") + sub, 0), 0u) << h.out;
    }
    // The commands that take keys name every key a file may hold, and the
    // values a named key takes, so that no README is needed to use them.
    const Outcome keys = run({"set", "--help"});
    for (rfid::SettingKey key : rfid::allSettingKeys())
        EXPECT_NE(keys.out.find("\n  " + rfid::keyName(key).toStdString() + " "), std::string::npos);
    EXPECT_NE(keys.out.find("\"Switzerland-German\""), std::string::npos);
    EXPECT_NE(keys.out.find("\"8 no. in D (The card last 3bytes)\""), std::string::npos);
    r = run({});
    EXPECT_EQ(r.code, 2);
    EXPECT_NE(r.err.find("Usage: rfidctl"), std::string::npos);
}

TEST_F(Rfidctl, NoReaderIsExitThree) {
    // A library search path that holds no USB library at all.
    const Outcome r = run({"version"}, {"LD_LIBRARY_PATH=" + dir.path()});
    EXPECT_EQ(r.code, 3);
    EXPECT_EQ(r.err.rfind("rfidctl: could not read the version: ", 0), 0u) << r.err;
}

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
