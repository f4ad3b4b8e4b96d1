#include "writeflow.h"

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

WriteOutcome writeSettings(ReaderLink& link, const ReaderSettings& wanted, const WriteOptions& options,
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
        out.steps = [&] {
            QStringList names;
            for (const WriteStep& s : writeSteps(wanted))
                names << s.what;
            return names;
        }();
        return out;
    }

    // The output settings go out in one command: what is not wanted stays as
    // the reader has it.
    if (wanted.hasAnyOutputField() && !outputSettingsBytes(wanted)) {
        before(QStringLiteral("read back"));
        const ReadBack current = readBack(link);
        if (!current.settings) {
            out.stoppedIn = WriteStage::Prepare;
            out.reply = current.reply;
            out.why = current.problem;
            for (const WriteStep& s : writeSteps(wanted))
                out.steps << s.what;
            return out;
        }
        ReaderSettings merged = *current.settings;
        merged.language.reset();
        merged.merge(wanted);
        if (!outputSettingsBytes(merged)) {
            out.stoppedIn = WriteStage::Prepare;
            out.noCustomByte = true;
            for (const WriteStep& s : writeSteps(wanted))
                out.steps << s.what;
            return out;
        }
        out.settings = merged;
    }

    const QList<WriteStep> steps = writeSteps(out.settings);
    for (const WriteStep& s : steps)
        out.steps << s.what;
    for (int i = 0; i < steps.size(); ++i) {
        before(steps.at(i).what);
        const LinkReply reply = link.send(steps.at(i).command);
        if (observer.after)
            observer.after(i, steps.at(i), reply);
        if (!reply.ok()) {
            out.stoppedIn = WriteStage::Write;
            out.reply = reply;
            out.why = reply.problem;
            return out;
        }
        ++out.written;
    }

    if (!options.verify) {
        out.notChecked = unreportedKeys(out.settings);
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
    return out;
}

} // namespace rfid
