#include "switchjournal.h"

#include "atomicfile.h"
#include "devicetext.h"
#include "hex.h"
#include "writeflow.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <algorithm>

#ifdef _WIN32
#include <windows.h>
#else
#include <cerrno>
#include <csignal>
#include <unistd.h>
#endif

namespace rfid {

namespace {

// Whether the program that noted a switch still runs: then it sets the reader
// back itself. Another user's program counts as running.
bool stillRuns(qint64 pid) {
    if (pid <= 0)
        return false;
#ifdef _WIN32
    if (pid == qint64(::GetCurrentProcessId()))
        return true;
    const HANDLE process = ::OpenProcess(SYNCHRONIZE, FALSE, DWORD(pid));
    if (!process)
        return ::GetLastError() == ERROR_ACCESS_DENIED;
    const bool runs = ::WaitForSingleObject(process, 0) == WAIT_TIMEOUT;
    ::CloseHandle(process);
    return runs;
#else
    return pid == ::getpid() || ::kill(pid_t(pid), 0) == 0 || errno == EPERM;
#endif
}

} // namespace

namespace {

const QString kPrefix = QStringLiteral("switched-");

QString hexOf(const std::array<std::uint8_t, kOutputBytes>& bytes) {
    return toHex(bytes.data(), int(bytes.size()));
}

bool bytesOf(const QJsonValue& value, std::array<std::uint8_t, kOutputBytes>& bytes) {
    const QString text = value.toString();
    if (text.size() != 2 * kOutputBytes || !std::all_of(text.begin(), text.end(), isHexDigit))
        return false;
    const std::vector<std::uint8_t> b = hexToBytes(text);
    std::copy(b.begin(), b.end(), bytes.begin());
    return true;
}

QString formatText(const std::array<std::uint8_t, kOutputBytes>& bytes) {
    const OutputFormat* f = outputFormatByCode(bytes.front());
    return f ? QString::fromUtf8(f->readName).simplified()
             : QStringLiteral("format code %1").arg(toHex(bytes.data(), 1));
}

QString readerText(const SwitchNote& note) {
    return QStringLiteral("%1 switched reader %2 at %3")
        .arg(note.by, note.device, note.when.toString(Qt::ISODate));
}

} // namespace

QString switchNoteFile(const QString& folder, const ReaderIdentity& identity) {
    return QDir(folder).filePath(kPrefix + identity.fileName().mid(int(qstrlen("reader-"))));
}

QByteArray switchNoteText(const ReaderIdentity& identity, const SwitchNote& note) {
    const QJsonObject o{{"version", 1},
                        {"port", identity.port},
                        {"serial", identity.serial},
                        {"device", note.device},
                        {"by", note.by},
                        {"when", note.when.toUTC().toString(Qt::ISODate)},
                        {"held", hexOf(note.held)},
                        {"written", hexOf(note.written)},
                        {"pid", note.pid}};
    return QJsonDocument(o).toJson(QJsonDocument::Compact) + '\n';
}

bool parseSwitchNote(const QByteArray& data, const ReaderIdentity& identity, SwitchNote& note,
                     QString& problem) {
    const QJsonDocument doc = QJsonDocument::fromJson(data.left(int(kMaxRecordBytes)));
    const QJsonObject o = doc.object();
    SwitchNote n;
    n.by = o.value("by").toString();
    n.device = o.value("device").toString();
    n.when = QDateTime::fromString(o.value("when").toString(), Qt::ISODate);
    n.pid = o.value("pid").toInteger();
    if (data.size() > kMaxRecordBytes || o.value("version") != QJsonValue(1) || n.by.isEmpty() ||
        !n.when.isValid() || !bytesOf(o.value("held"), n.held) || !bytesOf(o.value("written"), n.written)) {
        problem = QStringLiteral("not a note of a switched reader");
        return false;
    }
    if (o.value("port").toString() != identity.port || o.value("serial").toString() != identity.serial) {
        problem = QStringLiteral("the note of another reader");
        return false;
    }
    n.by = printableDeviceText(n.by.left(80));
    n.device = printableDeviceText(n.device.left(200));
    note = n;
    return true;
}

bool noteSwitch(ReaderLink& link, const SwitchNote& note, QString& error) {
    const ReaderRecord r = openReaderRecord(link.library());
    if (!r.identity) {
        error = r.folder.isEmpty() ? r.why : QStringLiteral("the USB library cannot name the reader");
        return false;
    }
    if (!QDir().mkpath(r.folder)) {
        error = r.folder + QStringLiteral(": the folder cannot be created");
        return false;
    }
    return writeFileAtomically(switchNoteFile(r.folder, *r.identity), switchNoteText(*r.identity, note),
                               error);
}

SetBack setBackSwitch(ReaderLink& link, const SwitchNote& note) {
    SetBack s;
    LinkOperation hold(link);
    if (!hold.held()) {
        s.text = hold.error();
        return s;
    }
    const ReadBack now = readBack(link);
    const std::optional<std::array<std::uint8_t, kOutputBytes>> bytes =
        now.settings ? outputSettingsBytes(*now.settings) : std::nullopt;
    if (!bytes) {
        s.text = QStringLiteral("the reader could not be read to set it back: %1").arg(now.problem);
        return s;
    }
    if (*bytes != note.written) {
        s.result = SetBackResult::Left;
        s.text = QStringLiteral("%1 to %2; it types %3 now, which another program set meanwhile, so its "
                                "output settings were left as they are")
                     .arg(readerText(note), formatText(note.written), formatText(*bytes));
    } else {
        const LinkReply reply = link.send(outputSettingsCommand(note.held));
        if (!reply.ok()) {
            s.text = QStringLiteral("%1 to %2 and it could not be set back: %3")
                         .arg(readerText(note), formatText(note.written), reply.problem);
            return s;
        }
        s.result = SetBackResult::Restored;
        s.text = QStringLiteral("%1 to %2; it was set back to %3")
                     .arg(readerText(note), formatText(note.written), formatText(note.held));
    }
    const ReaderRecord r = openReaderRecord(link.library());
    if (r.identity)
        QFile::remove(switchNoteFile(r.folder, *r.identity));
    return s;
}

QString settleLeftSwitch(ReaderLink& link) {
    const QString folder = stateFolder();
    if (folder.isEmpty() || QDir(folder).entryList({kPrefix + QLatin1Char('*')}, QDir::Files).isEmpty())
        return {};
    const ReaderRecord r = openReaderRecord(link.library());
    if (!r.identity)
        return {};
    const QString path = switchNoteFile(r.folder, *r.identity);
    QFile file(path);
    if (!QFileInfo(path).isFile() || !file.open(QIODevice::ReadOnly))
        return {};
    SwitchNote note;
    QString problem;
    if (!parseSwitchNote(file.read(kMaxRecordBytes + 1), *r.identity, note, problem)) {
        file.remove();
        return QStringLiteral("%1: %2; removed").arg(path, problem);
    }
    file.close();
    if (stillRuns(note.pid))
        return {};
    return setBackSwitch(link, note).text;
}

} // namespace rfid
