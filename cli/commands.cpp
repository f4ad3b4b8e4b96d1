#include "commands.h"

#include "devicetext.h"
#include "nearname.h"
#include "readersettings.h"
#include "simlibrary.h"
#include "writerecord.h"

#include <cmath>

namespace rfid::cli {

namespace {

const QString kProgram = QStringLiteral("rfidctl");

const Subcommand* find(const QString& name) {
    for (const Subcommand& s : subcommands()) {
        if (s.name == name)
            return &s;
    }
    return nullptr;
}

void programHelp(QTextStream& out) {
    out << "Usage: rfidctl [--sim] [--device PATH|SERIAL] COMMAND [ARGUMENTS]\n"
           "\n"
           "Sets up a USB RFID reader that types card numbers as a keyboard, without a window.\n"
           "\n"
           "Commands:\n";
    for (const Subcommand& s : subcommands()) {
        const QString head = s.name + (s.usage.isEmpty() ? QString() : QLatin1Char(' ') + s.usage);
        if (head.size() <= 30)
            out << "  " << head.leftJustified(30) << ' ' << s.summary << '\n';
        else
            out << "  " << head << '\n' << QString(33, QLatin1Char(' ')) << s.summary << '\n';
    }
    out << "\n"
           "Options:\n"
           "  --sim            use the simulated reader instead of a USB reader\n"
           "  --device PATH|SERIAL\n"
           "                   the reader to use, by device path or serial number (see rfidctl list)\n"
           "  --wait SECONDS   how long to wait for a reader another program is using (10)\n"
           "  --help, -h       this help; after a command, that command's help\n"
           "\n"
           "Exit status: 0 done, 1 the reader refused or the check found a difference,\n"
           "2 bad usage or a bad file (nothing sent), 3 no reader, no answer, or the reader in use.\n"
           "Settings files and their keys are described in the README.\n";
}

// Every key of a settings file with what it takes, wrapped to the terminal's
// usual 80 columns (a name is never split), for the commands that take keys.
void keysHelp(QTextStream& out) {
    out << "\nKeys (the same as in a settings file) and their values:\n";
    const QString indent(23, QLatin1Char(' '));
    for (rfid::SettingKey key : rfid::allSettingKeys()) {
        QString line = QStringLiteral("  ") + rfid::keyName(key).leftJustified(20) + QLatin1Char(' ');
        const QString help = rfid::valueHelp(key);
        const QStringList items =
            help.startsWith(QLatin1Char('"')) ? help.split(QStringLiteral(", ")) : QStringList{help};
        for (int i = 0; i < items.size(); ++i) {
            const QString item = items[i] + (i + 1 < items.size() ? QStringLiteral(",") : QString());
            if (line.size() > indent.size() && line.size() + 1 + item.size() > 79) {
                out << line << '\n';
                line = indent;
            }
            if (line.size() > indent.size() && !line.endsWith(QLatin1Char(' ')))
                line += QLatin1Char(' ');
            line += item;
        }
        out << line << '\n';
    }
}

void commandHelp(QTextStream& out, const Subcommand& s) {
    out << "Usage: rfidctl [--sim] " << s.name << (s.usage.isEmpty() ? QString() : QLatin1Char(' ') + s.usage)
        << "\n\n"
        << s.help;
    if (s.name == QLatin1String("set") || s.name == QLatin1String("apply"))
        keysHelp(out);
    // The station sets up every reader and list shows them all: neither takes one.
    if (s.name != QLatin1String("station") && s.name != QLatin1String("list"))
        out << "\n--device PATH|SERIAL (before or after the command) chooses the reader; see rfidctl list.\n";
}

} // namespace

Context::Context(QStringList args, QString libraryFile, QTextStream& out, QTextStream& err)
    : args(std::move(args)), libraryFile(std::move(libraryFile)), out(out), err(err) {}

Context::~Context() = default;

UsbLibrary& Context::library() {
    if (!m_library)
        m_library = std::make_unique<UsbLibrary>(libraryFile);
    return *m_library;
}

ReaderLink& Context::link() {
    if (!m_link)
        m_link = std::make_unique<ReaderLink>(library());
    return *m_link;
}

void Context::nameReader() {
    if (!library().isLoaded())
        return;
    const std::optional<QList<ReaderEntry>> readers = library().readers();
    if (!readers || readers->size() < 2)
        return;
    // The reader chosen with --device, else the one the library takes: the first.
    const QString chosen = library().selectedReader();
    const ReaderEntry* reader = &readers->front();
    for (const ReaderEntry& r : *readers) {
        if (!chosen.isEmpty() && (r.path == chosen || r.serial == chosen))
            reader = &r;
    }
    out << "Reader: " << printableDeviceText(reader->path);
    if (!reader->serial.isEmpty())
        out << " (" << printableDeviceText(reader->serial) << ')';
    out << '\n';
}

int Context::fail(int code, const QString& text) {
    err << kProgram << ": " << text << '\n';
    return code;
}

int Context::failReply(const LinkReply& reply, const QString& prefix) {
    return fail(exitCodeFor(reply.failure), prefix + reply.problem);
}

bool Context::parse(Arguments& a, const QStringList& flags, const QStringList& valued, int minPlain,
                    int maxPlain) {
    for (int i = 0; i < args.size(); ++i) {
        const QString& arg = args.at(i);
        if (!arg.startsWith(QLatin1String("--"))) {
            a.plain << arg;
            continue;
        }
        const QString name = arg.section(QLatin1Char('='), 0, 0);
        if (valued.contains(name)) {
            if (arg.contains(QLatin1Char('='))) {
                a.values.insert(name, arg.section(QLatin1Char('='), 1));
            } else if (i + 1 < args.size()) {
                a.values.insert(name, args.at(++i));
            } else {
                fail(kBadUsage,
                     QStringLiteral("%1 needs a value (see rfidctl %2 --help)").arg(name, command));
                return false;
            }
        } else if (flags.contains(arg)) {
            a.flags << arg;
        } else {
            std::vector<std::string> known;
            for (const QString& o : flags + valued)
                known.push_back(o.toStdString());
            const std::string meant = wedge::closestName(name.toStdString(), known);
            fail(kBadUsage,
                 QStringLiteral("unknown option %1%2 (see rfidctl %3 --help)")
                     .arg(quotedForError(arg).mid(1).chopped(1),
                          meant.empty()
                              ? QString()
                              : QStringLiteral("; did you mean %1?").arg(QString::fromStdString(meant)),
                          command));
            return false;
        }
    }
    if (a.plain.size() < minPlain) {
        // What is missing, as the command's usage line names it: "apply needs FILE".
        QStringList wanted;
        for (const Subcommand& s : subcommands()) {
            if (s.name != command)
                continue;
            int optional = 0; // depth in [...]
            for (const QString& word : s.usage.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
                if (optional == 0 && !word.startsWith(QLatin1Char('[')) && !word.startsWith(QLatin1Char('-')))
                    wanted << word;
                optional += int(word.count(QLatin1Char('['))) - int(word.count(QLatin1Char(']')));
            }
        }
        const QStringList missing = wanted.mid(int(a.plain.size()));
        fail(kBadUsage, missing.isEmpty()
                            ? QStringLiteral("too few arguments (see rfidctl %1 --help)").arg(command)
                            : QStringLiteral("too few arguments: rfidctl %1 needs %2 (see rfidctl %1 --help)")
                                  .arg(command, missing.join(QLatin1Char(' '))));
        return false;
    }
    if (maxPlain >= 0 && a.plain.size() > maxPlain) {
        fail(kBadUsage, QStringLiteral("unexpected argument %1 (see rfidctl %2 --help)")
                            .arg(quotedForError(a.plain.at(maxPlain)), command));
        return false;
    }
    return true;
}

QString withKeysHint(const QString& error) {
    return error.contains(QLatin1String(": unknown key"))
               ? error + QStringLiteral("; rfidctl set --help lists the keys")
               : error;
}

int exitCodeFor(LinkFailure failure) {
    switch (failure) {
    case LinkFailure::None:
        return kDone;
    case LinkFailure::Refused:
        return kDifferent;
    case LinkFailure::BadCommand:
        return kBadUsage;
    default:
        return kNoReader;
    }
}

const QList<Subcommand>& subcommands() {
    static const QList<Subcommand> table = settingsCommands() + applyCommands() + fleetCommands() +
                                           stationCommands() + readerCommands() + wedgeCommands();
    return table;
}

int run(const QStringList& arguments, const QString& programDir, QTextStream& out, QTextStream& err) {
    bool sim = false;
    bool help = false;
    const Subcommand* command = nullptr;
    QStringList rest;
    QString device;
    bool deviceGiven = false;
    int waitMs = kReaderLockWaitMs;
    for (int i = 0; i < arguments.size(); ++i) {
        const QString& a = arguments[i];
        if (a == QLatin1String("--sim"))
            sim = true;
        else if (a == QLatin1String("--wait") || a.startsWith(QLatin1String("--wait="))) {
            QString value;
            if (a.contains(QLatin1Char('=')))
                value = a.section(QLatin1Char('='), 1);
            else if (i + 1 < arguments.size())
                value = arguments[++i];
            bool ok = false;
            const double seconds = value.toDouble(&ok);
            if (!ok || !std::isfinite(seconds) || seconds < 0 || seconds > 86400) {
                err << kProgram
                    << ": --wait takes the seconds to wait for a reader in use (0 to 86400), not \"" << value
                    << "\"\n";
                return kBadUsage;
            }
            waitMs = int(seconds * 1000);
        } else if (a == QLatin1String("--device") || a.startsWith(QLatin1String("--device="))) {
            if (a.contains(QLatin1Char('=')))
                device = a.section(QLatin1Char('='), 1);
            else if (i + 1 < arguments.size())
                device = arguments[++i];
            else
                device.clear();
            if (device.isEmpty()) {
                err << kProgram << ": --device needs a device path or serial number (see rfidctl list)\n";
                return kBadUsage;
            }
            deviceGiven = true;
        } else if (a == QLatin1String("--help") || a == QLatin1String("-h"))
            help = true;
        else if (!command && a == QLatin1String("help") && rest.isEmpty())
            help = true;
        else if (!command && !a.startsWith(QLatin1Char('-'))) {
            command = find(a);
            if (!command) {
                err << kProgram << ": unknown command \"" << a << "\" (see rfidctl --help)\n";
                return kBadUsage;
            }
        } else
            rest << a;
    }
    if (help) {
        if (command)
            commandHelp(out, *command);
        else
            programHelp(out);
        return kDone;
    }
    if (!command) {
        if (!rest.isEmpty()) {
            err << kProgram << ": unknown option " << rest.front() << " (see rfidctl --help)\n";
            return kBadUsage;
        }
        programHelp(err);
        return kBadUsage;
    }
    QString library = UsbLibrary::defaultFileName();
    if (sim) {
        library = simulatedReaderLibrary(programDir);
        if (library.isEmpty()) {
            err << kProgram << ": --sim: the simulated reader's library was not found\n";
            return kNoReader;
        }
    }
    Context context(rest, library, out, err);
    context.device = device;
    context.command = command->name;
    context.link().setLockWait(waitMs);
    context.link().setNotice([&err](const QString& text) { err << kProgram << ": " << text << '\n'; });
    // The connection check chooses the reader itself, to say what is wrong with
    // the choice; a list shows them all.
    const bool chooses =
        deviceGiven && command->name != QLatin1String("doctor") && command->name != QLatin1String("list");
    // A serial number several readers share chooses none of them.
    if (const auto readers = chooses ? context.library().readers() : std::nullopt) {
        const QStringList sharing = readersSharing(*readers, device);
        if (!sharing.isEmpty())
            return context.fail(kBadUsage,
                                QStringLiteral("%1 readers have the serial number %2: %3; choose one by its "
                                               "path; nothing was sent")
                                    .arg(sharing.size())
                                    .arg(quotedForError(device), sharing.join(QStringLiteral(", "))));
    }
    if (chooses && !context.library().selectReader(device)) {
        const bool canList = context.library().readers().has_value();
        return context.fail(kNoReader,
                            canList ? QStringLiteral("no reader with the path or serial number \"%1\" is "
                                                     "attached (see rfidctl list)")
                                          .arg(device)
                                    : QStringLiteral("the USB library %1 cannot choose a reader")
                                          .arg(context.library().fileName()));
    }
    return command->run(context);
}

} // namespace rfid::cli
