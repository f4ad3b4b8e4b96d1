#include "commands.h"

#include "doctorlibrary.h"
#include "readersettings.h"
#include "settingsfile.h"
#include "station.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QThread>
#include <csignal>
#ifndef _WIN32
#include <poll.h>
#endif

namespace rfid::cli {

namespace {

const QString kProgram = QStringLiteral("rfidctl");

// Why an answer is not a success, in plain words, and the exit status for it.
struct Failure {
    int code;
    QString why;
};

Failure failureOf(const Answer& answer, const ReaderSession& session) {
    switch (answer.status) {
    case AnswerStatus::Refused:
        return {kDifferent, answerProblem(answer)};
    case AnswerStatus::Damaged:
        return {kNoReader, answerProblem(answer)};
    case AnswerStatus::NoAnswer:
        return {kNoReader, session.lastProblem()};
    case AnswerStatus::Success:
        break;
    }
    return {kDone, {}};
}

// Takes the options `known` out of the arguments; false (after an error) when
// an unknown option or a wrong number of other arguments remains.
bool parseArgs(Context& c, const QStringList& known, int minPlain, int maxPlain, QStringList& options,
               QStringList& plain) {
    for (const QString& a : c.args) {
        if (a.startsWith(QLatin1String("--"))) {
            if (!known.contains(a)) {
                c.fail(kBadUsage, QStringLiteral("unknown option %1 (see rfidctl help)").arg(a));
                return false;
            }
            options << a;
        } else {
            plain << a;
        }
    }
    if (plain.size() < minPlain) {
        c.fail(kBadUsage, QStringLiteral("too few arguments (see rfidctl help)"));
        return false;
    }
    if (maxPlain >= 0 && plain.size() > maxPlain) {
        c.fail(kBadUsage,
               QStringLiteral("unexpected argument \"%1\" (see rfidctl help)").arg(plain.at(maxPlain)));
        return false;
    }
    return true;
}

// Reads the language and output settings back from the reader.
int readBack(Context& c, ReaderSettings& settings, const QString& purpose) {
    const Answer a = c.session().send(readSettingsCommand());
    if (a.status != AnswerStatus::Success) {
        const Failure f = failureOf(a, c.session());
        return c.fail(f.code, QStringLiteral("could not %1: %2").arg(purpose, f.why));
    }
    const std::optional<ReaderSettings> got = decodeReadBack(a.payload);
    if (!got) {
        return c.fail(kNoReader, QStringLiteral("could not %1: the reader's answer was too short to hold its "
                                                "settings (%2 of %3 bytes)")
                                     .arg(purpose)
                                     .arg(a.payload.size())
                                     .arg(kReadBackBytes));
    }
    settings = *got;
    return kDone;
}

QStringList unreportedKeys(const ReaderSettings& s) {
    QStringList keys;
    for (SettingKey key : allSettingKeys()) {
        if (holds(s, key) && !readerReports(key))
            keys << keyName(key);
    }
    return keys;
}

// Reads back and lists each difference from `wanted` on standard output.
int check(Context& c, const ReaderSettings& wanted, const QString& owner) {
    bool reportable = false;
    for (SettingKey key : allSettingKeys())
        reportable = reportable || (holds(wanted, key) && readerReports(key));
    const QStringList unreported = unreportedKeys(wanted);
    if (!unreported.isEmpty()) {
        c.out << "Not checked (the reader does not report them): " << unreported.join(", ") << '\n';
    }
    if (!reportable)
        return kDone;
    ReaderSettings reader;
    if (const int code = readBack(c, reader, QStringLiteral("read the settings back to check them")))
        return code;
    const QStringList differences = compareSettings(reader, wanted, owner);
    for (const QString& line : differences)
        c.out << line << '\n';
    if (!differences.isEmpty()) {
        c.err << kProgram << ": the reader differs from " << owner << " in " << differences.size()
              << (differences.size() == 1 ? " setting" : " settings") << '\n';
        return kDifferent;
    }
    c.out << "Check: the reader agrees with " << owner << ".\n";
    return kDone;
}

// Writes the settings held in `wanted`, one command each, then checks them.
int writeSettings(Context& c, ReaderSettings wanted, bool verify, const QString& owner) {
    if (wanted.isEmpty())
        return c.fail(kBadUsage, QStringLiteral("%1 holds no settings; nothing was sent").arg(owner));
    // The output settings go out in one command: what is not given stays as
    // the reader has it.
    if (wanted.hasAnyOutputField() && !outputSettingsBytes(wanted)) {
        ReaderSettings current;
        if (const int code = readBack(c, current,
                                      QStringLiteral("read the output settings that stay as they "
                                                     "are; nothing was written")))
            return code;
        current.language.reset();
        current.merge(wanted);
        if (!outputSettingsBytes(current)) {
            return c.fail(kBadUsage, QStringLiteral("custom_byte_enabled is true but %1 gives no custom_byte "
                                                    "and the reader has none; nothing was written")
                                         .arg(owner));
        }
        wanted = current;
    }
    const QList<WriteStep> steps = writeSteps(wanted);
    QStringList names;
    for (const WriteStep& s : steps)
        names << s.what;
    for (int i = 0; i < steps.size(); ++i) {
        const Answer a = c.session().send(steps.at(i).command);
        if (a.status != AnswerStatus::Success) {
            const Failure f = failureOf(a, c.session());
            return c.fail(f.code, writeStoppedText(names, i, f.why));
        }
    }
    c.out << "Written: " << names.join(", ") << ".\n";
    return verify ? check(c, wanted, owner) : kDone;
}

// One command without data whose answer is only success or not.
int simpleCommand(Context& c, const QString& command, const QString& done) {
    const Answer a = c.session().send(command);
    if (a.status != AnswerStatus::Success) {
        const Failure f = failureOf(a, c.session());
        return c.fail(f.code, f.why);
    }
    c.out << done << '\n';
    return kDone;
}

// --- Subcommands -------------------------------------------------------------

int cmdRead(Context& c) {
    QStringList options, plain;
    if (!parseArgs(c, {QStringLiteral("--json")}, 0, 0, options, plain))
        return kBadUsage;
    ReaderSettings s;
    if (const int code = readBack(c, s, QStringLiteral("read the reader's settings")))
        return code;
    if (options.contains(QStringLiteral("--json"))) {
        QStringList skipped;
        c.out << QString::fromUtf8(settingsToJson(s, &skipped));
        for (const QString& k : skipped)
            c.err << kProgram << ": left out " << k << ": no name for that code\n";
        return kDone;
    }
    for (SettingKey key : allSettingKeys()) {
        if (holds(s, key))
            c.out << keyName(key) << ": " << valueText(s, key) << '\n';
    }
    return kDone;
}

int cmdSave(Context& c) {
    QStringList options, plain;
    if (!parseArgs(c, {}, 1, 1, options, plain))
        return kBadUsage;
    ReaderSettings s;
    if (const int code = readBack(c, s, QStringLiteral("read the reader's settings")))
        return code;
    QString error;
    QStringList skipped;
    if (!saveSettingsFile(plain.front(), s, error, &skipped))
        return c.fail(kBadUsage, error);
    for (const QString& k : skipped)
        c.err << kProgram << ": left out " << k << ": no name for that code\n";
    c.out << "Saved the reader's settings to " << plain.front() << ".\n";
    return kDone;
}

int cmdApply(Context& c) {
    QStringList options, plain;
    if (!parseArgs(c, {QStringLiteral("--no-verify")}, 1, 1, options, plain))
        return kBadUsage;
    ReaderSettings s;
    QString error;
    if (!loadSettingsFile(plain.front(), s, error))
        return c.fail(kBadUsage, error + QStringLiteral("; nothing was sent"));
    return writeSettings(c, s, !options.contains(QStringLiteral("--no-verify")), QStringLiteral("the file"));
}

int cmdSet(Context& c) {
    QStringList options, plain;
    if (!parseArgs(c, {QStringLiteral("--no-verify")}, 1, -1, options, plain))
        return kBadUsage;
    ReaderSettings s;
    QString error;
    if (!applyAssignments(plain, s, error))
        return c.fail(kBadUsage, error + QStringLiteral("; nothing was sent"));
    return writeSettings(c, s, !options.contains(QStringLiteral("--no-verify")),
                         QStringLiteral("the command line"));
}

int cmdVersion(Context& c) {
    QStringList options, plain;
    if (!parseArgs(c, {}, 0, 0, options, plain))
        return kBadUsage;
    const Answer a = c.session().send(readVersionCommand());
    if (a.status != AnswerStatus::Success) {
        const Failure f = failureOf(a, c.session());
        return c.fail(f.code, QStringLiteral("could not read the version: ") + f.why);
    }
    c.out << versionText(a.payload) << '\n';
    return kDone;
}

int cmdList(Context& c) {
    QStringList options, plain;
    if (!parseArgs(c, {QStringLiteral("--json")}, 0, 0, options, plain))
        return kBadUsage;
    UsbLibrary& library = c.session().library();
    if (!library.isLoaded())
        return c.fail(kNoReader,
                      QStringLiteral("the USB library %1 could not be loaded").arg(library.fileName()));
    const auto readers = library.readers();
    if (!readers)
        return c.fail(kNoReader,
                      QStringLiteral("the USB library %1 cannot list readers").arg(library.fileName()));
    if (options.contains(QStringLiteral("--json"))) {
        QJsonArray list;
        for (const ReaderEntry& r : *readers)
            list.append(QJsonObject{{"path", r.path},
                                    {"vendor", r.vendor},
                                    {"product", r.product},
                                    {"interface", r.interfaceNumber},
                                    {"manufacturer", r.manufacturer},
                                    {"product_name", r.productName},
                                    {"serial", r.serial},
                                    {"access", r.access}});
        c.out << QJsonDocument(list).toJson(QJsonDocument::Indented);
        return kDone;
    }
    if (readers->isEmpty()) {
        c.out << "No reader attached.\n";
        return kDone;
    }
    for (const ReaderEntry& r : *readers) {
        QString name = r.manufacturer;
        if (!r.productName.isEmpty())
            name += (name.isEmpty() ? QString() : QStringLiteral(" ")) + r.productName;
        c.out << r.path << "  " << r.vendor << ':' << r.product << "  interface " << r.interfaceNumber
              << "  serial " << (r.serial.isEmpty() ? QStringLiteral("-") : r.serial) << "  access "
              << (r.access.isEmpty() ? QStringLiteral("?") : r.access) << "  " << name << '\n';
    }
    return kDone;
}

int cmdDoctor(Context& c) {
    QStringList options, plain;
    if (!parseArgs(c, {}, 0, 0, options, plain))
        return kBadUsage;
    UsbLibrary& library = c.session().library();
    c.out << "USB library: " << library.fileName() << '\n';
    const doctor::Report report = runConnectionCheck(library, c.device);
    c.out << QString::fromStdString(doctor::formatReport(report));
    return report.answered() ? kDone : kNoReader;
}

int cmdBeep(Context& c) {
    QStringList options, plain;
    if (!parseArgs(c, {}, 1, 1, options, plain))
        return kBadUsage;
    const QString what = plain.front().toLower();
    if (what != QLatin1String("on") && what != QLatin1String("off"))
        return c.fail(kBadUsage, QStringLiteral("beep takes on or off, not \"%1\"").arg(plain.front()));
    const bool on = what == QLatin1String("on");
    return simpleCommand(c, buzzerCommand(on),
                         on ? QStringLiteral("Buzzer on.") : QStringLiteral("Buzzer off."));
}

int cmdFactoryReset(Context& c) {
    QStringList options, plain;
    if (!parseArgs(c, {}, 0, 0, options, plain))
        return kBadUsage;
    return simpleCommand(c, factoryResetCommand(), QStringLiteral("Factory settings restored."));
}

int cmdClearData(Context& c) {
    QStringList options, plain;
    if (!parseArgs(c, {}, 0, 0, options, plain))
        return kBadUsage;
    return simpleCommand(c, clearDataCommand(), QStringLiteral("Stored data cleared."));
}

// Set when Ctrl+C asks the station to stop after the reader in progress.
volatile std::sig_atomic_t stationStop = 0;
extern "C" void onStationInterrupt(int) {
    stationStop = 1;
}

// Waits up to `ms` for a notice that a reader came or went.
void waitForReaderNotice(UsbLibrary& usb, int ms) {
#ifndef _WIN32
    const int fd = usb.monitorFd();
    if (fd >= 0) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, ms) > 0)
            usb.monitorDrain();
        return;
    }
#endif
    for (int waited = 0; waited < ms && !stationStop; waited += 100)
        QThread::msleep(100);
}

int cmdStation(Context& c) {
    QString file;
    QString logPath;
    int count = 0;
    for (int i = 0; i < c.args.size(); ++i) {
        const QString& a = c.args.at(i);
        if (a == QLatin1String("--log") || a == QLatin1String("--count")) {
            if (i + 1 >= c.args.size())
                return c.fail(kBadUsage,
                              QStringLiteral("%1 needs a value (see rfidctl station --help)").arg(a));
            const QString value = c.args.at(++i);
            if (a == QLatin1String("--log")) {
                logPath = value;
            } else {
                bool ok = false;
                count = value.toInt(&ok);
                if (!ok || count < 1)
                    return c.fail(
                        kBadUsage,
                        QStringLiteral("--count takes a number of readers above 0, not \"%1\"").arg(value));
            }
        } else if (a.startsWith(QLatin1String("--"))) {
            return c.fail(kBadUsage, QStringLiteral("unknown option %1 (see rfidctl help)").arg(a));
        } else if (file.isEmpty()) {
            file = a;
        } else {
            return c.fail(kBadUsage, QStringLiteral("unexpected argument \"%1\" (see rfidctl help)").arg(a));
        }
    }
    if (file.isEmpty())
        return c.fail(kBadUsage, QStringLiteral("too few arguments (see rfidctl help)"));
    if (!c.device.isEmpty())
        return c.fail(kBadUsage,
                      QStringLiteral("station sets up every reader that is plugged in; it takes no "
                                     "--device"));

    // Everything that can be wrong with the file or the log is found before the
    // first reader is touched.
    ReaderSettings wanted;
    QString error;
    if (!loadSettingsFile(file, wanted, error))
        return c.fail(kBadUsage, error + QStringLiteral("; no reader was touched"));
    if (wanted.isEmpty())
        return c.fail(kBadUsage, QStringLiteral("%1 holds no settings; no reader was touched").arg(file));
    StationLog log;
    if (!logPath.isEmpty() && !log.open(logPath, error))
        return c.fail(kBadUsage, error + QStringLiteral("; no reader was touched"));
    UsbLibrary& usb = c.session().library();
    Station station(usb, wanted, logPath.isEmpty() ? nullptr : &log);
    if (!station.canListReaders(error))
        return c.fail(kNoReader, error);

    station.setRowObserver([&](const StationRow& r) {
        c.out << r.path << "  " << (r.serial.isEmpty() ? QStringLiteral("-") : r.serial) << "  "
              << (r.version.isEmpty() ? QStringLiteral("-") : r.version) << "  " << r.result << '\n';
        for (const QString& d : r.differences)
            c.out << "    " << d << '\n';
        c.out << station.progressLine() << '\n';
        c.out.flush();
    });
    stationStop = 0;
    const auto previous = std::signal(SIGINT, onStationInterrupt);
    c.out << "Waiting for readers; each one plugged in is set up from " << file << ". Ctrl+C stops.\n";
    c.out.flush();
    const auto enough = [&] { return stationStop != 0 || (count > 0 && station.done() >= count); };
    while (!enough()) {
        station.poll(enough);
        if (station.stoppedByLogError())
            break;
        if (!enough())
            waitForReaderNotice(usb, 1000);
    }
    std::signal(SIGINT, previous == SIG_ERR ? SIG_DFL : previous);
    station.finish();
    if (station.stoppedByLogError())
        return c.fail(kBadUsage, station.logError() + QStringLiteral("; the station stopped"));
    c.out << "Stopped. " << station.progressLine() << '\n';
    return station.failed() > 0 ? kDifferent : kDone;
}

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
           "  --help, -h       this help; after a command, that command's help\n"
           "\n"
           "Exit status: 0 done, 1 the reader refused or the check found a difference,\n"
           "2 bad usage or a bad file (nothing sent), 3 no reader or no answer.\n"
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
    out << "\n--device PATH|SERIAL (before or after the command) chooses the reader; see rfidctl list.\n";
}

} // namespace

ReaderSession& Context::session() {
    if (!m_session)
        m_session = std::make_unique<ReaderSession>(libraryFile);
    return *m_session;
}

int Context::fail(int code, const QString& text) {
    err << kProgram << ": " << text << '\n';
    return code;
}

const QList<Subcommand>& subcommands() {
    static const QList<Subcommand> table = {
        {QStringLiteral("read"), QStringLiteral("[--json]"), QStringLiteral("print the reader's settings"),
         QStringLiteral("Reads back what the reader reports (keyboard language and output settings) and\n"
                        "prints one \"key: value\" line each, or with --json a settings file.\n"),
         cmdRead},
        {QStringLiteral("save"), QStringLiteral("FILE"),
         QStringLiteral("write the reader's settings to a file"),
         QStringLiteral("Reads back the reader's keyboard language and output settings and writes them\n"
                        "to FILE as a settings file.\n"),
         cmdSave},
        {QStringLiteral("apply"), QStringLiteral("FILE [--no-verify]"),
         QStringLiteral("write a settings file to the reader and check it"),
         QStringLiteral("Writes the settings that FILE holds to the reader, one command each, in this\n"
                        "order: keyboard language, output settings, reader mode, Bluetooth mode,\n"
                        "Bluetooth name, sleep time. Output settings that FILE does not hold stay as\n"
                        "the reader has them. Then reads the reader back and lists every difference\n"
                        "(not with --no-verify). A bad file is refused before anything is sent.\n"),
         cmdApply},
        {QStringLiteral("set"), QStringLiteral("KEY=VALUE... [--no-verify]"),
         QStringLiteral("change single settings"),
         QStringLiteral("Writes the settings given, with the keys and values of a settings file, and\n"
                        "checks them as apply does. Example: rfidctl set language=German add_enter=true\n"),
         cmdSet},
        {QStringLiteral("station"), QStringLiteral("FILE [--log RESULTS.csv] [--count N]"),
         QStringLiteral("set up readers one after another"),
         QStringLiteral("Waits for readers. Each reader plugged in is written with the settings FILE\n"
                        "holds, checked by reading back, and told to beep once when all is well (its\n"
                        "buzzer is turned on). Each reader gives one line here and, with --log, one\n"
                        "CSV row (time, device, serial, version, result, differences), appended and\n"
                        "on disk before the next reader is touched. A reader that has been done is\n"
                        "not done again until it is unplugged and plugged back. Ctrl+C stops after\n"
                        "the reader in progress; --count N stops after N readers. A bad FILE or a\n"
                        "results file that cannot be written is refused before any reader is\n"
                        "touched. Exit status 1 when any reader failed or differs.\n"),
         cmdStation},
        {QStringLiteral("version"), QString(), QStringLiteral("print the reader's version"),
         QStringLiteral("Prints the version text the reader reports.\n"), cmdVersion},
        {QStringLiteral("beep"), QStringLiteral("on|off"), QStringLiteral("turn the buzzer on or off"),
         QStringLiteral("Turns the reader's buzzer on or off.\n"), cmdBeep},
        {QStringLiteral("factory-reset"), QString(), QStringLiteral("restore the reader's factory settings"),
         QStringLiteral("Restores the reader's factory settings.\n"), cmdFactoryReset},
        {QStringLiteral("clear-data"), QString(), QStringLiteral("empty the reader's stored data"),
         QStringLiteral("Empties the card numbers the reader has stored.\n"), cmdClearData},
        {QStringLiteral("list"), QStringLiteral("[--json]"), QStringLiteral("list the readers attached"),
         QStringLiteral(
             "Lists the readers the USB library finds, one line each: device path, vendor:product\n"
             "id, interface, serial number, whether this user may open it, and its name; with\n"
             "--json as a JSON array. Choose one for the other commands with --device.\n"),
         cmdList},
        {QStringLiteral("doctor"), QString(), QStringLiteral("check the connection and say what is wrong"),
         QStringLiteral("Looks at the system (USB devices, the reader's device nodes, the udev rule, other\n"
                        "programs holding the reader) and asks the reader for its version. Prints what it\n"
                        "found and what to do. Exit status 0 when the reader answers, 3 otherwise.\n"),
         cmdDoctor},
    };
    return table;
}

int run(const QStringList& arguments, const QString& programDir, QTextStream& out, QTextStream& err) {
    bool sim = false;
    bool help = false;
    const Subcommand* command = nullptr;
    QStringList rest;
    QString device;
    bool deviceGiven = false;
    for (int i = 0; i < arguments.size(); ++i) {
        const QString& a = arguments[i];
        if (a == QLatin1String("--sim"))
            sim = true;
        else if (a == QLatin1String("--device") || a.startsWith(QLatin1String("--device="))) {
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
    // The connection check chooses the reader itself, to say what is wrong with
    // the choice; a list shows them all.
    if (deviceGiven && command->name != QLatin1String("doctor") && command->name != QLatin1String("list") &&
        !context.session().library().selectReader(device)) {
        const bool canList = context.session().library().readers().has_value();
        return context.fail(kNoReader,
                            canList ? QStringLiteral("no reader with the path or serial number \"%1\" is "
                                                     "attached (see rfidctl list)")
                                          .arg(device)
                                    : QStringLiteral("the USB library %1 cannot choose a reader")
                                          .arg(context.session().library().fileName()));
    }
    return command->run(context);
}

} // namespace rfid::cli
