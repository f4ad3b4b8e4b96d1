#include "rfidctl_harness.h"

#include <QDir>
#include <QFile>

RfidctlHarness::RfidctlHarness() : env(QProcessEnvironment::systemEnvironment()) {
    env.insert("RFIDSIM_STATE", dir.filePath("reader.state"));
    env.insert("RFIDSIM_LOG", framesLog());
    env.insert("STATE_DIRECTORY", dir.filePath("state"));
    for (const char* v : {"DISPLAY", "RFIDSIM_IGNORE", "RFIDSIM_READERS", "RFIDSIM_UNPLUGGED",
                          "RFIDSIM_NO_ACCESS", "RFIDSIM_FAMILY", "RFIDUSB_DEVICE"})
        env.remove(v);
}

QProcessEnvironment RfidctlHarness::environment(const QStringList& extra) const {
    QProcessEnvironment e = env;
    for (const QString& kv : extra)
        e.insert(kv.section('=', 0, 0), kv.section('=', 1));
    return e;
}

QProcess* RfidctlHarness::start(const QStringList& args, const QStringList& extra) const {
    auto* p = new QProcess;
    p->setProcessEnvironment(environment(extra));
    p->setWorkingDirectory(dir.path());
    p->start(QStringLiteral(RFIDCTL_PATH), args);
    return p;
}

RfidctlRun RfidctlHarness::finish(QProcess& p, int waitMs) {
    RfidctlRun r;
    r.finished = p.waitForFinished(waitMs);
    EXPECT_TRUE(r.finished) << p.arguments().join(' ').toStdString();
    if (!r.finished) {
        p.kill();
        p.waitForFinished();
    }
    r.code = p.exitCode();
    r.out = QString::fromUtf8(p.readAllStandardOutput());
    r.err = QString::fromUtf8(p.readAllStandardError());
    return r;
}

RfidctlRun RfidctlHarness::run(const QStringList& args, const QStringList& extra, const QByteArray& input,
                               const QString& stdoutFile, int waitMs) const {
    QProcess p;
    p.setProcessEnvironment(environment(extra));
    p.setWorkingDirectory(dir.path());
    if (!stdoutFile.isEmpty())
        p.setStandardOutputFile(stdoutFile, QIODevice::Append);
    p.start(QStringLiteral(RFIDCTL_PATH), args);
    p.write(input);
    p.closeWriteChannel();
    return finish(p, waitMs);
}

QString RfidctlHarness::file(const QString& name, const QByteArray& text) const {
    QFile f(QDir::isAbsolutePath(name) ? name : dir.filePath(name));
    EXPECT_TRUE(f.open(QIODevice::WriteOnly)) << f.fileName().toStdString();
    f.write(text);
    return f.fileName();
}

QByteArray RfidctlHarness::read(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QStringList RfidctlHarness::lines(const QString& path) {
    return QString::fromUtf8(read(path)).split('\n', Qt::SkipEmptyParts);
}

QStringList RfidctlHarness::framesTaken() const {
    QStringList frames;
    for (const QString& line : lines(framesLog())) {
        if (line.startsWith('>'))
            frames << line.trimmed(); // CRLF on Windows
    }
    return frames;
}

void RfidctlHarness::clearFrames() const {
    QFile::remove(framesLog());
}
