// The set-up station: every reader that is plugged in is written with one set
// of settings, checked by reading back, told to beep on success and recorded as
// one CSV row; then the station waits for the next reader. A reader that has
// been done is not done again until it is unplugged and plugged back.
//
// Plain C++ on Qt Core, shared by the window and rfidctl. The caller decides
// how to wait between looks at the readers (a socket notifier in the window,
// poll() in rfidctl) and calls poll() after every notice.
#pragma once

#include "readerlink.h"
#include "readersettings.h"
#include "usblink.h"

#include <QDateTime>
#include <QFile>
#include <QSet>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>

namespace rfid {

// The outcome for one reader.
struct StationRow {
    QDateTime time;
    QString path;
    QString serial;
    QString version;
    QString result; // "ok", "different", "failed: …", "unplugged during write, settings partly written: …"
    QStringList differences;
    bool success = false;
};

// The results file: CSV with a header line, one row per reader, each row on
// disk (written and synced) before the next reader is touched. An existing
// file is appended to when it is a results file (its first line is the
// header); a row that cannot be written whole is taken back, so that the file
// always ends with a whole row.
class StationLog {
public:
    // Opens `path` for appending; false with `error` naming the file and why: no
    // name, a folder or another file that is not a regular file (a FIFO, a
    // device), a file whose first line is not the header, or the settings file
    // `settingsPath` itself (the same file under any name).
    bool open(const QString& path, QString& error, const QString& settingsPath = {});
    bool isOpen() const { return m_file && m_file->isOpen(); }
    // Appends one row and syncs it to disk; false with `error` (the system's
    // reason) when it could not be written, the file then cut back to the rows
    // before it.
    bool append(const StationRow& row, QString& error);

    static QString header(); // "time,device,serial,version,result,differences"
    static QString line(const StationRow& row);
    // One CSV field: quoted when it holds a comma, quote or line break; a text
    // that a spreadsheet would take for a formula (= + - @, a tab or a carriage
    // return first) gets a ' in front.
    static QString field(const QString& text);

private:
    bool writeWhole(const QByteArray& bytes, QString& error);

    std::unique_ptr<QFile> m_file;
    QString m_path;
};

class Station {
public:
    // `wanted`: the settings to write (the file's). `log` may be null.
    Station(UsbLibrary& usb, ReaderSettings wanted, StationLog* log);

    // Whether the library can list readers (the station needs that); false
    // with `error` saying why.
    bool canListReaders(QString& error);

    // Called before each step of a reader ("keyboard language", "check", ...),
    // for progress texts; tests use it to unplug a reader half-way.
    using StepObserver = std::function<void(const ReaderEntry& reader, const QString& step)>;
    void setStepObserver(StepObserver observer) { m_observer = std::move(observer); }
    // Called with every row as soon as it is logged.
    using RowObserver = std::function<void(const StationRow& row)>;
    void setRowObserver(RowObserver observer) { m_rowObserver = std::move(observer); }

    // One look at the readers: forgets the readers that have gone, sets up every
    // one that has not been done, at most `limit` of them (-1: all). `stop` is
    // asked before each reader. Returns the rows of this look. A row that
    // cannot be logged stops the station (`logError()` says why).
    QList<StationRow> poll(const std::function<bool()>& stop = {}, int limit = -1);

    int done() const { return m_done; }
    int failed() const { return m_failed; }
    bool stoppedByLogError() const { return !m_logError.isEmpty(); }
    QString logError() const { return m_logError; }
    // "3 readers done: 2 set up, 1 failed."
    QString progressLine() const;

    // A note every row carries after its differences (in the results file's
    // differences column): a check the station was told to go past.
    void addNote(const QString& note) { m_notes << note; }

    // Leaves the library's reader choice automatic again.
    void finish();
    // Where the notice goes that a reader left switched was set back as the
    // station took it; standard error unless set.
    void setNotice(std::function<void(const QString&)> notice) { m_link.setNotice(std::move(notice)); }

private:
    StationRow setUp(const ReaderEntry& reader);
    // Whether `reader` has gone, after `reply` failed: the exchange found no
    // reader, or the reader is no longer listed.
    bool gone(const ReaderEntry& reader, const LinkReply& reply);

    UsbLibrary& m_usb;
    ReaderLink m_link;
    ReaderSettings m_wanted;
    StationLog* m_log;
    StepObserver m_observer;
    RowObserver m_rowObserver;
    QSet<QString> m_handled; // readers done and still plugged in
    QString m_logError;
    QStringList m_notes;
    int m_done = 0;
    int m_failed = 0;
};

} // namespace rfid
