// A file replaced in one step, so that a reader of it (a monitoring agent, the
// next rfidctl run) sees the old text or the new one, never a part: the new
// text goes to a temporary file created exclusively in the same folder, which
// then takes the file's name.
#pragma once

#include <QByteArray>
#include <QString>

namespace rfid {

class AtomicFile {
public:
    explicit AtomicFile(QString path);
    ~AtomicFile(); // removes the temporary file when it was not committed
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;

    // Creates the temporary file (".<name>.XXXXXX" beside the file), so that a
    // path that cannot be written is known before any work is done. False with
    // `error` ("<path>: cannot be written (<why>)").
    bool open(QString& error);
    // Writes `data` to the temporary file, flushes it to disk and renames it to
    // the file's name. The file gets the permissions a new file would (0666
    // less the umask).
    bool commit(const QByteArray& data, QString& error);

    QString path() const { return m_path; }
    QString temporaryPath() const { return m_temp; }

private:
    QString m_path;
    QString m_temp;
    int m_fd = -1;
};

// Opens and commits in one call.
bool writeFileAtomically(const QString& path, const QByteArray& data, QString& error);

} // namespace rfid
