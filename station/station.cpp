#include "station.h"

#include "hex.h"

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
    : m_usb(usb), m_wanted(std::move(wanted)), m_log(log) {}

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

Answer Station::send(const QString& command) {
    m_problem.clear();
    const FrameResult frame = buildFrame(QStringLiteral("00"), command);
    const ExchangeResult result = exchange(m_usb, frame.text, false);
    if (result.response.isEmpty()) {
        const std::optional<LinkErrorInfo> e = m_usb.lastError();
        m_problem = e && !e->text.isEmpty() ? e->text
                    : result.log.contains(writeFailureText())
                        ? QStringLiteral("the reader did not take the command")
                        : QStringLiteral("the reader did not answer");
    }
    return parseAnswer(result.response);
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
    auto why = [&](const Answer& a) {
        const QString problem = answerProblem(a);
        return problem.isEmpty() ? m_problem : problem;
    };
    const QString untouched = QStringLiteral("unplugged before any setting was written");

    if (!m_usb.selectReader(reader.path)) {
        row.result = untouched;
        return row;
    }
    step(QStringLiteral("version"));
    const Answer version = send(readVersionCommand());
    if (version.status != AnswerStatus::Success) {
        row.result = gone(reader) ? untouched : QStringLiteral("failed: no version: ") + why(version);
        return row;
    }
    row.version = versionText(version.payload);

    // The output settings go out in one command: what the file does not hold
    // stays as the reader has it.
    ReaderSettings wanted = m_wanted;
    if (wanted.hasAnyOutputField() && !outputSettingsBytes(wanted)) {
        step(QStringLiteral("read back"));
        const Answer a = send(readSettingsCommand());
        std::optional<ReaderSettings> current;
        if (a.status == AnswerStatus::Success)
            current = decodeReadBack(a.payload);
        if (!current) {
            row.result =
                gone(reader)
                    ? untouched
                    : QStringLiteral("failed: could not read the output settings that stay as "
                                     "they are: ") +
                          (a.status == AnswerStatus::Success ? QStringLiteral("the answer was too short")
                                                             : why(a));
            return row;
        }
        current->language.reset();
        current->merge(wanted);
        if (!outputSettingsBytes(*current)) {
            row.result =
                QStringLiteral("failed: custom_byte_enabled is true but neither the file nor the reader "
                               "has a custom_byte; nothing was written");
            return row;
        }
        wanted = *current;
    }

    const QList<WriteStep> steps = writeSteps(wanted);
    QStringList names;
    for (const WriteStep& s : steps)
        names << s.what;
    for (int i = 0; i < steps.size(); ++i) {
        step(names.at(i));
        const Answer a = send(steps.at(i).command);
        if (a.status == AnswerStatus::Success)
            continue;
        if (a.status == AnswerStatus::NoAnswer && gone(reader)) {
            row.result =
                QStringLiteral("unplugged during write, settings partly written: %1; not written: %2")
                    .arg(listText(names.mid(0, i)), listText(names.mid(i)));
        } else {
            row.result = QStringLiteral("failed: ") + writeStoppedText(names, i, why(a));
        }
        return row;
    }

    step(QStringLiteral("check"));
    const Answer back = send(readSettingsCommand());
    std::optional<ReaderSettings> reported;
    if (back.status == AnswerStatus::Success)
        reported = decodeReadBack(back.payload);
    if (!reported) {
        if (back.status == AnswerStatus::NoAnswer && gone(reader))
            row.result =
                QStringLiteral("unplugged before the check, settings written: %1").arg(listText(names));
        else
            row.result = QStringLiteral("failed: could not read the settings back to check them: ") +
                         (back.status == AnswerStatus::Success ? QStringLiteral("the answer was too short")
                                                               : why(back));
        return row;
    }
    row.differences = compareSettings(*reported, wanted, QStringLiteral("the file"));
    if (!row.differences.isEmpty()) {
        row.result = QStringLiteral("different");
        return row;
    }

    // One beep says "done" to the person at the bench: the buzzer is turned on
    // (the file's big or small buzzer went out with the output settings).
    step(QStringLiteral("beep"));
    const Answer beep = send(buzzerCommand(true));
    row.success = true;
    row.result = beep.status == AnswerStatus::Success ? QStringLiteral("ok")
                                                      : QStringLiteral("ok, but no beep: ") + why(beep);
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
