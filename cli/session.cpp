#include "session.h"

#include "usblink.h"

#include <QDir>
#include <QFileInfo>

namespace rfid {

QString simulatedReaderLibrary(const QString& programDir) {
    const QString name = UsbLibrary::defaultFileName();
    const QString installed = QDir(programDir).filePath(QStringLiteral(RFID_INSTALLED_SIM_DIR "/") + name);
    if (QFileInfo::exists(installed))
        return QDir::cleanPath(installed);
    const QString built = QStringLiteral(RFID_BUILD_SIM_DIR "/") + name;
    if (QFileInfo::exists(built))
        return built;
    return {};
}

} // namespace rfid
