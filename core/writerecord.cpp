#include "writerecord.h"

#include "applyplan.h"
#include "atomicfile.h"
#include "hex.h"

#include <algorithm>

#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <QStandardPaths>
#include <QUrl>

#ifndef _WIN32
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace rfid {

namespace {

const QString kFolderName = QStringLiteral("rfid-demo");

// The four settings the reader cannot report, with the record's keys.
struct UnreportedKey {
    SettingKey key;
    std::optional<std::uint8_t> ReaderSettings::*code; // null for the Bluetooth name
};
const UnreportedKey kUnreported[] = {
    {SettingKey::ReaderMode, &ReaderSettings::readerMode},
    {SettingKey::BluetoothMode, &ReaderSettings::bluetoothMode},
    {SettingKey::BluetoothName, nullptr},
    {SettingKey::SleepTime, &ReaderSettings::sleepTime},
};

QString encodedPart(const QString& text) {
    return QString::fromLatin1(QUrl::toPercentEncoding(text, {}, "~_"));
}

// Language, then the 16 output bytes: the read-back's own layout.
std::optional<QString> reportedHex(const ReaderSettings& s) {
    const auto bytes = outputSettingsBytes(s);
    if (!s.language || !bytes)
        return std::nullopt;
    std::vector<std::uint8_t> all{*s.language};
    all.insert(all.end(), bytes->begin(), bytes->end());
    return toHex(all.data(), int(all.size()));
}

bool isHexText(const QString& text, int digits) {
    if (text.size() != digits)
        return false;
    for (QChar c : text) {
        if (!isHexDigit(c))
            return false;
    }
    return true;
}

} // namespace

QString stateFolder(QString* why) {
    const QString systemd = qEnvironmentVariable("STATE_DIRECTORY");
    if (!systemd.isEmpty())
        return systemd.section(QLatin1Char(':'), 0, 0);
#ifdef _WIN32
    // The user's local application data (%LOCALAPPDATA%), where the readers'
    // lock files are too; Windows sets no HOME.
    const QString local = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    if (local.isEmpty()) {
        if (why)
            *why = QStringLiteral("no state folder: Windows names no local application data folder");
        return {};
    }
    return QDir(local).filePath(kFolderName);
#else
    if (::geteuid() == 0)
        return QStringLiteral("/var/lib/") + kFolderName;
#endif
    const QString xdg = qEnvironmentVariable("XDG_STATE_HOME");
    if (!xdg.isEmpty() && QDir::isAbsolutePath(xdg))
        return QDir(xdg).filePath(kFolderName);
    const QString home = qEnvironmentVariable("HOME");
    if (home.isEmpty() || !QDir::isAbsolutePath(home)) {
        if (why)
            *why = QStringLiteral("no state folder: neither XDG_STATE_HOME nor HOME is set");
        return {};
    }
    return QDir(home).filePath(QStringLiteral(".local/state/") + kFolderName);
}

QString ReaderIdentity::fileName() const {
    const QString name =
        QStringLiteral("reader-") + encodedPart(port) + QLatin1Char('_') + encodedPart(serial) + ".json";
    if (name.size() <= 200)
        return name;
    // Too long for a file name: the port and serial are in the file itself.
    const QByteArray hash =
        QCryptographicHash::hash((port + QLatin1Char('\n') + serial).toUtf8(), QCryptographicHash::Sha256);
    return QStringLiteral("reader-") + QString::fromLatin1(hash.toHex().left(40)) + ".json";
}

QString ReaderIdentity::text() const {
    return QStringLiteral("port %1, serial %2").arg(port, serial.isEmpty() ? QStringLiteral("none") : serial);
}

QString usbPortOf(const QString& devicePath, const QString& sysfsRoot) {
    static const QString kPrefix = QStringLiteral("/dev/hidraw");
    if (!devicePath.startsWith(kPrefix))
        return {};
    const QString name = devicePath.mid(5);
    if (name.contains(QLatin1Char('/')) || name.size() <= 6)
        return {};
    // .../usb1/1-2/1-2.3/1-2.3:1.0/0003:04D8:003F.0001: the node's HID device,
    // its USB interface, and the USB device above it, named by its port path.
    const QString hid =
        QFileInfo(sysfsRoot + QStringLiteral("/class/hidraw/") + name + "/device").canonicalFilePath();
    if (hid.isEmpty())
        return {};
    const QString iface = QFileInfo(hid).path();
    if (!QFileInfo::exists(iface + QStringLiteral("/bInterfaceNumber")))
        return {};
    return QFileInfo(QFileInfo(iface).path()).fileName();
}

ReaderIdentity readerIdentity(const QString& devicePath, const QString& serial, QString sysfsRoot) {
    if (sysfsRoot.isEmpty())
        sysfsRoot = qEnvironmentVariable("RFIDUSB_SYSFS_ROOT", QStringLiteral("/sys"));
    ReaderIdentity id;
    id.port = usbPortOf(devicePath, sysfsRoot);
    if (id.port.isEmpty())
        id.port = devicePath;
    id.serial = serial;
    return id;
}

QByteArray writeRecordText(const ReaderIdentity& identity, const QString& device,
                           const LastWrite& lastWrite) {
    QJsonObject unreported;
    for (const UnreportedKey& u : kUnreported) {
        if (u.code && (lastWrite.unreported.*u.code))
            unreported.insert(keyName(u.key), toHex(&*(lastWrite.unreported.*u.code), 1));
        else if (!u.code && lastWrite.unreported.bluetoothName)
            unreported.insert(keyName(u.key), *lastWrite.unreported.bluetoothName);
    }
    QJsonObject record{
        {"version", 1},
        {"port", identity.port},
        {"serial", identity.serial},
        {"device", device},
        {"written", QDateTime::currentDateTimeUtc().toString(Qt::ISODate)},
        {"unreported", unreported},
    };
    if (const auto hex = reportedHex(lastWrite.reported))
        record.insert("reported", *hex);
    return QJsonDocument(record).toJson(QJsonDocument::Indented);
}

bool parseWriteRecord(const QByteArray& data, const ReaderIdentity& identity, LastWrite& lastWrite,
                      QString& problem) {
    if (data.size() > kMaxRecordBytes) {
        problem = QStringLiteral("larger than a record can be");
        return false;
    }
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(data, &error);
    if (error.error != QJsonParseError::NoError) {
        problem = QStringLiteral("not valid JSON (%1)").arg(error.errorString());
        return false;
    }
    const QJsonObject o = doc.object();
    if (!doc.isObject() || o.value("version") != QJsonValue(1)) {
        problem = QStringLiteral("not a record of version 1");
        return false;
    }
    if (!o.value("port").isString() || !o.value("serial").isString()) {
        problem = QStringLiteral("\"port\" or \"serial\" is missing");
        return false;
    }
    if (o.value("port").toString() != identity.port || o.value("serial").toString() != identity.serial) {
        problem = QStringLiteral("it is the record of another reader (%1)")
                      .arg(ReaderIdentity{o.value("port").toString(), o.value("serial").toString()}.text());
        return false;
    }
    LastWrite parsed;
    const QString reported = o.value("reported").toString();
    if (!isHexText(reported, 2 * kReadBackBytes)) {
        problem = QStringLiteral("\"reported\" is not %1 hex digits").arg(2 * kReadBackBytes);
        return false;
    }
    parsed.reported = *decodeReadBack(hexToBytes(reported));
    const QJsonValue unreported = o.value("unreported");
    if (!unreported.isObject()) {
        problem = QStringLiteral("\"unreported\" is not an object");
        return false;
    }
    const QJsonObject u = unreported.toObject();
    for (auto it = u.begin(); it != u.end(); ++it) {
        const UnreportedKey* entry = nullptr;
        for (const UnreportedKey& k : kUnreported) {
            if (keyName(k.key) == it.key())
                entry = &k;
        }
        if (!entry) {
            problem = QStringLiteral("\"unreported\" holds the unknown key %1").arg(quotedForError(it.key()));
            return false;
        }
        const QString value = it.value().toString();
        if (entry->code) {
            if (!isHexText(value, 2)) {
                problem = QStringLiteral("\"%1\" is not two hex digits").arg(it.key());
                return false;
            }
            parsed.unreported.*(entry->code) = hexToBytes(value).front();
        } else {
            if (!it.value().isString() || value.isEmpty()) {
                problem = QStringLiteral("\"%1\" is not a name").arg(it.key());
                return false;
            }
            parsed.unreported.bluetoothName = value;
        }
    }
    lastWrite = parsed;
    return true;
}

namespace {

// Reads a record file without blocking (a FIFO put in its place never hangs
// the reader's lock) and only when it is a regular file.
bool readRecordFile(const QString& path, QByteArray& data, QString& problem) {
#ifndef _WIN32
    const int fd =
        ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC);
    struct stat st {};
    if (fd < 0 || ::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        problem =
            fd < 0 && errno != ELOOP
                ? QStringLiteral("cannot be read (%1)").arg(QString::fromLocal8Bit(std::strerror(errno)))
                : QStringLiteral("not a regular file");
        if (fd >= 0)
            ::close(fd);
        return false;
    }
    QFile file;
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        problem = QStringLiteral("cannot be read (%1)").arg(file.errorString());
        return false;
    }
#else
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        problem = QStringLiteral("cannot be read (%1)").arg(file.errorString());
        return false;
    }
#endif
    data = file.read(kMaxRecordBytes + 1);
    if (file.error() != QFileDevice::NoError) {
        problem = QStringLiteral("cannot be read (%1)").arg(file.errorString());
        return false;
    }
    return true;
}

} // namespace

RecordLoad loadWriteRecord(const QString& folder, const ReaderIdentity& identity) {
    RecordLoad r;
    r.path = QDir(folder).filePath(identity.fileName());
    if (!QFileInfo(r.path).exists() && !QFileInfo(r.path).isSymLink())
        return r;
    r.status = RecordStatus::Damaged;
    QByteArray data;
    if (readRecordFile(r.path, data, r.problem) && parseWriteRecord(data, identity, r.lastWrite, r.problem))
        r.status = RecordStatus::Found;
    return r;
}

bool saveWriteRecord(const QString& folder, const ReaderIdentity& identity, const QString& device,
                     const LastWrite& lastWrite, QString& error) {
    if (!QDir().mkpath(folder)) {
        error = folder + QStringLiteral(": the folder cannot be created");
        return false;
    }
    return writeFileAtomically(QDir(folder).filePath(identity.fileName()),
                               writeRecordText(identity, device, lastWrite), error);
}

bool forgetWriteRecord(const QString& folder, const ReaderIdentity& identity, QString& error) {
    QFile file(QDir(folder).filePath(identity.fileName()));
    if ((!file.exists() && !QFileInfo(file.fileName()).isSymLink()) || file.remove())
        return true;
    error = file.fileName() + QStringLiteral(": cannot be removed (") + file.errorString() + QLatin1Char(')');
    return false;
}

std::optional<ReaderEntry> readerInUse(UsbLibrary& usb) {
    const auto readers = usb.readers();
    if (!readers || readers->isEmpty())
        return std::nullopt;
    const QString chosen = usb.selectedReader();
    if (chosen.isEmpty())
        return readers->front();
    for (const ReaderEntry& r : *readers) {
        if (r.path == chosen)
            return r;
    }
    for (const ReaderEntry& r : *readers) {
        if (r.serial == chosen)
            return r;
    }
    return std::nullopt;
}

QStringList readersSharing(const QList<ReaderEntry>& readers, const QString& key) {
    QStringList paths;
    for (const ReaderEntry& r : readers) {
        if (r.path == key)
            return {};
        if (!key.isEmpty() && r.serial == key)
            paths << r.path;
    }
    return paths.size() > 1 ? paths : QStringList();
}

ReaderRecord openReaderRecord(UsbLibrary& usb) {
    ReaderRecord r;
    r.reader = readerInUse(usb);
    r.folder = stateFolder(&r.why);
    if (!r.reader || r.folder.isEmpty())
        return r;
    r.identity = readerIdentity(r.reader->path, r.reader->serial);
    r.load = loadWriteRecord(r.folder, *r.identity);
    return r;
}

bool changesRecordedSettings(std::uint8_t command) {
    static const std::uint8_t kChanging[] = {0x80, 0x82, 0x0F, 0x22, 0x88, 0x0E, 0xCF};
    return std::find(std::begin(kChanging), std::end(kChanging), command) != std::end(kChanging);
}

bool forgetRecordOfReaderInUse(UsbLibrary& usb, QString& error) {
    const QString folder = stateFolder();
    if (folder.isEmpty() ||
        QDir(folder).entryList({QStringLiteral("reader-*.json")}, QDir::Files | QDir::System).isEmpty())
        return true;
    const std::optional<ReaderEntry> reader = readerInUse(usb);
    return !reader || forgetWriteRecord(folder, readerIdentity(reader->path, reader->serial), error);
}

} // namespace rfid
