// The per-reader lock on Windows: LockFileEx on a lock file of the reader's in
// a folder of the user's. A USB reader's path is a HID device path, no file
// that could be locked, so every path is mapped to a file named after it.
// Windows drops the lock when the handle closes, also when its program dies.
// The holder writes its process id and command at the start of the file,
// where a waiter reads them to name it.
#ifdef _WIN32

#include "readerlock.h"

#include "devicetext.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <QStringList>
#include <QThread>

#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <fcntl.h>
#include <io.h>

namespace rfid {

namespace {

// The locked byte lies far past the holder's note: Windows keeps everyone
// else out of a locked range, reads included.
constexpr DWORD kLockedByteHigh = 0x40000000;
constexpr qint64 kNoteBytes = 512;

QString windowsMessage(DWORD error) {
    wchar_t* text = nullptr;
    const DWORD n = ::FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                         FORMAT_MESSAGE_IGNORE_INSERTS,
                                     nullptr, error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    QString message =
        n > 0 ? QString::fromWCharArray(text, int(n)).trimmed() : QStringLiteral("error %1").arg(error);
    if (text)
        ::LocalFree(text);
    return message;
}

QString lockFolder() {
    const QString base = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    return (base.isEmpty() ? QDir::tempPath() : base) + QStringLiteral("/rfid-demo/locks");
}

// Windows names ignore case, so two spellings of one path share a file.
QString lockFileFor(const QString& path) {
    QString key = path.startsWith(QLatin1String("\\\\")) ? path : QFileInfo(path).absoluteFilePath();
    key = QDir::toNativeSeparators(key).toLower();
    const QByteArray digest = QCryptographicHash::hash(key.toUtf8(), QCryptographicHash::Sha256).toHex();
    return lockFolder() + QStringLiteral("/reader-%1.lock").arg(QString::fromLatin1(digest.left(32)));
}

HANDLE handleOf(int fd) {
    return reinterpret_cast<HANDLE>(::_get_osfhandle(fd));
}

// Opens (creating) the lock file; a link planted in its place is refused.
int openLockFile(const QString& file, QString& error) {
    QDir().mkpath(QFileInfo(file).absolutePath());
    const HANDLE h =
        ::CreateFileW(reinterpret_cast<const wchar_t*>(QDir::toNativeSeparators(file).utf16()),
                      GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                      FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        error = QStringLiteral("the reader's lock file %1 cannot be opened: %2")
                    .arg(QDir::toNativeSeparators(file), windowsMessage(::GetLastError()));
        return -1;
    }
    BY_HANDLE_FILE_INFORMATION info{};
    if (::GetFileType(h) != FILE_TYPE_DISK || !::GetFileInformationByHandle(h, &info) ||
        (info.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) != 0) {
        ::CloseHandle(h);
        error = QStringLiteral("the reader's lock file %1 is not a regular file")
                    .arg(QDir::toNativeSeparators(file));
        return -1;
    }
    const int fd = ::_open_osfhandle(reinterpret_cast<intptr_t>(h), _O_RDWR | _O_BINARY);
    if (fd < 0)
        ::CloseHandle(h);
    return fd;
}

// "rfidctl apply" for this program, as describeCommandLine makes it from a
// command line: the program's name without ".exe".
QString thisProgram() {
    QStringList words = QCoreApplication::instance() ? QCoreApplication::arguments() : QStringList();
    wchar_t module[MAX_PATH] = {};
    const DWORD n = ::GetModuleFileNameW(nullptr, module, MAX_PATH);
    const QString program = QFileInfo(QString::fromWCharArray(module, int(n))).completeBaseName();
    if (words.isEmpty())
        words << program;
    else
        words.front() = program;
    return ReaderLock::describeCommandLine(words.join(QChar(0)).toLocal8Bit());
}

void writeNote(HANDLE h) {
    const QByteArray note =
        QByteArray::number(quint64(::GetCurrentProcessId())) + '\t' + thisProgram().toUtf8() + '\n';
    OVERLAPPED at{};
    DWORD written = 0;
    if (::WriteFile(h, note.constData(), DWORD(note.size()), &written, &at)) {
        ::SetFilePointer(h, LONG(written), nullptr, FILE_BEGIN);
        ::SetEndOfFile(h);
    }
}

bool processRuns(DWORD pid) {
    const HANDLE process = ::OpenProcess(SYNCHRONIZE, FALSE, pid);
    if (!process)
        return ::GetLastError() == ERROR_ACCESS_DENIED; // another user's
    const bool runs = ::WaitForSingleObject(process, 0) == WAIT_TIMEOUT;
    ::CloseHandle(process);
    return runs;
}

} // namespace

bool ReaderLock::acquire(const QString& path, const std::function<QString()>& readerName, int waitMs,
                         const std::function<void()>& idle, QString& error) {
    release();
    if (path.isEmpty())
        return true;
    const int fd = openLockFile(lockFileFor(path), error);
    if (fd < 0)
        return false;
    const HANDLE h = handleOf(fd);
    QDeadlineTimer deadline(waitMs);
    for (;;) {
        OVERLAPPED range{};
        range.OffsetHigh = kLockedByteHigh;
        if (::LockFileEx(h, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &range)) {
            writeNote(h);
            m_fd = fd;
            return true;
        }
        const DWORD why = ::GetLastError();
        if (why != ERROR_LOCK_VIOLATION && why != ERROR_IO_PENDING) {
            error = QStringLiteral("the reader's lock file %1 cannot be locked: %2")
                        .arg(QDir::toNativeSeparators(lockFileFor(path)), windowsMessage(why));
            ::_close(fd);
            return false;
        }
        if (deadline.hasExpired())
            break;
        if (idle)
            idle();
        QThread::msleep(std::min<qint64>(20, std::max<qint64>(1, deadline.remainingTime())));
    }
    ::_close(fd);
    const QString holder = holderOf(path);
    const QString name = readerName ? printableDeviceText(readerName()) : QString();
    error =
        QStringLiteral("reader %1 is in use by %2; try again when it ends")
            .arg(name.isEmpty() ? path : name, holder.isEmpty() ? QStringLiteral("another program") : holder);
    return false;
}

void ReaderLock::release() {
    if (m_fd >= 0) {
        ::_close(m_fd); // closing the handle drops the lock
        m_fd = -1;
    }
}

// A library without its own lock path is locked by its own name: the lock maps
// any path to a file in the user's own folder, which no other user can write.
QString fallbackLockFile(const QString& libraryName, QString&) {
    return libraryName;
}

QString ReaderLock::holderOf(const QString& path) {
    const HANDLE h =
        ::CreateFileW(reinterpret_cast<const wchar_t*>(QDir::toNativeSeparators(lockFileFor(path)).utf16()),
                      GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return {};
    char buffer[kNoteBytes] = {};
    DWORD got = 0;
    OVERLAPPED at{};
    const bool read = ::ReadFile(h, buffer, DWORD(sizeof buffer), &got, &at);
    ::CloseHandle(h);
    if (!read)
        return {};
    // "4711\trfidctl apply\n", written by the holder; anything else names nobody.
    const QByteArray note(buffer, qsizetype(got));
    const qsizetype tab = note.indexOf('\t');
    const qsizetype end = note.indexOf('\n');
    if (tab <= 0 || end <= tab)
        return {};
    bool ok = false;
    const quint32 pid = note.left(tab).toUInt(&ok);
    if (!ok || pid == 0 || !processRuns(DWORD(pid)))
        return {};
    QString what = printableDeviceText(QString::fromUtf8(note.mid(tab + 1, end - tab - 1)).left(80));
    return (what.isEmpty() ? QStringLiteral("a program") : what) + QStringLiteral(", process %1").arg(pid);
}

} // namespace rfid

#endif // _WIN32
