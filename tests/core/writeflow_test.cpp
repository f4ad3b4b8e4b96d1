// The one write flow against the simulated reader's firmware: a full write in
// the fixed order, output fields kept from the reader, a refusal and a silence
// half-way, the check finding a setting the reader kept, and a reader in use.
#include "readerlink.h"
#include "rfidsim.h"
#include "settingsfile.h"
#include "switchjournal.h"
#include "writeflow.h"
#include "writerecord.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QStringList>
#include <QTemporaryDir>
#include <csignal>
#include <gtest/gtest.h>
#ifndef _WIN32
#include <sys/resource.h>
#include <unistd.h>
#endif

namespace {

class WriteFlow : public ::testing::Test {
protected:
    rfid::UsbLibrary usb; // the simulated reader, found by its file name
    rfid::ReaderLink link{usb};

    void SetUp() override { rfidsim_reset(); }

    static rfid::ReaderSettings parse(const QByteArray& json) {
        rfid::ReaderSettings s;
        QString error;
        EXPECT_TRUE(rfid::parseSettings(json, "test.json", s, error)) << error.toStdString();
        return s;
    }
    // The command byte of every frame the reader took, in order.
    static QStringList commandsTaken() {
        QStringList commands;
        for (int i = 0; i < rfidsim_frame_count(); ++i) {
            unsigned char frame[300] = {};
            if (rfidsim_frame(i, frame, int(sizeof frame)) > 3)
                commands << QStringLiteral("%1").arg(frame[3], 2, 16, QLatin1Char('0')).toUpper();
        }
        return commands;
    }
};

const QByteArray kEverything = R"({"version":1,"language":"German","format":"8 no. in HEX",
  "add_semicolon":false,"add_question_mark":false,"add_comma_in_middle":false,"add_enter":true,
  "buzzer":"small","custom_byte_enabled":false,"prefix_1":"41","prefix_2":"00","prefix_3":"00",
  "prefix_4":"00","suffix_1":"00","suffix_2":"00","suffix_3":"00","suffix_4":"0D",
  "reader_mode":"Active read single","bluetooth_mode":"HID mode","bluetooth_name":"Till 4",
  "sleep_time":"5 minute"})";

TEST_F(WriteFlow, WritesEveryStepInOrderAndChecks) {
    const rfid::WriteOutcome w = rfid::writeSettings(link, parse(kEverything));
    EXPECT_TRUE(w.ok()) << w.why.toStdString();
    EXPECT_EQ(commandsTaken(), QStringList({"80", "82", "0F", "22", "88", "0E", "83"}));
    EXPECT_EQ(w.writtenSteps(), QStringList({"keyboard language", "output settings", "reader mode",
                                             "Bluetooth mode", "Bluetooth name", "sleep time"}));
    EXPECT_TRUE(w.checked);
    EXPECT_EQ(w.notChecked, QStringList({"reader_mode", "bluetooth_mode", "bluetooth_name", "sleep_time"}));

    // Without the check nothing is read back.
    rfidsim_clear_frames();
    rfid::WriteOptions noCheck;
    noCheck.verify = false;
    EXPECT_TRUE(rfid::writeSettings(link, parse(R"({"version":1,"language":"French"})"), noCheck).ok());
    EXPECT_EQ(commandsTaken(), QStringList({"80"}));
}

TEST_F(WriteFlow, OutputFieldsNotWantedStayAsTheReaderHasThem) {
    ASSERT_TRUE(rfid::writeSettings(link, parse(kEverything)).ok());
    rfidsim_clear_frames();
    const rfid::WriteOutcome w = rfid::writeSettings(link, parse(R"({"version":1,"add_semicolon":true})"));
    EXPECT_TRUE(w.ok()) << w.why.toStdString();
    EXPECT_EQ(commandsTaken(), QStringList({"83", "82", "83"}));
    const rfid::ReadBack now = rfid::readBack(link);
    ASSERT_TRUE(now.settings);
    EXPECT_EQ(now.settings->prefix[0], 0x41);
    EXPECT_EQ(now.settings->suffix[3], 0x0D);
    EXPECT_EQ(now.settings->semicolon, true);
    EXPECT_EQ(now.settings->language, parse(kEverything).language);
}

TEST_F(WriteFlow, RefusalHalfWayStopsAndSaysWhatWasWritten) {
    rfid::WriteObserver observer;
    observer.before = [](const QString& step) {
        if (step == QLatin1String("reader mode"))
            rfidsim_set_fault(RFIDSIM_REFUSE, 0x85);
    };
    const rfid::WriteOutcome w = rfid::writeSettings(link, parse(kEverything), {}, observer);
    EXPECT_EQ(w.stoppedIn, rfid::WriteStage::Write);
    EXPECT_EQ(w.reply.failure, rfid::LinkFailure::Refused);
    EXPECT_EQ(w.writtenSteps(), QStringList({"keyboard language", "output settings"}));
    EXPECT_EQ(w.unwrittenSteps().front(), QStringLiteral("reader mode"));
    EXPECT_TRUE(w.why.startsWith(QStringLiteral("the reader refused it (error 85"))) << w.why.toStdString();
    EXPECT_EQ(commandsTaken(), QStringList({"80", "82", "0F"}));
}

TEST_F(WriteFlow, SilenceHalfWayIsNoAnswer) {
    rfid::WriteObserver observer;
    observer.before = [](const QString& step) {
        if (step == QLatin1String("output settings"))
            rfidsim_set_fault(RFIDSIM_SILENT, 0);
    };
    const rfid::WriteOutcome w = rfid::writeSettings(link, parse(kEverything), {}, observer);
    EXPECT_EQ(w.stoppedIn, rfid::WriteStage::Write);
    EXPECT_EQ(w.written, 1);
    EXPECT_EQ(w.reply.failure, rfid::LinkFailure::NoAnswer);
    EXPECT_EQ(w.why, QStringLiteral("the reader did not answer"));
}

TEST_F(WriteFlow, CheckFindsTheSettingTheReaderKept) {
    rfidsim_set_fault(RFIDSIM_IGNORE_SETTING, 0); // takes the language, keeps its own
    const rfid::WriteOutcome w = rfid::writeSettings(link, parse(kEverything));
    EXPECT_EQ(w.stoppedIn, rfid::WriteStage::Done);
    EXPECT_FALSE(w.ok());
    EXPECT_EQ(w.differences, QStringList({"language: reader has American style, the file has German"}));
}

TEST_F(WriteFlow, AReaderInUseIsNotWrittenAndTheHolderIsNamed) {
    // A reader shared between processes, as a real one is.
    QTemporaryDir dir;
    qputenv("RFIDSIM_STATE", QFile::encodeName(dir.filePath(QStringLiteral("reader.state"))));
    ASSERT_FALSE(link.lockFile().isEmpty());
    rfid::ReaderLock other;
    QString error;
    ASSERT_TRUE(other.acquire(link.lockFile(), {}, 10000, {}, error)) << error.toStdString();
    link.setLockWait(150);
    const rfid::WriteOutcome w = rfid::writeSettings(link, parse(kEverything));
    EXPECT_EQ(w.stoppedIn, rfid::WriteStage::Prepare);
    EXPECT_EQ(w.reply.failure, rfid::LinkFailure::InUse);
    EXPECT_TRUE(w.why.contains(
        QStringLiteral(", process %1; try again when it ends").arg(QCoreApplication::applicationPid())))
        << w.why.toStdString();
    EXPECT_EQ(rfidsim_frame_count(), 0);
    other.release();
    EXPECT_TRUE(rfid::writeSettings(link, parse(kEverything)).ok());
    qunsetenv("RFIDSIM_STATE");
}

// This computer's record of a reader is kept by core: every command that changes
// a setting forgets it under the reader's lock, a kept write saves it whole or
// removes it, and a reader left switched is set back when next taken.
class KeptRecord : public WriteFlow {
protected:
    QTemporaryDir state;
    rfid::ReaderRecord record() { return rfid::openReaderRecord(usb); }

    void SetUp() override {
        WriteFlow::SetUp();
        qputenv("STATE_DIRECTORY", QFile::encodeName(state.path()));
    }
    void TearDown() override { qunsetenv("STATE_DIRECTORY"); }
    void saveSample() {
        const rfid::ReaderRecord r = record();
        ASSERT_TRUE(r.identity);
        const rfid::ReadBack now = rfid::readBack(link);
        ASSERT_TRUE(now.settings);
        QString error;
        ASSERT_TRUE(rfid::saveWriteRecord(r.folder, *r.identity, r.reader->path, {{}, *now.settings}, error));
        ASSERT_EQ(record().load.status, rfid::RecordStatus::Found);
    }
};

TEST_F(KeptRecord, ACommandThatChangesASettingForgetsTheRecord) {
    const struct {
        QString command;
        bool forgets;
    } cases[] = {{"83", false}, {"C0", false}, {"CD01", false}, {"8001", true}, {"0E02", true}, {"CF", true}};
    for (const auto& c : cases) {
        saveSample();
        EXPECT_TRUE(link.send(c.command).ok());
        EXPECT_EQ(record().load.status == rfid::RecordStatus::None, c.forgets) << c.command.toStdString();
    }
}

#ifndef _WIN32 // the full disk is a file-size limit (setrlimit)
TEST_F(KeptRecord, AWriteIsRecordedWholeOrNotAtAll) {
    const struct {
        QByteArray json;
        bool fullDisk;
        rfid::RecordStatus after;
    } cases[] = {
        {kEverything, false, rfid::RecordStatus::Found},
        {R"({"version":1,"sleep_time":"5 minute"})", false, rfid::RecordStatus::Found},
        {kEverything, true, rfid::RecordStatus::None},
    };
    rfid::WriteOptions keep;
    keep.keepRecord = true;
    ::signal(SIGXFSZ, SIG_IGN);
    for (const auto& c : cases) {
        saveSample();
        rlimit saved{};
        ::getrlimit(RLIMIT_FSIZE, &saved);
        rlimit tiny = saved;
        tiny.rlim_cur = c.fullDisk ? 16 : saved.rlim_cur;
        ::setrlimit(RLIMIT_FSIZE, &tiny);
        const rfid::WriteOutcome w = rfid::writeSettings(link, parse(c.json), keep);
        ::setrlimit(RLIMIT_FSIZE, &saved);
        EXPECT_TRUE(w.ok()) << w.why.toStdString();
        EXPECT_EQ(w.recordProblem.isEmpty(), !c.fullDisk) << w.recordProblem.toStdString();
        EXPECT_EQ(record().load.status, c.after) << c.json.toStdString();
    }
}
#endif

TEST_F(KeptRecord, AReaderLeftSwitchedIsSetBackWhenNextTaken) {
    const rfid::ReadBack before = rfid::readBack(link);
    ASSERT_TRUE(before.settings);
    const auto held = *rfid::outputSettingsBytes(*before.settings);
    auto written = held;
    written[0] = 0x01;
    auto other = held;
    other[0] = 0x03;
    const struct {
        std::array<std::uint8_t, rfid::kOutputBytes> readerHas;
        std::uint8_t formatAfter;
        QString says;
    } cases[] = {
        {written, held[0], "it was set back to"},
        {other, 0x03, "so its output settings were left as they are"},
    };
    for (const auto& c : cases) {
        ASSERT_TRUE(link.send(rfid::outputSettingsCommand(c.readerHas)).ok());
        rfid::SwitchNote note{"Find the format", "sim:0", QDateTime::currentDateTimeUtc(), held, written};
        QString error;
        ASSERT_TRUE(rfid::noteSwitch(link, note, error)) << error.toStdString();
        QStringList notices;
        rfid::ReaderLink next(usb);
        next.setNotice([&](const QString& text) { notices << text; });
        const rfid::ReadBack now = rfid::readBack(next);
        ASSERT_TRUE(now.settings);
        EXPECT_EQ(now.settings->format, c.formatAfter);
        ASSERT_EQ(notices.size(), 1);
        EXPECT_TRUE(notices.front().startsWith("Find the format switched reader sim:0 at "));
        EXPECT_TRUE(notices.front().contains(c.says)) << notices.front().toStdString();
        EXPECT_TRUE(QDir(state.path()).entryList({"switched-*"}).isEmpty());
    }
}

} // namespace
