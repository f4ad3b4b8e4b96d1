// rfidctl's subcommands: a table of names, help texts and handlers, and the
// program's argument handling around it. A new subcommand is one more entry.
#pragma once

#include "session.h"

#include <QString>
#include <QStringList>
#include <QTextStream>
#include <functional>
#include <memory>

namespace rfid::cli {

// Exit status of the program.
enum ExitCode {
    kDone = 0,      // done
    kDifferent = 1, // the reader refused, or the check found a difference
    kBadUsage = 2,  // bad usage or a bad file; nothing was sent
    kNoReader = 3,  // no reader, no answer, or an answer that makes no sense
};

// What a subcommand works with.
class Context {
public:
    Context(QStringList args, QString libraryFile, QTextStream& out, QTextStream& err)
        : args(std::move(args)), libraryFile(std::move(libraryFile)), out(out), err(err) {}

    QStringList args;    // the subcommand's own arguments
    QString libraryFile; // the USB library to load
    QString device;      // --device: the reader's path or serial number; empty: the library's choice
    QTextStream& out;
    QTextStream& err;

    // The session with the reader, opened on first use.
    ReaderSession& session();

    // A plain-words error on standard error ("rfidctl: " + text), then `code`.
    int fail(int code, const QString& text);

private:
    std::unique_ptr<ReaderSession> m_session;
};

struct Subcommand {
    QString name;
    QString usage;   // the arguments after the name, e.g. "FILE [--no-verify]"
    QString summary; // one line in the program's help
    QString help;    // the subcommand's own help, below its usage line
    std::function<int(Context&)> run;
};

const QList<Subcommand>& subcommands();

// The whole program: `arguments` without the program name, `programDir` where
// the program lies (to find the installed simulated reader).
int run(const QStringList& arguments, const QString& programDir, QTextStream& out, QTextStream& err);

} // namespace rfid::cli
