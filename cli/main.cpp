// rfidctl: the reader's settings from a shell. No window and no display: a
// QCoreApplication only, so it runs over ssh and in CI.
#include "commands.h"

#include <QCoreApplication>
#include <cstdio>
#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("rfidctl"));
#ifdef _WIN32
    // The same bytes as on Linux: lines end in "\n", not "\r\n", so that what
    // rfidctl save writes to a pipe is the file it would write, and scripts and
    // the JSON readers see one format on both systems.
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
#endif
    QTextStream out(stdout);
    QTextStream err(stderr);
    const int code = rfid::cli::run(QCoreApplication::arguments().mid(1),
                                    QCoreApplication::applicationDirPath(), out, err);
    out.flush();
    err.flush();
    return code;
}
