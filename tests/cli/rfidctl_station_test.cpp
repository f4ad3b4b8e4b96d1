// rfidctl station as a separate process against several simulated readers: the
// rows on standard output and in the results file, differences, files refused
// before any reader is touched, and Ctrl+C leaving a complete results file.
#include "rfidctl_harness.h"

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QThread>

#include <csignal>
#include <sys/stat.h>

namespace {

const QByteArray kSettings =
    R"json({"version": 1, "language": "German", "format": "8 no. in HEX", "add_enter": true})json";

class RfidctlStation : public RfidctlHarness {
protected:
    using Outcome = RfidctlRun;
};

} // namespace

TEST_F(RfidctlStation, ThreeReadersAndTheirRows) {
    const QString csv = dir.filePath("results.csv");
    const Outcome o = run({"--sim", "station", file("s.json", kSettings), "--log", csv, "--count", "3"},
                          {"RFIDSIM_READERS=3"});
    EXPECT_EQ(o.code, 0) << o.err.toStdString();
    EXPECT_TRUE(o.out.contains("sim:1  SIM-0001  V1.0  ok\n2 readers done: 2 set up, 0 failed.\n"))
        << o.out.toStdString();
    EXPECT_TRUE(o.out.endsWith("Stopped. 3 readers done: 3 set up, 0 failed.\n")) << o.out.toStdString();
    const QStringList rows = lines(csv);
    ASSERT_EQ(rows.size(), 4);
    EXPECT_EQ(rows[0], "time,device,serial,version,result,differences");
    for (int i = 1; i <= 3; ++i)
        EXPECT_TRUE(rows[i].endsWith(QString(",sim:%1,SIM-000%1,V1.0,ok,").arg(i - 1)))
            << rows[i].toStdString();

    // A second run appends to the same file.
    const Outcome again =
        run({"--sim", "station", file("s.json", kSettings), "--log", csv, "--count", "1"}, {});
    EXPECT_EQ(again.code, 0);
    EXPECT_EQ(lines(csv).size(), 5);
}

TEST_F(RfidctlStation, ReadersThatKeepASettingDiffer) {
    const QString csv = dir.filePath("results.csv");
    const Outcome o = run({"--sim", "station", file("s.json", kSettings), "--log", csv, "--count", "2"},
                          {"RFIDSIM_READERS=2", "RFIDSIM_IGNORE=0"});
    EXPECT_EQ(o.code, 1);
    EXPECT_TRUE(o.out.contains("sim:0  SIM-0000  V1.0  different\n"
                               "    language: reader has American style, the file has German\n"))
        << o.out.toStdString();
    const QStringList rows = lines(csv);
    ASSERT_EQ(rows.size(), 3);
    EXPECT_TRUE(rows[1].endsWith(",sim:0,SIM-0000,V1.0,different,"
                                 "\"language: reader has American style, the file has German\""))
        << rows[1].toStdString();
    EXPECT_FALSE(framesTaken().contains("> AA 00 02 CD 01 CE BB")) << "no beep for a reader that differs";
}

TEST_F(RfidctlStation, BadInputTouchesNoReader) {
    const QString settings = file("s.json", kSettings);
    Outcome o = run({"--sim", "station", settings, "--log", dir.filePath("missing/folder/r.csv")}, {});
    EXPECT_EQ(o.code, 2);
    EXPECT_TRUE(o.err.contains("r.csv cannot be written")) << o.err.toStdString();
    EXPECT_TRUE(o.err.endsWith("; no reader was touched\n"));
    o = run({"--sim", "station", file("bad.json", R"({"version": 1, "format": "11 digits"})"), "--log",
             dir.filePath("r.csv")},
            {});
    EXPECT_EQ(o.code, 2);
    EXPECT_TRUE(o.err.contains("format")) << o.err.toStdString();
    EXPECT_FALSE(QFile::exists(dir.filePath("r.csv"))) << "the settings are checked before the log is opened";
    for (const QStringList& args :
         {QStringList{"--sim", "station"}, QStringList{"--sim", "station", settings, "--log"},
          QStringList{"--sim", "station", settings, "--count", "0"},
          QStringList{"--sim", "station", settings, "--loud"},
          QStringList{"--sim", "--device", "sim:0", "station", settings}}) {
        o = run(args, {});
        EXPECT_EQ(o.code, 2) << args.join(' ').toStdString();
    }
    EXPECT_TRUE(framesTaken().isEmpty());
}

TEST_F(RfidctlStation, CtrlCStopsWithTheResultsFileComplete) {
    const QString csv = dir.filePath("results.csv");
    QProcess p;
    p.setProcessEnvironment(environment({"RFIDSIM_READERS=2"}));
    p.start(QStringLiteral(RFIDCTL_PATH), {"--sim", "station", file("s.json", kSettings), "--log", csv});
    ASSERT_TRUE(p.waitForStarted());
    QByteArray out;
    QElapsedTimer t;
    t.start();
    while (!out.contains("2 readers done") && t.elapsed() < 20000) {
        p.waitForReadyRead(100);
        out += p.readAllStandardOutput();
    }
    ASSERT_TRUE(out.contains("2 readers done")) << out.toStdString();
    ::kill(pid_t(p.processId()), SIGINT);
    ASSERT_TRUE(p.waitForFinished(10000));
    out += p.readAllStandardOutput();
    EXPECT_EQ(p.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(p.exitCode(), 0);
    EXPECT_TRUE(out.endsWith("Stopped. 2 readers done: 2 set up, 0 failed.\n")) << out.toStdString();
    EXPECT_EQ(lines(csv).size(), 3);
}

TEST_F(RfidctlStation, TermAndHangUpStopLikeCtrlCWithTheReaderInProgressFinished) {
    for (const int sig : {SIGTERM, SIGHUP}) {
        const QString csv = dir.filePath(QStringLiteral("results-%1.csv").arg(sig));
        QProcess p;
        p.setProcessEnvironment(environment({"RFIDSIM_READERS=16"}));
        p.start(QStringLiteral(RFIDCTL_PATH), {"--sim", "station", file("s.json", kSettings), "--log", csv});
        ASSERT_TRUE(p.waitForStarted());
        // Stopped as soon as the first reader is done, most likely while a later one
        // is in progress (the readers take a few milliseconds each).
        QByteArray out;
        QElapsedTimer t;
        t.start();
        while (!out.contains("1 reader done") && t.elapsed() < 20000) {
            p.waitForReadyRead(10);
            out += p.readAllStandardOutput();
        }
        ASSERT_TRUE(out.contains("1 reader done")) << out.toStdString();
        ::kill(pid_t(p.processId()), sig);
        ASSERT_TRUE(p.waitForFinished(10000));
        out += p.readAllStandardOutput();
        EXPECT_EQ(p.exitStatus(), QProcess::NormalExit) << sig;
        EXPECT_EQ(p.exitCode(), 0) << sig;
        const QRegularExpression stopped("Stopped\\. (\\d+) readers? done: \\1 set up, 0 failed\\.\\n$");
        const QRegularExpressionMatch m = stopped.match(QString::fromUtf8(out));
        ASSERT_TRUE(m.hasMatch()) << out.toStdString();
        const int done = m.captured(1).toInt();
        // One whole row for every reader done, the one in progress included.
        const QStringList rows = lines(csv);
        ASSERT_EQ(rows.size(), done + 1) << rows.join('\n').toStdString();
        for (int i = 1; i <= done; ++i)
            EXPECT_TRUE(
                rows[i].endsWith(QString(",sim:%1,SIM-%2,V1.0,ok,").arg(i - 1).arg(i - 1, 4, 10, QChar('0'))))
                << rows[i].toStdString();
    }
}

TEST_F(RfidctlStation, TheResultsFileIsNeverTheSettingsFileOrAFifo) {
    const QString settings = file("s.json", kSettings);
    Outcome o = run({"--sim", "station", settings, "--log", settings}, {});
    EXPECT_EQ(o.code, 2);
    EXPECT_EQ(o.err.toStdString(), "rfidctl: " + settings.toStdString() + " is the settings file " +
                                       settings.toStdString() +
                                       "; give the results a file of their own; no reader was touched\n");
    QFile f(settings);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), kSettings);

    const QString fifo = dir.filePath("fifo.csv");
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    QElapsedTimer t;
    t.start();
    o = run({"--sim", "station", settings, "--log", fifo}, {});
    EXPECT_LT(t.elapsed(), 20000) << "it waited for the FIFO";
    EXPECT_EQ(o.code, 2);
    EXPECT_TRUE(o.err.contains("fifo.csv cannot be written: it is a FIFO, not a regular file; no reader was "
                               "touched"))
        << o.err.toStdString();
    EXPECT_TRUE(framesTaken().isEmpty());
}
