// version, beep, factory-reset, clear-data, list, doctor: single commands and
// the readers attached.
#include "commands.h"
#include "devicetext.h"
#include "doctorlibrary.h"
#include "readersettings.h"
#include "version.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace rfid::cli {

namespace {

// One command whose answer is only success or not, under the reader's lock.
int simpleCommand(Context& c, const QString& command, const QString& done) {
    c.nameReader();
    const LinkReply r = c.link().send(command);
    if (!r.ok())
        return c.failReply(r);
    c.out << done << '\n';
    return kDone;
}

int cmdVersion(Context& c) {
    Arguments a;
    if (!c.parse(a, {}, {}, 0, 0))
        return kBadUsage;
    const LinkReply r = c.link().send(readVersionCommand());
    if (!r.ok())
        return c.failReply(r, QStringLiteral("could not read the version: "));
    c.out << printableDeviceText(versionText(r.answer)) << '\n';
    return kDone;
}

int cmdList(Context& c) {
    Arguments a;
    if (!c.parse(a, {QStringLiteral("--json")}, {}, 0, 0))
        return kBadUsage;
    UsbLibrary& library = c.library();
    if (!library.isLoaded())
        return c.fail(kNoReader,
                      QStringLiteral("the USB library %1 could not be loaded").arg(library.fileName()));
    const auto readers = library.readers();
    if (!readers)
        return c.fail(kNoReader,
                      QStringLiteral("the USB library %1 cannot list readers").arg(library.fileName()));
    if (a.has(QStringLiteral("--json"))) {
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
        // What the device and the library report, with control characters written out.
        const auto shown = [](const QString& text) { return printableDeviceText(text); };
        c.out << shown(r.path) << "  " << shown(r.vendor) << ':' << shown(r.product) << "  interface "
              << r.interfaceNumber << "  serial "
              << (r.serial.isEmpty() ? QStringLiteral("-") : shown(r.serial)) << "  access "
              << (r.access.isEmpty() ? QStringLiteral("?") : shown(r.access)) << "  " << shown(name) << '\n';
    }
    return kDone;
}

int cmdDoctor(Context& c) {
    Arguments a;
    if (!c.parse(a, {}, {}, 0, 0))
        return kBadUsage;
    UsbLibrary& library = c.library();
    c.out << "USB library: " << library.fileName() << '\n';
    const doctor::Report report = runConnectionCheck(library, c.device);
    c.out << QString::fromStdString(doctor::formatReport(report));
    return report.answered() ? kDone : kNoReader;
}

int cmdBeep(Context& c) {
    Arguments a;
    if (!c.parse(a, {}, {}, 1, 1))
        return kBadUsage;
    const QString what = a.plain.front().toLower();
    if (what != QLatin1String("on") && what != QLatin1String("off"))
        return c.fail(kBadUsage, QStringLiteral("beep takes on or off, not \"%1\"").arg(a.plain.front()));
    const bool on = what == QLatin1String("on");
    return simpleCommand(c, buzzerCommand(on),
                         on ? QStringLiteral("Buzzer on.") : QStringLiteral("Buzzer off."));
}

int cmdFactoryReset(Context& c) {
    Arguments a;
    if (!c.parse(a, {}, {}, 0, 0))
        return kBadUsage;
    // The link forgets what this computer last wrote to the reader before the
    // reset goes out, under the reader's lock.
    return simpleCommand(c, factoryResetCommand(), QStringLiteral("Factory settings restored."));
}

int cmdClearData(Context& c) {
    Arguments a;
    if (!c.parse(a, {}, {}, 0, 0))
        return kBadUsage;
    return simpleCommand(c, clearDataCommand(), QStringLiteral("Stored data cleared."));
}

} // namespace

QList<Subcommand> readerCommands() {
    return {
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
}

} // namespace rfid::cli
