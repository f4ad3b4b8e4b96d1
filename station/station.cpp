#include "station.h"

#include "devicetext.h"
#include "version.h"
#include "writeflow.h"

#include <QFileInfo>

#ifdef _WIN32
#include <QDir>
#include <optional>
#include <utility>

#include <windows.h>
#else
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace rfid {

namespace {
QString listText(const QStringList& items) {
    return items.isEmpty() ? QStringLiteral("none") : items.join(QStringLiteral(", "));
}
} // namespace

// ---------------------------------------------------------------------------

namespace {

QString cannotWrite(const QString& path, const QString& why) {
    return QStringLiteral("%1 cannot be written: %2").arg(path, why);
}

#ifndef _WIN32
QString systemError(int error) {
    return QString::fromLocal8Bit(std::strerror(error));
}

// What a file that is not a regular file is, for messages.
QString kindOf(mode_t mode) {
    if (S_ISDIR(mode))
        return QStringLiteral("it is a folder");
    if (S_ISFIFO(mode))
        return QStringLiteral("it is a FIFO, not a regular file");
    if (S_ISCHR(mode) || S_ISBLK(mode))
        return QStringLiteral("it is a device, not a regular file");
    if (S_ISSOCK(mode))
        return QStringLiteral("it is a socket, not a regular file");
    return QStringLiteral("it is not a regular file");
}

bool sameFile(const struct stat& a, const QString& path) {
    struct stat b {};
    return !path.isEmpty() && ::stat(QFile::encodeName(path).constData(), &b) == 0 && a.st_dev == b.st_dev &&
           a.st_ino == b.st_ino;
}
#else
// Where a file lives on its volume, whatever name it is reached by (a hard
// link, a symbolic link); nullopt when it cannot be opened.
std::optional<std::pair<DWORD, quint64>> fileIdentity(const QString& path) {
    const HANDLE h = ::CreateFileW(reinterpret_cast<const wchar_t*>(QDir::toNativeSeparators(path).utf16()),
                                   0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                   OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return std::nullopt;
    BY_HANDLE_FILE_INFORMATION info{};
    const bool known = ::GetFileInformationByHandle(h, &info);
    ::CloseHandle(h);
    if (!known)
        return std::nullopt;
    return std::make_pair(info.dwVolumeSerialNumber,
                          (quint64(info.nFileIndexHigh) << 32) | info.nFileIndexLow);
}

bool sameFile(const QString& a, const QString& b) {
    if (a.isEmpty() || b.isEmpty())
        return false;
    const auto first = fileIdentity(a);
    return first && first == fileIdentity(b);
}
#endif

} // namespace

bool StationLog::open(const QString& path, QString& error, const QString& settingsPath) {
    if (path.isEmpty()) {
        error = cannotWrite(path, QStringLiteral("no file name"));
        return false;
    }
    const QString isSettings =
        QStringLiteral("%1 is the settings file %2; give the results a file of their own")
            .arg(path, settingsPath);
#ifndef _WIN32
    const QByteArray name = QFile::encodeName(path);
    struct stat st {};
    // Looked at before it is opened: opening a FIFO would wait for a reader.
    if (::stat(name.constData(), &st) == 0) {
        if (!S_ISREG(st.st_mode)) {
            error = cannotWrite(path, kindOf(st.st_mode));
            return false;
        }
        if (sameFile(st, settingsPath)) {
            error = isSettings;
            return false;
        }
    }
    const int fd =
        ::open(name.constData(), O_RDWR | O_APPEND | O_CREAT | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0666);
    if (fd < 0) {
        error = cannotWrite(path, systemError(errno));
        return false;
    }
    auto file = std::make_unique<QFile>();
    if (!file->open(fd, QIODevice::ReadWrite | QIODevice::Append | QIODevice::Unbuffered,
                    QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        error = cannotWrite(path, file->errorString());
        return false;
    }
    // What was opened, not what was looked at before.
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        error = cannotWrite(path, kindOf(st.st_mode));
        return false;
    }
    if (sameFile(st, settingsPath)) {
        error = isSettings;
        return false;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    const qint64 size = st.st_size;
    QByteArray head;
    char last = '\n';
    if (size > 0) {
        // The first line tells a results file; a file that holds anything else
        // is not appended to.
        head.resize(4096);
        const ssize_t n = ::pread(fd, head.data(), std::size_t(head.size()), 0);
        head.resize(n > 0 ? qsizetype(n) : 0);
        if (::pread(fd, &last, 1, off_t(size - 1)) != 1) {
            error = QStringLiteral("%1 cannot be read: %2").arg(path, systemError(errno));
            return false;
        }
    }
#else
    if (QFileInfo(path).isDir()) {
        error = cannotWrite(path, QStringLiteral("it is a folder"));
        return false;
    }
    if (sameFile(path, settingsPath)) {
        error = isSettings;
        return false;
    }
    auto file = std::make_unique<QFile>(path);
    if (!file->open(QIODevice::ReadWrite | QIODevice::Append | QIODevice::Unbuffered)) {
        error = cannotWrite(path, file->errorString());
        return false;
    }
    const qint64 size = file->size();
    QByteArray head;
    char last = '\n';
    if (size > 0) {
        file->seek(0);
        head = file->read(4096);
        file->seek(size - 1);
        file->getChar(&last);
    }
#endif
    m_file = std::move(file);
    m_path = path;
    if (size == 0) {
        if (writeWhole((header() + QLatin1Char('\n')).toUtf8(), error))
            return true;
        m_file.reset();
        return false;
    }
    if (head.startsWith("\xEF\xBB\xBF")) // a byte order mark, as spreadsheets save one
        head.remove(0, 3);
    QByteArray first = head.left(head.indexOf('\n') < 0 ? head.size() : head.indexOf('\n'));
    if (first.endsWith('\r'))
        first.chop(1);
    if (first != header().toUtf8()) {
        error = QStringLiteral("%1 is not a results file: its first line is %2, not the header %3; give the "
                               "results a file of their own")
                    .arg(path, quotedForError(QString::fromUtf8(first)), quotedForError(header()));
        m_file.reset();
        return false;
    }
    // A last line without its line break is ended, so that the next row starts a line of its own.
    if (last != '\n' && !writeWhole("\n", error)) {
        m_file.reset();
        return false;
    }
    return true;
}

bool StationLog::writeWhole(const QByteArray& bytes, QString& error) {
    const QString& path = m_path;
#ifndef _WIN32
    const int fd = m_file->handle();
    struct stat st {};
    const off_t before = ::fstat(fd, &st) == 0 ? st.st_size : -1;
    qsizetype done = 0;
    int failure = 0;
    while (done < bytes.size() && failure == 0) {
        const ssize_t n = ::write(fd, bytes.constData() + done, std::size_t(bytes.size() - done));
        if (n > 0)
            done += n;
        else if (n < 0 && errno != EINTR)
            failure = errno;
        else if (n == 0)
            failure = EIO;
    }
    if (failure == 0 && ::fsync(fd) != 0)
        failure = errno;
    if (failure != 0) {
        // Half a row is taken back: the file ends with the last whole row.
        if (done > 0 && before >= 0 && ::ftruncate(fd, before) != 0)
            error = cannotWrite(
                path, systemError(failure) +
                          QStringLiteral("; its last line is cut short (%1)").arg(systemError(errno)));
        else
            error = cannotWrite(path, systemError(failure));
        return false;
    }
    return true;
#else
    const qint64 before = m_file->size();
    if (m_file->write(bytes) != bytes.size() || !m_file->flush()) {
        error = cannotWrite(path, m_file->errorString());
        m_file->resize(before);
        return false;
    }
    return true;
#endif
}

bool StationLog::append(const StationRow& row, QString& error) {
    if (!isOpen()) {
        error = QStringLiteral("the results file is not open");
        return false;
    }
    return writeWhole((line(row) + QLatin1Char('\n')).toUtf8(), error);
}

QString StationLog::header() {
    return QStringLiteral("time,device,serial,version,result,differences");
}

QString StationLog::field(const QString& text) {
    QString t = text;
    if (!t.isEmpty() && QStringLiteral("=+-@\t\r").contains(t.front()))
        t.prepend(QLatin1Char('\''));
    if (t.contains(QLatin1Char(',')) || t.contains(QLatin1Char('"')) || t.contains(QLatin1Char('\n')) ||
        t.contains(QLatin1Char('\r'))) {
        t.replace(QLatin1Char('"'), QStringLiteral("\"\""));
        t = QLatin1Char('"') + t + QLatin1Char('"');
    }
    return t;
}

QString StationLog::line(const StationRow& row) {
    // Local time with its offset from UTC.
    const QDateTime t = row.time.toOffsetFromUtc(row.time.offsetFromUtc());
    // What the device reports is written with its control characters spelled out.
    const QStringList fields = {t.toString(Qt::ISODate),
                                printableDeviceText(row.path),
                                printableDeviceText(row.serial),
                                printableDeviceText(row.version),
                                row.result,
                                row.differences.join(QStringLiteral("; "))};
    QStringList out;
    for (const QString& f : fields)
        out << field(f);
    return out.join(QLatin1Char(','));
}

// ---------------------------------------------------------------------------

Station::Station(UsbLibrary& usb, ReaderSettings wanted, StationLog* log)
    : m_usb(usb), m_link(usb), m_wanted(std::move(wanted)), m_log(log) {}

bool Station::canListReaders(QString& error) {
    if (!m_usb.isLoaded()) {
        error = QStringLiteral("the USB library %1 could not be loaded").arg(m_usb.fileName());
        return false;
    }
    if (!m_usb.readers()) {
        error = QStringLiteral("the USB library %1 cannot list readers, which the station needs to tell one "
                               "reader from the next")
                    .arg(m_usb.fileName());
        return false;
    }
    return true;
}

bool Station::gone(const ReaderEntry& reader, const LinkReply& reply) {
    if (reply.failure == LinkFailure::NoReader)
        return true;
    const std::optional<QList<ReaderEntry>> now = m_usb.readers();
    if (!now)
        return false;
    for (const ReaderEntry& r : *now) {
        if (r.path == reader.path)
            return false;
    }
    return true;
}

StationRow Station::setUp(const ReaderEntry& reader) {
    StationRow row;
    row.time = QDateTime::currentDateTime();
    row.path = reader.path;
    row.serial = reader.serial;
    auto step = [&](const QString& what) {
        if (m_observer)
            m_observer(reader, what);
    };
    const QString untouched = QStringLiteral("unplugged before any setting was written");

    if (!m_usb.selectReader(reader.path)) {
        row.result = untouched;
        return row;
    }
    // The reader is this station's until its row is written: nothing else
    // (the window, rfidctl, a service) interleaves its commands.
    LinkOperation hold(m_link);
    if (!hold.held()) {
        row.result = QStringLiteral("failed: ") + hold.error();
        return row;
    }
    step(QStringLiteral("version"));
    const LinkReply version = m_link.send(readVersionCommand());
    if (!version.ok()) {
        row.result =
            gone(reader, version) ? untouched : QStringLiteral("failed: no version: ") + version.problem;
        return row;
    }
    row.version = versionText(version.answer);

    WriteObserver observer;
    observer.before = step;
    const WriteOutcome w = writeSettings(m_link, m_wanted, WriteOptions{}, observer);
    const bool lost = !w.reply.ok() && w.reply.failure != LinkFailure::Refused &&
                      w.reply.failure != LinkFailure::Damaged && gone(reader, w.reply);
    if (w.noCustomByte) {
        row.result = QStringLiteral("failed: custom_byte_enabled is true but neither the file nor the reader "
                                    "has a custom_byte; nothing was written");
        return row;
    }
    switch (w.stoppedIn) {
    case WriteStage::Prepare:
        row.result =
            lost ? untouched
                 : QStringLiteral("failed: could not read the output settings that stay as they are: ") +
                       w.why;
        return row;
    case WriteStage::Write:
        row.result =
            lost ? QStringLiteral("unplugged during write, settings partly written: %1; not written: %2")
                       .arg(listText(w.writtenSteps()), listText(w.unwrittenSteps()))
                 : QStringLiteral("failed: ") + writeStoppedText(w.steps, w.written, w.why);
        return row;
    case WriteStage::Check:
        row.result =
            lost ? QStringLiteral("unplugged before the check, settings written: %1").arg(listText(w.steps))
                 : QStringLiteral("failed: could not read the settings back to check them: ") + w.why;
        return row;
    case WriteStage::Done:
        break;
    }
    row.differences = w.differences;
    if (!row.differences.isEmpty()) {
        row.result = QStringLiteral("different");
        return row;
    }

    // One beep says "done" to the person at the bench: the buzzer is turned on
    // (the file's big or small buzzer went out with the output settings).
    step(QStringLiteral("beep"));
    const LinkReply beep = m_link.send(buzzerCommand(true));
    row.success = true;
    row.result = beep.ok() ? QStringLiteral("ok") : QStringLiteral("ok, but no beep: ") + beep.problem;
    return row;
}

QList<StationRow> Station::poll(const std::function<bool()>& stop, int limit) {
    QList<StationRow> rows;
    if (stoppedByLogError())
        return rows;
    const std::optional<QList<ReaderEntry>> readers = m_usb.readers();
    if (!readers)
        return rows;
    // A reader that has gone may be done again when it comes back.
    QSet<QString> present;
    for (const ReaderEntry& r : *readers)
        present.insert(r.path + QLatin1Char('\n') + r.serial);
    m_handled.intersect(present);

    for (const ReaderEntry& r : *readers) {
        const QString id = r.path + QLatin1Char('\n') + r.serial;
        if (m_handled.contains(id))
            continue;
        if ((stop && stop()) || (limit >= 0 && rows.size() >= limit))
            break;
        StationRow row = setUp(r);
        row.differences += m_notes;
        m_handled.insert(id);
        ++m_done;
        if (!row.success)
            ++m_failed;
        rows << row;
        QString error;
        if (m_log && !m_log->append(row, error)) {
            m_logError = error;
            if (m_rowObserver)
                m_rowObserver(row);
            break;
        }
        if (m_rowObserver)
            m_rowObserver(row);
    }
    return rows;
}

QString Station::progressLine() const {
    return QStringLiteral("%1 %2 done: %3 set up, %4 failed.")
        .arg(m_done)
        .arg(m_done == 1 ? QStringLiteral("reader") : QStringLiteral("readers"))
        .arg(m_done - m_failed)
        .arg(m_failed);
}

void Station::finish() {
    m_usb.selectReader(QString());
}

} // namespace rfid
