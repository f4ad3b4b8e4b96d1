// audit, attached: readers on many computers. audit compares every attached
// reader with a settings file (for monitoring: --json, --prometheus); attached
// tells a service started for a device node whether it is a reader.
#include "atomicfile.h"
#include "audit.h"
#include "commands.h"
#include "prometheus.h"
#include "readerreport.h"
#include "settingsfile.h"

#include <QDateTime>

namespace rfid::cli {

namespace {

const QString kProgram = QStringLiteral("rfidctl");

QString readerName(const ReaderAudit& r) {
    if (r.device.isEmpty())
        return QStringLiteral("the reader");
    return r.serial.isEmpty() ? r.device : QStringLiteral("%1 (%2)").arg(r.device, r.serial);
}

int cmdAudit(Context& c) {
    Arguments a;
    if (!c.parse(a, {QStringLiteral("--json")}, {QStringLiteral("--prometheus")}, 1, 1))
        return kBadUsage;
    const bool json = a.has(QStringLiteral("--json"));
    ReaderSettings wanted;
    QString error;
    if (!loadSettingsFile(a.plain.front(), wanted, error))
        return c.fail(kBadUsage, error + QStringLiteral("; no reader was read"));
    if (wanted.isEmpty())
        return c.fail(kBadUsage, QStringLiteral("the file holds no settings; no reader was read"));

    // The metrics file's folder must take a file before any reader is read.
    std::optional<AtomicFile> metrics;
    if (a.values.contains(QStringLiteral("--prometheus"))) {
        metrics.emplace(a.value(QStringLiteral("--prometheus")));
        if (!metrics->open(error))
            return c.fail(kBadUsage, QStringLiteral("--prometheus: %1; no reader was read").arg(error));
    }

    const AuditOutcome audit = auditReaders(c.link(), wanted, c.device);
    if (!audit.problem.isEmpty())
        return c.fail(kNoReader, audit.problem);

    for (const ReaderAudit& r : audit.readers) {
        if (json) {
            ReaderReport report;
            report.device = r.device;
            report.serial = r.serial;
            report.cannotBeReadBack = audit.cannotBeReadBack;
            report.differences = r.differences;
            if (!r.answered)
                report.error = r.problem;
            report.agrees = r.agrees();
            c.out << QString::fromUtf8(report.jsonLine());
            continue;
        }
        if (!r.answered) {
            c.out << readerName(r) << ": could not be read: " << r.problem << '\n';
        } else if (r.differences.isEmpty()) {
            c.out << readerName(r) << ": agrees with the file\n";
        } else {
            c.out << readerName(r) << ": differs from the file in " << r.differences.size()
                  << (r.differences.size() == 1 ? " setting" : " settings") << '\n';
            for (const SettingDifference& d : r.differences)
                c.out << "  " << differenceLine(d, QStringLiteral("the file")) << '\n';
        }
    }
    if (!json && !audit.cannotBeReadBack.isEmpty() && audit.answered() > 0)
        c.out << "Not checked (the reader does not report them): " << audit.cannotBeReadBack.join(", ")
              << '\n';

    int code = kDone;
    if (audit.answered() == 0) {
        code = c.fail(kNoReader, audit.readers.isEmpty() ? QStringLiteral("no reader is attached")
                                                         : QStringLiteral("no reader answered"));
    } else if (audit.differing() > 0 || audit.answered() < audit.readers.size()) {
        code = kDifferent;
        c.err << kProgram << ": " << audit.differing() << " of " << audit.readers.size()
              << (audit.readers.size() == 1 ? " reader differs" : " readers differ") << " from the file";
        if (audit.answered() < audit.readers.size())
            c.err << ", " << audit.readers.size() - audit.answered() << " could not be read";
        c.err << '\n';
    }
    if (metrics && !metrics->commit(auditMetrics(audit, QDateTime::currentSecsSinceEpoch()), error))
        return c.fail(kBadUsage, QStringLiteral("--prometheus: %1").arg(error));
    return code;
}

int cmdAttached(Context& c) {
    Arguments a;
    if (!c.parse(a, {}, {}, 1, 1))
        return kBadUsage;
    UsbLibrary& usb = c.library();
    const auto readers = usb.isLoaded() ? usb.readers() : std::nullopt;
    if (!readers)
        return c.fail(kNoReader,
                      QStringLiteral("the USB library %1 cannot list readers").arg(usb.fileName()));
    const QString wanted = a.plain.front();
    for (const ReaderEntry& r : *readers) {
        if (r.path == wanted || r.serial == wanted) {
            c.out << r.path << ": " << r.label() << '\n';
            return kDone;
        }
    }
    c.out << wanted << ": not a reader's command interface\n";
    return kDifferent;
}

} // namespace

QList<Subcommand> fleetCommands() {
    return {
        {QStringLiteral("audit"), QStringLiteral("FILE [--json] [--prometheus PATH]"),
         QStringLiteral("compare every attached reader with a settings file"),
         QStringLiteral(
             "Reads every attached reader in turn (or the one --device names), holding each while it\n"
             "is read, and says whether it agrees with FILE, and each setting it differs in. Nothing\n"
             "is written. With --json one JSON object per reader. --prometheus PATH writes the same\n"
             "as metrics for node_exporter's textfile collector, replacing PATH in one step.\n"
             "Exit status 0 when every reader agrees, 1 when one differs or could not be read, 3 when\n"
             "no reader answers.\n"),
         cmdAudit},
        {QStringLiteral("attached"), QStringLiteral("PATH|SERIAL"),
         QStringLiteral("say whether a device is a reader"),
         QStringLiteral(
             "Exit status 0 when the USB library lists a reader (its command interface) with this\n"
             "device path or serial number, 1 when not. For services started for a device node.\n"),
         cmdAttached},
    };
}

} // namespace rfid::cli
