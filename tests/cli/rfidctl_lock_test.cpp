// Two programs on one reader: rfidctl runs started together never mix their
// settings on the reader, and a run that finds the reader in use waits, then
// says who holds it.
#include "readerlink.h"
#include "readerlock.h"
#include "rfidctl_harness.h"
#include "settingsfile.h"

#include <QCoreApplication>
#include <QFile>
#include <QThread>
#include <gtest/gtest.h>

namespace {

class RfidctlLock : public RfidctlHarness {
protected:
    RfidctlLock() { env.remove("RFIDSIM_LOG"); }

    using Done = RfidctlRun;
    QProcess* start(const QStringList& args) { return RfidctlHarness::start(QStringList{"--sim"} + args); }
    static Done finish(QProcess* p) {
        const Done d = RfidctlHarness::finish(*p, 60000);
        delete p;
        return d;
    }
};

const QByteArray kFrench = R"({"version":1,"language":"French","format":"10 no.in D","add_semicolon":false,
 "add_question_mark":false,"add_comma_in_middle":false,"add_enter":true,"buzzer":"big",
 "custom_byte_enabled":false,"prefix_1":"41","prefix_2":"00","prefix_3":"00","prefix_4":"00",
 "suffix_1":"00","suffix_2":"00","suffix_3":"00","suffix_4":"00"})";
const QByteArray kGerman = R"({"version":1,"language":"German","format":"8 no. in HEX","add_semicolon":true,
 "add_question_mark":false,"add_comma_in_middle":false,"add_enter":false,"buzzer":"small",
 "custom_byte_enabled":false,"prefix_1":"00","prefix_2":"00","prefix_3":"00","prefix_4":"00",
 "suffix_1":"00","suffix_2":"00","suffix_3":"00","suffix_4":"0D"})";

TEST_F(RfidctlLock, WaitTakesAFiniteNumberOfSecondsOnly) {
    for (const char* wait : {"nan", "inf", "-1", "1e9", "soon"}) {
        const Done d = finish(start({"--wait", wait, "version"}));
        EXPECT_EQ(d.code, 2) << wait;
        EXPECT_TRUE(d.err.contains("--wait takes the seconds to wait")) << d.err.toStdString();
    }
}

TEST_F(RfidctlLock, TwoApplyRunsOnOneReaderNeverMix) {
    const QString french = file("french.json", kFrench);
    const QString german = file("german.json", kGerman);
    for (int round = 0; round < 20; ++round) {
        QProcess* a = start({"apply", french});
        QProcess* b = start({"apply", german});
        const Done da = finish(a);
        const Done db = finish(b);
        // Each run's report is true of what it wrote: it checked its own file.
        EXPECT_EQ(da.code, 0) << da.err.toStdString();
        EXPECT_EQ(db.code, 0) << db.err.toStdString();
        EXPECT_TRUE(da.out.contains("Check: the reader agrees with the file.")) << da.out.toStdString();
        EXPECT_TRUE(db.out.contains("Check: the reader agrees with the file.")) << db.out.toStdString();
        // The reader ends holding one whole file.
        const Done read = finish(start({"read", "--json"}));
        rfid::ReaderSettings now, f, g;
        QString error;
        ASSERT_TRUE(rfid::parseSettings(read.out.toUtf8(), "read", now, error)) << error.toStdString();
        ASSERT_TRUE(rfid::parseSettings(kFrench, "french", f, error));
        ASSERT_TRUE(rfid::parseSettings(kGerman, "german", g, error));
        EXPECT_TRUE(now == f || now == g) << "round " << round << ": " << read.out.toStdString();
    }
}

TEST_F(RfidctlLock, ARunThatFindsTheReaderInUseWaitsThenNamesTheHolder) {
    // This test holds the reader as another program would (waiting for the
    // runs of tests started beside it, which share the simulated reader's lock).
    qputenv("RFIDSIM_STATE", QFile::encodeName(dir.filePath("reader.state")));
    rfid::UsbLibrary sim(QStringLiteral(RFIDSIM_LIBRARY));
    rfid::ReaderLink link(sim);
    rfid::ReaderLock held;
    QString error;
    ASSERT_TRUE(held.acquire(link.lockFile(), {}, 10000, {}, error)) << error.toStdString();

    const Done d = finish(start({"--wait", "0.3", "version"}));
    EXPECT_EQ(d.code, 3);
    EXPECT_TRUE(d.err.startsWith("rfidctl: could not read the version: reader sim:0 is in use by "))
        << d.err.toStdString();
    EXPECT_TRUE(d.err.endsWith(
        QStringLiteral(", process %1; try again when it ends\n").arg(QCoreApplication::applicationPid())))
        << d.err.toStdString();

    // Released while a run waits: the run goes on.
    QProcess* waiting = start({"--wait", "20", "version"});
    QThread::msleep(300);
    held.release();
    const Done later = finish(waiting);
    EXPECT_EQ(later.code, 0) << later.err.toStdString();
    qunsetenv("RFIDSIM_STATE");
}

} // namespace
