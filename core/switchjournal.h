// A reader switched for a moment: "Find the format" sets the reader to type a
// card's whole number and sets it back after one card. Before switching, the
// switch is noted in a small file next to the write records (which reader,
// what its output settings were, what was written, when); setting back clears
// it. A program that dies in between leaves the note behind, and the next
// program of ours that takes the reader sets it back, as long as the reader
// still holds what was written:
//
//   {"version":1,"port":"1-2.3","serial":"0001A7","device":"/dev/hidraw3",
//    "by":"Find the format","when":"2026-12-09T02:40:00Z",
//    "held":"<32 hex digits>","written":"<32 hex digits>","pid":4711}
#pragma once

#include "readerlink.h"
#include "writerecord.h"

#include <QDateTime>
#include <array>

namespace rfid {

struct SwitchNote {
    QString by;     // what switched it: "Find the format"
    QString device; // the reader's path when it was switched
    QDateTime when;
    std::array<std::uint8_t, kOutputBytes> held{};    // the output settings before
    std::array<std::uint8_t, kOutputBytes> written{}; // the output settings written for the moment
    qint64 pid = 0; // the process that switched it: while it runs, it sets the reader back itself
};

// The note's file for a reader: "switched-<port>_<serial>.json".
QString switchNoteFile(const QString& folder, const ReaderIdentity& identity);

QByteArray switchNoteText(const ReaderIdentity& identity, const SwitchNote& note);
bool parseSwitchNote(const QByteArray& data, const ReaderIdentity& identity, SwitchNote& note,
                     QString& problem);

// Notes the switch of the reader the link talks to, before it is switched.
// False (switch nothing then) when it cannot be noted.
bool noteSwitch(ReaderLink& link, const SwitchNote& note, QString& error);

enum class SetBackResult {
    Restored, // the reader held what was written and was set back
    Left,     // the reader holds something else now: another program changed it; left as it is
    Failed,   // the reader could not be read or did not take the setting back; the note stays
};
struct SetBack {
    SetBackResult result = SetBackResult::Failed;
    QString text; // what happened, in plain words
};

// Sets the reader back to what it held, in one held operation, only when it
// still holds what was written; clears the note unless that failed.
SetBack setBackSwitch(ReaderLink& link, const SwitchNote& note);

// Run when a program takes the reader: settles a note left behind for it.
// Empty when there is none (costs one folder listing then).
QString settleLeftSwitch(ReaderLink& link);

} // namespace rfid
