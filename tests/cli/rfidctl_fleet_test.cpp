// rfidctl for readers on many computers, run as a process against simulated
// readers: apply --check sends no write, a second apply sends none for what the
// reader reports (none at all with --write-only-settings=when-changed), --json,
// audit of three readers with one drifted, its metrics file, and hostile input.
#include "readerlink.h"
#include "readerlock.h"
#include "rfidctl_harness.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStandardPaths>
#include <gtest/gtest.h>
#include <unistd.h>

// Texts in failure messages as text.
inline void PrintTo(const QString& text, std::ostream* os) {
    *os << '"' << text.toStdString() << '"';
}

namespace {

using Ran = RfidctlRun;

class RfidctlFleet : public RfidctlHarness {
protected:
    QString state() const { return dir.filePath("state"); }

    Ran run(const QStringList& args, const QStringList& env = {}, const QByteArray& input = {}) {
        return RfidctlHarness::run(QStringList{"--sim"} + args, env, input);
    }
    // The command bytes of the frames the readers took since the last call.
    QStringList taken() {
        QStringList commands;
        for (const QString& frame : framesTaken())
            commands << frame.section(' ', 4, 4);
        clearFrames();
        return commands;
    }
    static QJsonObject json(const QString& line) {
        QJsonParseError error{};
        const QJsonDocument doc = QJsonDocument::fromJson(line.toUtf8(), &error);
        EXPECT_EQ(error.error, QJsonParseError::NoError) << line.toStdString();
        return doc.object();
    }
};

const QByteArray kSite = R"({"version": 1, "language": "German", "format": "8 no. in HEX", "add_enter": true,
  "reader_mode": "Active read single", "bluetooth_name": "Till 4", "sleep_time": "5 minute"})";

TEST_F(RfidctlFleet, CheckShowsWhatWouldChangeAndSendsNoWrite) {
    const QString site = file("site.json", kSite);
    Ran r = run({"apply", site, "--check"});
    EXPECT_EQ(r.code, 1) << r.err.toStdString();
    EXPECT_EQ(r.out, "format: reader has 10 no.in D, the file has 8 no. in HEX\n"
                     "add_enter: reader has false, the file has true\n"
                     "language: reader has American style, the file has German\n"
                     "Would write: keyboard language, output settings.\n"
                     "Would be written, cannot be read back: reader mode, Bluetooth name, sleep time.\n");
    EXPECT_EQ(taken(), QStringList({"83"}));

    ASSERT_EQ(run({"apply", site}).code, 0);
    taken();
    r = run({"apply", site, "--check"});
    EXPECT_EQ(r.code, 0) << r.out.toStdString();
    EXPECT_EQ(r.out, "Would be written again, unchanged since this computer last wrote them: reader mode, "
                     "Bluetooth name, sleep time.\n"
                     "Unchanged: keyboard language, output settings.\n"
                     "Nothing would change.\n");
    r = run({"set", "language=French", "--check", "--write-only-settings=when-changed"});
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.out, "language: reader has German, the command line has French\n"
                     "Would write: keyboard language.\n");
    EXPECT_EQ(taken(), QStringList({"83", "83"}));
}

TEST_F(RfidctlFleet, ASecondApplySendsNoWriteForWhatTheReaderReports) {
    const QString site = file("site.json", kSite);
    Ran r = run({"apply", site});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_TRUE(r.out.startsWith("Written: keyboard language, output settings, reader mode, Bluetooth name, "
                                 "sleep time.\n"))
        << r.out.toStdString();
    EXPECT_EQ(taken(), QStringList({"83", "80", "82", "0F", "88", "0E", "83"}));

    // The settings the reader cannot report go out every time by default.
    r = run({"apply", site});
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.out,
              "Written: reader mode, Bluetooth name, sleep time.\n"
              "Unchanged: keyboard language, output settings.\n"
              "Not checked (the reader does not report them): reader_mode, bluetooth_name, sleep_time\n"
              "Check: the reader agrees with the file.\n");
    EXPECT_EQ(taken(), QStringList({"83", "0F", "88", "0E"}));

    // With the record of the last write, nothing at all.
    r = run({"apply", site, "--write-only-settings=when-changed"});
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.out,
              "Nothing to change.\n"
              "Unchanged: keyboard language, output settings.\n"
              "Unchanged since this computer last wrote them: reader mode, Bluetooth name, sleep time.\n"
              "Not checked (the reader does not report them): reader_mode, bluetooth_name, sleep_time\n"
              "Check: the reader agrees with the file.\n");
    EXPECT_EQ(taken(), QStringList({"83"}));

    // After a factory reset the record no longer holds, even for a file that
    // wants what the reader reports after the reset.
    const QString defaults = file("defaults.json", R"({"version": 1, "language": "American style",
        "reader_mode": "Active read single"})");
    ASSERT_EQ(run({"factory-reset"}).code, 0);
    ASSERT_EQ(run({"apply", defaults}).code, 0);
    ASSERT_EQ(run({"factory-reset"}).code, 0);
    taken();
    r = run({"apply", defaults, "--write-only-settings=when-changed"});
    EXPECT_EQ(r.out.section('\n', 0, 1), "Written: reader mode.\nUnchanged: keyboard language.");
    EXPECT_EQ(taken(), QStringList({"83", "0F"}));
    ASSERT_EQ(run({"apply", site}).code, 0);
    taken();

    // One output key changed: only the output settings go out, then the check.
    r = run({"set", "add_enter=false", "--write-only-settings", "when-changed"});
    EXPECT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_EQ(r.out, "Written: output settings.\nCheck: the reader agrees with the command line.\n");
    EXPECT_EQ(taken(), QStringList({"83", "82", "83"}));
    // The record still holds: the reader changed only through this computer.
    EXPECT_EQ(run({"set", "sleep_time=5 minute", "--write-only-settings=when-changed"}).out,
              "Nothing to change.\nUnchanged since this computer last wrote them: sleep time.\n"
              "Not checked (the reader does not report them): sleep_time\n"
              "Check: the reader agrees with the command line.\n");
}

TEST_F(RfidctlFleet, JsonSaysWhatChangedTruly) {
    const QString site = file("site.json", kSite);
    Ran r = run({"apply", site, "--json"});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    ASSERT_EQ(r.out.count('\n'), 1) << "one object, one line: " << r.out.toStdString();
    QJsonObject o = json(r.out);
    EXPECT_EQ(o.keys(), QStringList({"cannot_be_read_back", "changed", "device", "differences", "error",
                                     "not_written", "serial", "unchanged", "unreported_writes", "written"}));
    EXPECT_EQ(o["device"].toString(), "sim:0");
    EXPECT_EQ(o["serial"].toString(), "SIM-0000");
    EXPECT_TRUE(o["changed"].toBool());
    EXPECT_EQ(o["written"].toArray().size(), 5);
    EXPECT_TRUE(o["error"].isNull());
    EXPECT_EQ(o["cannot_be_read_back"].toArray(),
              QJsonArray({"reader_mode", "bluetooth_name", "sleep_time"}));
    EXPECT_EQ(o["differences"].toArray().at(2).toObject(),
              (QJsonObject{{"key", "language"}, {"reader", "American style"}, {"wanted", "German"}}));

    r = run({"apply", site, "--json", "--write-only-settings=when-changed"});
    o = json(r.out);
    EXPECT_FALSE(o["changed"].toBool()) << r.out.toStdString();
    EXPECT_TRUE(o["written"].toArray().isEmpty());
    EXPECT_EQ(o["unchanged"].toArray().size(), 5);
    EXPECT_TRUE(o["differences"].toArray().isEmpty());

    r = run({"set", "language=French", "--check", "--json"});
    EXPECT_EQ(r.code, 1);
    o = json(r.out);
    EXPECT_TRUE(o["check"].toBool());
    EXPECT_TRUE(o["changed"].toBool());
    EXPECT_EQ(o["written"].toArray(), QJsonArray({"keyboard language"}));

    // A refusal: the reason, and what was and was not written.
    r = run({"set", "bluetooth_name=Till 4", "sleep_time=0 minute", "--json"}, {"RFIDSIM_REFUSE=88:10"});
    EXPECT_EQ(r.code, 1);
    o = json(r.out);
    EXPECT_TRUE(
        o["error"].toString().startsWith("Stopped at the Bluetooth name: the reader refused it (error 10"))
        << r.out.toStdString();
    EXPECT_EQ(o["not_written"].toArray(), QJsonArray({"Bluetooth name", "sleep time"}));
    EXPECT_FALSE(o["changed"].toBool());
    EXPECT_TRUE(r.err.startsWith("rfidctl: Stopped at the Bluetooth name")) << r.err.toStdString();

    // The reader in use by another program for the whole wait: nothing sent, and why.
    {
        // The test holds the reader as another program would.
        qputenv("RFIDSIM_STATE", QFile::encodeName(dir.filePath("reader.state")));
        rfid::UsbLibrary sim(QStringLiteral(RFIDSIM_LIBRARY));
        rfid::ReaderLink link(sim);
        rfid::ReaderLock held;
        QString error;
        ASSERT_TRUE(held.acquire(link.lockFile(), {}, 10000, {}, error)) << error.toStdString();
        taken();
        r = run({"--wait", "0.2", "apply", site, "--json"});
        EXPECT_EQ(r.code, 3);
        o = json(r.out);
        EXPECT_TRUE(o["error"].toString().contains(" is in use by ")) << r.out.toStdString();
        EXPECT_FALSE(o["changed"].toBool());
        EXPECT_EQ(o["not_written"].toArray().size(), 5);
        EXPECT_TRUE(taken().isEmpty());
        qunsetenv("RFIDSIM_STATE");
    }

    // A bad file is refused before any reader is named: no object.
    r = run({"apply", file("bad.json", "{\"version\": 1, \"colour\": 1}"), "--json"});
    EXPECT_EQ(r.code, 2);
    EXPECT_TRUE(r.out.isEmpty());
}

TEST_F(RfidctlFleet, AuditNamesTheOneSettingThatDrifted) {
    const QStringList three{"RFIDSIM_READERS=3"};
    const QString site = file("site.json", kSite);
    for (const char* reader : {"sim:0", "sim:1", "sim:2"})
        ASSERT_EQ(run({"--device", reader, "apply", site}, three).code, 0);
    ASSERT_EQ(run({"--device", "SIM-0001", "set", "add_enter=false"}, three).code, 0);
    taken();

    const QString prom = dir.filePath("metrics/rfid.prom");
    QDir().mkpath(dir.filePath("metrics"));
    file("metrics/rfid.prom", "stale\n");
    ASSERT_EQ(
        ::link(QFile::encodeName(prom).constData(), QFile::encodeName(dir.filePath("old.prom")).constData()),
        0);
    Ran r = run({"audit", site, "--prometheus", prom}, three);
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.out,
              "sim:0 (SIM-0000): agrees with the file\n"
              "sim:1 (SIM-0001): differs from the file in 1 setting\n"
              "  add_enter: reader has false, the file has true\n"
              "sim:2 (SIM-0002): agrees with the file\n"
              "Not checked (the reader does not report them): reader_mode, bluetooth_name, sleep_time\n");
    EXPECT_EQ(r.err, "rfidctl: 1 of 3 readers differ from the file\n");
    EXPECT_EQ(taken(), QStringList({"83", "83", "83"})) << "read only";

    // The metrics file was replaced, not written over.
    QFile old(dir.filePath("old.prom"));
    ASSERT_TRUE(old.open(QIODevice::ReadOnly));
    EXPECT_EQ(old.readAll(), "stale\n");
    EXPECT_EQ(QDir(dir.filePath("metrics")).entryList(QDir::Files | QDir::Hidden),
              QStringList({"rfid.prom"}));
    QFile metrics(prom);
    ASSERT_TRUE(metrics.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(metrics.readAll());
    EXPECT_TRUE(text.contains("rfid_reader_agrees{device=\"sim:1\",serial=\"SIM-0001\"} 0\n"))
        << text.toStdString();
    EXPECT_TRUE(text.contains("rfid_reader_agrees{device=\"sim:0\",serial=\"SIM-0000\"} 1\n"));
    EXPECT_TRUE(text.contains("rfid_reader_differences{device=\"sim:2\",serial=\"SIM-0002\"} 0\n"));
    EXPECT_TRUE(
        text.contains("rfid_reader_setting_differs{device=\"sim:1\",serial=\"SIM-0001\",key=\"add_enter\","
                      "reader=\"false\",wanted=\"true\"} 1\n"));
    // What Prometheus's own checker says, where it is installed.
    const QString promtool = QStandardPaths::findExecutable("promtool");
    if (!promtool.isEmpty()) {
        QProcess check;
        check.setStandardInputFile(prom);
        check.start(promtool, {"check", "metrics"});
        ASSERT_TRUE(check.waitForFinished(30000));
        EXPECT_EQ(check.exitCode(), 0)
            << check.readAllStandardOutput().toStdString() << check.readAllStandardError().toStdString();
    }

    r = run({"audit", site, "--json"}, three);
    EXPECT_EQ(r.code, 1);
    const QStringList lines = r.out.split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 3);
    const QJsonObject drifted = json(lines[1]);
    EXPECT_EQ(drifted["device"].toString(), "sim:1");
    EXPECT_FALSE(drifted["agrees"].toBool());
    EXPECT_EQ(drifted["differences"].toArray(),
              QJsonArray({QJsonObject{{"key", "add_enter"}, {"reader", "false"}, {"wanted", "true"}}}));
    EXPECT_TRUE(json(lines[0])["agrees"].toBool());

    // Only one reader, by --device; then none that answers.
    r = run({"--device", "SIM-0002", "audit", site}, three);
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.out.count('\n'), 2) << r.out.toStdString();
    // A reader that refuses the read: its own line, count and exit status.
    r = run({"--device", "SIM-0001", "audit", site}, {"RFIDSIM_READERS=3", "RFIDSIM_REFUSE=83:01"});
    EXPECT_EQ(r.code, 4);
    EXPECT_TRUE(r.out.startsWith("sim:1 (SIM-0001): refused the read: ")) << r.out.toStdString();
    EXPECT_EQ(r.err, "rfidctl: 1 of 1 reader refused the read\n");
    r = run({"audit", site, "--prometheus", prom}, {"RFIDSIM_READERS=3", "RFIDSIM_UNPLUGGED=0,1,2"});
    EXPECT_EQ(r.code, 3);
    EXPECT_EQ(r.err, "rfidctl: no reader is attached\n");
    metrics.close();
    ASSERT_TRUE(metrics.open(QIODevice::ReadOnly));
    EXPECT_TRUE(metrics.readAll().contains("rfid_audit_readers 0\n")) << "monitoring sees that none answered";
}

TEST_F(RfidctlFleet, HostileInputGivesClearErrors) {
    const QString site = file("site.json", kSite);
    // A bad --write-only-settings value: nothing is sent.
    Ran r = run({"apply", site, "--write-only-settings=sometimes"});
    EXPECT_EQ(r.code, 2);
    EXPECT_EQ(r.err,
              "rfidctl: --write-only-settings takes always or when-changed, not \"sometimes\"; nothing "
              "was sent\n");
    EXPECT_EQ(run({"apply", site, "--write-only-settings"}).code, 2);
    // A metrics path that cannot be written: no reader is read.
    r = run({"audit", site, "--prometheus", dir.filePath("no/such/folder/rfid.prom")});
    EXPECT_EQ(r.code, 2);
    EXPECT_EQ(r.err, "rfidctl: --prometheus: " + dir.filePath("no/such/folder/rfid.prom") +
                         ": cannot be written (No such file or directory); no reader was read\n");
    EXPECT_EQ(run({"audit", site, "--prometheus", dir.path()}).code, 2);
    EXPECT_EQ(run({"audit", dir.filePath("none.json")}).code, 2);
    EXPECT_TRUE(taken().isEmpty());

    // A damaged record: said on stderr, every setting is written, a good record replaces it.
    ASSERT_EQ(run({"apply", site}).code, 0);
    const QStringList records = QDir(state()).entryList({"reader-*.json"});
    ASSERT_EQ(records.size(), 1);
    const QString record = QDir(state()).filePath(records.front());
    file(record, "{\"version\": 1, \"port\": \"sim:0\", \"serial\": \"SIM-0000\", \"reported\": \"00");
    taken();
    r = run({"apply", site, "--write-only-settings=when-changed"});
    EXPECT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_EQ(r.err,
              "rfidctl: " + record +
                  ": the record of what this computer last wrote to the reader cannot be used (not valid "
                  "JSON (unterminated string)); the settings the reader cannot report count as unknown\n");
    EXPECT_EQ(taken(), QStringList({"83", "0F", "88", "0E"}));
    r = run({"apply", site, "--write-only-settings=when-changed"});
    EXPECT_TRUE(r.err.isEmpty()) << r.err.toStdString();
    EXPECT_EQ(taken(), QStringList({"83"}));

    // A reader whose answer cannot hold its settings: nothing is written.
    taken();
    r = run({"set", "language=French"}, {"RFIDSIM_UNPLUGGED=0"});
    EXPECT_EQ(r.code, 3);
    EXPECT_TRUE(
        r.err.startsWith("rfidctl: could not read the reader's settings; nothing was written: no reader "
                         "is attached"))
        << r.err.toStdString();
    EXPECT_EQ(taken(), QStringList({"83"}));

    // A state folder that cannot be made: the write goes on, and says the record was not kept.
    r = run({"apply", site}, {"STATE_DIRECTORY=" + site});
    EXPECT_EQ(r.code, 0);
    EXPECT_TRUE(r.err.startsWith("rfidctl: the record of this write was not kept: " + site))
        << r.err.toStdString();
}

TEST_F(RfidctlFleet, SettingsOnStandardInputAreNamedSettings) {
    // Errors name them "settings": there is no file to name.
    const struct {
        QByteArray input;
        QString err;
    } bad[] = {
        {"{\"version\": 1, \"langauge\": \"German\"}", "rfidctl: settings: \"langauge\": unknown key"},
        {"{\"version\": 1}", "rfidctl: settings: only \"version\" is given; nothing was sent\n"},
    };
    for (const auto& b : bad) {
        const Ran r = run({"apply", "-"}, {}, b.input);
        EXPECT_EQ(r.code, 2) << b.input.constData();
        EXPECT_TRUE(r.err.startsWith(b.err)) << r.err.toStdString();
    }
    EXPECT_TRUE(taken().isEmpty());

    // Every write pending is listed; one the reader cannot report with its value.
    const QByteArray s = R"({"version": 1, "language": "German", "reader_mode": "Key trigger mode"})";
    Ran r = run({"apply", "-", "--json", "--check"}, {}, s);
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(json(r.out)["unreported_writes"].toArray(),
              QJsonArray({QJsonObject{
                  {"key", "reader_mode"}, {"reader", "(not reported)"}, {"wanted", "Key trigger mode"}}}));
    ASSERT_EQ(run({"apply", "-", "--write-only-settings=when-changed"}, {}, s).code, 0);
    r = run({"apply", "-", "--json", "--check", "--write-only-settings=when-changed"}, {}, s);
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(json(r.out)["unreported_writes"].toArray(), QJsonArray()) << r.out.toStdString();
}

TEST_F(RfidctlFleet, AttachedTellsAReaderFromAnotherNode) {
    Ran r = run({"attached", "sim:1"}, {"RFIDSIM_READERS=2"});
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.out, "sim:1: Simulated RFID reader (SIM-0001)\n");
    r = run({"attached", "/dev/hidraw9"}, {"RFIDSIM_READERS=2"});
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.out, "/dev/hidraw9: not a reader's command interface\n");
    EXPECT_EQ(run({"attached"}).code, 2);
}

} // namespace
