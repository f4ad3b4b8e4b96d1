// The set-up station against several simulated readers plugged in one after
// another: rows, the results file, readers done once until replugged, a reader
// that refuses a setting, one unplugged half-way, and files refused before any
// reader is touched; then the same through the window.
#include "dialogs.h"
#include "harness.h"
#include "readerconnection.h"
#include "settingsfile.h"
#include "station.h"
#include "stationdialog.h"

#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QThread>

namespace {

const QByteArray kSettings = R"json({
  "version": 1,
  "language": "German",
  "format": "8 no. in HEX",
  "add_enter": true,
  "prefix_1": "41"
})json";

class StationTest : public WindowTest {
protected:
    QTemporaryDir dir;
    rfid::UsbLibrary usb; // the simulated reader, found by its file name

    void SetUp() override {
        WindowTest::SetUp();
        rfidsim_set_reader_count(3);
        for (int i = 0; i < 3; ++i)
            rfidsim_plug(i, 0);
    }
    QString write(const QString& name, const QByteArray& text) {
        const QString path = dir.filePath(name);
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(text);
        return path;
    }
    static rfid::ReaderSettings settings() {
        rfid::ReaderSettings s;
        QString error;
        EXPECT_TRUE(rfid::parseSettings(kSettings, "station.json", s, error)) << error.toStdString();
        return s;
    }
    QStringList csvLines(const QString& path) {
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::ReadOnly));
        return QString::fromUtf8(f.readAll()).split('\n', Qt::SkipEmptyParts);
    }
    // Frames reader `index` took, as spaced hex, without the version query.
    QStringList framesOf(int index) {
        usb.readers();
        const bool chosen = usb.selectReader(QStringLiteral("sim:%1").arg(index));
        EXPECT_TRUE(chosen) << index;
        QStringList out;
        for (const QString& f : frames())
            out << f;
        usb.selectReader(QString());
        return out;
    }
    // Queues answers for reader `index`'s next exchanges.
    void scriptFor(int index, const QStringList& answers) {
        usb.readers();
        ASSERT_TRUE(usb.selectReader(QStringLiteral("sim:%1").arg(index)));
        for (const QString& a : answers)
            scriptAnswer(a);
        usb.selectReader(QString());
    }
};

} // namespace

TEST_F(StationTest, ThreeReadersOneAfterAnotherOneRefusingASetting) {
    const QString csv = dir.filePath("results.csv");
    rfid::StationLog log;
    QString error;
    ASSERT_TRUE(log.open(csv, error)) << error.toStdString();
    rfid::Station station(usb, settings(), &log);
    ASSERT_TRUE(station.canListReaders(error)) << error.toStdString();
    EXPECT_TRUE(station.poll().isEmpty()) << "no reader plugged in yet";

    rfidsim_plug(0, 1);
    QList<rfid::StationRow> rows = station.poll();
    ASSERT_EQ(rows.size(), 1);
    EXPECT_EQ(rows[0].path, "sim:0");
    EXPECT_EQ(rows[0].serial, "SIM-0000");
    EXPECT_EQ(rows[0].version, "V1.0");
    EXPECT_EQ(rows[0].result, "ok");
    EXPECT_TRUE(rows[0].success);
    EXPECT_TRUE(station.poll().isEmpty()) << "a reader done is not done again";

    // Reader 1 answers the version and reports its output settings (the file
    // holds only some), then refuses the keyboard language.
    rfidsim_plug(1, 1);
    scriptFor(1, {"AA 00 05 00 56 31 2E 30 7C BB",
                  "AA 00 12 00 00 0F 00 00 00 00 01 01 00 00 00 00 00 00 00 00 00 1D BB",
                  "AA 00 02 01 85 86 BB"});
    rows = station.poll();
    ASSERT_EQ(rows.size(), 1);
    EXPECT_EQ(rows[0].path, "sim:1");
    EXPECT_FALSE(rows[0].success);
    EXPECT_TRUE(
        rows[0].result.startsWith("failed: Stopped at the keyboard language: the reader refused it (error "
                                  "85"))
        << rows[0].result.toStdString();
    EXPECT_TRUE(rows[0].result.endsWith("Written: nothing. Not written: keyboard language, output settings."))
        << rows[0].result.toStdString();

    rfidsim_plug(2, 1);
    rows = station.poll();
    ASSERT_EQ(rows.size(), 1);
    EXPECT_EQ(rows[0].result, "ok");
    EXPECT_EQ(station.progressLine(), "3 readers done: 2 set up, 1 failed.");

    // Unplugged and plugged back: done again.
    rfidsim_plug(0, 0);
    EXPECT_TRUE(station.poll().isEmpty());
    rfidsim_plug(0, 1);
    rows = station.poll();
    ASSERT_EQ(rows.size(), 1);
    EXPECT_EQ(rows[0].path, "sim:0");
    station.finish();

    const QStringList lines = csvLines(csv);
    ASSERT_EQ(lines.size(), 5);
    EXPECT_EQ(lines[0], "time,device,serial,version,result,differences");
    const QRegularExpression okRow(
        R"(^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d(Z|[+-]\d\d:\d\d),sim:(\d),SIM-000\2,V1\.0,ok,$)");
    EXPECT_TRUE(okRow.match(lines[1]).hasMatch()) << lines[1].toStdString();
    EXPECT_TRUE(
        lines[2].contains(",sim:1,SIM-0001,V1.0,\"failed: Stopped at the keyboard language: the reader "
                          "refused it (error 85"))
        << lines[2].toStdString();
    EXPECT_TRUE(lines[2].contains("refused it (error 85: a parameter or the command's format is wrong). "))
        << "the results give the reason in English: " << lines[2].toStdString();
    EXPECT_TRUE(okRow.match(lines[3]).hasMatch()) << lines[3].toStdString();
    EXPECT_TRUE(okRow.match(lines[4]).hasMatch()) << lines[4].toStdString();

    // The readers set up hold the file's settings and were told to beep; the
    // one that refused was not.
    const QStringList first = framesOf(0);
    EXPECT_TRUE(first.contains("AA 00 02 80 0A 88 BB")) << "German";
    EXPECT_TRUE(first.contains("AA 00 02 CD 01 CE BB")) << "beep";
    EXPECT_FALSE(framesOf(1).contains("AA 00 02 CD 01 CE BB"));
    usb.readers();
    ASSERT_TRUE(usb.selectReader("sim:2"));
    unsigned char card[7] = {0, 0, 0, 0x12, 0x34, 0xAB, 0xCD};
    char typed[64] = {};
    ASSERT_GT(rfidsim_card_text(card, 7, typed, sizeof typed), 0);
    EXPECT_STREQ(typed, "A1234ABCD\r") << "the file's format, prefix and Enter";
}

TEST_F(StationTest, DifferencesAndAReaderUnpluggedHalfWay) {
    rfid::Station station(usb, settings(), nullptr);
    // Reader 0 keeps its keyboard language whatever it is told.
    usb.readers();
    rfidsim_plug(0, 1);
    usb.readers();
    ASSERT_TRUE(usb.selectReader("sim:0"));
    rfidsim_set_fault(RFIDSIM_IGNORE_SETTING, 0);
    usb.selectReader(QString());
    QList<rfid::StationRow> rows = station.poll();
    ASSERT_EQ(rows.size(), 1);
    EXPECT_EQ(rows[0].result, "different");
    EXPECT_EQ(rows[0].differences, QStringList{"language: reader has American style, the file has German"});
    EXPECT_FALSE(rows[0].success);

    // Reader 1 is pulled out once its keyboard language is written.
    station.setStepObserver([](const rfid::ReaderEntry& r, const QString& step) {
        if (r.path == "sim:1" && step == "output settings")
            rfidsim_plug(1, 0);
    });
    rfidsim_plug(1, 1);
    rows = station.poll();
    ASSERT_EQ(rows.size(), 1);
    EXPECT_EQ(
        rows[0].result,
        "unplugged during write, settings partly written: keyboard language; not written: output settings");
    // The station goes on with the next reader.
    rfidsim_plug(2, 1);
    rows = station.poll();
    ASSERT_EQ(rows.size(), 1);
    EXPECT_EQ(rows[0].path, "sim:2");
    EXPECT_EQ(rows[0].result, "ok");
    EXPECT_EQ(station.progressLine(), "3 readers done: 1 set up, 2 failed.");
}

TEST_F(StationTest, BadFilesAreRefusedBeforeAnyReaderIsTouched) {
    rfidsim_plug(0, 1);
    rfid::StationDialog d(usb, nullptr);
    QString error;
    const QString good = write("good.json", kSettings);
    EXPECT_FALSE(d.start(good, dir.filePath("no/such/folder/results.csv"), error));
    EXPECT_TRUE(error.contains("results.csv cannot be written")) << error.toStdString();
    EXPECT_TRUE(error.endsWith("; no reader was touched")) << error.toStdString();
    EXPECT_FALSE(d.start(good, dir.path(), error));
    EXPECT_TRUE(error.contains("it is a folder")) << error.toStdString();
    EXPECT_FALSE(
        d.start(write("bad.json", R"({"version": 1, "colour": "red"})"), dir.filePath("r.csv"), error));
    EXPECT_TRUE(error.contains("colour")) << error.toStdString();
    EXPECT_FALSE(d.start(write("empty.json", R"({"version": 1})"), dir.filePath("r.csv"), error));
    EXPECT_TRUE(error.contains("holds no settings")) << error.toStdString();
    EXPECT_FALSE(d.start(good, good, error));
    EXPECT_TRUE(error.contains(" is the settings file ")) << error.toStdString();
    EXPECT_EQ(csvLines(good).front(), "{") << "the settings file is left as it was";
    EXPECT_FALSE(d.isRunning());
    QCoreApplication::processEvents();
    EXPECT_EQ(rfidsim_frame_count(), 0) << "nothing was sent";

    // CSV fields: quoted where needed; nothing a spreadsheet runs as a formula.
    EXPECT_EQ(rfid::StationLog::field("a,b"), "\"a,b\"");
    EXPECT_EQ(rfid::StationLog::field("say \"hi\""), "\"say \"\"hi\"\"\"");
    EXPECT_EQ(rfid::StationLog::field("two\nlines"), "\"two\nlines\"");
    EXPECT_EQ(rfid::StationLog::field("=HYPERLINK(1)"), "'=HYPERLINK(1)");
    EXPECT_EQ(rfid::StationLog::field("-1,+2"), "\"'-1,+2\"");
    EXPECT_EQ(rfid::StationLog::field("SIM-0001"), "SIM-0001");
}

TEST_F(StationTest, WindowWaitsForReadersAndStops) {
    const QString csv = dir.filePath("window.csv");
    // The operator chose reader 2 in the Reader menu; the station chooses each
    // reader in turn and puts that choice back when it stops.
    rfidsim_plug(2, 1);
    form->readerConnection()->refresh();
    ASSERT_TRUE(form->readerConnection()->choose("SIM-0002"));
    rfid::setFileDialogAnswers([&](const QString&, const QString&) { return csv; },
                               [&](const QString&, const QString&) { return write("s.json", kSettings); });
    find<QAction>("MenuStation")->trigger();
    rfid::setFileDialogAnswers({}, {});
    ASSERT_TRUE(errors.isEmpty()) << errors.join('\n').toStdString();
    auto* d = form->findChild<rfid::StationDialog*>("StationDialog");
    ASSERT_NE(d, nullptr);
    EXPECT_TRUE(d->isRunning());

    // Readers plugged in one after another are noticed without a click.
    auto waitRows = [&](int n) {
        QElapsedTimer t;
        t.start();
        while (d->table()->rowCount() < n && t.elapsed() < 5000) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
            QThread::msleep(2);
        }
        return d->table()->rowCount() == n;
    };
    const int order[3] = {2, 0, 1};
    for (int i = 0; i < 3; ++i) {
        rfidsim_plug(order[i], 1);
        ASSERT_TRUE(waitRows(i + 1)) << i;
        EXPECT_EQ(d->table()->item(i, rfid::StationDialog::DeviceColumn)->text(),
                  QString("sim:%1").arg(order[i]));
        EXPECT_EQ(d->table()->item(i, rfid::StationDialog::ResultColumn)->text(), "ok");
    }
    EXPECT_EQ(rfidsim_current(), 1) << "the station chose the last reader it set up";
    EXPECT_EQ(d->progressText(), "3 readers done: 3 set up, 0 failed. Waiting for the next reader.");

    d->findChild<QPushButton*>("StationStopButton")->click();
    EXPECT_FALSE(d->isRunning());
    EXPECT_EQ(d->progressText(), "Stopped. 3 readers done: 3 set up, 0 failed.");
    EXPECT_EQ(rfidsim_current(), 2) << "the window's choice is back";
    EXPECT_EQ(form->readerConnection()->chosenKey(), "SIM-0002");
    rfidsim_plug(0, 0);
    rfidsim_plug(0, 1);
    EXPECT_FALSE(waitRows(4)) << "stopped: a reader plugged in now is left alone";
    EXPECT_EQ(csvLines(csv).size(), 4);

    const QString shots = qEnvironmentVariable("RFID_SCREENSHOT_DIR");
    if (!shots.isEmpty())
        d->grab().save(QDir(shots).filePath(QStringLiteral("station.png")));
    d->close();
}
