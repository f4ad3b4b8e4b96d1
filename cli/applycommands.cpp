// apply, set: settings written to the reader through the one write flow, only
// where the reader differs; --check shows what would change and sends no
// write; --json says it as one JSON object; --write-only-settings=when-changed
// leaves out the settings the reader cannot report when this computer wrote
// them last and the reader has not changed since.
#include "applyplan.h"
#include "commands.h"
#include "readerreport.h"
#include "readersettings.h"
#include "settingsfile.h"
#include "writeflow.h"
#include "writerecord.h"

#include <QFile>

namespace rfid::cli {

namespace {

const QString kProgram = QStringLiteral("rfidctl");
const QString kSinceWritten = QStringLiteral("Unchanged since this computer last wrote them: ");

struct ApplyFlags {
    bool verify = true;
    bool check = false;
    bool json = false;
    bool whenChanged = false;
};

// Sorts out the options apply and set share. False (after an error) when they are bad.
bool parseApply(Context& c, Arguments& a, int maxPlain, ApplyFlags& flags) {
    if (!c.parse(a, {QStringLiteral("--no-verify"), QStringLiteral("--check"), QStringLiteral("--json")},
                 {QStringLiteral("--write-only-settings")}, 1, maxPlain))
        return false;
    flags.verify = !a.has(QStringLiteral("--no-verify"));
    flags.check = a.has(QStringLiteral("--check"));
    flags.json = a.has(QStringLiteral("--json"));
    if (a.values.contains(QStringLiteral("--write-only-settings"))) {
        const QString mode = a.value(QStringLiteral("--write-only-settings"));
        if (mode != QLatin1String("always") && mode != QLatin1String("when-changed")) {
            c.fail(kBadUsage, QStringLiteral("--write-only-settings takes always or when-changed, not %1; "
                                             "nothing was sent")
                                  .arg(quotedForError(mode)));
            return false;
        }
        flags.whenChanged = mode == QLatin1String("when-changed");
    }
    return true;
}

// The record of what this computer last wrote to the reader in use.
using Record = ReaderRecord;

Record openRecord(Context& c, const ApplyFlags& flags) {
    Record r = openReaderRecord(c.library());
    if (!r.reader) {
        if (flags.whenChanged && !c.library().readers())
            c.err << kProgram
                  << ": the USB library cannot name the reader; the settings it cannot report are "
                     "written\n";
        return r; // no reader: the write says so
    }
    if (r.folder.isEmpty()) {
        if (flags.whenChanged)
            c.err << kProgram << ": " << r.why << "; the settings the reader cannot report are written\n";
        return r;
    }
    if (r.load.status == RecordStatus::Damaged)
        c.err << kProgram << ": " << r.load.path
              << ": the record of what this computer last wrote to the reader cannot be used ("
              << r.load.problem << "); the settings the reader cannot report count as unknown\n";
    return r;
}

ReaderReport reportFor(const Record& r, const ReaderSettings& wanted) {
    ReaderReport report;
    if (r.reader) {
        report.device = r.reader->path;
        report.serial = r.reader->serial;
    }
    report.cannotBeReadBack = unreportedKeys(wanted);
    return report;
}

// Ends the command: the error (when there is one) on standard error and in the
// report, the report on standard output with --json.
int finish(Context& c, const ApplyFlags& flags, ReaderReport& report, int code, const QString& error = {}) {
    if (!error.isEmpty()) {
        c.fail(code, error);
        report.error = error;
    }
    if (flags.json)
        c.out << QString::fromUtf8(report.jsonLine());
    return code;
}

// Another program holds the reader for the whole wait: nothing was read or sent.
int inUse(Context& c, const ApplyFlags& flags, const ReaderSettings& wanted, const QString& error) {
    Record none;
    none.reader = readerInUse(c.library());
    ReaderReport report = reportFor(none, wanted);
    for (const WriteStep& s : writeSteps(wanted))
        report.notWritten << s.what;
    // Output settings to be completed from the reader go out as one step too.
    if (wanted.hasAnyOutputField() && !outputSettingsBytes(wanted))
        report.notWritten.insert(wanted.language ? 1 : 0, QStringLiteral("output settings"));
    if (flags.check)
        report.check = true;
    return finish(c, flags, report, kNoReader, error);
}

QString listed(const QStringList& items) {
    return items.join(QStringLiteral(", "));
}

// What would change, and nothing sent: exit 0 when nothing would, 1 when something would.
int preview(Context& c, const ReaderSettings& wanted, const ApplyFlags& flags, const QString& owner) {
    if (!flags.json)
        c.nameReader();
    LinkOperation hold(c.link());
    if (!hold.held())
        return inUse(c, flags, wanted, hold.error());
    const Record record = openRecord(c, flags);
    WriteOptions options;
    options.owner = owner;
    options.onlyWhenDifferent = true;
    options.skipKnownUnreported = flags.whenChanged;
    if (record.load.status == RecordStatus::Found)
        options.lastWrite = record.load.lastWrite;
    const WritePlan plan = planWrite(c.link(), wanted, options);
    ReaderReport report = reportFor(record, wanted);
    report.check = true;
    if (plan.noCustomByte)
        return finish(c, flags, report, kBadUsage,
                      QStringLiteral("custom_byte_enabled is true but %1 gives no custom_byte and the reader "
                                     "has none; nothing would be written")
                          .arg(owner));
    if (!plan.ok())
        return finish(c, flags, report,
                      exitCodeFor(plan.reply.ok() ? LinkFailure::Damaged : plan.reply.failure),
                      QStringLiteral("could not read the reader's settings: %1").arg(plan.why));

    QStringList write, unknown, again;
    for (const PlannedStep& s : plan.steps) {
        const bool reported = s.step.kind == WriteStep::Language || s.step.kind == WriteStep::OutputSettings;
        if (s.state == StepState::Write)
            (reported ? write : unknown) << s.step.what;
        else if (s.state == StepState::Rewrite)
            again << s.step.what;
    }
    report.changed = plan.changes();
    for (const PlannedStep& s : plan.steps) {
        if (s.sent())
            report.written << s.step.what;
    }
    report.unchanged = plan.names(StepState::Unchanged) + plan.names(StepState::Known);
    report.differences = plan.differences;
    report.unreportedWrites = unreportedWrites(wanted, report.written);
    if (!flags.json) {
        for (const SettingDifference& d : plan.differences)
            c.out << differenceLine(d, owner) << '\n';
        if (!write.isEmpty())
            c.out << "Would write: " << listed(write) << ".\n";
        if (!unknown.isEmpty())
            c.out << "Would be written, cannot be read back: " << listed(unknown) << ".\n";
        if (!again.isEmpty())
            c.out << "Would be written again, unchanged since this computer last wrote them: "
                  << listed(again) << ".\n";
        if (!plan.names(StepState::Unchanged).isEmpty())
            c.out << "Unchanged: " << listed(plan.names(StepState::Unchanged)) << ".\n";
        if (!plan.names(StepState::Known).isEmpty())
            c.out << kSinceWritten << listed(plan.names(StepState::Known)) << ".\n";
        if (!report.changed)
            c.out << "Nothing would change.\n";
    }
    return finish(c, flags, report, report.changed ? kDifferent : kDone);
}

// Writes the settings held in `wanted` through the write flow, where the reader
// differs, then checks them.
int writeAll(Context& c, const ReaderSettings& wanted, const ApplyFlags& flags, const QString& owner) {
    if (wanted.isEmpty())
        return c.fail(kBadUsage, QStringLiteral("%1 holds no settings; nothing was sent").arg(owner));
    if (flags.check)
        return preview(c, wanted, flags, owner);
    if (!flags.json)
        c.nameReader();
    LinkOperation hold(c.link());
    if (!hold.held())
        return inUse(c, flags, wanted, hold.error());
    const Record record = openRecord(c, flags);
    WriteOptions options;
    options.verify = flags.verify;
    options.owner = owner;
    options.onlyWhenDifferent = true;
    options.skipKnownUnreported = flags.whenChanged;
    options.keepRecord = true;
    if (record.load.status == RecordStatus::Found)
        options.lastWrite = record.load.lastWrite;
    const WriteOutcome w = writeSettings(c.link(), wanted, options);
    if (!w.recordProblem.isEmpty() && record.identity)
        c.err << kProgram << ": the record of this write was not kept: " << w.recordProblem << '\n';

    ReaderReport report = reportFor(record, wanted);
    report.changed = w.changed;
    report.written = w.writtenSteps();
    report.notWritten = w.unwrittenSteps();
    report.unchanged = w.unchanged + w.known;
    report.differences = w.before;
    report.unreportedWrites = unreportedWrites(wanted, report.written);
    if (!w.recordProblem.isEmpty() && record.identity)
        report.recordError = w.recordProblem;
    auto progress = [&] {
        if (flags.json)
            return;
        if (w.stoppedIn != WriteStage::Write)
            c.out << (w.steps.isEmpty()
                          ? QStringLiteral("Nothing to change.\n")
                          : QStringLiteral("Written: ") + listed(w.steps) + QStringLiteral(".\n"));
        if (!w.unchanged.isEmpty())
            c.out << "Unchanged: " << listed(w.unchanged) << ".\n";
        if (!w.known.isEmpty())
            c.out << kSinceWritten << listed(w.known) << ".\n";
    };
    auto notChecked = [&] {
        if (!flags.json && !w.notChecked.isEmpty())
            c.out << "Not checked (the reader does not report them): " << w.notChecked.join(", ") << '\n';
    };

    if (w.noCustomByte)
        return finish(c, flags, report, kBadUsage,
                      QStringLiteral("custom_byte_enabled is true but %1 gives no custom_byte and the reader "
                                     "has none; nothing was written")
                          .arg(owner));
    switch (w.stoppedIn) {
    case WriteStage::Prepare:
        // The reader is read first to keep the output settings the file does
        // not hold, or to see what differs.
        return finish(
            c, flags, report, exitCodeFor(w.reply.ok() ? LinkFailure::Damaged : w.reply.failure),
            (wanted.hasAnyOutputField() && !outputSettingsBytes(wanted)
                 ? QStringLiteral("could not read the output settings that stay as they are; nothing "
                                  "was written: %1")
                 : QStringLiteral("could not read the reader's settings; nothing was written: %1"))
                .arg(w.why));
    case WriteStage::Write:
        progress();
        return finish(c, flags, report, exitCodeFor(w.reply.failure),
                      writeStoppedText(w.steps, w.written, w.why));
    case WriteStage::Check:
        progress();
        notChecked();
        return finish(c, flags, report, exitCodeFor(w.reply.ok() ? LinkFailure::Damaged : w.reply.failure),
                      QStringLiteral("could not read the settings back to check them: %1").arg(w.why));
    case WriteStage::Done:
        break;
    }
    progress();
    if (!flags.verify)
        return finish(c, flags, report, kDone);
    notChecked();
    if (w.differences.isEmpty()) {
        if (!flags.json)
            c.out << "Check: the reader agrees with " << owner << ".\n";
        return finish(c, flags, report, kDone);
    }
    if (!flags.json) {
        for (const QString& line : w.differences)
            c.out << line << '\n';
    }
    const QString summary = QStringLiteral("the reader differs from %1 in %2 %3")
                                .arg(owner)
                                .arg(w.differences.size())
                                .arg(w.differences.size() == 1 ? "setting" : "settings");
    c.fail(kDifferent, summary);
    report.error = summary + QStringLiteral(": ") + w.differences.join(QStringLiteral("; "));
    return finish(c, flags, report, kDifferent);
}

// The settings on standard input, named "settings" in errors.
bool readSettingsInput(ReaderSettings& s, QString& error) {
    QFile in;
    if (!in.open(stdin, QIODevice::ReadOnly)) {
        error = QStringLiteral("settings: standard input cannot be read (%1)").arg(in.errorString());
        return false;
    }
    const QByteArray data = in.read(kMaxSettingsFileBytes + 1);
    if (data.size() > kMaxSettingsFileBytes) {
        error = QStringLiteral("settings: larger than %1 bytes").arg(kMaxSettingsFileBytes);
        return false;
    }
    return parseSettings(data, QStringLiteral("settings"), s, error);
}

int cmdApply(Context& c) {
    Arguments a;
    ApplyFlags flags;
    if (!parseApply(c, a, 1, flags))
        return kBadUsage;
    ReaderSettings s;
    QString error;
    // "-": the settings on standard input (the Ansible module's inline
    // settings), named "settings" in errors: there is no file to name.
    const bool piped = a.plain.front() == QLatin1String("-");
    const QString name = piped ? QStringLiteral("settings") : a.plain.front();
    if (!(piped ? readSettingsInput(s, error) : loadSettingsFile(name, s, error)))
        return c.fail(kBadUsage, withKeysHint(error) + QStringLiteral("; nothing was sent"));
    if (s.isEmpty())
        return c.fail(
            kBadUsage,
            piped ? QStringLiteral("settings: only \"version\" is given; nothing was sent")
                  : QStringLiteral("%1 holds no settings (only \"version\"); nothing was sent").arg(name));
    return writeAll(c, s, flags, piped ? QStringLiteral("standard input") : QStringLiteral("the file"));
}

int cmdSet(Context& c) {
    Arguments a;
    ApplyFlags flags;
    if (!parseApply(c, a, -1, flags))
        return kBadUsage;
    ReaderSettings s;
    QString error;
    if (!applyAssignments(a.plain, s, error))
        return c.fail(kBadUsage, withKeysHint(error) + QStringLiteral("; nothing was sent"));
    return writeAll(c, s, flags, QStringLiteral("the command line"));
}

const QString kApplyOptions =
    QStringLiteral("\n"
                   "Options:\n"
                   "  --check        read the reader and show what would change; send no write. Exit\n"
                   "                 status 0 when nothing would change, 1 when something would.\n"
                   "  --json         one JSON object on standard output instead of the lines (see the\n"
                   "                 README: device, serial, changed, written, unchanged, not_written,\n"
                   "                 cannot_be_read_back, differences, error).\n"
                   "  --write-only-settings=always|when-changed\n"
                   "                 the reader cannot report its reader mode, Bluetooth mode and name\n"
                   "                 and sleep time, so they are written every time (always, the\n"
                   "                 default); with when-changed they are left out when this computer\n"
                   "                 wrote the same last and the reader has not changed since. What\n"
                   "                 it wrote is kept in $STATE_DIRECTORY, /var/lib/rfid-demo for\n"
                   "                 root, else $XDG_STATE_HOME/rfid-demo (~/.local/state/rfid-demo).\n"
                   "  --no-verify    do not read the reader back after writing.\n");

} // namespace

QList<Subcommand> applyCommands() {
    return {
        {QStringLiteral("apply"),
         QStringLiteral("FILE [--check] [--json] [--write-only-settings=...] [--no-verify]"),
         QStringLiteral("write a settings file to the reader and check it"),
         QStringLiteral("Writes the settings that FILE holds to the reader, one command each, in this\n"
                        "order: keyboard language, output settings, reader mode, Bluetooth mode,\n"
                        "Bluetooth name, sleep time. The reader is read first: the keyboard language and\n"
                        "the output settings are written only when the reader has something else.\n"
                        "Output settings that FILE does not hold stay as the reader has them. Then reads\n"
                        "the reader back and lists every difference (not with --no-verify). A bad file\n"
                        "is refused before anything is sent. FILE \"-\" reads the settings from standard\n"
                        "input (errors name them \"settings\").\n") +
             kApplyOptions,
         cmdApply},
        {QStringLiteral("set"),
         QStringLiteral("KEY=VALUE... [--check] [--json] [--write-only-settings=...] [--no-verify]"),
         QStringLiteral("change single settings"),
         QStringLiteral("Writes the settings given, with the keys and values of a settings file, and\n"
                        "checks them as apply does. Example: rfidctl set language=German add_enter=true\n") +
             kApplyOptions,
         cmdSet},
    };
}

} // namespace rfid::cli
