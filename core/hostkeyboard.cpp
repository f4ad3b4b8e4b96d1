#include "hostkeyboard.h"

#include <QFile>
#include <QProcess>

#ifdef _WIN32
#include <windows.h>
#endif

namespace rfid {

#ifdef _WIN32

std::optional<wedge::KeyboardLayout> desktopKeyboardLayout() {
    wchar_t klid[KL_NAMELENGTH] = {};
    if (!::GetKeyboardLayoutNameW(klid))
        return std::nullopt;
    return xkbLayoutOfWindowsLayout(QString::fromWCharArray(klid).toStdString());
}

#else

std::optional<wedge::KeyboardLayout> desktopKeyboardLayout() {
    if (qEnvironmentVariableIsSet("DISPLAY")) {
        QProcess p;
        p.start(QStringLiteral("setxkbmap"), {QStringLiteral("-query")});
        if (p.waitForStarted(1000) && p.waitForFinished(2000) && p.exitStatus() == QProcess::NormalExit &&
            p.exitCode() == 0) {
            if (auto l = wedge::parseSetxkbmapQuery(p.readAllStandardOutput().left(4096).toStdString()))
                return l;
        } else if (p.state() != QProcess::NotRunning) {
            p.kill();
            p.waitForFinished(500);
        }
    }
    QFile f(QStringLiteral("/etc/default/keyboard"));
    if (f.open(QIODevice::ReadOnly))
        return wedge::parseDefaultKeyboard(f.read(16384).toStdString());
    return std::nullopt;
}

#endif

} // namespace rfid
