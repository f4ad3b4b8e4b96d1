// station: readers set up one after another from a settings file.
#include "commands.h"
#include "devicetext.h"
#include "hidnotices.h"
#include "readersettings.h"
#include "servicefile.h"
#include "settingsfile.h"
#include "station.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QThread>
#include <csignal>
#include <optional>
#ifndef _WIN32
#include <poll.h>
#endif

namespace rfid::cli {

namespace {

// Set when Ctrl+C, SIGTERM (a service manager, kill) or SIGHUP (the terminal
// closed) asks the station to stop after the reader in progress.
volatile std::sig_atomic_t stationStop = 0;
extern "C" void onStationInterrupt(int) {
    stationStop = 1;
}

// The signals that stop the station, each caught for as long as it runs and
// given back its previous handling afterwards.
class StopSignals {
public:
    StopSignals() {
#ifdef _WIN32
        for (std::size_t i = 0; i < kCount; ++i)
            m_previous[i] = std::signal(kSignals[i], onStationInterrupt);
#else
        struct sigaction stop {};
        stop.sa_handler = onStationInterrupt;
        sigemptyset(&stop.sa_mask);
        // Exchanges with the reader in progress go on; poll() still wakes up.
        stop.sa_flags = SA_RESTART;
        for (std::size_t i = 0; i < kCount; ++i)
            ::sigaction(kSignals[i], &stop, &m_previous[i]);
#endif
    }
    ~StopSignals() {
        for (std::size_t i = 0; i < kCount; ++i) {
#ifdef _WIN32
            std::signal(kSignals[i], m_previous[i] == SIG_ERR ? SIG_DFL : m_previous[i]);
#else
            ::sigaction(kSignals[i], &m_previous[i], nullptr);
#endif
        }
    }
    StopSignals(const StopSignals&) = delete;
    StopSignals& operator=(const StopSignals&) = delete;

private:
#ifdef _WIN32
    static constexpr int kSignals[] = {SIGINT, SIGTERM};
    static constexpr std::size_t kCount = 2;
    void (*m_previous[kCount])(int) = {};
#else
    static constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP};
    static constexpr std::size_t kCount = 3;
    struct sigaction m_previous[kCount] = {};
#endif
};

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
    for (int waited = 0; waited < ms && !stationStop; waited += 100)
        QThread::msleep(100);
#else
    // The library has no descriptor here: Windows' device notices, delivered
    // while this thread serves its messages.
    (void)usb;
    QObject watcher;
    bool noticed = false;
    rfid::watchHidDevices(&watcher, [&noticed] { noticed = true; });
    for (int waited = 0; waited < ms && !stationStop && !noticed; waited += 100) {
        QCoreApplication::processEvents();
        QThread::msleep(100);
    }
#endif
}

int cmdStation(Context& c) {
    Arguments a;
    if (!c.parse(a, {QStringLiteral("--anyway")},
                 {QStringLiteral("--log"), QStringLiteral("--count"), QStringLiteral("--host-layout")}, 1, 1))
        return kBadUsage;
    const QString file = a.plain.front();
    // --anyway goes past a failed layout check (never past a layout name that names
    // none) and past the plug-in service's differing file; each row notes it.
    const bool anyway = a.has(QStringLiteral("--anyway"));
    // Without --host-layout, --anyway can only go past the service's file.
    const QString anywayWithoutCheck = QStringLiteral("--anyway goes past the check of --host-layout LAYOUT, "
                                                      "which was not given (see rfidctl station --help)");
    if (anyway && !a.values.contains(QStringLiteral("--host-layout")) &&
        !QFileInfo::exists(serviceSettingsFile()))
        return c.fail(kBadUsage, anywayWithoutCheck);
    const QString logPath = a.value(QStringLiteral("--log"));
    int count = 0;
    if (a.values.contains(QStringLiteral("--count"))) {
        bool ok = false;
        const QString value = a.value(QStringLiteral("--count"));
        count = value.toInt(&ok);
        if (!ok || count < 1)
            return c.fail(kBadUsage,
                          QStringLiteral("--count takes a number of readers above 0, not \"%1\"").arg(value));
    }
    if (!c.device.isEmpty())
        return c.fail(kBadUsage,
                      QStringLiteral("station sets up every reader that is plugged in; it takes no "
                                     "--device"));

    // Everything that can be wrong with the file or the log is found before the
    // first reader is touched.
    ReaderSettings wanted;
    QString error;
    if (!loadSettingsFile(file, wanted, error))
        return c.fail(kBadUsage, withKeysHint(error) + QStringLiteral("; no reader was touched"));
    if (wanted.isEmpty())
        return c.fail(kBadUsage, QStringLiteral("%1 holds no settings; no reader was touched").arg(file));
    // The plug-in service would write its own file over the readers set up here
    // (compared only once the file is known to be a readable settings file).
    const QString conflict = serviceConflict(file);
    if (anyway && !a.values.contains(QStringLiteral("--host-layout")) && conflict.isEmpty())
        return c.fail(kBadUsage, anywayWithoutCheck);
    // The readers go to computers with another layout: what they will type there
    // is checked before the first reader is touched.
    QString layoutNote;
    if (a.values.contains(QStringLiteral("--host-layout"))) {
        c.siteLayout = a.value(QStringLiteral("--host-layout"));
        if (const int code = checkSiteLayout(c, wanted, file, anyway, layoutNote))
            return code;
    }
    if (!conflict.isEmpty() && !anyway)
        return c.fail(kBadUsage, conflict + QStringLiteral("; no reader was touched"));
    if (!conflict.isEmpty())
        c.err << "rfidctl: going on (--anyway): " << conflict << '\n';
    StationLog log;
    if (a.values.contains(QStringLiteral("--log")) && !log.open(logPath, error, file))
        return c.fail(kBadUsage, error + QStringLiteral("; no reader was touched"));
    UsbLibrary& usb = c.library();
    Station station(usb, wanted, logPath.isEmpty() ? nullptr : &log);
    if (!layoutNote.isEmpty())
        station.addNote(layoutNote);
    if (!conflict.isEmpty())
        station.addNote(QStringLiteral("set up with --anyway while the plug-in service's own file differs"));
    if (!station.canListReaders(error))
        return c.fail(kNoReader, error);

    station.setRowObserver([&](const StationRow& r) {
        c.out << printableDeviceText(r.path) << "  "
              << (r.serial.isEmpty() ? QStringLiteral("-") : printableDeviceText(r.serial)) << "  "
              << (r.version.isEmpty() ? QStringLiteral("-") : printableDeviceText(r.version)) << "  "
              << r.result << '\n';
        for (const QString& d : r.differences)
            c.out << "    " << d << '\n';
        c.out << station.progressLine() << '\n';
        c.out.flush();
    });
    stationStop = 0;
    std::optional<StopSignals> stopSignals(std::in_place);
#ifndef _WIN32
    // A results file that reaches the file-size limit is reported, not the end of the program.
    const auto previousFileSize = std::signal(SIGXFSZ, SIG_IGN);
#endif
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
    stopSignals.reset();
#ifndef _WIN32
    std::signal(SIGXFSZ, previousFileSize == SIG_ERR ? SIG_DFL : previousFileSize);
#endif
    station.finish();
    if (station.stoppedByLogError())
        return c.fail(kBadUsage, station.logError() + QStringLiteral("; the station stopped"));
    c.out << "Stopped. " << station.progressLine() << '\n';
    return station.failed() > 0 ? kDifferent : kDone;
}

} // namespace

QList<Subcommand> stationCommands() {
    return {
        {QStringLiteral("station"),
         QStringLiteral("FILE [--log RESULTS.csv] [--count N] [--host-layout LAYOUT [--anyway]]"),
         QStringLiteral("set up readers one after another"),
         QStringLiteral("Waits for readers. Each reader plugged in is written with the settings FILE\n"
                        "holds, checked by reading back, and told to beep once when all is well (its\n"
                        "buzzer is turned on). Each reader gives one line here and, with --log, one\n"
                        "CSV row (time, device, serial, version, result, differences), appended and\n"
                        "on disk before the next reader is touched. A reader that has been done is\n"
                        "not done again until it is unplugged and plugged back. Ctrl+C (or SIGTERM,\n"
                        "SIGHUP) stops after the reader in progress; --count N stops after N\n"
                        "readers. A bad FILE or a results file that cannot be written is refused\n"
                        "before any reader is touched. Exit status 1 when any reader failed or\n"
                        "differs.\n"
                        "--host-layout LAYOUT (such as be or de(nodeadkeys)): the keyboard layout of the\n"
                        "computers the readers go to; the station refuses to start when FILE's settings\n"
                        "would come out wrong there, naming the characters. --anyway sets readers up\n"
                        "all the same, each row noting that the layout check failed; a LAYOUT that names\n"
                        "no layout is refused even then.\n"
                        "The station also refuses to start while the plug-in service would set up the\n"
                        "same readers from another file (/etc/rfid-demo/reader.json exists and differs\n"
                        "from FILE), naming both, unless --anyway is given (each row then notes it).\n"),
         cmdStation},
    };
}

} // namespace rfid::cli
