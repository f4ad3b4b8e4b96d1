// The per-reader lock on Windows: one holder per reader whatever the path's
// spelling, the waiter's text names the holder, and a killed holder frees the
// reader.
#ifdef _WIN32

#include "readerlock.h"

#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <gtest/gtest.h>

#include <windows.h>

namespace {

const char kHoldEnv[] = "RFID_TEST_HOLD_LOCK";

QString modulePath() {
    wchar_t module[MAX_PATH] = {};
    const DWORD n = ::GetModuleFileNameW(nullptr, module, MAX_PATH);
    return QString::fromWCharArray(module, int(n));
}

TEST(ReaderLockWindows, OneHolderPerReaderWhateverTheSpelling) {
    const QString device =
        QStringLiteral("\\\\?\\hid#vid_ffff&pid_0035#7&1a2b#{4d1e55b2-f16f-11cf-88cb-001111000030}");
    struct Case {
        QString held, wanted;
        bool free;
    } cases[] = {
        {device, device, false},
        {device, device.toUpper(), false},
        {device, device + QStringLiteral("x"), true},
        {QStringLiteral("C:/sim/reader.lock"), QStringLiteral("c:\\SIM\\reader.lock"), false},
    };
    for (const Case& c : cases) {
        rfid::ReaderLock holder;
        rfid::ReaderLock waiter;
        QString error;
        ASSERT_TRUE(holder.acquire(c.held, {}, 0, {}, error)) << error.toStdString();
        EXPECT_EQ(waiter.acquire(
                      c.wanted, [] { return QStringLiteral("USB 1"); }, 0, {}, error),
                  c.free)
            << c.wanted.toStdString();
        if (!c.free) {
            EXPECT_EQ(error,
                      QStringLiteral("reader USB 1 is in use by core_tests, process %1; try again when "
                                     "it ends")
                          .arg(::GetCurrentProcessId()));
        }
        holder.release();
        EXPECT_TRUE(waiter.acquire(c.wanted, {}, 0, {}, error)) << error.toStdString();
    }
}

// Run by the next test in a process of its own: takes the lock and keeps it.
TEST(ReaderLockWindows, HolderForTheNextTest) {
    const QString path = qEnvironmentVariable(kHoldEnv);
    if (path.isEmpty())
        GTEST_SKIP() << "only run by KilledHolderFreesTheReader";
    rfid::ReaderLock held;
    QString error;
    ASSERT_TRUE(held.acquire(path, {}, 0, {}, error));
    QFile(path + QStringLiteral(".ready")).open(QIODevice::WriteOnly);
    QThread::sleep(60);
}

TEST(ReaderLockWindows, KilledHolderFreesTheReader) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("reader.lock"));
    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QString::fromLatin1(kHoldEnv), path);
    child.setProcessEnvironment(env);
    child.start(modulePath(), {QStringLiteral("--gtest_filter=ReaderLockWindows.HolderForTheNextTest")});
    ASSERT_TRUE(child.waitForStarted());
    for (int i = 0; i < 300 && !QFile::exists(path + QStringLiteral(".ready")); ++i)
        QThread::msleep(50);

    rfid::ReaderLock waiter;
    QString error;
    int idles = 0;
    EXPECT_FALSE(waiter.acquire(
        path, [] { return QStringLiteral("sim:0"); }, 100, [&] { ++idles; }, error));
    EXPECT_GT(idles, 0);
    EXPECT_EQ(error,
              QStringLiteral("reader sim:0 is in use by core_tests, process %1; try again when it ends")
                  .arg(child.processId()));

    child.kill();
    child.waitForFinished();
    EXPECT_TRUE(waiter.acquire(path, {}, 1000, {}, error)) << error.toStdString();
}

} // namespace

#endif // _WIN32
