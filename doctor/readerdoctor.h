// The connection check: looks at the system (USB devices, hidraw nodes, the udev
// rule, other programs holding the reader) and at the reader itself (does it answer
// the version command), and says what is wrong and what to do. Plain C++ without Qt,
// so that the window and rfidctl print the same findings.
#pragma once

#include "exchangeoutcome.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace rfid::doctor {

// Where the system's trees are; tests point them at a directory of their own.
struct SystemRoots {
    std::string sys = "/sys";
    std::string dev = "/dev";
    std::string etc = "/etc";
    std::string run = "/run";
    std::string proc = "/proc";
    std::string usr = "/usr"; // <usr>/lib/udev/rules.d, where the package puts the rule
    std::string lib = "/lib"; // <lib>/udev/rules.d
};

struct UsbId {
    std::uint16_t vendor = 0;
    std::uint16_t product = 0;
};

// A USB device as lsusb shows it.
struct UsbDevice {
    int bus = 0;
    int device = 0;
    UsbId id;
    std::string manufacturer;
    std::string product;
};

// A hidraw node of a device with a wanted id.
struct HidNode {
    std::string name;    // hidraw3
    std::string devPath; // /dev/hidraw3
    UsbId id;
    int interfaceNumber = -1;
    bool keyboard = false; // it has a keyboard collection
    bool command = false;  // it has a collection the library would talk to
    bool descriptorRead = false;
    std::string devNumber; // "243:3"
    int openError = 0;     // errno of opening the node for reading and writing, 0 when it opened
    bool nodeExists = false;
    std::string ownerText;            // "root:plugdev 0660"
    bool uaccessTagged = false;       // udev tagged it for the logged-in user (the rule applied)
    bool udevKnows = false;           // udev has a database entry for it
    std::vector<std::string> holders; // "1234 (otherprog)": other processes that have it open
};

struct SystemView {
    bool sysfsAvailable = false;
    std::vector<UsbDevice> usb;         // every USB device (lsusb)
    std::vector<UsbDevice> knownUsb;    // those with a wanted id
    std::vector<HidNode> nodes;         // hidraw nodes of devices with a wanted id
    std::vector<std::string> ruleFiles; // rule files that name a wanted id
    // A file of the packaged rule's name in /etc or /run that hides the package's
    // own (udev reads one file per name): {the hiding file, the hidden one}.
    std::optional<std::pair<std::string, std::string>> hiddenPackagedRule;
    bool udevRunning = false;
};

// Opens a device node for reading and writing and closes it again: 0, or errno.
using OpenProbe = std::function<int(const std::string& path)>;
int openProbe(const std::string& path);

// Scans the system for USB devices and the hidraw nodes of devices with `wanted` ids.
SystemView scanSystem(const SystemRoots& roots, const std::vector<UsbId>& wanted,
                      const OpenProbe& probe = openProbe);

// The ids to look for, read from RFIDUSB_DEVICE as the USB library reads it (the
// same parser): its id when it holds a valid "vvvv:pppp[:i]", else the library's
// built-in list. A value that is set but not valid is ignored by both; `ignored`
// then holds it and `why` what is wrong with it.
struct WantedReaders {
    std::vector<UsbId> ids;
    std::string ignored;
    std::string why;
};
WantedReaders wantedReaders(const char* deviceEnv);
std::vector<UsbId> wantedIds(const char* deviceEnv);

// What the check needs from the USB library.
struct LibraryAccess {
    struct Reader {
        std::string key; // what selects it (serial, else path)
        std::string path;
        std::string label;  // for people
        std::string access; // "ok", "denied", "busy", ... or empty
    };
    virtual ~LibraryAccess() = default;
    virtual std::string fileName() = 0;
    virtual bool loaded() = 0;
    // nullopt when the library cannot list readers.
    virtual std::optional<std::vector<Reader>> readers() = 0;
    virtual bool select(const std::string& key) = 0;
    // Writes `frame` and reads the answer: -1 when the write failed, else the answer
    // (empty when none came).
    virtual std::optional<std::vector<std::uint8_t>> exchange(const std::vector<std::uint8_t>& frame) = 0;
    // hidLastError: kind and text; nullopt when the library cannot say.
    virtual std::optional<std::pair<LinkError, std::string>> lastError() = 0;
};

enum class Verdict { Answering, NoLibrary, NoReader, NoAccess, KeyboardOnly, Busy, NoAnswer, IoError };

struct Finding {
    bool problem = true;
    std::string title;
    std::vector<std::string> details;
    std::vector<std::string> actions; // commands or steps, one per line
};

struct Report {
    Verdict verdict = Verdict::NoReader;
    std::string version;                     // the reader's version text when it answered
    std::string readerLabel;                 // the reader that was asked
    std::vector<std::string> libraryReaders; // the readers the library lists, as text
    std::vector<Finding> findings;
    bool answered() const { return verdict == Verdict::Answering; }
};

// Runs the check. `device` chooses the reader to ask (path or serial; empty: the
// library's choice). The version command goes to the reader.
Report diagnose(LibraryAccess& library, const SystemRoots& roots, const std::vector<UsbId>& wanted,
                const std::string& device = {}, const OpenProbe& probe = openProbe);
// The same, saying first when RFIDUSB_DEVICE was ignored.
Report diagnose(LibraryAccess& library, const SystemRoots& roots, const WantedReaders& wanted,
                const std::string& device = {}, const OpenProbe& probe = openProbe);

// The report as text, the same in the window and in rfidctl.
std::string formatReport(const Report& report);

// Text from a device, another process or the USB library as the report shows it:
// core's printableDeviceText, as rfidctl and the station show device text, so
// that it can neither drive the terminal nor pass for a line of the report.
std::string escapedText(const std::string& text);

// The udev rule line for one reader id, and the commands that install it.
std::string udevRuleLine(UsbId id);
std::vector<std::string> ruleInstallCommands(const std::vector<UsbId>& ids);

} // namespace rfid::doctor
