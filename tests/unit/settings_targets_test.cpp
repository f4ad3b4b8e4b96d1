// Where settings files are saved to and read from: a regular file is replaced
// whole, anything else that is not a regular file is written where it is and
// never replaced, and only a regular file is read.
#include "readersettings.h"
#include "settingsfile.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

using namespace rfid;

namespace {

ReaderSettings german() {
    ReaderSettings s;
    s.language = 0x0A;
    s.enter = true;
    return s;
}

#ifndef _WIN32
bool isFifo(const QString& path) {
    struct stat st {};
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 && S_ISFIFO(st.st_mode);
}

// Everything waiting in a non-blocking pipe's read end.
QByteArray drain(int fd) {
    QByteArray all;
    char buffer[4096];
    ssize_t n;
    while ((n = ::read(fd, buffer, sizeof buffer)) > 0)
        all.append(buffer, qsizetype(n));
    return all;
}
#endif

} // namespace

#ifndef _WIN32

TEST(SettingsTargets, AFifoIsWrittenAndStaysAFifo) {
    QTemporaryDir dir;
    const QString fifo = dir.filePath("pipe");
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    // The reading end is open first, so that the write does not wait for one.
    const int reader = ::open(QFile::encodeName(fifo).constData(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    QString error;
    EXPECT_TRUE(saveSettingsFile(fifo, german(), error)) << error.toStdString();
    EXPECT_TRUE(isFifo(fifo)) << "the FIFO was replaced";
    EXPECT_EQ(drain(reader), settingsToJson(german()));
    ::close(reader);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System),
              QStringList{"pipe"})
        << "no file was left beside it";

    EXPECT_FALSE(saveSettingsFile(dir.path(), german(), error));
    EXPECT_EQ(error, dir.path() + ": cannot be written (it is a folder)");
}

TEST(SettingsTargets, DescriptorNamesWriteToTheOpenDescriptor) {
    int ends[2];
    ASSERT_EQ(::pipe(ends), 0);
    ::fcntl(ends[0], F_SETFL, O_NONBLOCK);
    const QString fd = QString::number(ends[1]);
    QTemporaryDir dir;
    const QString link = dir.filePath("out.json");
    ASSERT_TRUE(QFile::link("/proc/self/fd/" + fd, link));
    for (const QString& name : {"/dev/fd/" + fd, "/proc/self/fd/" + fd, link}) {
        EXPECT_EQ(descriptorNamedBy(name), ends[1]) << name.toStdString();
        QString error;
        EXPECT_TRUE(saveSettingsFile(name, german(), error)) << error.toStdString();
        EXPECT_EQ(drain(ends[0]), settingsToJson(german())) << name.toStdString();
    }
    EXPECT_TRUE(QFileInfo(link).isSymLink()) << "the link was replaced";
    ::close(ends[0]);
    ::close(ends[1]);

    EXPECT_EQ(descriptorNamedBy("-"), 1);
    EXPECT_EQ(descriptorNamedBy("/dev/stdout"), 1);
    EXPECT_EQ(descriptorNamedBy("/dev/stderr"), 2);
    EXPECT_EQ(descriptorNamedBy(dir.filePath("a.json")), -1);
    EXPECT_EQ(descriptorNamedBy("/dev/null"), -1);
    EXPECT_EQ(descriptorNamedBy("/dev/fd/x"), -1);
}

TEST(SettingsTargets, ARegularFileIsReplacedWhole) {
    QTemporaryDir dir;
    const QString path = dir.filePath("a.json");
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(QByteArray(5000, 'x'));
    f.close();
    QString error;
    ASSERT_TRUE(saveSettingsFile(path, german(), error)) << error.toStdString();
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), settingsToJson(german()));
}

TEST(SettingsTargets, OnlyARegularFileIsReadAndNothingWaits) {
    QTemporaryDir dir;
    const QString fifo = dir.filePath("pipe.json");
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    ReaderSettings s = german();
    QString error;
    // No writer ever comes: a read that waited would never return (the alarm
    // ends the test instead).
    ::alarm(20);
    EXPECT_FALSE(loadSettingsFile(fifo, s, error));
    ::alarm(0);
    EXPECT_EQ(error, fifo + ": not a settings file (it is a FIFO, not a regular file)");
    EXPECT_FALSE(loadSettingsFile(dir.path(), s, error));
    EXPECT_EQ(error, dir.path() + ": not a settings file (it is a folder)");
    EXPECT_FALSE(loadSettingsFile("/dev/zero", s, error));
    EXPECT_EQ(error, "/dev/zero: not a settings file (it is a device, not a regular file)");
    EXPECT_EQ(s, german());
}

#endif

namespace {
std::string refusal(const QByteArray& text) {
    ReaderSettings s = german();
    QString error;
    EXPECT_FALSE(parseSettings(text, QStringLiteral("site.json"), s, error)) << text.constData();
    EXPECT_EQ(s, german()) << "a refused file changes nothing";
    return error.toStdString();
}
} // namespace

TEST(SettingsKeys, AKeyGivenTwiceIsRefusedByName) {
    const std::string twice = "given more than once; a key may appear only once";
    EXPECT_EQ(refusal(R"({"version": 1, "language": "German", "language": "French"})"),
              "site.json: \"language\": " + twice);
    EXPECT_EQ(refusal(R"({"version": 99, "version": 1, "language": "German"})"),
              "site.json: \"version\": " + twice);
    // Written another way, it is the same key.
    EXPECT_EQ(refusal(R"({"version": 1, "language": "German", "Language": "French"})"),
              "site.json: \"Language\": " + twice);
    EXPECT_EQ(refusal(R"({"version": 1, "lang\u0075age": "German", "language": "French"})"),
              "site.json: \"language\": " + twice);
    EXPECT_EQ(refusal(R"({"VERSION": 1, "version": 1})"), "site.json: \"version\": " + twice);
    // A repeat inside a value is the value's own business.
    EXPECT_EQ(refusal(R"({"version": 1, "format": {"a": 1, "a": 2}})"),
              "site.json: \"format\": expected a text in quotes, not an object");

    ReaderSettings s;
    QString error;
    ASSERT_TRUE(parseSettings(R"({"Version": 1, "LANGUAGE": "German", "Add_Enter": true})", "f", s, error))
        << error.toStdString();
    EXPECT_EQ(s.language, 0x0A);
    EXPECT_EQ(s.enter, true);
    // Quotes, braces and escapes inside strings are not keys.
    const QByteArray tricky =
        R"({"version": 1, "bluetooth_name": "a\"}{,\"language\":", "language": "German"})";
    ASSERT_TRUE(parseSettings(tricky, "f", s, error)) << error.toStdString();
    EXPECT_EQ(s.bluetoothName, QStringLiteral("a\"}{,\"language\":"));
    QStringList keys;
    ASSERT_TRUE(topLevelKeys(
        "\xEF\xBB\xBF { \"a\" : [1, {\"b\": \"]\"}], \"\\ud83d\\ude00\":null,\"a\":-1.5e3 }", keys));
    EXPECT_EQ(keys, (QStringList{"a", QString::fromUtf8("😀"), "a"}));
    EXPECT_FALSE(topLevelKeys("[1]", keys));

    ReaderSettings line;
    EXPECT_FALSE(applyAssignments({"language=German", "add_enter=true", "LANGUAGE=French"}, line, error));
    EXPECT_EQ(error.toStdString(), "\"LANGUAGE\": " + twice);
    EXPECT_TRUE(line.isEmpty());
    EXPECT_TRUE(applyAssignments({"Language=German"}, line, error)) << error.toStdString();
    EXPECT_EQ(line.language, 0x0A);
}

TEST(SettingsKeys, MistakesAreNamedWhereTheyAre) {
    // A comma missing at the end of line 4 is found there, not at the next key.
    EXPECT_EQ(refusal("{\n  \"version\": 1,\n  \"format\": \"8 no. in HEX\",\n  \"language\": \"German\"\n"
                      "  \"add_enter\": true\n}\n"),
              "site.json: line 4, column 23: not valid JSON (unterminated object)");
    // The closing brace missing after the last value.
    EXPECT_EQ(refusal("{\n  \"version\": 1,\n  \"language\": \"German\"\n\n"),
              "site.json: line 3, column 23: not valid JSON (unterminated object)");
    // A bad value at the start of a line is on that line.
    EXPECT_EQ(refusal("{\n  \"version\": 1,\n  \"language\":\n  German\n}"),
              "site.json: line 4, column 3: not valid JSON (illegal number)");
    const std::string empty = "site.json: the file is empty (a settings file holds a JSON object such as "
                              "{\"version\": 1, \"language\": \"German\"})";
    EXPECT_EQ(refusal(""), empty);
    EXPECT_EQ(refusal(" \r\n\t\n"), empty);

    // Names a slip away from a key are pointed to it.
    EXPECT_EQ(refusal(R"({"version": 1, "langauge": "German"})"),
              "site.json: \"langauge\": unknown key (did you mean \"language\"?)");
    EXPECT_EQ(
        refusal(R"({"version": 1, "prefix_5": "00"})"),
        "site.json: \"prefix_5\": unknown key (did you mean \"prefix_1\", \"prefix_2\", \"prefix_3\" or "
        "\"prefix_4\"?)");
    EXPECT_EQ(refusal(R"({"versoin": 1})"),
              "site.json: \"version\" is missing (this program writes version 1)");
    EXPECT_EQ(unknownKeyText("Bluetooth-Name"), "unknown key (did you mean \"bluetooth_name\"?)");
    EXPECT_EQ(unknownKeyText("colour"), "unknown key");
    EXPECT_EQ(unknownKeyText("beep"), "unknown key");
    EXPECT_EQ(unknownKeyText(QString(5000, 'x')), "unknown key");
    ReaderSettings s;
    QString error;
    EXPECT_FALSE(applyAssignments({"add_entr=true"}, s, error));
    EXPECT_EQ(error, "\"add_entr\": unknown key (did you mean \"add_enter\"?)");
}
