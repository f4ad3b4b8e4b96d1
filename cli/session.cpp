#include "session.h"

#include "hex.h"

#include <QDir>
#include <QFileInfo>

namespace rfid {

ReaderSession::ReaderSession(const QString& libraryFile)
    : m_libraryFile(libraryFile), m_library(libraryFile) {}

Answer ReaderSession::send(const QString& command) {
    m_problem.clear();
    const FrameResult frame = buildFrame(QStringLiteral("00"), command);
    if (frame.error != FrameError::None) {
        m_problem = frameErrorText(frame.error);
        return {};
    }
    if (!m_library.writeFn() || !m_library.readFn()) {
        m_problem = QStringLiteral("the USB library %1 could not be loaded").arg(m_libraryFile);
        return {};
    }
    const ExchangeResult result = exchange(m_library, frame.text, false);
    if (result.response.isEmpty()) {
        m_problem = result.log.contains(writeFailureText())
                        ? QStringLiteral("no reader took the command (is one plugged in and may it be used?)")
                        : QStringLiteral("the reader did not answer");
        // A library that can say why says it more precisely.
        if (const auto why = m_library.lastError()) {
            switch (why->kind) {
            case LinkError::NoReader:
                m_problem = QStringLiteral("no reader is attached (%1; see rfidctl doctor)").arg(why->text);
                break;
            case LinkError::Permission:
                m_problem = QStringLiteral("this user may not open the reader (%1; see rfidctl doctor)")
                                .arg(why->text);
                break;
            case LinkError::Busy:
                m_problem = QStringLiteral("another program holds the reader (%1)").arg(why->text);
                break;
            case LinkError::Io:
                m_problem = QStringLiteral("talking to the reader failed (%1)").arg(why->text);
                break;
            case LinkError::Timeout:
            case LinkError::None:
                break;
            }
        }
    }
    return parseAnswer(result.response);
}

QString simulatedReaderLibrary(const QString& programDir) {
    const QString name = UsbLibrary::defaultFileName();
    const QString installed = QDir(programDir).filePath(QStringLiteral(RFID_INSTALLED_SIM_DIR "/") + name);
    if (QFileInfo::exists(installed))
        return QDir::cleanPath(installed);
    // Only a program in the build tree has this file beside it (it is never installed).
    QFile buildTree(QDir(programDir).filePath(QStringLiteral("rfidctl-sim-dir")));
    if (buildTree.open(QIODevice::ReadOnly)) {
        const QString built = QDir(QString::fromUtf8(buildTree.readAll()).trimmed()).filePath(name);
        if (QFileInfo::exists(built))
            return built;
    }
    return {};
}

} // namespace rfid
