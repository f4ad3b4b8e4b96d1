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
    if (!saveSettingsFile(a.plain.front(), s, error, &skipped))
        return c.fail(kBadUsage, error);
    for (const QString& k : skipped)
        c.err << kProgram << ": left out " << k << ": no name for that code\n";
    c.out << "Saved the reader's settings to " << a.plain.front() << ".\n";
    return kDone;
}

} // namespace

QList<Subcommand> settingsCommands() {
    return {
        {QStringLiteral("read"), QStringLiteral("[--json]"), QStringLiteral("print the reader's settings"),
         QStringLiteral("Reads back what the reader reports (keyboard language and output settings) and\n"
                        "prints one \"key: value\" line each, or with --json a settings file.\n"),
         cmdRead},
        {QStringLiteral("save"), QStringLiteral("FILE"),
         QStringLiteral("write the reader's settings to a file"),
         QStringLiteral("Reads back the reader's keyboard language and output settings and writes them\n"
                        "to FILE as a settings file.\n"),
         cmdSave},
    };
}

} // namespace rfid::cli
