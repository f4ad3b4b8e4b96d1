// The per-reader lock: a holder that dies frees the reader, the waiter's text
// names the holder, and the lock file cannot be swapped for something else.
#include "readerlock.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <csignal>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

TEST(ReaderLock, AKilledHolderFreesTheReader) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("reader.lock"));
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        rfid::ReaderLock held;
        QString error;
        const char ok = held.acquire(path, {}, 0, {}, error) ? 'y' : 'n';
        (void)!::write(ready[1], &ok, 1);
        ::pause();
        ::_exit(0);
    }
    char ok = 0;
    ASSERT_EQ(::read(ready[0], &ok, 1), 1);
    ASSERT_EQ(ok, 'y');

    rfid::ReaderLock waiter;
    QString error;
    int idles = 0;
    EXPECT_FALSE(waiter.acquire(
        path, [] { return QStringLiteral("sim:0"); }, 100, [&] { ++idles; }, error));
    EXPECT_GT(idles, 0);
    EXPECT_TRUE(error.startsWith(QStringLiteral("reader sim:0 is in use by ")));
    EXPECT_TRUE(error.endsWith(QStringLiteral(", process %1; try again when it ends").arg(child)))
        << error.toStdString();

    ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);
    EXPECT_TRUE(waiter.acquire(path, {}, 1000, {}, error)) << error.toStdString();
    ::close(ready[0]);
    ::close(ready[1]);
}

TEST(ReaderLock, RefusesALockFileThatIsNotARegularFile) {
    QTemporaryDir dir;
    const QString fifo = dir.filePath(QStringLiteral("fifo.lock"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    const QString link = dir.filePath(QStringLiteral("link.lock"));
    const QString target = dir.filePath(QStringLiteral("elsewhere"));
    ASSERT_EQ(::symlink(QFile::encodeName(target).constData(), QFile::encodeName(link).constData()), 0);
    for (const QString& path : {fifo, link}) {
        rfid::ReaderLock lock;
        QString error;
        EXPECT_FALSE(lock.acquire(path, {}, 0, {}, error));
        EXPECT_TRUE(error.contains(QStringLiteral("is not a regular file"))) << error.toStdString();
    }
    EXPECT_FALSE(QFile::exists(target)); // nothing created through the link
}

// Nothing is ever created where a USB library names a device node, and a lock
// file of another user is refused rather than waited on.
TEST(ReaderLock, CreatesNoDeviceNodeAndUsesNoOtherUsersFile) {
    const QString gone = QStringLiteral("/dev/hidraw-gone-%1").arg(::getpid());
    QTemporaryDir dir;
    const QString foreign = dir.filePath(QStringLiteral("foreign.lock"));
    QFile(foreign).open(QIODevice::WriteOnly);
    const bool canChown = ::chown(QFile::encodeName(foreign).constData(), 4321, 4321) == 0;
    struct Case {
        QString path;
        bool ok;
        QString error;
    };
    const Case cases[] = {
        {gone, true, {}},
        {dir.filePath(QStringLiteral("mine.lock")), true, {}},
        {foreign, !canChown, canChown ? QStringLiteral("belongs to another user (uid 4321)") : QString()},
    };
    for (const Case& c : cases) {
        rfid::ReaderLock lock;
        QString error;
        EXPECT_EQ(lock.acquire(c.path, {}, 0, {}, error), c.ok) << c.path.toStdString();
        EXPECT_TRUE(error.contains(c.error)) << error.toStdString();
    }
    EXPECT_FALSE(QFile::exists(gone));
    QFile::remove(gone);
}

TEST(ReaderLock, FallbackLivesInAFolderOnlyThisUserWrites) {
    QTemporaryDir dir;
    const QString open = dir.filePath(QStringLiteral("open"));
    const QString own = dir.filePath(QStringLiteral("own"));
    QDir().mkpath(open);
    QDir().mkpath(own);
    ::chmod(QFile::encodeName(open).constData(), 01777);
    ::chmod(QFile::encodeName(own).constData(), 0700);
    const QByteArray saved = qgetenv("XDG_RUNTIME_DIR");
    struct Case {
        QString runtime;
        QString path; // empty: refused
    };
    const Case cases[] = {
        {own, own + QStringLiteral("/rfid-demo-librfidusb.so.lock")},
        {open, {}},
    };
    for (const Case& c : cases) {
        qputenv("XDG_RUNTIME_DIR", c.runtime.toUtf8());
        QString error;
        EXPECT_EQ(rfid::fallbackLockFile(QStringLiteral("/opt/x/librfidusb.so"), error), c.path);
        EXPECT_EQ(error.isEmpty(), !c.path.isEmpty()) << error.toStdString();
    }
    qputenv("XDG_RUNTIME_DIR", saved);
}

TEST(ReaderLock, NamesTheHoldingCommandWithControlCharactersSpelledOut) {
    using rfid::ReaderLock;
    const char rfidctl[] = "/usr/bin/rfidctl\0--sim\0--device\0sim:1\0apply\0f.json";
    EXPECT_EQ(ReaderLock::describeCommandLine(QByteArray(rfidctl, sizeof rfidctl)),
              QStringLiteral("rfidctl apply"));
    EXPECT_EQ(ReaderLock::describeCommandLine(QByteArray("/usr/bin/rfid-demo\0", 19)),
              QStringLiteral("rfid-demo"));
    EXPECT_EQ(ReaderLock::describeCommandLine(QByteArray(")\nOK: fine \x1b[8m")),
              QStringLiteral(")\\x0aOK: fine \\x1b[8m"));
    EXPECT_EQ(ReaderLock::describeCommandLine(QByteArray()), QString());
}

} // namespace
