// The record of what this computer last wrote to a reader (its file, how a
// reader is recognised, damaged files), files replaced in one step, and the
// audit's metrics text.
#include "atomicfile.h"
#include "prometheus.h"
#include "switchjournal.h"
#include "writerecord.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QByteArray readAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

void writeText(const QString& path, const QByteArray& text) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly)) << path.toStdString();
    f.write(text);
}

rfid::LastWrite sampleWrite() {
    rfid::LastWrite w;
    // What the reader reports: Norway, 8 no. in HEX with Enter and a custom byte.
    const std::vector<std::uint8_t> payload{0x11, 0x0C, 0, 0, 0, 1, 1, 1, 0x2B, 0x41, 0, 0, 0, 0, 0, 0, 0x0D};
    w.reported = *rfid::decodeReadBack(payload);
    w.unreported.readerMode = 0x02;
    w.unreported.bluetoothName = QStringLiteral("Till \"4\" / ü");
    w.unreported.sleepTime = 0x04;
    return w;
}

TEST(WriteRecord, IsKeptAndFoundAgainForTheSameReaderOnly) {
    QTemporaryDir dir;
    const QString folder = dir.filePath("state/rfid-demo"); // created on the first save
    const rfid::ReaderIdentity id{"1-2.3", "0001A7"};
    QString error;
    EXPECT_EQ(rfid::loadWriteRecord(folder, id).status, rfid::RecordStatus::None);
    ASSERT_TRUE(rfid::saveWriteRecord(folder, id, "/dev/hidraw3", sampleWrite(), error))
        << error.toStdString();

    const rfid::RecordLoad found = rfid::loadWriteRecord(folder, id);
    ASSERT_EQ(found.status, rfid::RecordStatus::Found) << found.problem.toStdString();
    EXPECT_EQ(found.lastWrite.unreported, sampleWrite().unreported);
    EXPECT_EQ(found.lastWrite.reported, sampleWrite().reported);
    EXPECT_EQ(QDir(folder).entryList(QDir::Files | QDir::Hidden), QStringList({"reader-1-2.3_0001A7.json"}));

    // The same serial on another port, another serial on the same port: other readers.
    EXPECT_EQ(rfid::loadWriteRecord(folder, {"1-2.4", "0001A7"}).status, rfid::RecordStatus::None);
    EXPECT_EQ(rfid::loadWriteRecord(folder, {"1-2.3", "0001A8"}).status, rfid::RecordStatus::None);

    EXPECT_TRUE(rfid::forgetWriteRecord(folder, id, error));
    EXPECT_EQ(rfid::loadWriteRecord(folder, id).status, rfid::RecordStatus::None);
    EXPECT_TRUE(rfid::forgetWriteRecord(folder, id, error)) << "nothing to forget is no error";
}

TEST(WriteRecord, FileNamesHoldNoPathAndStayShort) {
    EXPECT_EQ((rfid::ReaderIdentity{"sim:0", "SIM-0000"}.fileName()), "reader-sim%3A0_SIM-0000.json");
    EXPECT_EQ((rfid::ReaderIdentity{"/dev/hidraw3", ""}.fileName()), "reader-%2Fdev%2Fhidraw3_.json");
    // An underscore in either part cannot make two readers share a name.
    EXPECT_NE((rfid::ReaderIdentity{"a_b", "c"}.fileName()), (rfid::ReaderIdentity{"a", "b_c"}.fileName()));
    const QString hostile = (rfid::ReaderIdentity{"1-1", "../../etc/passwd\n"}).fileName();
    EXPECT_FALSE(hostile.contains('/')) << hostile.toStdString();
    EXPECT_FALSE(hostile.contains('\n'));
    const QString a = rfid::ReaderIdentity{"1-1", QString(300, 'x')}.fileName();
    const QString b = rfid::ReaderIdentity{"1-1", QString(299, 'x')}.fileName();
    EXPECT_LE(a.size(), 200);
    EXPECT_NE(a, b);
}

TEST(WriteRecord, ADamagedFileIsNamedAndNeverTrusted) {
    QTemporaryDir dir;
    const rfid::ReaderIdentity id{"sim:0", "SIM-0000"};
    const QString path = dir.filePath(id.fileName());
    QString error;
    ASSERT_TRUE(rfid::saveWriteRecord(dir.path(), id, "sim:0", sampleWrite(), error));
    const QByteArray good = readAll(path);
    auto edited = [&](const char* from, const char* to) {
        QByteArray text = good;
        EXPECT_TRUE(text.contains(from)) << from;
        return text.replace(from, to);
    };
    const QList<QByteArray> damaged = {
        "",
        "{\"version\": 1, \"port\": \"sim:0\"",
        "[1, 2]",
        QByteArray(70 * 1024, ' ') + good,
        edited("\"version\": 1", "\"version\": 2"),
        edited("\"port\": \"sim:0\"", "\"port\": 7"),
        edited("\"serial\": \"SIM-0000\"", "\"serial\": \"SIM-0001\""),
        edited("\"reported\": \"110C", "\"reported\": \"0C"),
        edited("\"reported\": \"110C", "\"reported\": \"XY0C"),
        edited("\"reader_mode\": \"02\"", "\"reader_mode\": \"2\""),
        edited("\"reader_mode\": \"02\"", "\"reader_mode\": 2"),
        edited("\"reader_mode\": \"02\"", "\"volume\": \"02\""),
        edited("\"sleep_time\": \"04\"", "\"sleep_time\": null"),
        edited("\"bluetooth_name\": \"Till \\\"4\\\" / ü\"", "\"bluetooth_name\": \"\""),
        edited("\"unreported\": {", "\"unreported\": 5, \"other\": {"),
    };
    for (const QByteArray& text : damaged) {
        writeText(path, text);
        const rfid::RecordLoad r = rfid::loadWriteRecord(dir.path(), id);
        EXPECT_EQ(r.status, rfid::RecordStatus::Damaged) << text.left(300).constData();
        EXPECT_FALSE(r.problem.isEmpty());
        EXPECT_EQ(r.path, path);
    }
    // A folder in the file's place.
    QFile::remove(path);
    ASSERT_TRUE(QDir().mkdir(path));
    EXPECT_EQ(rfid::loadWriteRecord(dir.path(), id).status, rfid::RecordStatus::Damaged);
    // A file in the folder's place: the record cannot be kept, and says where.
    writeText(dir.filePath("plain"), "x");
    EXPECT_FALSE(rfid::saveWriteRecord(dir.filePath("plain/state"), id, "sim:0", sampleWrite(), error));
    EXPECT_TRUE(error.contains(dir.filePath("plain/state"))) << error.toStdString();
}

TEST(WriteRecord, AFifoInItsPlaceIsDamagedAndNeverWaitedOn) {
    QTemporaryDir dir;
    const rfid::ReaderIdentity id{"1-2.3", "0001A7"};
    ASSERT_EQ(::mkfifo(QFile::encodeName(dir.filePath(id.fileName())).constData(), 0600), 0);
    const rfid::RecordLoad r = rfid::loadWriteRecord(dir.path(), id);
    EXPECT_EQ(r.status, rfid::RecordStatus::Damaged);
    EXPECT_EQ(r.problem, QStringLiteral("not a regular file"));
}

TEST(SwitchNote, ReadsBackWhatItWroteAndRefusesAnythingElse) {
    const rfid::ReaderIdentity id{"1-2.3", "0001A7"};
    rfid::SwitchNote note{
        "Find the format", "/dev/hidraw3", QDateTime::fromSecsSinceEpoch(1800000000, Qt::UTC), {}, {}, 4711};
    note.held[0] = 0x0F;
    note.written[0] = 0x01;
    const QByteArray good = rfid::switchNoteText(id, note);
    auto with = [&](const char* from, const char* to) { return QByteArray(good).replace(from, to); };
    const struct {
        QByteArray text;
        bool ok;
    } cases[] = {
        {good, true},
        {"", false},
        {"[1,2]", false},
        {with("\"version\":1", "\"version\":2"), false},
        {with("0F000000", "0F0000"), false},          // held is not 32 hex digits
        {with("0F000000", "0G000000"), false},        // nor hex
        {with("0001A7", "0001A8"), false},            // another reader's note
        {with("\"when\":\"", "\"when\":\"x"), false}, // no time
        {good + QByteArray(int(rfid::kMaxRecordBytes), ' '), false},
    };
    for (const auto& c : cases) {
        rfid::SwitchNote read;
        QString problem;
        EXPECT_EQ(rfid::parseSwitchNote(c.text, id, read, problem), c.ok) << c.text.left(200).toStdString();
        EXPECT_EQ(problem.isEmpty(), c.ok);
        if (c.ok) {
            EXPECT_EQ(read.held, note.held);
            EXPECT_EQ(read.written, note.written);
            EXPECT_EQ(read.pid, 4711);
            EXPECT_EQ(read.when, note.when);
        }
    }
}

TEST(WriteRecord, ASerialSharedByReadersChoosesNone) {
    auto reader = [](const char* path, const char* serial) {
        rfid::ReaderEntry e;
        e.path = path;
        e.serial = serial;
        return e;
    };
    const QList<rfid::ReaderEntry> readers{reader("/dev/hidraw1", "0001A7"), reader("/dev/hidraw2", "0001A7"),
                                           reader("/dev/hidraw3", "0002B8")};
    const struct {
        QString key;
        QStringList paths;
    } cases[] = {
        {"0001A7", {"/dev/hidraw1", "/dev/hidraw2"}},
        {"0002B8", {}},
        {"/dev/hidraw2", {}},
        {"0003C9", {}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(rfid::readersSharing(readers, c.key), c.paths) << c.key.toStdString();
}

TEST(WriteRecord, AReaderIsRecognisedByItsUsbPort) {
    QTemporaryDir sys;
    // A reader's command interface on port 3 of a hub on port 2 of bus 1, and a
    // node of a HID device that is not on USB.
    const QString usb = sys.filePath("devices/pci0000:00/0000:00:14.0/usb1/1-2/1-2.3");
    ASSERT_TRUE(QDir().mkpath(usb + "/1-2.3:1.1/0003:04D8:003F.0007"));
    writeText(usb + "/1-2.3:1.1/bInterfaceNumber", "01\n");
    ASSERT_TRUE(QDir().mkpath(sys.filePath("devices/virtual/misc/uhid/0003:04D8:003F.0009")));
    ASSERT_TRUE(QDir().mkpath(sys.filePath("class/hidraw/hidraw3")));
    ASSERT_TRUE(QDir().mkpath(sys.filePath("class/hidraw/hidraw5")));
    ASSERT_TRUE(
        QFile::link(usb + "/1-2.3:1.1/0003:04D8:003F.0007", sys.filePath("class/hidraw/hidraw3/device")));
    ASSERT_TRUE(QFile::link(sys.filePath("devices/virtual/misc/uhid/0003:04D8:003F.0009"),
                            sys.filePath("class/hidraw/hidraw5/device")));

    EXPECT_EQ(rfid::usbPortOf("/dev/hidraw3", sys.path()), "1-2.3");
    EXPECT_EQ(rfid::usbPortOf("/dev/hidraw5", sys.path()), "");
    EXPECT_EQ(rfid::usbPortOf("/dev/hidraw9", sys.path()), "");
    EXPECT_EQ(rfid::usbPortOf("/dev/hidraw3/../hidraw3", sys.path()), "");
    EXPECT_EQ(rfid::usbPortOf("sim:0", sys.path()), "");

    const rfid::ReaderIdentity onUsb = rfid::readerIdentity("/dev/hidraw3", "0001A7", sys.path());
    EXPECT_EQ(onUsb.port, "1-2.3");
    EXPECT_EQ(onUsb.serial, "0001A7");
    // Without a port, the device path stands in.
    EXPECT_EQ(rfid::readerIdentity("/dev/hidraw5", "", sys.path()).port, "/dev/hidraw5");
}

TEST(WriteRecord, StateFolderFollowsSystemdThenTheUser) {
    const QByteArray saved = qgetenv("STATE_DIRECTORY");
    const QByteArray savedXdg = qgetenv("XDG_STATE_HOME");
    qputenv("STATE_DIRECTORY", "/var/lib/rfid-demo:/var/lib/other");
    EXPECT_EQ(rfid::stateFolder(), "/var/lib/rfid-demo");
    qunsetenv("STATE_DIRECTORY");
    qputenv("XDG_STATE_HOME", "/home/till/.state");
    EXPECT_EQ(rfid::stateFolder(), ::geteuid() == 0 ? "/var/lib/rfid-demo" : "/home/till/.state/rfid-demo");
    qputenv("XDG_STATE_HOME", "relative/state");
    if (::geteuid() != 0) {
        EXPECT_EQ(rfid::stateFolder(), QDir::homePath() + "/.local/state/rfid-demo");
    }
    auto restore = [](const char* name, const QByteArray& value) {
        if (value.isNull())
            qunsetenv(name);
        else
            qputenv(name, value);
    };
    restore("STATE_DIRECTORY", saved);
    restore("XDG_STATE_HOME", savedXdg);
}

TEST(AtomicFile, ReplacesTheFileInOneStep) {
    QTemporaryDir dir;
    const QString path = dir.filePath("rfid.prom");
    writeText(path, "old\n");
    // A second name for the old file: a file rewritten in place would change it too.
    ASSERT_EQ(
        ::link(QFile::encodeName(path).constData(), QFile::encodeName(dir.filePath("before")).constData()),
        0);

    rfid::AtomicFile file(path);
    QString error;
    ASSERT_TRUE(file.open(error)) << error.toStdString();
    EXPECT_EQ(QFileInfo(file.temporaryPath()).path(), dir.path()) << "in the same folder";
    EXPECT_TRUE(QFileInfo(file.temporaryPath()).fileName().startsWith(".rfid.prom."));
    EXPECT_FALSE(file.temporaryPath().endsWith(".prom")) << "a collector reading *.prom never sees it";
    EXPECT_EQ(readAll(path), "old\n");
    ASSERT_TRUE(file.commit("new\n", error)) << error.toStdString();
    EXPECT_EQ(readAll(path), "new\n");
    EXPECT_EQ(readAll(dir.filePath("before")), "old\n");
    EXPECT_EQ(QFileInfo(path).permissions() & QFileDevice::ReadOther, QFileDevice::ReadOther);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList({"before", "rfid.prom"}));

    {
        rfid::AtomicFile abandoned(path);
        ASSERT_TRUE(abandoned.open(error));
    }
    EXPECT_EQ(readAll(path), "new\n");
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList({"before", "rfid.prom"}));

    EXPECT_FALSE(rfid::AtomicFile(dir.filePath("missing/rfid.prom")).open(error));
    EXPECT_EQ(error, dir.filePath("missing/rfid.prom") + ": cannot be written (No such file or directory)");
    EXPECT_FALSE(rfid::writeFileAtomically(dir.path(), "x", error));
    EXPECT_EQ(error, dir.path() + ": cannot be written (it is a folder)");
}

TEST(Metrics, AreTheTextFormatWithEscapedLabels) {
    EXPECT_EQ(rfid::prometheusLabelValue("a\"b\\c\nd"), "a\\\"b\\\\c\\nd");

    rfid::AuditOutcome audit;
    rfid::ReaderAudit agrees{"/dev/hidraw3", "0001A7", true, rfid::LinkFailure::None, {}, {}};
    rfid::ReaderAudit differs{"/dev/hidraw4", "say \"hi\"\\", true, rfid::LinkFailure::None, {}, {}};
    differs.differences = {{rfid::SettingKey::Language, "American style", "German"},
                           {rfid::SettingKey::Format, "14 no. in HEX (7 byte)", "10 no.in D"}};
    rfid::ReaderAudit silent{"/dev/hidraw5", "", false, rfid::LinkFailure::NoAnswer, "no answer", {}};
    rfid::ReaderAudit refusing{"/dev/hidraw6",       "", false, rfid::LinkFailure::Refused,
                               "refused (error 01)", {}};
    audit.readers = {agrees, differs, silent, refusing};
    const QString text = QString::fromUtf8(rfid::auditMetrics(audit, 1700000000));

    const QString label = R"([a-zA-Z_][a-zA-Z0-9_]*="(?:[^"\\\n]|\\[\\"n])*")";
    const QRegularExpression sample("^([a-zA-Z_:][a-zA-Z0-9_:]*)(\\{" + label + "(?:," + label +
                                    ")*\\})? -?[0-9]+$");
    QStringList typed;
    for (const QString& line : text.split('\n', Qt::SkipEmptyParts)) {
        if (line.startsWith("# TYPE ")) {
            typed << line.section(' ', 2, 2);
            EXPECT_EQ(line.section(' ', 3), "gauge");
            continue;
        }
        if (line.startsWith("# HELP "))
            continue;
        const QRegularExpressionMatch m = sample.match(line);
        ASSERT_TRUE(m.hasMatch()) << line.toStdString();
        EXPECT_TRUE(typed.contains(m.captured(1))) << "no # TYPE before " << line.toStdString();
    }
    EXPECT_TRUE(text.contains("rfid_reader_agrees{device=\"/dev/hidraw3\",serial=\"0001A7\"} 1\n"));
    EXPECT_TRUE(
        text.contains("rfid_reader_agrees{device=\"/dev/hidraw4\",serial=\"say \\\"hi\\\"\\\\\"} 0\n"));
    EXPECT_TRUE(
        text.contains("rfid_reader_differences{device=\"/dev/hidraw4\",serial=\"say \\\"hi\\\"\\\\\"} 2\n"));
    // One fault, one series that says so: a reader out of reach is down, one
    // that refused the read is up and refused; neither has a verdict or a count.
    const struct {
        const char* text;
        bool present;
    } series[] = {
        {"rfid_reader_up{device=\"/dev/hidraw5\",serial=\"\"} 0\n", true},
        {"rfid_reader_refused{device=\"/dev/hidraw5\"", false},
        {"rfid_reader_agrees{device=\"/dev/hidraw5\"", false},
        {"rfid_reader_differences{device=\"/dev/hidraw5\"", false},
        {"rfid_reader_up{device=\"/dev/hidraw6\",serial=\"\"} 1\n", true},
        {"rfid_reader_refused{device=\"/dev/hidraw6\",serial=\"\"} 1\n", true},
        {"rfid_reader_agrees{device=\"/dev/hidraw6\"", false},
        {"rfid_reader_differences{device=\"/dev/hidraw6\"", false},
        {"rfid_reader_refused{device=\"/dev/hidraw3\",serial=\"0001A7\"} 0\n", true},
    };
    for (const auto& s : series)
        EXPECT_EQ(text.contains(s.text), s.present) << s.text << "\n" << text.toStdString();
    EXPECT_TRUE(text.contains(",key=\"language\",reader=\"American style\",wanted=\"German\"} 1\n"));
    EXPECT_TRUE(text.contains("rfid_audit_readers 4\n"));
    EXPECT_TRUE(text.endsWith("rfid_audit_timestamp_seconds 1700000000\n"));
}

} // namespace
