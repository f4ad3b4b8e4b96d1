// One operation on a reader at a time, across every program on this computer.
//
// Before an operation (one exchange of the window, one whole apply of rfidctl,
// one reader's set-up at the station) a program takes an advisory flock on the
// file that stands for the reader: the hidraw node for a USB reader, a file
// beside the simulated reader's state file for the simulator. A device node is
// never created: a node that is gone means nothing is locked (the exchange
// finds no reader). The kernel drops
// the lock when its holder exits or dies, so a crashed program never leaves the
// reader locked. A second program waits for the lock up to a bound and then
// fails with a text that names the holder.
#pragma once

#include <QString>
#include <functional>

namespace rfid {

class ReaderLock {
public:
    ReaderLock() = default;
    ~ReaderLock();
    ReaderLock(const ReaderLock&) = delete;
    ReaderLock& operator=(const ReaderLock&) = delete;

    // Takes the lock on `path`, trying again until `waitMs` have passed;
    // `idle` (may be empty) runs between tries, so a window keeps painting.
    // An empty path takes nothing and succeeds. False with `error` naming the
    // holder (`readerName` says which reader; asked only then) or why the file
    // cannot be used.
    bool acquire(const QString& path, const std::function<QString()>& readerName, int waitMs,
                 const std::function<void()>& idle, QString& error);
    void release();
    bool held() const { return m_fd >= 0; }

    // Who holds a lock on `path` now ("rfidctl apply, process 4711"), read
    // from the kernel's lock table; empty when that cannot be told.
    static QString holderOf(const QString& path);
    // "rfidctl apply" from a command line: the program's file name and the
    // first word that is not an option (nor an option's value).
    static QString describeCommandLine(const QByteArray& nulSeparated);

private:
    int m_fd = -1;
};

// The lock file for a USB library that cannot name its reader's file: one
// for everything the library reaches, in a folder only this user (or root)
// can write: $XDG_RUNTIME_DIR, or /run/rfid-demo for root. Empty with
// `error` when there is no such folder.
QString fallbackLockFile(const QString& libraryName, QString& error);

// How long an operation waits for a reader that another program is using.
constexpr int kReaderLockWaitMs = 10000;

} // namespace rfid
