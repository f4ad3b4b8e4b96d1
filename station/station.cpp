#include "station.h"

#include "writeflow.h"

#include <QFileInfo>

namespace rfid {

namespace {
QString listText(const QStringList& items) {
    return items.isEmpty() ? QStringLiteral("none") : items.join(QStringLiteral(", "));
}
} // namespace

// ---------------------------------------------------------------------------

bool StationLog::open(const QString& path, QString& error) {
    auto file = std::make_unique<QFile>(path);
    if (path.isEmpty() || QFileInfo(path).isDir() || !file->open(QIODevice::WriteOnly | QIODevice::Append)) {
        error = QStringLiteral("%1 cannot be written: %2")
                    .arg(path, path.isEmpty()            ? QStringLiteral("no file name")
                               : QFileInfo(path).isDir() ? QStringLiteral("it is a folder")
                                                         : file->errorString());
        return false;
    }
    if (file->size() == 0) {
        const QByteArray head = (header() + QLatin1Char('\n')).toUtf8();
        if (file->write(head) != head.size() || !file->flush()) {
            error = QStringLiteral("%1 cannot be written: %2").arg(path, file->errorString());
            return false;
        }
    }
    m_file = std::move(file);
    return true;
}

bool StationLog::append(const StationRow& row, QString& error) {
    if (!isOpen()) {
        error = QStringLiteral("the results file is not open");
        return false;
    }
    const QByteArray bytes = (line(row) + QLatin1Char('\n')).toUtf8();
    if (m_file->write(bytes) != bytes.size() || !m_file->flush()) {
        error = QStringLiteral("%1 cannot be written: %2").arg(m_file->fileName(), m_file->errorString());
        return false;
    }
    return true;
}

QString StationLog::header() {
    return QStringLiteral("time,device,serial,version,result,differences");
}

QString StationLog::field(const QString& text) {
    QString t = text;
    if (!t.isEmpty() && QStringLiteral("=+-@").contains(t.front()))
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
    const QStringList fields = {t.toString(Qt::ISODate),
                                row.path,
                                row.serial,
                                row.version,
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

bool Station::gone(const ReaderEntry& reader) {
    if (const std::optional<LinkErrorInfo> e = m_usb.lastError(); e && e->kind == LinkError::NoReader)
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
        row.result = gone(reader) ? untouched : QStringLiteral("failed: no version: ") + version.problem;
        return row;
    }
    row.version = versionText(version.answer.payload);

    WriteObserver observer;
    observer.before = step;
    const WriteOutcome w = writeSettings(m_link, m_wanted, WriteOptions{}, observer);
    const bool lost = !w.reply.ok() && w.reply.failure != LinkFailure::Refused &&
                      w.reply.failure != LinkFailure::Damaged && gone(reader);
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
        const StationRow row = setUp(r);
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
