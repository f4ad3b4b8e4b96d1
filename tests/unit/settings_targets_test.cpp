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

#endif
