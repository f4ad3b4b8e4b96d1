// Writing only what differs, against the simulated reader's firmware: the plan
// reads and sends nothing, a second write of the same settings sends nothing
// the reader reports, and a last write from this computer leaves out the
// settings the reader cannot report only while the reader is as it was left.
#include "applyplan.h"
#include "readerlink.h"
#include "rfidsim.h"
#include "settingsfile.h"
#include "writeflow.h"

#include <QStringList>
#include <gtest/gtest.h>

namespace {

class OnlyWhatDiffers : public ::testing::Test {
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
    // The command byte of every frame the reader took, in order; then forgets them.
    static QStringList taken() {
        QStringList commands;
        for (int i = 0; i < rfidsim_frame_count(); ++i) {
            unsigned char frame[300] = {};
            if (rfidsim_frame(i, frame, int(sizeof frame)) > 3)
                commands << QStringLiteral("%1").arg(frame[3], 2, 16, QLatin1Char('0')).toUpper();
        }
        rfidsim_clear_frames();
        return commands;
    }
    static rfid::WriteOptions onlyWhenDifferent(const std::optional<rfid::LastWrite>& last = {},
                                                bool skipKnown = false) {
        rfid::WriteOptions o;
        o.onlyWhenDifferent = true;
        o.lastWrite = last;
        o.skipKnownUnreported = skipKnown;
        return o;
    }
};

const QByteArray kEverything = R"({"version":1,"language":"German","format":"8 no. in HEX",
  "add_semicolon":false,"add_question_mark":false,"add_comma_in_middle":false,"add_enter":true,
  "buzzer":"small","custom_byte_enabled":false,"prefix_1":"41","prefix_2":"00","prefix_3":"00",
  "prefix_4":"00","suffix_1":"00","suffix_2":"00","suffix_3":"00","suffix_4":"0D",
  "reader_mode":"Active read single","bluetooth_mode":"HID mode","bluetooth_name":"Till 4",
  "sleep_time":"5 minute"})";

const QStringList kUnreportedSteps{"reader mode", "Bluetooth mode", "Bluetooth name", "sleep time"};

TEST_F(OnlyWhatDiffers, ThePlanReadsTheReaderAndSendsNothing) {
    const rfid::WritePlan plan = rfid::planWrite(link, parse(kEverything), onlyWhenDifferent());
    ASSERT_TRUE(plan.ok()) << plan.why.toStdString();
    EXPECT_EQ(taken(), QStringList({"83"}));
    EXPECT_EQ(plan.names(rfid::StepState::Write),
              QStringList({"keyboard language", "output settings"}) + kUnreportedSteps);
    EXPECT_TRUE(plan.changes());
    EXPECT_EQ(plan.cannotBeReadBack,
              QStringList({"reader_mode", "bluetooth_mode", "bluetooth_name", "sleep_time"}));
    // The reader's defaults against the file, key by key.
    QStringList differences;
    for (const rfid::SettingDifference& d : plan.differences)
        differences << rfid::keyName(d.key) + ": " + d.reader + " -> " + d.wanted;
    EXPECT_TRUE(differences.contains("language: American style -> German"))
        << differences.join("\n").toStdString();
    EXPECT_TRUE(differences.contains("prefix_1: 00 -> 41")) << differences.join("\n").toStdString();
    EXPECT_FALSE(differences.join("\n").contains("add_semicolon")) << "the reader has it already";
}

TEST_F(OnlyWhatDiffers, ASecondWriteSendsOnlyWhatTheReaderCannotReport) {
    const rfid::WriteOutcome first = rfid::writeSettings(link, parse(kEverything), onlyWhenDifferent());
    ASSERT_TRUE(first.ok()) << first.why.toStdString();
    EXPECT_EQ(taken(), QStringList({"83", "80", "82", "0F", "22", "88", "0E", "83"}));
    EXPECT_TRUE(first.changed);
    ASSERT_TRUE(first.lastWrite);
    EXPECT_EQ(first.lastWrite->unreported, rfid::unreportedPart(parse(kEverything)));
    EXPECT_EQ(first.lastWrite->reported.language, parse(kEverything).language);

    // Without a record the four are written again, the two the reader reports
    // are not, and the read before writing stands for the check.
    rfid::WriteOutcome second = rfid::writeSettings(link, parse(kEverything), onlyWhenDifferent());
    EXPECT_TRUE(second.ok());
    EXPECT_EQ(taken(), QStringList({"83", "0F", "22", "88", "0E"}));
    EXPECT_EQ(second.unchanged, QStringList({"keyboard language", "output settings"}));
    EXPECT_EQ(second.steps, kUnreportedSteps);
    EXPECT_TRUE(second.checked);
    EXPECT_TRUE(second.changed) << "what the reader held is not known";

    // With the record they are written, but change nothing known...
    second = rfid::writeSettings(link, parse(kEverything), onlyWhenDifferent(first.lastWrite));
    EXPECT_EQ(taken(), QStringList({"83", "0F", "22", "88", "0E"}));
    EXPECT_FALSE(second.changed);
    // ...and with when-changed nothing is written at all.
    second = rfid::writeSettings(link, parse(kEverything), onlyWhenDifferent(first.lastWrite, true));
    EXPECT_TRUE(second.ok());
    EXPECT_EQ(taken(), QStringList({"83"}));
    EXPECT_TRUE(second.steps.isEmpty());
    EXPECT_EQ(second.known, kUnreportedSteps);
    EXPECT_FALSE(second.changed);
    ASSERT_TRUE(second.lastWrite);
    EXPECT_EQ(second.lastWrite->unreported, first.lastWrite->unreported);
}

TEST_F(OnlyWhatDiffers, TheLastWriteCountsOnlyWhileTheReaderIsAsItWasLeft) {
    const rfid::WriteOutcome first = rfid::writeSettings(link, parse(kEverything), onlyWhenDifferent());
    ASSERT_TRUE(first.lastWrite);
    taken();

    // A new sleep time is written; the other three stay out.
    QByteArray changed = kEverything;
    changed.replace("\"5 minute\"", "\"10 minute\"");
    rfid::WriteOutcome w =
        rfid::writeSettings(link, parse(changed), onlyWhenDifferent(first.lastWrite, true));
    EXPECT_EQ(taken(), QStringList({"83", "0E"}));
    EXPECT_EQ(w.known, QStringList({"reader mode", "Bluetooth mode", "Bluetooth name"}));
    EXPECT_TRUE(w.changed);
    ASSERT_TRUE(w.lastWrite);
    EXPECT_EQ(w.lastWrite->unreported.sleepTime, parse(changed).sleepTime);

    // Someone else changed the reader (its language) since: nothing the record
    // says is trusted, every setting goes out.
    ASSERT_TRUE(rfid::writeSettings(link, parse(R"({"version":1,"language":"French"})")).ok());
    taken();
    w = rfid::writeSettings(link, parse(changed), onlyWhenDifferent(w.lastWrite, true));
    EXPECT_TRUE(w.ok());
    EXPECT_EQ(taken(), QStringList({"83", "80", "0F", "22", "88", "0E", "83"}));
    EXPECT_TRUE(w.known.isEmpty());
}

TEST_F(OnlyWhatDiffers, AWriteThatStopsOrIsNotReadBackKnowsNothing) {
    rfid::WriteObserver refuse;
    refuse.before = [](const QString& step) {
        if (step == QLatin1String("Bluetooth name"))
            rfidsim_set_fault(RFIDSIM_REFUSE, 0x10);
    };
    const rfid::WriteOutcome stopped =
        rfid::writeSettings(link, parse(kEverything), onlyWhenDifferent(), refuse);
    EXPECT_EQ(stopped.stoppedIn, rfid::WriteStage::Write);
    EXPECT_TRUE(stopped.changed) << "the language was written before the refusal";
    EXPECT_FALSE(stopped.lastWrite);
    rfidsim_set_fault(RFIDSIM_OK, 0);

    rfid::WriteOptions noCheck = onlyWhenDifferent();
    noCheck.verify = false;
    // The language is written and not read back: what the reader reports now is unknown.
    EXPECT_FALSE(rfid::writeSettings(link, parse(R"({"version":1,"language":"Italy"})"), noCheck).lastWrite);
    // Nothing it reports was written: the read before writing stands.
    const rfid::WriteOutcome w = rfid::writeSettings(
        link, parse(R"({"version":1,"language":"Italy","sleep_time":"1 minute"})"), noCheck);
    ASSERT_TRUE(w.lastWrite);
    EXPECT_EQ(w.lastWrite->reported.language, parse(R"({"version":1,"language":"Italy"})").language);
}

TEST_F(OnlyWhatDiffers, TheDefaultFlowStillWritesEverything) {
    ASSERT_TRUE(rfid::writeSettings(link, parse(kEverything)).ok());
    taken();
    const rfid::WriteOutcome again = rfid::writeSettings(link, parse(kEverything));
    EXPECT_TRUE(again.ok());
    EXPECT_EQ(taken(), QStringList({"80", "82", "0F", "22", "88", "0E", "83"}));
    EXPECT_TRUE(again.unchanged.isEmpty());
}

} // namespace
