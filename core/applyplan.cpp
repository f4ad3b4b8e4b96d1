#include "applyplan.h"

#include <algorithm>

namespace rfid {

namespace {

bool reports(WriteStep::Kind kind) {
    return kind == WriteStep::Language || kind == WriteStep::OutputSettings;
}

// The command that would set the reader to what it reports, for a step it reports.
QString reportedCommand(WriteStep::Kind kind, const ReaderSettings& reader) {
    if (kind == WriteStep::Language)
        return reader.language ? languageCommand(*reader.language) : QString();
    const auto bytes = outputSettingsBytes(reader);
    return bytes ? outputSettingsCommand(*bytes) : QString();
}

// The same language and the same 16 output bytes: what the reader would type is the same.
bool sameReported(const ReaderSettings& a, const ReaderSettings& b) {
    const auto ab = outputSettingsBytes(a);
    return a.language && a.language == b.language && ab && ab == outputSettingsBytes(b);
}

std::optional<QString> stepCommand(const ReaderSettings& settings, WriteStep::Kind kind) {
    for (const WriteStep& s : writeSteps(settings)) {
        if (s.kind == kind)
            return s.command;
    }
    return std::nullopt;
}

} // namespace

ReaderSettings reportedPart(const ReaderSettings& s) {
    ReaderSettings out = s;
    for (SettingKey key : allSettingKeys()) {
        if (!readerReports(key))
            clear(out, key);
    }
    return out;
}

ReaderSettings unreportedPart(const ReaderSettings& s) {
    ReaderSettings out = s;
    for (SettingKey key : allSettingKeys()) {
        if (readerReports(key))
            clear(out, key);
    }
    return out;
}

QStringList WritePlan::names(StepState state) const {
    QStringList out;
    for (const PlannedStep& s : steps) {
        if (s.state == state)
            out << s.step.what;
    }
    return out;
}

QList<WriteStep> WritePlan::toSend() const {
    QList<WriteStep> out;
    for (const PlannedStep& s : steps) {
        if (s.sent())
            out << s.step;
    }
    return out;
}

bool WritePlan::changes() const {
    return std::any_of(steps.begin(), steps.end(),
                       [](const PlannedStep& s) { return s.state == StepState::Write; });
}

WritePlan planWrite(ReaderLink& link, const ReaderSettings& wanted, const WriteOptions& options,
                    const std::function<void(const QString&)>& before) {
    WritePlan plan;
    plan.settings = wanted;
    plan.cannotBeReadBack = unreportedKeys(wanted);

    const bool partialOutput = wanted.hasAnyOutputField() && !outputSettingsBytes(wanted);
    const bool anyReported = wanted.language.has_value() || wanted.hasAnyOutputField();
    const bool anyUnreported = !unreportedPart(wanted).isEmpty();
    const bool readFirst = partialOutput || (options.onlyWhenDifferent && anyReported) ||
                           (anyUnreported && options.lastWrite.has_value());
    if (readFirst) {
        if (before)
            before(QStringLiteral("read back"));
        const ReadBack current = readBack(link);
        if (!current.settings) {
            plan.stoppedIn = WriteStage::Prepare;
            plan.reply = current.reply;
            plan.why = current.problem;
            for (const WriteStep& s : writeSteps(wanted))
                plan.steps.append({s, StepState::Write});
            return plan;
        }
        plan.before = current.settings;
    }

    // The output settings go out in one command: what is not wanted stays as
    // the reader has it.
    if (partialOutput) {
        ReaderSettings merged = *plan.before;
        merged.language.reset();
        merged.merge(wanted);
        if (!outputSettingsBytes(merged)) {
            plan.stoppedIn = WriteStage::Prepare;
            plan.noCustomByte = true;
            for (const WriteStep& s : writeSteps(wanted))
                plan.steps.append({s, StepState::Write});
            return plan;
        }
        plan.settings = merged;
    }

    if (plan.before) {
        plan.differences = settingDifferences(*plan.before, plan.settings);
        plan.lastWriteHolds = options.lastWrite && sameReported(*plan.before, options.lastWrite->reported);
    }
    for (const WriteStep& s : writeSteps(plan.settings)) {
        StepState state = StepState::Write;
        if (reports(s.kind)) {
            if (options.onlyWhenDifferent && plan.before &&
                s.command == reportedCommand(s.kind, *plan.before))
                state = StepState::Unchanged;
        } else if (plan.lastWriteHolds && stepCommand(options.lastWrite->unreported, s.kind) == s.command) {
            state = options.skipKnownUnreported ? StepState::Known : StepState::Rewrite;
        }
        plan.steps.append({s, state});
    }
    return plan;
}

} // namespace rfid
