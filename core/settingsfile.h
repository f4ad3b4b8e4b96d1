// Settings files: a small JSON object with a version number and the settings by
// name, values written as people read them. A file may hold only some settings.
//
//   {
//     "version": 1,
//     "format": "10 no.in D",
//     "add_enter": true,
//     "prefix_1": "02",
//     "language": "German",
//     "sleep_time": "0.5 minute"
//   }
#pragma once

#include "readersettings.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace rfid {

// The version this program writes and the newest it reads.
constexpr int kSettingsFileVersion = 1;
// Larger files are refused before they are parsed.
constexpr qint64 kMaxSettingsFileBytes = 1024 * 1024;

// Reads the settings in `data`. On error returns false and sets `error` to one
// line naming `fileName`, the key (or line and column) and what is wrong;
// `settings` is then unchanged. Keys are matched without regard to case; a key
// given twice (in any case) is an error.
bool parseSettings(const QByteArray& data, const QString& fileName, ReaderSettings& settings, QString& error);

// The keys of the top-level object of a JSON text the parser takes, in the
// order written, a key given twice listed twice (the parser keeps one and says
// nothing). False when `data` does not start with an object.
bool topLevelKeys(const QByteArray& data, QStringList& keys);

// Reads the file at `path` (named as given in errors); only a regular file is
// read (a FIFO, a device or a folder is refused without waiting on it).
bool loadSettingsFile(const QString& path, ReaderSettings& settings, QString& error);

// The file's text: the version, then every setting held, in key order, one per
// line. A code without a name (read from a reader that reports a code the
// tables do not know) cannot be written: its key is left out and named in
// `skipped` when given.
QByteArray settingsToJson(const ReaderSettings& settings, QStringList* skipped = nullptr);

// Writes the file; false with `error` set when it cannot be written. A regular
// file (or a new name) is replaced whole by renaming a new file over it; "-" and
// a name for an open descriptor (/dev/stdout, /dev/fd/N) are written to that
// descriptor as it is open (">>" appends); another file that is not a regular
// file (a device, a FIFO) is written where it is, never replaced; a folder is
// refused.
bool saveSettingsFile(const QString& path, const ReaderSettings& settings, QString& error,
                      QStringList* skipped = nullptr);

// The descriptor `path` stands for: 1 for "-", N for /dev/stdout, /dev/fd/N,
// /proc/self/fd/N or a link to one of them; -1 for any other name.
int descriptorNamedBy(const QString& path);

// "unknown key" for a name that is no key, with the nearest keys when the name
// is a slip away from one: "unknown key (did you mean "language"?)".
QString unknownKeyText(const QString& name);

// Applies "KEY=VALUE" texts (the keys of the file) to `settings`. On error
// returns false with `error` naming the key and what is wrong; `settings` is
// then unchanged.
bool applyAssignments(const QStringList& assignments, ReaderSettings& settings, QString& error);

} // namespace rfid
