// rfidctl's subcommands: a table of names, help texts and handlers, and the
// program's argument handling around it. Each group of subcommands lives in a
// file of its own and hands its entries to the table; a new subcommand is one
// more entry.
#pragma once

#include "readerlink.h"
#include "usblink.h"

#include <QMap>
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
    kNoReader = 3,  // no reader, no answer, an answer that makes no sense, or the reader in use
};

// A subcommand's arguments sorted out: options without a value, options with
// one, and the plain arguments.
struct Arguments {
    QStringList flags;
    QMap<QString, QString> values;
    QStringList plain;
    bool has(const QString& flag) const { return flags.contains(flag); }
    QString value(const QString& option) const { return values.value(option); }
};

// What a subcommand works with.
class Context {
public:
    Context(QStringList args, QString libraryFile, QTextStream& out, QTextStream& err);
    ~Context();

    QStringList args;    // the subcommand's own arguments
    QString libraryFile; // the USB library to load
    QString device;      // --device: the reader's path or serial number; empty: the library's choice
    QString command;     // the subcommand's name, for help pointers
    QString siteLayout;  // station --host-layout: the keyboard layout of the computers the readers go to
    QTextStream& out;
    QTextStream& err;

    // The USB library and the link to the reader, opened on first use.
    UsbLibrary& library();
    ReaderLink& link();

    // A plain-words error on standard error ("rfidctl: " + text), then `code`.
    int fail(int code, const QString& text);
    // The same for a reply that is not a success: `prefix` + its problem, with
    // the exit status its kind of failure takes.
    int failReply(const LinkReply& reply, const QString& prefix = {});

    // Before a command that changes a reader: "Reader: PATH (SERIAL)" on
    // standard output when more than one reader is attached, so that the
    // output says which one was changed.
    void nameReader();

    // Sorts out the arguments: `flags` are options without a value, `valued`
    // options that take one. False (after an error) for an unknown option, a
    // missing value, or a number of plain arguments outside [minPlain, maxPlain]
    // (maxPlain -1: no limit).
    bool parse(Arguments& a, const QStringList& flags, const QStringList& valued, int minPlain, int maxPlain);

private:
    std::unique_ptr<UsbLibrary> m_library;
    std::unique_ptr<ReaderLink> m_link;
};

// A bad file's or command line's error, pointing to the list of keys when a
// key is unknown.
QString withKeysHint(const QString& error);

// Whether the settings come out right on a computer with the layout `siteLayout`
// (the reader's language mapped through both keymaps): kDone, or kBadUsage after
// an error naming the characters that do not. `file` names the settings. With
// `anyway` a mismatch is a warning and `note` says what each row is to carry;
// a layout that cannot be used is refused all the same.
int checkSiteLayout(Context& c, const ReaderSettings& wanted, const QString& file, bool anyway,
                    QString& note);

// The exit status for a kind of failure.
int exitCodeFor(LinkFailure failure);

struct Subcommand {
    QString name;
    QString usage;   // the arguments after the name, e.g. "FILE [--no-verify]"
    QString summary; // one line in the program's help
    QString help;    // the subcommand's own help, below its usage line
    std::function<int(Context&)> run;
};

// The groups, in the order the help lists them.
QList<Subcommand> settingsCommands(); // read, save
QList<Subcommand> applyCommands();    // apply, set
QList<Subcommand> fleetCommands();    // audit, attached
QList<Subcommand> stationCommands();  // station
QList<Subcommand> readerCommands();   // version, beep, factory-reset, clear-data, list, doctor
QList<Subcommand> wedgeCommands();    // formats, preview, suggest-language

const QList<Subcommand>& subcommands();

// The whole program: `arguments` without the program name, `programDir` where
// the program lies (to find the installed simulated reader).
int run(const QStringList& arguments, const QString& programDir, QTextStream& out, QTextStream& err);

} // namespace rfid::cli
