// rfidctl as a user runs it: a separate process against the simulated reader,
// with the reader's settings kept in a file between runs (RFIDSIM_STATE), every
// frame it took logged (RFIDSIM_LOG) and this computer's write record kept
// (STATE_DIRECTORY), all in a folder of the test's own.
#pragma once

#include <QByteArray>
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <gtest/gtest.h>

// What one run of rfidctl gave.
struct RfidctlRun {
    int code = -1;
    QString out;
    QString err;
    bool finished = false; // false: it was stopped when its time was up
};

class RfidctlHarness : public ::testing::Test {
protected:
    RfidctlHarness();

    QTemporaryDir dir;
    // The environment of every run: the caller's, with the files above in `dir`
    // and without a display or any other setting of the simulated reader. A
    // fixture may add to it or take from it.
    QProcessEnvironment env;

    // `env` with "NAME=value" pairs for one run.
    QProcessEnvironment environment(const QStringList& extra) const;
    // Starts rfidctl in `dir`, for runs the test stops or runs side by side.
    // The caller owns the process.
    QProcess* start(const QStringList& args, const QStringList& extra = {}) const;
    // Waits for a started run's end, killing it after `waitMs`.
    static RfidctlRun finish(QProcess& p, int waitMs = 30000);
    // Runs rfidctl to its end: `input` on its standard input, its standard output
    // appended to `stdoutFile` when one is given (as ">>" does).
    RfidctlRun run(const QStringList& args, const QStringList& extra = {}, const QByteArray& input = {},
                   const QString& stdoutFile = {}, int waitMs = 30000) const;

    // Writes `text` to `name` in `dir` (or to `name` where it is absolute).
    QString file(const QString& name, const QByteArray& text) const;
    static QByteArray read(const QString& path);
    // The file's lines, without empty ones.
    static QStringList lines(const QString& path);
    QString framesLog() const { return dir.filePath("frames.log"); }
    // The frames the simulated reader took since the log was last cleared, one
    // "> AA ..." line each.
    QStringList framesTaken() const;
    void clearFrames() const;
};
