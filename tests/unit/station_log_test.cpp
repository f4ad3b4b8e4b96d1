// The station's results file on disk: rows only ever appended whole to a file
// that is a results file, never to the settings file, a FIFO or a file of
// another kind, and a row the disk cannot take taken back whole.
#include "station.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#ifdef _WIN32
#include <filesystem>
#include <system_error>
#else
#include <csignal>
#include <cstring>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

using rfid::StationLog;
using rfid::StationRow;

namespace {

const QByteArray kHeader = "time,device,serial,version,result,differences\n";

class StationLogTest : public ::testing::Test {
protected:
    QTemporaryDir dir;

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
    static StationRow row(int i) {
        StationRow r;
        r.time = QDateTime(QDate(2026, 12, 8), QTime(11, 54, 30), Qt::UTC);
        r.path = QStringLiteral("sim:%1").arg(i);
        r.serial = QStringLiteral("SIM-%1").arg(i, 4, 10, QLatin1Char('0'));
        r.version = QStringLiteral("V1.0");
        r.result = QStringLiteral("ok");
        return r;
    }
};

} // namespace

TEST_F(StationLogTest, ARowStartsALineOfItsOwn) {
    // The last row has lost its line break (an editor, a crash).
    const QString csv = write("r.csv", kHeader + "2026-12-08T11:00:00Z,sim:9,,V1.0,ok,");
    StationLog log;
    QString error;
    ASSERT_TRUE(log.open(csv, error)) << error.toStdString();
    ASSERT_TRUE(log.append(row(0), error)) << error.toStdString();
    EXPECT_EQ(read(csv), kHeader + "2026-12-08T11:00:00Z,sim:9,,V1.0,ok,\n" +
                             "2026-12-08T11:54:30Z,sim:0,SIM-0000,V1.0,ok,\n");

    // A header with a byte order mark and CR LF, as a spreadsheet saves it.
    const QString saved = write("saved.csv", "\xEF\xBB\xBFtime,device,serial,version,result,differences\r\n");
    StationLog again;
    EXPECT_TRUE(again.open(saved, error)) << error.toStdString();
}

TEST_F(StationLogTest, RefusesFilesThatAreNotItsOwn) {
    const QByteArray other = "name,phone\nAda,1234\n";
    const QString csv = write("people.csv", other);
    StationLog log;
    QString error;
    EXPECT_FALSE(log.open(csv, error));
    EXPECT_EQ(error, csv + " is not a results file: its first line is \"name,phone\", not the header "
                           "\"time,device,serial,version,result,differences\"; give the results a file of "
                           "their own");
    EXPECT_FALSE(log.isOpen());
    EXPECT_EQ(read(csv), other);

    // The settings file, under its own name and under another.
    const QByteArray settings = R"({"version": 1, "language": "German"})";
    const QString json = write("s.json", settings);
    const QString linked = dir.filePath("results.csv");
#ifdef _WIN32
    // QFile::link makes a shortcut here, which Windows' file functions open as a
    // file of its own; a hard link is the settings file under another name.
    std::error_code made;
    std::filesystem::create_hard_link(json.toStdWString(), linked.toStdWString(), made);
    ASSERT_FALSE(made) << made.message();
#else
    ASSERT_TRUE(QFile::link(json, linked));
#endif
    for (const QString& name : {json, linked}) {
        EXPECT_FALSE(log.open(name, error, json)) << name.toStdString();
        EXPECT_EQ(error, name + " is the settings file " + json + "; give the results a file of their own")
            << error.toStdString();
    }
#ifndef _WIN32
    const QString hard = dir.filePath("hard.csv");
    ASSERT_EQ(::link(QFile::encodeName(json).constData(), QFile::encodeName(hard).constData()), 0);
    EXPECT_FALSE(log.open(hard, error, json));
    EXPECT_TRUE(error.contains(" is the settings file ")) << error.toStdString();
    EXPECT_EQ(read(json), settings);

    // A FIFO would wait for a reader forever; a device is not a file.
    const QString fifo = dir.filePath("fifo");
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    EXPECT_FALSE(log.open(fifo, error));
    EXPECT_EQ(error, fifo + " cannot be written: it is a FIFO, not a regular file");
    EXPECT_FALSE(log.open("/dev/null", error));
    EXPECT_EQ(error, "/dev/null cannot be written: it is a device, not a regular file");
#endif
    EXPECT_FALSE(log.open(dir.path(), error));
    EXPECT_EQ(error, dir.path() + " cannot be written: it is a folder");
}

#ifndef _WIN32
TEST_F(StationLogTest, ARowTheDiskCannotTakeIsTakenBackWhole) {
    const QString csv = dir.filePath("r.csv");
    StationLog log;
    QString error;
    ASSERT_TRUE(log.open(csv, error)) << error.toStdString();
    ASSERT_TRUE(log.append(row(0), error));
    const qint64 oneRow = QFile(csv).size() - kHeader.size();

    // The file may grow by one and a half rows more (the file-size limit of
    // this process; its signal ignored, as rfidctl station does).
    const auto previous = std::signal(SIGXFSZ, SIG_IGN);
    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    rlimit small = saved;
    small.rlim_cur = rlim_t(QFile(csv).size() + oneRow + oneRow / 2);
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    const bool second = log.append(row(1), error);
    QString third;
    const bool thirdWritten = log.append(row(2), third);
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previous);

    EXPECT_TRUE(second) << error.toStdString();
    EXPECT_FALSE(thirdWritten);
    EXPECT_EQ(third, csv + " cannot be written: " + QString::fromLocal8Bit(std::strerror(EFBIG)));
    const QByteArray text = read(csv);
    EXPECT_EQ(text,
              kHeader + StationLog::line(row(0)).toUtf8() + '\n' + StationLog::line(row(1)).toUtf8() + '\n')
        << "half a row was left: " << text.constData();
}
#endif
