// The reader-settings core: command bytes, read-back answers, names in files,
// settings files and their errors, the check's lines.
#include "hex.h"
#include "model.h"
#include "readersettings.h"
#include "readertables.h"
#include "settingsfile.h"
#include "status.h"
#include "version.h"

#include <QFile>
#include <QJsonValue>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace rfid;

namespace {

// What the window holds before anyone touches it.
ReaderSettings windowDefaults() {
    ReaderSettings s;
    s.format = 0x0F;
    s.semicolon = s.questionMark = s.commaInMiddle = s.enter = false;
    s.bigBuzzer = true;
    s.customByteEnabled = false;
    s.customByte = 0x2B;
    s.prefix = {0, 0, 0, 0};
    s.suffix = {0, 0, 0, 0};
    s.language = 0x00;
    s.readerMode = 0x01;
    s.bluetoothMode = 0x00;
    s.bluetoothName = QStringLiteral("Bluetooth1.0");
    s.sleepTime = 0x01;
    return s;
}

// A set where every output byte differs from its neighbours.
ReaderSettings distinctOutput() {
    ReaderSettings s = windowDefaults();
    s.format = 0x0E;
    s.semicolon = true;
    s.enter = true;
    s.bigBuzzer = false;
    s.customByteEnabled = true;
    s.customByte = 0xAB;
    s.prefix = {0x11, 0x22, 0x33, 0x44};
    s.suffix = {0x55, 0x66, 0x77, 0x88};
    s.language = 0x13;
    return s;
}

QString frame(const QString& command) {
    return buildFrame(QStringLiteral("00"), command).frame.text;
}

QString hexOf(const rfidsim::Bytes& b) {
    return toHex(b.data(), int(b.size()));
}

// Runs a command through the simulated firmware and gives the answer frame as hex.
QString simAnswer(rfidsim::Reader& reader, const QString& command) {
    const std::vector<std::uint8_t> bytes = hexToBytes(frame(command));
    reader.write(bytes.data(), int(bytes.size()));
    std::uint8_t buffer[256] = {};
    return toHex(buffer, reader.read(buffer, 245));
}

std::string parseError(const QByteArray& text) {
    ReaderSettings s = distinctOutput();
    const ReaderSettings before = s;
    QString error;
    EXPECT_FALSE(parseSettings(text, QStringLiteral("site.json"), s, error)) << text.constData();
    EXPECT_EQ(s, before) << "a refused file changes nothing";
    return error.toStdString();
}

} // namespace

TEST(SettingsCommands, OutputSettingsBytesInFrameOrder) {
    // The window's start values give the frame the output format page sends.
    const auto defaults = outputSettingsBytes(windowDefaults());
    ASSERT_TRUE(defaults);
    EXPECT_EQ(frame(outputSettingsCommand(*defaults)), "AA0011820F0000000001010000000000000000009CBB");

    const auto bytes = outputSettingsBytes(distinctOutput());
    ASSERT_TRUE(bytes);
    EXPECT_EQ(outputSettingsCommand(*bytes), "82"
                                             "0E01000001" // format ; ? , Enter
                                             "0001AB"     // small buzzer, fixed, custom
                                             "11223344"
                                             "55667788");
    // A custom byte that is not enabled goes out as 00, whatever its value.
    ReaderSettings off = distinctOutput();
    off.customByteEnabled = false;
    EXPECT_EQ(outputSettingsCommand(*outputSettingsBytes(off)).mid(12, 6), "0001"
                                                                           "00");
    // Any output field missing: no output command at all.
    ReaderSettings partial = distinctOutput();
    partial.suffix[3].reset();
    EXPECT_FALSE(outputSettingsBytes(partial));
    partial = distinctOutput();
    partial.customByte.reset();
    EXPECT_FALSE(outputSettingsBytes(partial));
}

TEST(SettingsCommands, SingleSettingFramesAndWriteOrder) {
    const ReaderSettings d = windowDefaults();
    EXPECT_EQ(frame(languageCommand(*d.language)), "AA00028000"
                                                   "82BB");
    EXPECT_EQ(frame(readerModeCommand(*d.readerMode)), "AA00020F010CBB");
    EXPECT_EQ(frame(bluetoothModeCommand(*d.bluetoothMode)), "AA000222"
                                                             "0020BB");
    EXPECT_EQ(frame(sleepTimeCommand(*d.sleepTime)), "AA00020E010DBB");
    EXPECT_EQ(frame(bluetoothNameCommand(*d.bluetoothName)), "AA000D88426C7565746F6F7468312E30FCBB");
    EXPECT_EQ(frame(languageCommand(0x0A)), "AA0002800A88BB");

    QStringList order;
    for (const WriteStep& step : writeSteps(d))
        order << step.what;
    EXPECT_EQ(order, (QStringList{"keyboard language", "output settings", "reader mode", "Bluetooth mode",
                                  "Bluetooth name", "sleep time"}));
    ReaderSettings only;
    only.sleepTime = 0x08;
    ASSERT_EQ(writeSteps(only).size(), 1);
    EXPECT_EQ(writeSteps(only).front().command, "0E08");
}

// An answer held as hex text, read by the one status rule.
static Answer parseAnswer(const QString& hex) {
    return readAnswer(hexToBytes(hex));
}

TEST(SettingsReadBack, RoundTripThroughTheSimulatedFirmware) {
    rfidsim::Reader reader;
    const ReaderSettings wanted = distinctOutput();
    ASSERT_EQ(simAnswer(reader, languageCommand(*wanted.language)), hexOf(rfidsim::encodeFrame(0, {})));
    simAnswer(reader, outputSettingsCommand(*outputSettingsBytes(wanted)));

    const Answer answer = parseAnswer(simAnswer(reader, readSettingsCommand()));
    ASSERT_EQ(answer.status, AnswerStatus::Success);
    ASSERT_EQ(answer.payload.size(), std::size_t(kReadBackBytes));
    const auto got = decodeReadBack(answer.payload);
    ASSERT_TRUE(got);
    EXPECT_TRUE(compareSettings(*got, wanted, QStringLiteral("the file")).isEmpty())
        << compareSettings(*got, wanted, QStringLiteral("the file")).join('\n').toStdString();
    EXPECT_EQ(*got->customByte, 0xAB);
    EXPECT_FALSE(*got->bigBuzzer);
    EXPECT_FALSE(got->readerMode) << "the reader does not report its mode";
}

TEST(SettingsReadBack, AnswersAreReadFromThePayloadOnly) {
    // Status 00 with a two-byte payload; the checksum and end marker are not data.
    Answer a = parseAnswer("AA000300"
                           "0A0F"
                           "06BB");
    EXPECT_EQ(a.status, AnswerStatus::Success);
    EXPECT_EQ(a.payload, (std::vector<std::uint8_t>{0x0A, 0x0F}));
    EXPECT_FALSE(decodeReadBack(a.payload)) << "too short to hold the settings";

    // Cut short: the length claims 18 bytes, eleven arrive, all of them data.
    a = parseAnswer("AA001200"
                    "0A0F0000000001");
    EXPECT_EQ(a.status, AnswerStatus::Success);
    EXPECT_EQ(a.payload.size(), 7u);
    // Without the end marker only: the last byte there is the checksum.
    rfidsim::Reader reader;
    QString full = simAnswer(reader, readSettingsCommand());
    a = parseAnswer(full.left(full.size() - 2));
    EXPECT_EQ(a.payload.size(), std::size_t(kReadBackBytes));
    a = parseAnswer(full.left(full.size() - 4));
    EXPECT_EQ(a.payload.size(), std::size_t(kReadBackBytes));
    a = parseAnswer(full.left(full.size() - 6));
    EXPECT_FALSE(decodeReadBack(a.payload));

    EXPECT_EQ(parseAnswer("").status, AnswerStatus::NoAnswer);
    a = parseAnswer("AA00020183"
                    "80BB");
    EXPECT_EQ(a.status, AnswerStatus::Refused);
    EXPECT_EQ(a.errorCode, 0x83);
    EXPECT_EQ(parseAnswer("AA000101"
                          "00BB")
                  .status,
              AnswerStatus::Damaged)
        << "refusal without a code";
    EXPECT_EQ(parseAnswer("AA000102"
                          "03BB")
                  .status,
              AnswerStatus::Damaged);
    EXPECT_EQ(parseAnswer("AA00").status, AnswerStatus::Damaged);
    EXPECT_EQ(parseAnswer("AA000000BB").status, AnswerStatus::Damaged) << "a length without the status";
    EXPECT_EQ(versionText(parseAnswer("AA000600"
                                      "56312E3035"
                                      "00BB")),
              "V1.05");
}

TEST(SettingsReadBack, RefusalsAreGivenInEnglishWithTheCode) {
    Answer refused;
    refused.status = AnswerStatus::Refused;
    refused.errorCode = 0x10;
    EXPECT_EQ(answerProblem(refused),
              "the reader refused it (error 10: a parameter is larger than the largest allowed)");
    refused.errorCode = 0x8F;
    EXPECT_EQ(answerProblem(refused),
              "the reader refused it (error 8F: the reader does not know the command)");
    refused.errorCode = 0x42;
    EXPECT_EQ(answerProblem(refused), "the reader refused it (error 42)");
    // Every reason the reader has in its own words has an English one, and the
    // window's texts stay the reader's own. The window's table has the codes
    // 01, 05 and 7F only in their short form, which never matches.
    const QStringList shortInTheWindow{"01", "05", "7F"};
    for (int code = 0x01; code < 0x100; ++code) {
        const QString text = QStringLiteral("%1").arg(code, 2, 16, QLatin1Char('0')).toUpper();
        const bool windowHasIt = !shortInTheWindow.contains(text);
        EXPECT_EQ(refusalReason(text).isEmpty(), windowHasIt && falsereason(text).isEmpty())
            << text.toStdString();
        EXPECT_TRUE(windowHasIt || falsereason(text).isEmpty()) << text.toStdString();
        for (QChar c : refusalReason(text))
            EXPECT_LT(c.unicode(), 0x80) << text.toStdString();
    }
    EXPECT_EQ(refusalReason("00"), "");
    EXPECT_EQ(refusalReason("8a"), "");
    EXPECT_EQ(falsereason("10"), QString::fromUtf8("输入的参数大于最大允许范围，溢出....."));
}

TEST(SettingsNames, AsPeopleWriteThem) {
    ReaderSettings s;
    EXPECT_EQ(setFromJson(s, SettingKey::Language, QJsonValue("  german ")), "");
    EXPECT_EQ(*s.language, 0x0A);
    EXPECT_EQ(valueText(s, SettingKey::Language), "German");
    // Read-back names and captions both work, whatever the blanks.
    EXPECT_EQ(setFromJson(s, SettingKey::Format, QJsonValue("14 no. in HEX reverse (7 byte)")), "");
    EXPECT_EQ(*s.format, 0x02);
    EXPECT_EQ(setFromJson(s, SettingKey::Format, QJsonValue("10 no.in D(four byte)")), "");
    EXPECT_EQ(valueText(s, SettingKey::Format), "10 no.in D");
    // Two formats share one caption: the name must say which.
    EXPECT_EQ(setFromJson(s, SettingKey::Format, QJsonValue("8 no. in D (last 4 bytes)")),
              "\"8 no. in D (last 4 bytes)\" names more than one format; write \"8 no. in D\" or "
              "\"8 no. in D (The card last 3bytes)\"");
    EXPECT_EQ(*s.format, 0x0F) << "unchanged after an error";
    EXPECT_EQ(setFromJson(s, SettingKey::Format, QJsonValue("8 no. in D")), "");
    EXPECT_EQ(*s.format, 0x09);

    EXPECT_EQ(setFromJson(s, SettingKey::SleepTime, QJsonValue("0.5 minute")), "");
    EXPECT_EQ(setFromJson(s, SettingKey::SleepTime, QJsonValue("120   minute")), "");
    EXPECT_EQ(*s.sleepTime, 0x08);
    EXPECT_EQ(valueText(s, SettingKey::SleepTime), "120 minute");
    EXPECT_EQ(setFromJson(s, SettingKey::SleepTime, QJsonValue("3 minute")),
              "\"3 minute\" is not a sleep time (one of \"0 minute\", \"0.5 minute\", \"1 minute\", "
              "\"2 minute\", \"5 minute\", \"10 minute\", \"30 minute\", \"60 minute\", \"120 minute\")");
    EXPECT_EQ(setFromJson(s, SettingKey::BluetoothMode, QJsonValue("Hid mode")), "");
    EXPECT_EQ(valueText(s, SettingKey::BluetoothMode), "HID mode");
    EXPECT_EQ(setFromJson(s, SettingKey::Buzzer, QJsonValue("Small Buzzer")), "");
    EXPECT_EQ(valueText(s, SettingKey::Buzzer), "small");

    // Unknown codes from a reader are shown, and cannot go into a file.
    s.language = 0x1E;
    EXPECT_EQ(valueText(s, SettingKey::Language), "code 1E");
    QStringList skipped;
    EXPECT_FALSE(settingsToJson(s, &skipped).contains("language"));
    EXPECT_EQ(skipped, QStringList{"language (code 1E)"});
}

TEST(SettingsNames, BytesAndFlags) {
    ReaderSettings s;
    EXPECT_EQ(setFromJson(s, SettingKey::Prefix2, QJsonValue("0d")), "");
    EXPECT_EQ(valueText(s, SettingKey::Prefix2), "0D");
    for (const char* bad : {"1", "123", "GG", "", "0x", "+1", " 1 ", "-1"}) {
        EXPECT_EQ(setFromJson(s, SettingKey::Prefix2, QJsonValue(bad)),
                  QStringLiteral("expected two hex digits, not \"%1\"").arg(bad));
    }
    EXPECT_EQ(setFromJson(s, SettingKey::Prefix2, QJsonValue(13)),
              "expected two hex digits in quotes, such as \"0D\", not 13");
    EXPECT_EQ(setFromJson(s, SettingKey::Enter, QJsonValue("true")), "expected true or false, not \"true\"");
    EXPECT_EQ(setFromText(s, SettingKey::Enter, "TRUE"), "");
    EXPECT_EQ(setFromText(s, SettingKey::Enter, "yes"), "expected true or false, not \"yes\"");
    EXPECT_EQ(setFromJson(s, SettingKey::BluetoothName, QJsonValue("")),
              "the Bluetooth name must not be empty");
    EXPECT_EQ(setFromJson(s, SettingKey::BluetoothName, QJsonValue(QString(31, 'x'))),
              "the Bluetooth name takes 31 bytes; the reader takes at most 30");
    EXPECT_EQ(setFromJson(s, SettingKey::BluetoothName, QJsonValue(QString(30, 'x'))), "");
}

TEST(SettingsNames, BluetoothNamesArriveAsWrittenOrAreRefused) {
    ReaderSettings s;
    s.bluetoothName = QStringLiteral("kept");
    auto refused = [&s](const QString& name) {
        const ReaderSettings before = s;
        const QString why = setFromText(s, SettingKey::BluetoothName, name);
        EXPECT_EQ(s, before) << name.toStdString();
        return why.toStdString();
    };
    // Characters the code page cannot hold would arrive as "?".
    EXPECT_EQ(refused(QString::fromUtf8("ÄÖÜ-Leser")),
              "the Bluetooth name holds \"Ä\", \"Ö\" and \"Ü\", which the reader's code page (GBK) "
              "cannot hold; the reader would show \"?\" instead");
    EXPECT_EQ(refused(QString::fromUtf8("Gate 😀")),
              "the Bluetooth name holds \"😀\", which the reader's code page (GBK) cannot hold; the "
              "reader would show \"?\" instead");
    EXPECT_EQ(refused(QString(QChar(0xD800)) + "x").rfind("the Bluetooth name holds ", 0), 0u);
    // Control characters, from NUL to the C1 codes.
    EXPECT_EQ(refused(QString("Gate") + QChar(0) + "7"),
              "the Bluetooth name must not hold control characters (it holds \"\\u0000\")");
    EXPECT_EQ(refused("Gate\n7\t"),
              "the Bluetooth name must not hold control characters (it holds \"\\n\" and \"\\t\")");
    EXPECT_NE(refused(QString("Gate") + QChar(0x85)), "");
    EXPECT_NE(refused(QString("Gate") + QChar(0x7F)), "");
    // The length counts the bytes the reader receives: a Chinese character takes two.
    EXPECT_EQ(refused(QString(16, QChar(0x8BFB))),
              "the Bluetooth name takes 32 bytes; the reader takes at most 30");
    EXPECT_EQ(setFromText(s, SettingKey::BluetoothName, QString(15, QChar(0x8BFB))), "");
    EXPECT_EQ(setFromText(s, SettingKey::BluetoothName, QString::fromUtf8("Leser ü é ? 读卡器")), "");
    EXPECT_EQ(bluetoothNameBytes(QString::fromUtf8("读")).size(), 2);
    EXPECT_EQ(kMaxBluetoothNameBytes, 30);
    EXPECT_EQ(valueHelp(SettingKey::BluetoothName), "text of at most 30 bytes (ASCII: 1 each, Chinese: 2)");
}

#ifdef RFID_SOURCE_DIR
TEST(SettingsNames, TheReadmeGivesTheSameNameLimit) {
    QFile readme(QStringLiteral(RFID_SOURCE_DIR "/README.md"));
    ASSERT_TRUE(readme.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(readme.readAll());
    EXPECT_TRUE(text.contains(QStringLiteral("| `bluetooth_name` | text, not empty, at most %1 bytes")
                                  .arg(kMaxBluetoothNameBytes)));
}
#endif

TEST(SettingsFile, SaveAndLoadGiveTheSameSettings) {
    QTemporaryDir dir;
    const QString path = dir.filePath("a.json");
    QString error;
    for (const ReaderSettings& s : {windowDefaults(), distinctOutput(), ReaderSettings{}}) {
        ASSERT_TRUE(saveSettingsFile(path, s, error)) << error.toStdString();
        ReaderSettings back;
        back.language = 0x05; // overwritten on success
        ASSERT_TRUE(loadSettingsFile(path, back, error)) << error.toStdString();
        EXPECT_EQ(back, s);
    }
    EXPECT_EQ(settingsToJson(ReaderSettings{}), "{\n  \"version\": 1\n}\n");
    ReaderSettings some;
    some.enter = true;
    some.prefix[0] = 0x02;
    some.language = 0x0A;
    EXPECT_EQ(settingsToJson(some), "{\n  \"version\": 1,\n  \"add_enter\": true,\n  \"prefix_1\": \"02\",\n"
                                    "  \"language\": \"German\"\n}\n");
    ReaderSettings unchanged = some;
    EXPECT_FALSE(loadSettingsFile(dir.filePath("missing.json"), unchanged, error));
    EXPECT_TRUE(error.startsWith(dir.filePath("missing.json") + ": cannot be read (")) << error.toStdString();
    EXPECT_EQ(unchanged, some);
}

TEST(SettingsFile, BadFilesNameTheFileTheKeyAndTheFault) {
    EXPECT_EQ(parseError("{\n  \"version\": 1,\n  \"language\" \"German\"\n}"),
              "site.json: line 3, column 15: not valid JSON (missing name separator)");
    EXPECT_EQ(parseError(""), "site.json: the file is empty (a settings file holds a JSON object such as "
                              "{\"version\": 1, \"language\": \"German\"})");
    EXPECT_EQ(parseError("[1]"), "site.json: not a settings file (expected a JSON object in { })");
    EXPECT_EQ(parseError("{}"), "site.json: \"version\" is missing (this program writes version 1)");
    EXPECT_EQ(parseError("{\"version\": 2}"),
              "site.json: \"version\": version 2 is newer than this program reads (1); use a newer program");
    EXPECT_EQ(
        parseError("{\"version\": 1e300}"),
        "site.json: \"version\": version 1e+300 is newer than this program reads (1); use a newer program");
    EXPECT_EQ(parseError("{\"version\": \"1\"}"),
              "site.json: \"version\": expected a whole number such as 1, not \"1\"");
    EXPECT_EQ(parseError("{\"version\": 1.5}"),
              "site.json: \"version\": expected a whole number such as 1, not 1.5");
    EXPECT_EQ(parseError("{\"version\": 1, \"langauge\": \"German\"}"),
              "site.json: \"langauge\": unknown key (did you mean \"language\"?)");
    EXPECT_EQ(parseError("{\"version\": 1, \"add_enter\": 1}"),
              "site.json: \"add_enter\": expected true or false, not 1");
    EXPECT_EQ(
        parseError("{\"version\": 1, \"language\": \"Klingon\"}"),
        "site.json: \"language\": \"Klingon\" is not a keyboard language (rfidctl set --help lists the 30 "
        "language names)");
    EXPECT_EQ(parseError("{\"version\": 1, \"suffix_4\": \"0D0A\"}"),
              "site.json: \"suffix_4\": expected two hex digits, not \"0D0A\"");
    EXPECT_EQ(parseError("{\"version\": 1, \"format\": null}"),
              "site.json: \"format\": expected a text in quotes, not null");
    // One good key and one bad: nothing of the file is taken.
    EXPECT_EQ(parseError("{\"version\": 1, \"add_semicolon\": false, \"sleep_time\": [1]}"),
              "site.json: \"sleep_time\": expected a text in quotes, not a list");
    EXPECT_EQ(parseError(QByteArray(kMaxSettingsFileBytes + 1, ' ')),
              "site.json: the file is larger than a settings file can be (1 MiB)");
    // Keys and values are shown on one line, control characters written out.
    EXPECT_EQ(parseError("{\"version\": 1, \"a\\nb\\u001b\": 1}"),
              "site.json: \"a\\nb\\u001B\": unknown key");
    EXPECT_EQ(
        parseError("{\"version\": 1, \"language\": \"x\\r\\ty\"}"),
        "site.json: \"language\": \"x\\r\\ty\" is not a keyboard language (rfidctl set --help lists the 30 "
        "language names)");
    // Columns count characters, not bytes.
    EXPECT_EQ(parseError("{\"version\": 1, \"bluetooth_name\": \"读卡器\" x}"),
              "site.json: line 1, column 41: not valid JSON (unterminated object)");
}

TEST(SettingsFile, CommandLineAssignments) {
    ReaderSettings s;
    QString error;
    ASSERT_TRUE(applyAssignments({"language=German", "add_enter=true", "suffix_1=0d", "bluetooth_name=a=b"},
                                 s, error));
    EXPECT_EQ(*s.language, 0x0A);
    EXPECT_EQ(*s.suffix[0], 0x0D);
    EXPECT_EQ(*s.bluetoothName, "a=b");
    const ReaderSettings before = s;
    EXPECT_FALSE(applyAssignments({"sleep_time=1 minute", "prefix_1=1"}, s, error));
    EXPECT_EQ(error, "\"prefix_1\": expected two hex digits, not \"1\"");
    EXPECT_EQ(s, before);
    EXPECT_FALSE(applyAssignments({"volume=3"}, s, error));
    EXPECT_EQ(error, "\"volume\": unknown key");
    EXPECT_FALSE(applyAssignments({"language"}, s, error));
    EXPECT_EQ(error, "\"language\": expected KEY=VALUE");
}

TEST(SettingsCheck, OneLinePerDifference) {
    ReaderSettings reader = distinctOutput();
    ReaderSettings window = distinctOutput();
    EXPECT_TRUE(compareSettings(reader, window, "the window").isEmpty());
    window.language = 0x0A;
    window.suffix[1] = 0x00;
    window.customByteEnabled = false;
    window.readerMode = 0x03; // the reader does not report it: not compared
    reader.readerMode.reset();
    EXPECT_EQ(compareSettings(reader, window, "the window"),
              (QStringList{"custom_byte: reader has AB, the window has none",
                           "suffix_2: reader has 66, the window has 00",
                           "language: reader has Slovenia, the window has German"}));
    // A custom byte of 00 is none to the reader.
    reader.customByteEnabled = false;
    reader.customByte.reset();
    window.customByteEnabled = true;
    window.customByte = 0x00;
    EXPECT_TRUE(compareSettings(reader, window, "the file").filter("custom").isEmpty());
}

// The one decoder of the read-back: each field from its own byte, every field
// different, so that two fields read from one place cannot pass.
TEST(SettingsReadBack, EachFieldFromItsOwnByte) {
    const std::vector<std::uint8_t> payload{0x1D,                         // language
                                            0x0E, 0x01, 0x00, 0x01, 0x00, // format ; ? , Enter
                                            0x00, 0x01, 0x3C,             // small buzzer, fixed, custom
                                            0x41, 0x42, 0x43, 0x44,       // prefix
                                            0x0D, 0x0A, 0x09, 0x45};      // suffix
    const auto s = decodeReadBack(payload);
    ASSERT_TRUE(s);
    EXPECT_EQ(*s->language, 0x1D);
    EXPECT_EQ(*s->format, 0x0E);
    EXPECT_TRUE(*s->semicolon);
    EXPECT_FALSE(*s->questionMark);
    EXPECT_TRUE(*s->commaInMiddle);
    EXPECT_FALSE(*s->enter);
    EXPECT_FALSE(*s->bigBuzzer);
    EXPECT_TRUE(*s->customByteEnabled);
    EXPECT_EQ(*s->customByte, 0x3C);
    EXPECT_EQ(*s->prefix[0], 0x41);
    EXPECT_EQ(*s->prefix[3], 0x44);
    EXPECT_EQ(*s->suffix[0], 0x0D);
    EXPECT_EQ(*s->suffix[3], 0x45);
    // Written back, the same 16 bytes go out (the fixed byte as 01).
    EXPECT_EQ(outputSettingsCommand(*outputSettingsBytes(*s)), "82"
                                                               "0E01000100"
                                                               "00013C"
                                                               "41424344"
                                                               "0D0A0945");
    // What the card test and the renderings work with.
    const auto o = outputSettingsOf(*s);
    ASSERT_TRUE(o);
    EXPECT_EQ(o->custom, 0x3C);
    EXPECT_TRUE(o->comma);
    EXPECT_FALSE(o->question);
    EXPECT_EQ(o->suffix[1], 0x0A);
    ReaderSettings partial = *s;
    partial.enter.reset();
    EXPECT_FALSE(outputSettingsOf(partial));
}
