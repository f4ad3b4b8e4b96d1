// Writing a set of settings to a reader, the one way every face does it: read
// back what must be kept, write the steps in their fixed order, check by
// reading back, and say what was written, what was not, and what differs.
//
// The faces (Settings > Write all, rfidctl apply/set, the set-up station) only
// turn the outcome into their own texts; an observer lets the window write each
// step's report lines as the step's page would.
#pragma once

#include "readerlink.h"
#include "readersettings.h"

#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

namespace rfid {

// The language and output settings as the reader reports them.
struct ReadBack {
    LinkReply reply;
    std::optional<ReaderSettings> settings; // empty when the reader could not be read
    QString problem;                        // why not, in plain words
    LinkFailure failure() const;            // Damaged for an answer too short to hold the settings
};
ReadBack readBack(ReaderLink& link);

// Where a write stopped.
enum class WriteStage {
    Done,    // every step was written (and checked, when asked)
    Prepare, // reading back the output settings that stay failed; nothing was written
    Write,   // a step failed; the steps before it were written
    Check,   // everything was written, but reading it back failed
};

// What this computer last wrote to a reader: the settings the reader cannot
// report, and the language and output settings the reader reported right after.
// A reader that still reports those is taken to hold the others too.
struct LastWrite {
    ReaderSettings unreported; // reader mode, Bluetooth mode and name, sleep time, as far as written
    ReaderSettings reported;   // language and output settings, as read back
};

struct WriteOptions {
    bool verify = true;                         // read back and compare after writing
    QString owner = QStringLiteral("the file"); // "the file", "the command line", "the window" in differences
    // Read the reader first and write the language and the output settings only
    // when the reader reports something else.
    bool onlyWhenDifferent = false;
    // What this computer last wrote to the reader, when known. A setting the
    // reader cannot report counts as unchanged when this holds the same value
    // and the reader still reports what it reported then.
    std::optional<LastWrite> lastWrite;
    // Leave out the settings that count as unchanged that way (otherwise they
    // are written every time).
    bool skipKnownUnreported = false;
    // Keep this computer's record of the write (writerecord.h) after the check,
    // while the reader is still held. Any write forgets the old record anyway.
    bool keepRecord = false;
};

struct WriteObserver {
    // Before each command: "read back", a step's name ("keyboard language", ...), "check".
    std::function<void(const QString& step)> before;
    // After each write step, with the reader's reply.
    std::function<void(int index, const WriteStep& step, const LinkReply& reply)> after;
};

struct WriteOutcome {
    ReaderSettings settings; // what was sent: the wanted settings with the kept output fields
    QStringList steps;       // the name of every step that goes out, in order
    QStringList unchanged;   // steps left out: the reader reported the same
    QStringList known;       // steps left out: this computer wrote the same last (skipKnownUnreported)
    // The settings the reader reported before writing differed in, when it was
    // read first.
    QList<SettingDifference> before;
    bool changed = false; // a step that changes the reader (or may: what it held is unknown) was written
    // What the reader holds now as far as this computer knows, for the next
    // write's WriteOptions::lastWrite; empty when that is not known (the write
    // stopped, or the reader was not read back after writing what it reports).
    std::optional<LastWrite> lastWrite;
    int written = 0; // how many steps the reader took
    WriteStage stoppedIn = WriteStage::Done;
    LinkReply reply;           // the reply that stopped it
    QString why;               // why it stopped, in plain words
    bool noCustomByte = false; // custom byte enabled, but neither wanted nor reader has one
    bool checked = false;      // the reader was read back and compared
    QStringList differences;   // "<key>: reader has X, <owner> has Y"
    QStringList notChecked;    // keys written that the reader does not report
    // With keepRecord: why no record of this write was kept (the old one is
    // gone then, so the next write writes every setting); empty when kept.
    QString recordProblem;

    bool ok() const { return stoppedIn == WriteStage::Done && !noCustomByte && differences.isEmpty(); }
    QStringList writtenSteps() const { return steps.mid(0, written); }
    QStringList unwrittenSteps() const { return steps.mid(written); }
};

// Writes `wanted` through `link`, holding the reader for the whole write.
WriteOutcome writeSettings(ReaderLink& link, const ReaderSettings& wanted, const WriteOptions& options = {},
                           const WriteObserver& observer = {});

// Reads back and compares with `wanted` (only the settings the reader reports).
struct CheckOutcome {
    ReadBack read;           // not read when nothing wanted is reported
    bool readNeeded = false; // whether `wanted` holds anything the reader reports
    QStringList differences;
    QStringList notChecked; // keys wanted that the reader does not report
    bool ok() const { return (!readNeeded || read.settings) && differences.isEmpty(); }
};
CheckOutcome checkSettings(ReaderLink& link, const ReaderSettings& wanted, const QString& owner);

// The keys held in `settings` that the reader does not report.
QStringList unreportedKeys(const ReaderSettings& settings);

} // namespace rfid
