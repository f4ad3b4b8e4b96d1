#include "atomicfile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#ifndef _WIN32
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#else
#include <QSaveFile>
#endif

namespace rfid {

namespace {

QString cannotWrite(const QString& path, const QString& why) {
    return path + QStringLiteral(": cannot be written (") + why + QLatin1Char(')');
}

#ifndef _WIN32
QString systemError(int error) {
    return QString::fromLocal8Bit(std::strerror(error));
}
#endif

} // namespace

AtomicFile::AtomicFile(QString path) : m_path(std::move(path)) {}

AtomicFile::~AtomicFile() {
#ifndef _WIN32
    if (m_fd >= 0) {
        ::close(m_fd);
        ::unlink(QFile::encodeName(m_temp).constData());
    }
#endif
}

bool AtomicFile::open(QString& error) {
    if (m_path.isEmpty()) {
        error = QStringLiteral("no file name given");
        return false;
    }
    const QFileInfo info(m_path);
    if (info.isDir()) {
        error = cannotWrite(m_path, QStringLiteral("it is a folder"));
        return false;
    }
#ifndef _WIN32
    if (m_fd >= 0)
        return true;
    QByteArray name = QFile::encodeName(info.dir().filePath(QLatin1Char('.') + info.fileName())) + ".XXXXXX";
    // mkstemp creates the file with O_CREAT | O_EXCL: never one planted there.
    const int fd = ::mkstemp(name.data());
    if (fd < 0) {
        error = cannotWrite(m_path, systemError(errno));
        return false;
    }
    ::fcntl(fd, F_SETFD, FD_CLOEXEC);
    const mode_t mask = ::umask(0);
    ::umask(mask);
    ::fchmod(fd, 0666 & ~mask);
    m_fd = fd;
    m_temp = QFile::decodeName(name);
    return true;
#else
    return true;
#endif
}

bool AtomicFile::commit(const QByteArray& data, QString& error) {
    if (!open(error))
        return false;
#ifndef _WIN32
    const QByteArray temp = QFile::encodeName(m_temp);
    auto fail = [&](int errorNumber) {
        error = cannotWrite(m_path, systemError(errorNumber));
        ::close(m_fd);
        m_fd = -1;
        ::unlink(temp.constData());
        return false;
    };
    qsizetype done = 0;
    while (done < data.size()) {
        const ssize_t n = ::write(m_fd, data.constData() + done, std::size_t(data.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return fail(n < 0 ? errno : ENOSPC);
        done += n;
    }
    if (::fsync(m_fd) != 0)
        return fail(errno);
    if (::close(m_fd) != 0) {
        m_fd = -1;
        const int e = errno;
        ::unlink(temp.constData());
        error = cannotWrite(m_path, systemError(e));
        return false;
    }
    m_fd = -1;
    if (::rename(temp.constData(), QFile::encodeName(m_path).constData()) != 0) {
        const int e = errno;
        ::unlink(temp.constData());
        error = cannotWrite(m_path, systemError(e));
        return false;
    }
    // The rename itself reaches the disk with the folder.
    const int dir = ::open(QFile::encodeName(QFileInfo(m_path).path()).constData(), O_RDONLY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
    return true;
#else
    QSaveFile file(m_path);
    if (!file.open(QIODevice::WriteOnly) || file.write(data) != data.size() || !file.commit()) {
        error = cannotWrite(m_path, file.errorString());
        return false;
    }
    return true;
#endif
}

bool writeFileAtomically(const QString& path, const QByteArray& data, QString& error) {
    AtomicFile file(path);
    return file.commit(data, error);
}

} // namespace rfid
