#include "simlibrary.h"

#include "usblink.h"

#include <QDir>
#include <QFileInfo>

namespace rfid {

QString simulatedReaderLibrary(const QString& programDir) {
    const QString name = UsbLibrary::defaultFileName();
    const QString installed = QDir(programDir).filePath(QStringLiteral(RFID_INSTALLED_SIM_DIR "/") + name);
    if (QFileInfo::exists(installed))
        return QDir::toNativeSeparators(QDir::cleanPath(installed));
    // Only a program in the build tree has this file beside it (it is never installed).
    QFile buildTree(QDir(programDir).filePath(QStringLiteral("rfidctl-sim-dir")));
    if (buildTree.open(QIODevice::ReadOnly)) {
        const QString built = QDir(QString::fromUtf8(buildTree.readAll()).trimmed()).filePath(name);
        if (QFileInfo::exists(built))
            return QDir::toNativeSeparators(built);
    }
    return {};
}

} // namespace rfid
