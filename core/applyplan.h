// What a write of a set of settings would send, step by step, before anything
// is sent: which steps the reader already has (read back), which this computer
// wrote last and still stand, and which go out. The write flow follows the plan;
// a preview shows it and sends nothing.
#pragma once

#include "writeflow.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

namespace rfid {

enum class StepState {
    Write,     // goes out: the reader differs, or what it holds is not known
    Unchanged, // left out: the reader reports the same
    Known,     // left out: this computer wrote the same last and the reader has not changed since
    Rewrite,   // goes out, although this computer wrote the same last (written every time)
};

struct PlannedStep {
    WriteStep step;
    StepState state = StepState::Write;
    bool sent() const { return state == StepState::Write || state == StepState::Rewrite; }
};

struct WritePlan {
    // Prepare when the reader could not be read first, or the output settings
    // cannot be completed (noCustomByte); Done otherwise.
    WriteStage stoppedIn = WriteStage::Done;
    bool noCustomByte = false;
    LinkReply reply; // the reply of a read that failed
    QString why;

    std::optional<ReaderSettings> before; // what the reader reported before writing, when read
    ReaderSettings settings;              // what goes out: the wanted settings with the kept output fields
    QList<PlannedStep> steps;             // every step, in the order they go out
    QList<SettingDifference> differences; // reported settings in which the reader differs, before writing
    QStringList cannotBeReadBack;         // keys wanted that the reader does not report
    bool lastWriteHolds = false;          // the reader still reports what it reported after the last write

    bool ok() const { return stoppedIn == WriteStage::Done && !noCustomByte; }
    // The names of the steps in `state`, in order.
    QStringList names(StepState state) const;
    QList<WriteStep> toSend() const;
    // Whether carrying out the plan changes the reader (or may: Write steps).
    bool changes() const;
};

// Plans writing `wanted` through `link`, reading the reader first when the plan
// needs it (output settings to complete, onlyWhenDifferent, or a last write to
// check). Sends no write. The caller holds the reader (LinkOperation) when the
// plan is to be carried out. `before` runs before the read ("read back").
WritePlan planWrite(ReaderLink& link, const ReaderSettings& wanted, const WriteOptions& options,
                    const std::function<void(const QString&)>& before = {});

// The settings of `settings` that the reader reports (language and output
// settings) and those it does not.
ReaderSettings reportedPart(const ReaderSettings& settings);
ReaderSettings unreportedPart(const ReaderSettings& settings);

} // namespace rfid
