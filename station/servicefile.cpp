#include "servicefile.h"

#include <QFile>
#include <QFileInfo>

namespace rfid {

QString serviceSettingsFile() {
    return qEnvironmentVariable("RFID_SERVICE_SETTINGS", QStringLiteral("/etc/rfid-demo/reader.json"));
}

QString serviceConflict(const QString& stationFile, const QString& serviceFile) {
    const QFileInfo service(serviceFile);
    if (!service.exists() || (QFileInfo(stationFile).exists() &&
                              service.canonicalFilePath() == QFileInfo(stationFile).canonicalFilePath()))
        return {};
    // Settings files are small; a larger one differs by definition.
    constexpr qint64 kMaxBytes = 1 << 20;
    QFile a(stationFile);
    QFile b(serviceFile);
    const bool same = service.isFile() && a.open(QIODevice::ReadOnly) && b.open(QIODevice::ReadOnly) &&
                      a.read(kMaxBytes + 1) == b.read(kMaxBytes + 1);
    if (same)
        return {};
    return QStringLiteral("the plug-in service sets up every reader plugged in here from %1, which differs "
                          "from %2: it would write its own settings over each reader the station sets up. "
                          "Stop it (or make the files the same), or give --anyway")
        .arg(serviceFile, stationFile);
}

} // namespace rfid
