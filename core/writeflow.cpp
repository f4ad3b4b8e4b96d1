#include "writeflow.h"

#include "applyplan.h"
#include "writerecord.h"

namespace rfid {

LinkFailure ReadBack::failure() const {
    if (settings)
        return LinkFailure::None;
    return reply.ok() ? LinkFailure::Damaged : reply.failure;
}

ReadBack readBack(ReaderLink& link) {
    ReadBack r;
    r.reply = link.send(readSettingsCommand());
    if (!r.reply.ok()) {
        r.problem = r.reply.problem;
        return r;
    }
    r.settings = decodeReadBack(r.reply.answer.payload);
    if (!r.settings) {
        r.problem =
            QStringLiteral("the reader's answer was too short to hold its settings (%1 of %2 bytes); it may "
                           "be a different kind of reader (this program sets up keyboard-output readers)")
                .arg(r.reply.answer.payload.size())
                .arg(kReadBackBytes);
    }
    return r;
}

QStringList unreportedKeys(const ReaderSettings& settings) {
    QStringList keys;
    for (SettingKey key : allSettingKeys()) {
        if (holds(settings, key) && !readerReports(key))
            keys << keyName(key);
    }
    return keys;
}

CheckOutcome checkSettings(ReaderLink& link, const ReaderSettings& wanted, const QString& owner) {
    CheckOutcome c;
    c.notChecked = unreportedKeys(wanted);
    for (SettingKey key : allSettingKeys())
        c.readNeeded = c.readNeeded || (holds(wanted, key) && readerReports(key));
    if (!c.readNeeded)
        return c;
    c.read = readBack(link);
    if (c.read.settings)
        c.differences = compareSettings(*c.read.settings, wanted, owner);
    return c;
}

namespace {

WriteOutcome writeHeld(ReaderLink& link, const ReaderSettings& wanted, const WriteOptions& options,
                       const WriteObserver& observer) {
    WriteOutcome out;
    out.settings = wanted;
    auto before = [&](const QString& step) {
        if (observer.before)
            observer.before(step);
    };
    LinkOperation hold(link);
    if (!hold.held()) {
        out.stoppedIn = WriteStage::Prepare;
        out.reply.failure = LinkFailure::InUse;
        out.reply.problem = hold.error();
        out.why = hold.error();
        for (const WriteStep& s : writeSteps(wanted))
            out.steps << s.what;
        return out;
    }

    const WritePlan plan = planWrite(link, wanted, options, before);
    if (!plan.ok()) {
        out.stoppedIn = WriteStage::Prepare;
        out.noCustomByte = plan.noCustomByte;
        out.reply = plan.reply;
        out.why = plan.why;
        for (const PlannedStep& s : plan.steps)
            out.steps << s.step.what;
        return out;
    }
    out.settings = plan.settings;
    out.unchanged = plan.names(StepState::Unchanged);
    out.known = plan.names(StepState::Known);
    out.before = plan.differences;

    QList<PlannedStep> sent;
    for (const PlannedStep& s : plan.steps) {
        if (s.sent())
            sent << s;
    }
    for (const PlannedStep& s : sent)
        out.steps << s.step.what;
    bool reportedWritten = false;
    for (int i = 0; i < sent.size(); ++i) {
        const WriteStep& step = sent.at(i).step;
        before(step.what);
        const LinkReply reply = link.send(step.command);
        if (observer.after)
            observer.after(i, step, reply);
        if (!reply.ok()) {
            out.stoppedIn = WriteStage::Write;
            out.reply = reply;
            out.why = reply.problem;
            return out;
        }
        ++out.written;
        out.changed = out.changed || sent.at(i).state == StepState::Write;
        reportedWritten =
            reportedWritten || step.kind == WriteStep::Language || step.kind == WriteStep::OutputSettings;
    }

    // What the reader holds now, for the next write: the settings it cannot
    // report as far as known, and what it reports (read after writing, or the
    // read before writing when nothing it reports was written).
    auto remember = [&](const std::optional<ReaderSettings>& reported) {
        if (!reported)
            return;
        LastWrite last;
        if (plan.lastWriteHolds)
            last.unreported = options.lastWrite->unreported;
        last.unreported.merge(unreportedPart(out.settings));
        last.reported = reportedPart(*reported);
        out.lastWrite = last;
    };

    if (!options.verify) {
        out.notChecked = unreportedKeys(out.settings);
        if (!reportedWritten)
            remember(plan.before);
        return out;
    }
    if (!reportedWritten && plan.before) {
        // Nothing the reader reports was written: the read before writing is
        // what the reader reports now (the reader has been held since).
        out.notChecked = unreportedKeys(out.settings);
        out.checked = !reportedPart(out.settings).isEmpty();
        if (out.checked)
            out.differences = compareSettings(*plan.before, out.settings, options.owner);
        remember(plan.before);
        return out;
    }
    before(QStringLiteral("check"));
    const CheckOutcome check = checkSettings(link, out.settings, options.owner);
    out.notChecked = check.notChecked;
    if (check.readNeeded && !check.read.settings) {
        out.stoppedIn = WriteStage::Check;
        out.reply = check.read.reply;
        out.why = check.read.problem;
        return out;
    }
    out.checked = check.readNeeded;
    out.differences = check.differences;
    remember(check.read.settings);
    return out;
}

// Saves what the reader holds now as this computer's record, or says why not;
// a record that cannot be saved is removed, so that it never tells of an older write.
void keepRecord(ReaderLink& link, WriteOutcome& out) {
    if (!out.lastWrite && out.written > 0 && out.stoppedIn == WriteStage::Done &&
        reportedPart(out.settings).isEmpty()) {
        // Only settings the reader cannot report were written: what it reports
        // is read once, so that the record can tell when it changes.
        const ReadBack now = readBack(link);
        if (now.settings)
            out.lastWrite = LastWrite{unreportedPart(out.settings), reportedPart(*now.settings)};
    }
    if (!out.lastWrite)
        return; // a write that is not known whole: the first command forgot the record
    const ReaderRecord r = openReaderRecord(link.library());
    if (!r.identity) {
        out.recordProblem = r.reader ? r.why : QStringLiteral("the USB library cannot name the reader");
        return;
    }
    QString error;
    if (saveWriteRecord(r.folder, *r.identity, r.reader->path, *out.lastWrite, error))
        return;
    QString ignored;
    const bool removed = forgetWriteRecord(r.folder, *r.identity, ignored);
    out.recordProblem = error + (removed ? QStringLiteral("; the old record was removed")
                                         : QStringLiteral("; the old record could not be removed either"));
}

} // namespace

WriteOutcome writeSettings(ReaderLink& link, const ReaderSettings& wanted, const WriteOptions& options,
                           const WriteObserver& observer) {
    LinkOperation hold(link);
    WriteOutcome out = writeHeld(link, wanted, options, observer);
    if (hold.held() && options.keepRecord)
        keepRecord(link, out);
    return out;
}

} // namespace rfid
