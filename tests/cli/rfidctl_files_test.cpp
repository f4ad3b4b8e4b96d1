// rfidctl with files that are not plain settings files: standard output, a
// shell's ">>" redirection, FIFOs, files with a key given twice, and the notes
// and texts a technician reads when a file or a name is not what was meant.
#include "rfidctl_harness.h"

#include <QFile>

#include <sys/stat.h>

namespace {

class RfidctlFiles : public RfidctlHarness {
protected:
    using Outcome = RfidctlRun;

    // `stdoutFile`: standard output appended to that file, as ">>" does.
    Outcome run(const QStringList& args, const QStringList& env = {}, const QString& stdoutFile = {},
                int waitMs = 30000) {
        return RfidctlHarness::run(args, env, {}, stdoutFile, waitMs);
    }
#ifndef _WIN32 // Windows has no FIFOs in its file system
    QString fifo(const QString& name) {
        const QString path = dir.filePath(name);
        EXPECT_EQ(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
        return path;
    }
#endif
};

} // namespace

TEST_F(RfidctlFiles, SaveToStandardOutputKeepsWhatARedirectionHolds) {
    ASSERT_EQ(run({"--sim", "set", "language=German"}).code, 0);
    const QString json = run({"--sim", "read", "--json"}).out;
    ASSERT_TRUE(json.startsWith("{\n  \"version\": 1,")) << json.toStdString();

    // "-" is standard output: the file alone, nothing named "-" is made.
    Outcome o = run({"--sim", "save", "-"});
    EXPECT_EQ(o.code, 0) << o.err.toStdString();
    EXPECT_EQ(o.out.toStdString(), json.toStdString());
    EXPECT_FALSE(QFile::exists(dir.filePath("-")));

#ifndef _WIN32 // no /dev/stdout on Windows
    // rfidctl save /dev/stdout >> history.log appends to what the log holds.
    const QString history = file("history.log", "an old line\n");
    o = run({"--sim", "save", "/dev/stdout"}, {}, history);
    EXPECT_EQ(o.code, 0) << o.err.toStdString();
    EXPECT_EQ(QString::fromUtf8(read(history)).toStdString(), ("an old line\n" + json).toStdString());
    o = run({"--sim", "save", "/dev/stdout"}, {}, history);
    EXPECT_EQ(QString::fromUtf8(read(history)).toStdString(), ("an old line\n" + json + json).toStdString());
#endif
}

TEST_F(RfidctlFiles, BluetoothNamesTheReaderWouldChangeAreRefusedBeforeAnythingIsSent) {
    struct Case {
        QString name;
        QString why;
    };
    const Case cases[] = {
        {QString::fromUtf8("ÄÖÜ-Leser"), "holds \"Ä\", \"Ö\" and \"Ü\", which the reader's code page"},
        {QString::fromUtf8("Gate 😀"), "holds \"😀\", which the reader's code page"},
        {"Gate\n7", "must not hold control characters (it holds \"\\n\")"},
        {QString(31, 'x'), "takes 31 bytes; the reader takes at most 30"},
    };
    for (const Case& c : cases) {
        const Outcome o = run({"--sim", "set", "language=German", "bluetooth_name=" + c.name});
        EXPECT_EQ(o.code, 2) << c.name.toStdString();
        EXPECT_TRUE(o.err.startsWith("rfidctl: \"bluetooth_name\": the Bluetooth name " + c.why))
            << o.err.toStdString();
        EXPECT_TRUE(o.err.endsWith("; nothing was sent\n")) << o.err.toStdString();
        EXPECT_EQ(o.out, "");
    }
    // A file is checked whole: its good keys are not sent either.
    const Outcome o = run({"--sim", "apply",
                           file("long.json", "{\"version\": 1, \"language\": \"German\", \"bluetooth_name\": "
                                             "\"A name far longer than thirty bytes\"}")});
    EXPECT_EQ(o.code, 2);
    EXPECT_TRUE(o.err.contains("takes 35 bytes; the reader takes at most 30")) << o.err.toStdString();
    EXPECT_TRUE(framesTaken().isEmpty()) << framesTaken().join('\n').toStdString();

    // The help gives the same limit.
    EXPECT_TRUE(run({"set", "--help"}).out.contains("bluetooth_name       text of at most 30 bytes"));
}

TEST_F(RfidctlFiles, DeviceTextIsPrintedWithItsControlCharactersWrittenOut) {
    // A reader whose version text holds a terminal's escape sequence, BEL, CR,
    // a C1 control (CSI) and a printable Latin-1 letter.
    ASSERT_EQ(run({"--sim", "beep", "on"}).code, 0); // a whole state file to change
    QStringList state = QString::fromUtf8(read(dir.filePath("reader.state"))).split('\n', Qt::SkipEmptyParts);
    state.removeIf([](const QString& line) { return line.startsWith("version="); });
    state << "version=56311B5B324A070D9BE9";
    file("reader.state", (state.join('\n') + '\n').toUtf8());
    const QString shown = QString::fromUtf8("V1\\x1b[2J\\x07\\x0d\\x9bé");
    Outcome o = run({"--sim", "version"});
    EXPECT_EQ(o.code, 0) << o.err.toStdString();
    EXPECT_EQ(o.out.toStdString(), (shown + "\n").toStdString());

    const QString csv = dir.filePath("r.csv");
    o = run({"--sim", "station", file("s.json", R"({"version": 1, "language": "German"})"), "--log", csv,
             "--count", "1"});
    EXPECT_EQ(o.code, 0) << o.err.toStdString();
    EXPECT_TRUE(o.out.contains("sim:0  SIM-0000  " + shown + "  ok\n")) << o.out.toStdString();
    const QStringList rows = QString::fromUtf8(read(csv)).split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(rows.size(), 2);
    EXPECT_TRUE(rows[1].endsWith(",sim:0,SIM-0000," + shown + ",ok,")) << rows[1].toStdString();
}

TEST_F(RfidctlFiles, FifosAndKeysGivenTwiceAreRefusedWithoutWaiting) {
    Outcome o;
#ifndef _WIN32 // Windows has no FIFOs in its file system
    const QString settings = file("s.json", R"({"version": 1, "language": "German"})");
    const QString pipe = fifo("pipe.json");
    // No program ever writes to the FIFO: a run that waited would not end.
    o = run({"--sim", "apply", pipe}, {}, {}, 15000);
    EXPECT_TRUE(o.finished);
    EXPECT_EQ(o.code, 2);
    EXPECT_EQ(o.err.toStdString(),
              "rfidctl: " + pipe.toStdString() +
                  ": not a settings file (it is a FIFO, not a regular file); nothing was "
                  "sent\n");
    o = run({"--sim", "station", pipe}, {}, {}, 15000);
    EXPECT_TRUE(o.finished);
    EXPECT_EQ(o.code, 2);
    EXPECT_TRUE(o.err.contains("it is a FIFO, not a regular file); no reader was touched"))
        << o.err.toStdString();
    o = run({"--sim", "station", settings, "--log", fifo("pipe.csv")}, {}, {}, 15000);
    EXPECT_TRUE(o.finished);
    EXPECT_EQ(o.code, 2);
#endif

    o = run({"--sim", "apply",
             file("twice.json", R"({"version": 1, "language": "German", "language": "French"})")});
    EXPECT_EQ(o.code, 2);
    EXPECT_TRUE(
        o.err.endsWith(": \"language\": given more than once; a key may appear only once; nothing was "
                       "sent\n"))
        << o.err.toStdString();
    o = run({"--sim", "set", "language=German", "language=French"});
    EXPECT_EQ(o.code, 2);
    EXPECT_EQ(o.err.toStdString(),
              "rfidctl: \"language\": given more than once; a key may appear only once; nothing was sent\n");
    EXPECT_TRUE(framesTaken().isEmpty()) << framesTaken().join('\n').toStdString();
}

TEST_F(RfidctlFiles, WhatATechnicianNeedsToKnowIsSaid) {
    // A file from the reader says what it cannot hold.
    const std::string note =
        "rfidctl: not in the file: reader_mode, bluetooth_mode, bluetooth_name, sleep_time (the "
        "reader does not report them); to have apply write them, add them to the file (see "
        "rfidctl set --help)\n";
    Outcome o = run({"--sim", "read", "--json"});
    EXPECT_EQ(o.code, 0);
    EXPECT_EQ(o.err.toStdString(), note);
    o = run({"--sim", "save", dir.filePath("back.json")});
    EXPECT_EQ(o.code, 0);
    EXPECT_EQ(o.err.toStdString(), note);
    EXPECT_EQ(run({"--sim", "read"}).err, "") << "the plain listing needs no note";

    // With several readers, what changes a reader names it.
    const QStringList three{"RFIDSIM_READERS=3"};
    o = run({"--sim", "set", "language=German"}, three);
    EXPECT_EQ(o.code, 0) << o.err.toStdString();
    EXPECT_TRUE(o.out.startsWith("Reader: sim:0 (SIM-0000)\nWritten: keyboard language.\n"))
        << o.out.toStdString();
    o = run(
        {"--sim", "--device", "SIM-0002", "apply", file("g.json", R"({"version": 1, "language": "German"})")},
        three);
    EXPECT_TRUE(o.out.startsWith("Reader: sim:2 (SIM-0002)\n")) << o.out.toStdString();
    o = run({"--sim", "factory-reset", "--device=sim:1"}, three);
    EXPECT_EQ(o.out, "Reader: sim:1 (SIM-0001)\nFactory settings restored.\n");
    o = run({"--sim", "factory-reset"});
    EXPECT_EQ(o.out, "Factory settings restored.\n") << "one reader needs no name";

    // The station takes no --device, and its help does not offer it.
    EXPECT_FALSE(run({"station", "--help"}).out.contains("--device"));
    EXPECT_TRUE(run({"set", "--help"}).out.contains("--device"));

    // A slip in a key's name, and where the keys are listed.
    o = run({"--sim", "set", "langauge=German"});
    EXPECT_EQ(o.code, 2);
    EXPECT_EQ(o.err.toStdString(),
              "rfidctl: \"langauge\": unknown key (did you mean \"language\"?); rfidctl set "
              "--help lists the keys; nothing was sent\n");
    EXPECT_EQ(run({"--sim", "set", "Language=German", "ADD_ENTER=true"}).code, 0);

    // A file with no settings is named.
    const QString bare = file("bare.json", R"({"version": 1})");
    o = run({"--sim", "apply", bare});
    EXPECT_EQ(o.code, 2);
    EXPECT_EQ(o.err.toStdString(),
              "rfidctl: " + bare.toStdString() + " holds no settings (only \"version\"); nothing was sent\n");

    // A reader of the other family.
    o = run({"--sim", "read"}, {"RFIDSIM_FAMILY=hf"});
    EXPECT_EQ(o.code, 3);
    EXPECT_TRUE(
        o.err.contains("too short to hold its settings (9 of 17 bytes); it may be a different kind of "
                       "reader (this program sets up keyboard-output readers)"))
        << o.err.toStdString();
}
