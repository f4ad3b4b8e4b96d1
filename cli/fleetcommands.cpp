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
// audit: a reader refused the read (and none differs or was out of reach).
constexpr int kReadRefused = 4;
// attached: the USB library cannot say. Not 1-254, which systemd's ExecCondition
// reads as "skip the unit": a broken install must show as a failed unit.
constexpr int kCannotTell = 255;

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
            report.refused = r.refused();
            c.out << QString::fromUtf8(report.jsonLine());
            continue;
        }
        if (r.refused()) {
            c.out << readerName(r) << ": refused the read: " << r.problem << '\n';
        } else if (!r.answered) {
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

    const int total = audit.readers.size();
    const int refused = audit.refused();
    const int unread = total - audit.answered() - refused;
    int code = kDone;
    if (audit.answered() == 0 && refused == 0) {
        code = c.fail(kNoReader, audit.readers.isEmpty() ? QStringLiteral("no reader is attached")
                                                         : QStringLiteral("no reader answered"));
    } else if (audit.differing() > 0 || unread > 0 || refused > 0) {
        code = audit.differing() > 0 || unread > 0 ? kDifferent : kReadRefused;
        c.err << kProgram << ": ";
        if (code == kReadRefused) {
            c.err << refused << " of " << total << (total == 1 ? " reader" : " readers")
                  << " refused the read\n";
        } else {
            c.err << audit.differing() << " of " << total
                  << (total == 1 ? " reader differs" : " readers differ") << " from the file";
            if (unread > 0)
                c.err << ", " << unread << " could not be read";
            if (refused > 0)
                c.err << ", " << refused << " refused the read";
            c.err << '\n';
        }
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
        return c.fail(kCannotTell,
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
             "no reader answers, 4 when a reader refused the read (its reason is shown) and every\n"
             "other reader agrees.\n"),
         cmdAudit},
        {QStringLiteral("attached"), QStringLiteral("PATH|SERIAL"),
         QStringLiteral("say whether a device is a reader"),
         QStringLiteral(
             "Says whether the USB library lists a reader (its command interface) with this device\n"
             "path or serial number. For services started for a device node: the plug-in service\n"
             "runs it as its ExecCondition, so a node that is no reader ends the service quietly.\n"
             "Exit status 0 when it is a reader, 1 when it is not, 255 when the USB library cannot\n"
             "list readers (systemd then counts the service as failed), 2 for bad usage.\n"),
         cmdAttached},
    };
}

} // namespace rfid::cli
