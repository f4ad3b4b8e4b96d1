#include "readerlock.h"

#include "devicetext.h"

#include <QByteArray>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringList>
#include <QThread>

#ifndef _WIN32
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>
#endif

namespace rfid {

ReaderLock::~ReaderLock() {
    release();
}

#ifndef _WIN32

namespace {

constexpr int kNothingToLock = -2;

// A file that stands for a USB reader is its device node; the lock never
// creates one there: a node that is gone is a reader that is gone.
bool isDeviceNodePath(const QString& path) {
    return path.startsWith(QLatin1String("/dev/"));
}

// Opens the file that stands for the reader without blocking and without
// following a link planted in its place. A device node is opened read-only
// (reading rights suffice for flock) and never created; another file is
// created when missing and must belong to this user or root.
int openLockFile(const QString& path, QString& error) {
    const QByteArray name = QFile::encodeName(path);
    struct stat st {};
    const bool exists = ::lstat(name.constData(), &st) == 0;
    int fd = -1;
    if (exists && S_ISCHR(st.st_mode)) {
        fd = ::open(name.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
        // A node this user may not open (or that went away since) is a reader
        // this user cannot use either: the exchange says so in its own words.
        if (fd < 0 && (errno == EACCES || errno == EPERM || errno == ENOENT))
            return kNothingToLock;
    } else if (!exists && isDeviceNodePath(path)) {
        return kNothingToLock; // unplugged between the scan and the lock
    } else if (exists && !S_ISREG(st.st_mode)) {
        error = QStringLiteral("the reader's lock file %1 is not a regular file").arg(path);
        return -1;
    } else if (isDeviceNodePath(path)) {
        error = QStringLiteral("the reader's lock file %1 is not a device node; a regular file there was "
                               "left by something else and should be removed")
                    .arg(path);
        return -1;
    } else {
        fd =
            ::open(name.constData(), O_RDWR | O_CREAT | O_NONBLOCK | O_CLOEXEC | O_NOFOLLOW | O_NOCTTY, 0644);
        if (fd < 0 && (errno == EACCES || errno == EPERM))
            fd = ::open(name.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOFOLLOW | O_NOCTTY);
        struct stat own {};
        if (fd >= 0 && ::fstat(fd, &own) == 0 && own.st_uid != 0 && own.st_uid != ::geteuid()) {
            ::close(fd);
            error = QStringLiteral("the reader's lock file %1 belongs to another user (uid %2); it was "
                                   "not used. Remove it, or ask its owner to")
                        .arg(path)
                        .arg(own.st_uid);
            return -1;
        }
    }
    if (fd < 0)
        error = QStringLiteral("the reader's lock file %1 cannot be opened: %2")
                    .arg(path, QString::fromLocal8Bit(std::strerror(errno)));
    return fd;
}

// A folder only this user (or root) can write to: owned by one of them, no
// one else may write.
bool isPrivateFolder(const QString& folder, QString& error) {
    struct stat st {};
    if (::lstat(QFile::encodeName(folder).constData(), &st) != 0 || !S_ISDIR(st.st_mode)) {
        error = QStringLiteral("the folder %1 for the reader's lock is not there").arg(folder);
        return false;
    }
    if ((st.st_uid != 0 && st.st_uid != ::geteuid()) || (st.st_mode & (S_IWGRP | S_IWOTH))) {
        error = QStringLiteral("the folder %1 for the reader's lock may be written by other users; no lock "
                               "is taken there")
                    .arg(folder);
        return false;
    }
    return true;
}

} // namespace

bool ReaderLock::acquire(const QString& path, const std::function<QString()>& readerName, int waitMs,
                         const std::function<void()>& idle, QString& error) {
    release();
    if (path.isEmpty())
        return true;
    const int fd = openLockFile(path, error);
    if (fd == kNothingToLock)
        return true;
    if (fd < 0)
        return false;
    QDeadlineTimer deadline(waitMs);
    for (;;) {
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
            m_fd = fd;
            return true;
        }
        if (errno != EWOULDBLOCK && errno != EINTR) {
            error = QStringLiteral("the reader's lock file %1 cannot be locked: %2")
                        .arg(path, QString::fromLocal8Bit(std::strerror(errno)));
            ::close(fd);
            return false;
        }
        if (deadline.hasExpired())
            break;
        if (idle)
            idle();
        QThread::msleep(std::min<qint64>(20, std::max<qint64>(1, deadline.remainingTime())));
    }
    const QString holder = holderOf(path);
    ::close(fd);
    const QString name = readerName ? printableDeviceText(readerName()) : QString();
    error =
        QStringLiteral("reader %1 is in use by %2; try again when it ends")
            .arg(name.isEmpty() ? path : name, holder.isEmpty() ? QStringLiteral("another program") : holder);
    return false;
}

void ReaderLock::release() {
    if (m_fd >= 0) {
        ::close(m_fd); // closing the last descriptor drops the flock
        m_fd = -1;
    }
}

QString fallbackLockFile(const QString& libraryName, QString& error) {
    QString folder = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (::geteuid() == 0 && (folder.isEmpty() || !QDir::isAbsolutePath(folder))) {
        folder = QStringLiteral("/run/rfid-demo");
        if (::mkdir("/run/rfid-demo", 0755) != 0 && errno != EEXIST) {
            error = QStringLiteral("the folder %1 for the reader's lock cannot be made: %2")
                        .arg(folder, QString::fromLocal8Bit(std::strerror(errno)));
            return {};
        }
    }
    if (folder.isEmpty() || !QDir::isAbsolutePath(folder)) {
        error = QStringLiteral("XDG_RUNTIME_DIR is not set, so there is no folder of this user's own for "
                               "the reader's lock");
        return {};
    }
    if (!isPrivateFolder(folder, error))
        return {};
    const QString name = libraryName.mid(libraryName.lastIndexOf(QLatin1Char('/')) + 1);
    return QDir(folder).filePath(QStringLiteral("rfid-demo-%1.lock").arg(name));
}

QString ReaderLock::holderOf(const QString& path) {
    struct stat st {};
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        return {};
    // Lines read "1: FLOCK  ADVISORY  WRITE 4711 00:1a:12345 0 EOF"; a waiter
    // shows as "1: -> FLOCK ...".
    QFile locks(QStringLiteral("/proc/locks"));
    if (!locks.open(QIODevice::ReadOnly))
        return {};
    const QString id = QStringLiteral("%1:%2:%3")
                           .arg(major(st.st_dev), 2, 16, QLatin1Char('0'))
                           .arg(minor(st.st_dev), 2, 16, QLatin1Char('0'))
                           .arg(quint64(st.st_ino));
    const QStringList lines = QString::fromLatin1(locks.readAll()).split(QLatin1Char('\n'));
    for (const QString& line : lines) {
        const QStringList f = line.simplified().split(QLatin1Char(' '));
        if (f.size() < 6 || f.at(1) == QLatin1String("->") || f.at(1) != QLatin1String("FLOCK") ||
            f.at(5).compare(id, Qt::CaseInsensitive) != 0)
            continue;
        const QString pid = f.at(4);
        QFile cmdline(QStringLiteral("/proc/%1/cmdline").arg(pid));
        QString what;
        if (cmdline.open(QIODevice::ReadOnly))
            what = describeCommandLine(cmdline.read(4096));
        return (what.isEmpty() ? QStringLiteral("a program") : what) + QStringLiteral(", process ") + pid;
    }
    return {};
}

#endif // !_WIN32 (Windows: readerlock_win.cpp)

QString ReaderLock::describeCommandLine(const QByteArray& nulSeparated) {
    const QList<QByteArray> words = nulSeparated.split('\0');
    if (words.isEmpty() || words.front().isEmpty())
        return {};
    QString program = QString::fromLocal8Bit(words.front());
    program = program.mid(program.lastIndexOf(QLatin1Char('/')) + 1);
    QString command;
    for (int i = 1; i < words.size(); ++i) {
        const QByteArray& w = words.at(i);
        if (w == "--device" || w == "--log" || w == "--count") {
            ++i; // the option's value
            continue;
        }
        if (w.isEmpty() || w.startsWith('-'))
            continue;
        command = QString::fromLocal8Bit(w);
        break;
    }
    const QString text = command.isEmpty() ? program : program + QLatin1Char(' ') + command;
    return printableDeviceText(text.left(80));
}

} // namespace rfid
