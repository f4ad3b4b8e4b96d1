// read, save, apply, set: the reader's settings as a whole, through the one
// write flow and check.
#include "commands.h"
#include "readersettings.h"
#include "settingsfile.h"
#include "writeflow.h"

namespace rfid::cli {

namespace {

const QString kProgram = QStringLiteral("rfidctl");

// Reads the language and output settings back from the reader.
int readReader(Context& c, ReaderSettings& settings, const QString& purpose) {
    const ReadBack r = readBack(c.link());
    if (!r.settings)
        return c.fail(exitCodeFor(r.failure()), QStringLiteral("could not %1: %2").arg(purpose, r.problem));
    settings = *r.settings;
    return kDone;
}

// Prints a check's findings; the exit status says whether the reader agrees.
int reportCheck(Context& c, const QStringList& differences, const QString& owner) {
    for (const QString& line : differences)
        c.out << line << '\n';
    if (!differences.isEmpty()) {
        c.err << kProgram << ": the reader differs from " << owner << " in " << differences.size()
              << (differences.size() == 1 ? " setting" : " settings") << '\n';
        return kDifferent;
    }
    c.out << "Check: the reader agrees with " << owner << ".\n";
    return kDone;
}

void reportNotChecked(Context& c, const QStringList& notChecked) {
    if (!notChecked.isEmpty())
        c.out << "Not checked (the reader does not report them): " << notChecked.join(", ") << '\n';
}

// Says which settings a file from the reader leaves out, and how to add them.
void noteNotReported(Context& c) {
    QStringList keys;
    for (SettingKey key : allSettingKeys()) {
        if (!readerReports(key))
            keys << keyName(key);
    }
    c.err << kProgram << ": not in the file: " << keys.join(", ")
          << " (the reader does not report them); to have apply write them, add them to the file "
             "(see rfidctl set --help)\n";
}

// Writes the settings held in `wanted` through the write flow, then checks them.
int writeAll(Context& c, const ReaderSettings& wanted, bool verify, const QString& owner) {
    if (wanted.isEmpty())
        return c.fail(kBadUsage, QStringLiteral("%1 holds no settings; nothing was sent").arg(owner));
    c.nameReader();
    LinkOperation hold(c.link());
    if (!hold.held())
        return c.fail(kNoReader, hold.error());
    WriteOptions options;
    options.verify = verify;
    options.owner = owner;
    const WriteOutcome w = writeSettings(c.link(), wanted, options);
    if (w.noCustomByte)
        return c.fail(kBadUsage, QStringLiteral("custom_byte_enabled is true but %1 gives no custom_byte "
                                                "and the reader has none; nothing was written")
                                     .arg(owner));
    switch (w.stoppedIn) {
    case WriteStage::Prepare:
        return c.fail(exitCodeFor(w.reply.ok() ? LinkFailure::Damaged : w.reply.failure),
                      QStringLiteral("could not read the output settings that stay as they are; nothing was "
                                     "written: %1")
                          .arg(w.why));
    case WriteStage::Write:
        return c.fail(exitCodeFor(w.reply.failure), writeStoppedText(w.steps, w.written, w.why));
    case WriteStage::Check:
        c.out << "Written: " << w.steps.join(", ") << ".\n";
        reportNotChecked(c, w.notChecked);
        return c.fail(exitCodeFor(w.reply.ok() ? LinkFailure::Damaged : w.reply.failure),
                      QStringLiteral("could not read the settings back to check them: %1").arg(w.why));
    case WriteStage::Done:
        break;
    }
    c.out << "Written: " << w.steps.join(", ") << ".\n";
    if (!verify)
        return kDone;
    reportNotChecked(c, w.notChecked);
    return reportCheck(c, w.differences, owner);
}

int cmdRead(Context& c) {
    Arguments a;
    if (!c.parse(a, {QStringLiteral("--json")}, {}, 0, 0))
        return kBadUsage;
    LinkOperation hold(c.link());
    if (!hold.held())
        return c.fail(kNoReader, hold.error());
    ReaderSettings s;
    if (const int code = readReader(c, s, QStringLiteral("read the reader's settings")))
        return code;
    if (a.has(QStringLiteral("--json"))) {
        QStringList skipped;
        c.out << QString::fromUtf8(settingsToJson(s, &skipped));
        for (const QString& k : skipped)
            c.err << kProgram << ": left out " << k << ": no name for that code\n";
        noteNotReported(c);
        return kDone;
    }
    for (SettingKey key : allSettingKeys()) {
        if (holds(s, key))
            c.out << keyName(key) << ": " << valueText(s, key) << '\n';
    }
    return kDone;
}

int cmdSave(Context& c) {
    Arguments a;
    if (!c.parse(a, {}, {}, 1, 1))
        return kBadUsage;
    LinkOperation hold(c.link());
    if (!hold.held())
        return c.fail(kNoReader, hold.error());
    ReaderSettings s;
    if (const int code = readReader(c, s, QStringLiteral("read the reader's settings")))
        return code;
    QString error;
    QStringList skipped;
    const QString path = a.plain.front();
    // Standard output ("-", /dev/stdout) gets the file alone, as read --json gives it.
    const bool toOut = descriptorNamedBy(path) == 1;
    c.out.flush();
    if (!saveSettingsFile(path, s, error, &skipped))
        return c.fail(kBadUsage, error);
    for (const QString& k : skipped)
        c.err << kProgram << ": left out " << k << ": no name for that code\n";
    noteNotReported(c);
    if (!toOut)
        c.out << "Saved the reader's settings to " << path << ".\n";
    return kDone;
}

int cmdApply(Context& c) {
    Arguments a;
    if (!c.parse(a, {QStringLiteral("--no-verify")}, {}, 1, 1))
        return kBadUsage;
    ReaderSettings s;
    QString error;
    if (!loadSettingsFile(a.plain.front(), s, error))
        return c.fail(kBadUsage, withKeysHint(error) + QStringLiteral("; nothing was sent"));
    if (s.isEmpty())
        return c.fail(
            kBadUsage,
            QStringLiteral("%1 holds no settings (only \"version\"); nothing was sent").arg(a.plain.front()));
    return writeAll(c, s, !a.has(QStringLiteral("--no-verify")), QStringLiteral("the file"));
}

int cmdSet(Context& c) {
    Arguments a;
    if (!c.parse(a, {QStringLiteral("--no-verify")}, {}, 1, -1))
        return kBadUsage;
    ReaderSettings s;
    QString error;
    if (!applyAssignments(a.plain, s, error))
        return c.fail(kBadUsage, withKeysHint(error) + QStringLiteral("; nothing was sent"));
    return writeAll(c, s, !a.has(QStringLiteral("--no-verify")), QStringLiteral("the command line"));
}

} // namespace

QList<Subcommand> settingsCommands() {
    return {
        {QStringLiteral("read"), QStringLiteral("[--json]"), QStringLiteral("print the reader's settings"),
         QStringLiteral("Reads back what the reader reports (keyboard language and output settings) and\n"
                        "prints one \"key: value\" line each, or with --json a settings file. The reader\n"
                        "does not report reader_mode, bluetooth_mode, bluetooth_name and sleep_time.\n"),
         cmdRead},
        {QStringLiteral("save"), QStringLiteral("FILE"),
         QStringLiteral("write the reader's settings to a file"),
         QStringLiteral("Reads back the reader's keyboard language and output settings and writes them\n"
                        "to FILE as a settings file. A regular file is replaced whole; \"-\" or\n"
                        "/dev/stdout writes to standard output; a device or a FIFO is written as it is.\n"),
         cmdSave},
        {QStringLiteral("apply"), QStringLiteral("FILE [--no-verify]"),
         QStringLiteral("write a settings file to the reader and check it"),
         QStringLiteral("Writes the settings that FILE holds to the reader, one command each, in this\n"
                        "order: keyboard language, output settings, reader mode, Bluetooth mode,\n"
                        "Bluetooth name, sleep time. Output settings that FILE does not hold stay as\n"
                        "the reader has them. Then reads the reader back and lists every difference\n"
                        "(not with --no-verify). A bad file is refused before anything is sent.\n"),
         cmdApply},
        {QStringLiteral("set"), QStringLiteral("KEY=VALUE... [--no-verify]"),
         QStringLiteral("change single settings"),
         QStringLiteral("Writes the settings given, with the keys and values of a settings file, and\n"
                        "checks them as apply does. Example: rfidctl set language=German add_enter=true\n"),
         cmdSet},
    };
}

} // namespace rfid::cli
