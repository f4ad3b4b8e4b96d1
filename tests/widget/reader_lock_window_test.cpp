// The window and another program on one reader: a button waits while the other
// program holds the reader and then works; when the wait runs out, the log says
// who holds it and nothing is sent.
#include "harness.h"
#include "readerlock.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

namespace {

class WindowLock : public WindowTest {
protected:
    QTemporaryDir dir;
    void SetUp() override {
        // A reader shared between processes, as a real one is.
        qputenv("RFIDSIM_STATE", QFile::encodeName(dir.filePath(QStringLiteral("reader.state"))));
        WindowTest::SetUp();
    }
    void TearDown() override {
        WindowTest::TearDown();
        qunsetenv("RFIDSIM_STATE");
    }
};

// Another program holding the reader: this test program run again, taking the
// lock the way every program of the project takes it, for a little while.
const char kHoldEnv[] = "RFID_TEST_HOLD_READER";

TEST(WindowLockHolder, HoldsTheReaderForAWhile) {
    const QString path = qEnvironmentVariable(kHoldEnv);
    if (path.isEmpty())
        GTEST_SKIP() << "only run by WindowLock.AButtonWaitsForAnotherProgramThenWorks";
    rfid::ReaderLock held;
    QString error;
    ASSERT_TRUE(held.acquire(path, {}, 0, {}, error)) << error.toStdString();
    QThread::msleep(600);
}

TEST_F(WindowLock, AButtonWaitsForAnotherProgramThenWorks) {
    const QString lockFile = form->readerLink().lockFile();
    ASSERT_FALSE(lockFile.isEmpty());
    QProcess holder;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QString::fromLatin1(kHoldEnv), lockFile);
    holder.setProcessEnvironment(env);
    holder.start(QCoreApplication::applicationFilePath(),
                 {QStringLiteral("--gtest_filter=WindowLockHolder.HoldsTheReaderForAWhile")});
    ASSERT_TRUE(holder.waitForStarted());
    // A program takes a while to start, longer under an emulation.
    for (int i = 0; i < 1000 && rfid::ReaderLock::holderOf(lockFile).isEmpty(); ++i)
        QThread::msleep(10);
    ASSERT_FALSE(rfid::ReaderLock::holderOf(lockFile).isEmpty());

    QElapsedTimer waited;
    waited.start();
    click("Button27");
    EXPECT_GE(waited.elapsed(), 200);
    EXPECT_EQ(logT(), (QStringList{"Set Up Success   T", ""}));
    EXPECT_EQ(lastFrame(), "AA 00 02 80 00 82 BB");
    holder.waitForFinished(); // false when the wait's events saw it end already
    EXPECT_EQ(holder.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(holder.exitCode(), 0) << holder.readAll().toStdString();
}

TEST_F(WindowLock, WhenTheWaitRunsOutTheLogNamesTheHolderAndNothingIsSent) {
    rfid::ReaderLock held;
    QString error;
    ASSERT_TRUE(held.acquire(form->readerLink().lockFile(), {}, 0, {}, error)) << error.toStdString();
    form->readerLink().setLockWait(100);
    click("Button27");
    const QStringList lines = logT();
    ASSERT_EQ(lines.size(), 3) << lines.join('|').toStdString();
    EXPECT_TRUE(lines[0].startsWith("reader sim:0 is in use by ")) << lines[0].toStdString();
    EXPECT_TRUE(lines[0].endsWith(
        QStringLiteral(", process %1; try again when it ends").arg(QCoreApplication::applicationPid())));
    EXPECT_EQ(lines[1], QStringLiteral("Data error，no data recevice..   T"));
    EXPECT_EQ(rfidsim_frame_count(), 0);
}

} // namespace
