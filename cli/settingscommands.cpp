// read, save: the reader's settings as a whole, read back (apply and set, which
// write them, are in applycommands.cpp).
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
    };
}

} // namespace rfid::cli
