// rfidctl: the reader's settings from a shell. No window and no display: a
// QCoreApplication only, so it runs over ssh and in CI.
#include "commands.h"

#include <QCoreApplication>
#include <cstdio>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("rfidctl"));
    QTextStream out(stdout);
    QTextStream err(stderr);
    const int code = rfid::cli::run(QCoreApplication::arguments().mid(1),
                                    QCoreApplication::applicationDirPath(), out, err);
    out.flush();
    err.flush();
    return code;
}
