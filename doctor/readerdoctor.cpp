#include "readerdoctor.h"
#include "windowsterms.h"

#include "answer.h"
#include "devicetext.h"
#include "frame.h"

#include "hid_descriptor.h"
#include "reader_ids.h"
#include "rfidusb_core.h"
#include "version.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>

#if defined(__unix__) || defined(__APPLE__)
#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace fs = std::filesystem;

namespace rfid::doctor {

std::string escapedText(const std::string& text) {
    return printableDeviceBytes(QByteArray::fromStdString(text)).toStdString();
}

namespace {

std::string readText(const fs::path& file, std::size_t limit = 4096) {
    std::ifstream in(file, std::ios::binary);
    if (!in)
        return {};
    std::string text(limit, '\0');
    in.read(text.data(), static_cast<std::streamsize>(limit));
    text.resize(static_cast<std::size_t>(in.gcount()));
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' '))
        text.pop_back();
    return text;
}

std::optional<unsigned> parseHex(const std::string& s) {
    if (s.empty() || s.size() > 8)
        return std::nullopt;
    unsigned v = 0;
    for (char c : s) {
        v <<= 4;
        if (c >= '0' && c <= '9')
            v |= unsigned(c - '0');
        else if (c >= 'a' && c <= 'f')
            v |= unsigned(c - 'a' + 10);
        else if (c >= 'A' && c <= 'F')
            v |= unsigned(c - 'A' + 10);
        else
            return std::nullopt;
    }
    return v;
}

std::string hex4(unsigned v) {
    char buf[8];
    std::snprintf(buf, sizeof buf, "%04x", v & 0xFFFF);
    return buf;
}

std::string idText(UsbId id) {
    return hex4(id.vendor) + ':' + hex4(id.product);
}

bool wantedId(const std::vector<UsbId>& wanted, UsbId id) {
    return std::any_of(wanted.begin(), wanted.end(),
                       [&](const UsbId& w) { return w.vendor == id.vendor && w.product == id.product; });
}

std::vector<fs::path> listDir(const fs::path& dir) {
    std::vector<fs::path> out;
    std::error_code ec;
    for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec))
        out.push_back(it->path());
    std::sort(out.begin(), out.end());
    return out;
}

std::string lsusbLine(const UsbDevice& d) {
    char head[64];
    std::snprintf(head, sizeof head, "Bus %03d Device %03d: ID ", d.bus, d.device);
    std::string line = head + idText(d.id);
    // The device's own texts: shown escaped, never acted on by a terminal.
    std::string name = escapedText(d.manufacturer);
    if (!d.product.empty())
        name += (name.empty() ? "" : " ") + escapedText(d.product);
    return name.empty() ? line : line + ' ' + name;
}

void scanUsb(const SystemRoots& roots, const std::vector<UsbId>& wanted, SystemView& view) {
    for (const fs::path& dir : listDir(fs::path(roots.sys) / "bus/usb/devices")) {
        if (dir.filename().string().find(':') != std::string::npos)
            continue; // an interface, not a device
        const auto vendor = parseHex(readText(dir / "idVendor"));
        const auto product = parseHex(readText(dir / "idProduct"));
        if (!vendor || !product)
            continue;
        UsbDevice d;
        d.id = {std::uint16_t(*vendor), std::uint16_t(*product)};
        d.bus = std::atoi(readText(dir / "busnum").c_str());
        d.device = std::atoi(readText(dir / "devnum").c_str());
        d.manufacturer = readText(dir / "manufacturer", 256);
        d.product = readText(dir / "product", 256);
        view.usb.push_back(d);
        if (wantedId(wanted, d.id))
            view.knownUsb.push_back(d);
    }
    std::sort(view.usb.begin(), view.usb.end(), [](const UsbDevice& a, const UsbDevice& b) {
        return std::make_pair(a.bus, a.device) < std::make_pair(b.bus, b.device);
    });
}

// "0003:000004D8:0000003F" from the HID device's uevent.
std::optional<UsbId> hidId(const fs::path& hidDevice) {
    std::istringstream in(readText(hidDevice / "uevent"));
    for (std::string line; std::getline(in, line);) {
        if (line.rfind("HID_ID=", 0) != 0)
            continue;
        const std::string v = line.substr(7);
        const auto first = v.find(':');
        const auto second = v.find(':', first + 1);
        if (first == std::string::npos || second == std::string::npos)
            return std::nullopt;
        const auto vendor = parseHex(v.substr(first + 1, second - first - 1));
        const auto product = parseHex(v.substr(second + 1));
        if (!vendor || !product)
            return std::nullopt;
        return UsbId{std::uint16_t(*vendor), std::uint16_t(*product)};
    }
    return std::nullopt;
}

std::string ownerText(const std::string& path) {
#if defined(__unix__) || defined(__APPLE__)
    struct stat st;
    if (::stat(path.c_str(), &st) != 0)
        return {};
    const passwd* pw = ::getpwuid(st.st_uid);
    const group* gr = ::getgrgid(st.st_gid);
    char mode[8];
    std::snprintf(mode, sizeof mode, "%04o", unsigned(st.st_mode & 07777));
    return std::string(pw ? pw->pw_name : std::to_string(st.st_uid)) + ':' +
           (gr ? gr->gr_name : std::to_string(st.st_gid)) + ' ' + mode;
#else
    (void)path;
    return {};
#endif
}

std::vector<std::string> holdersOf(const SystemRoots& roots, const std::string& devPath) {
    std::vector<std::string> out;
#if defined(__unix__) || defined(__APPLE__)
    const std::string self = std::to_string(::getpid());
    for (const fs::path& proc : listDir(roots.proc)) {
        const std::string pid = proc.filename().string();
        if (pid.empty() ||
            !std::all_of(pid.begin(), pid.end(), [](char c) { return c >= '0' && c <= '9'; }) || pid == self)
            continue;
        for (const fs::path& fd : listDir(proc / "fd")) {
            std::error_code ec;
            const fs::path target = fs::read_symlink(fd, ec);
            if (!ec && target == devPath) {
                // Any program may name itself anything: shown escaped.
                out.push_back(pid + " (" + escapedText(readText(proc / "comm", 64)) + ")");
                break;
            }
        }
        if (out.size() >= 8)
            break;
    }
#else
    (void)roots;
    (void)devPath;
#endif
    return out;
}

void scanHidraw(const SystemRoots& roots, const std::vector<UsbId>& wanted, const OpenProbe& probe,
                SystemView& view) {
    for (const fs::path& entry : listDir(fs::path(roots.sys) / "class/hidraw")) {
        std::error_code ec;
        const fs::path hidDevice = fs::canonical(entry / "device", ec);
        if (ec)
            continue;
        const auto id = hidId(hidDevice);
        if (!id || !wantedId(wanted, *id))
            continue;
        HidNode node;
        node.name = entry.filename().string();
        node.devPath = (fs::path(roots.dev) / node.name).string();
        node.id = *id;
        const std::string iface = readText(hidDevice.parent_path() / "bInterfaceNumber");
        if (const auto n = parseHex(iface))
            node.interfaceNumber = int(*n);
        node.devNumber = readText(entry / "dev");

        std::ifstream in(hidDevice / "report_descriptor", std::ios::binary);
        std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                                        std::istreambuf_iterator<char>());
        if (const auto parsed = rfidusb::parseReportDescriptor(bytes.data(), bytes.size())) {
            node.descriptorRead = true;
            for (const auto& c : parsed->collections)
                if (c.usagePage == 0x01 && c.usage == 0x06)
                    node.keyboard = true;
            node.command = rfidusb::commandLayout(*parsed, 0xFF00, 0x01).has_value();
        }

        std::error_code existsError;
        node.nodeExists = fs::exists(node.devPath, existsError);
        node.openError = node.nodeExists ? probe(node.devPath) : ENOENT;
        node.ownerText = ownerText(node.devPath);
        if (!node.devNumber.empty()) {
            const std::string db =
                readText(fs::path(roots.run) / "udev/data" / ("c" + node.devNumber), 65536);
            node.udevKnows = !db.empty();
            std::istringstream lines(db);
            for (std::string line; std::getline(lines, line);)
                if (line == "G:uaccess" || line == "Q:uaccess")
                    node.uaccessTagged = true;
        }
        node.holders = holdersOf(roots, node.devPath);
        view.nodes.push_back(node);
    }
}

// Whether a rule file is masked: a link to /dev/null or an empty file, as udev
// takes it.
bool maskedRuleFile(const fs::path& file) {
    std::error_code ec;
    if (fs::is_symlink(file, ec) && fs::read_symlink(file, ec) == "/dev/null")
        return true;
    const auto status = fs::status(file, ec);
    if (ec)
        return false;
    return fs::is_character_file(status) || (fs::is_regular_file(status) && fs::file_size(file, ec) == 0);
}

// Whether one rule of `text` names both ids of `id`. udev's syntax: a line whose
// first non-blank is '#' is a comment, a trailing backslash continues the rule.
bool ruleNames(const std::string& text, UsbId id) {
    const std::string vendor = '"' + hex4(id.vendor) + '"';
    const std::string product = '"' + hex4(id.product) + '"';
    std::istringstream in(text);
    std::string rule;
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        // A comment line is skipped whole, within a continued rule too.
        const auto first = line.find_first_not_of(" \t");
        if (first != std::string::npos && line[first] == '#')
            continue;
        const bool continued = !line.empty() && line.back() == '\\';
        if (continued)
            line.pop_back();
        rule += line;
        if (continued)
            continue;
        std::transform(rule.begin(), rule.end(), rule.begin(),
                       [](unsigned char c) { return std::tolower(c); });
        if (rule.find(vendor) != std::string::npos && rule.find(product) != std::string::npos)
            return true;
        rule.clear();
    }
    return false;
}

// The rule files udev reads, as it reads them: by file name, a file in an earlier
// folder hiding every file of that name in the later ones (so that /etc overrides
// and masks what the package installed), masked files counting for nothing.
void scanRules(const SystemRoots& roots, const std::vector<UsbId>& wanted, SystemView& view) {
    std::set<std::string> seenDirs;
    std::map<std::string, fs::path> firstOfName;
    std::vector<fs::path> chosen;
    for (const fs::path& dir :
         {fs::path(roots.etc) / "udev/rules.d", fs::path(roots.run) / "udev/rules.d",
          fs::path(roots.usr) / "local/lib/udev/rules.d", fs::path(roots.usr) / "lib/udev/rules.d",
          fs::path(roots.lib) / "udev/rules.d"}) {
        std::error_code ec;
        const fs::path real = fs::canonical(dir, ec);
        if (ec || !seenDirs.insert(real.string()).second)
            continue;
        for (const fs::path& file : listDir(dir)) {
            if (file.extension() != ".rules")
                continue;
            const auto [first, isFirst] = firstOfName.emplace(file.filename().string(), file);
            if (isFirst && !maskedRuleFile(file))
                chosen.push_back(file);
            else if (!isFirst && file.filename() == rfidusb::kUdevRuleFile && !view.hiddenPackagedRule)
                view.hiddenPackagedRule = std::make_pair(first->second.string(), file.string());
        }
    }
    for (const fs::path& file : chosen) {
        const std::string text = readText(file, 65536);
        if (std::any_of(wanted.begin(), wanted.end(), [&](const UsbId& id) { return ruleNames(text, id); }))
            view.ruleFiles.push_back(file.string());
    }
}

// A complete answer frame; nothing for bytes that are not one.
std::optional<rfid::Answer> completeAnswer(const std::vector<std::uint8_t>& bytes) {
    rfid::Answer a = readAnswer(bytes);
    if (!a.complete)
        return std::nullopt;
    return a;
}

std::string hexBytes(const std::vector<std::uint8_t>& bytes) {
    std::string out;
    for (std::uint8_t b : bytes) {
        char buf[4];
        std::snprintf(buf, sizeof buf, out.empty() ? "%02X" : " %02X", b);
        out += buf;
    }
    return out;
}

const std::vector<std::uint8_t> kVersionFrame = protocol::commandFrame(0x00, {protocol::kReadVersion});

std::string idList(const std::vector<UsbId>& ids) {
    std::string out;
    for (const UsbId& id : ids)
        out += (out.empty() ? "" : ", ") + idText(id);
    return out;
}

// Where the check tells the user to add a rule: a file of its own, appended to,
// so that it neither masks the packaged rule (a file of the same name in /etc
// hides the one in /usr/lib) nor replaces lines the user added before.
const std::string kRuleTarget = "/etc/udev/rules.d/60-rfid-reader-local.rules";

class Diagnosis {
public:
    Diagnosis(LibraryAccess& library, const SystemRoots& roots, const std::vector<UsbId>& wanted,
              const std::string& device, const OpenProbe& probe)
        : lib_(library), roots_(roots), wanted_(wanted), device_(device), probe_(probe) {}

    Report run() {
        sys_ = scanSystem(roots_, wanted_, probe_);
        if (!lib_.loaded()) {
            Finding f;
            f.title = "The USB library " + escapedText(lib_.fileName()) + " could not be loaded.";
            f.details.push_back("Without it the program cannot reach any reader.");
            f.actions.push_back("Install the rfid-demo package, or start the program from the build tree "
                                "with scripts/run.sh.");
            f.actions.push_back("LD_LIBRARY_PATH may name the directory that holds " +
                                escapedText(lib_.fileName()) + ".");
            report_.verdict = Verdict::NoLibrary;
            report_.findings.push_back(f);
            return report_;
        }
        const auto readers = lib_.readers();
        if (readers)
            for (const auto& r : *readers)
                report_.libraryReaders.push_back(
                    escapedText(r.label) +
                    (r.access.empty() ? "" : "  [access: " + escapedText(r.access) + "]"));
        if (!device_.empty()) {
            const bool known = readers && std::any_of(readers->begin(), readers->end(), [&](const auto& r) {
                                   return r.key == device_ || r.path == device_;
                               });
            if (!lib_.select(device_) || (readers && !known)) {
                noSuchDevice();
                return report_;
            }
        }
        if (readers) {
            auto it = std::find_if(readers->begin(), readers->end(),
                                   [&](const auto& r) { return r.key == device_ || r.path == device_; });
            if (it == readers->end() && !readers->empty())
                it = readers->begin();
            if (it != readers->end()) {
                report_.readerLabel = escapedText(it->label);
                chosenPath_ = it->path;
            }
        }

        const auto answer = lib_.exchange(kVersionFrame);
        const auto error = lib_.lastError();
        if (answer && !answer->empty()) {
            if (const auto a = completeAnswer(*answer)) {
                answering(*a);
                return report_;
            }
        }
        decide(answer, error);
        return report_;
    }

private:
    std::string label() const { return report_.readerLabel.empty() ? "the reader" : report_.readerLabel; }

    void noSuchDevice() {
        Finding f;
        f.title = "No reader with the path or serial number \"" + escapedText(device_) + "\" is attached.";
        if (report_.libraryReaders.empty())
            f.details.push_back("The library lists no readers.");
        else
            f.details.push_back("The library lists: " + joined(report_.libraryReaders) + ".");
        f.actions.push_back("List the readers with: rfidctl list");
        report_.verdict = Verdict::NoReader;
        report_.findings.push_back(f);
    }

    static std::string joined(const std::vector<std::string>& items) {
        std::string out;
        for (const auto& s : items)
            out += (out.empty() ? "" : "; ") + s;
        return out;
    }

    void answering(const rfid::Answer& a) {
        Finding f;
        f.problem = false;
        report_.verdict = Verdict::Answering;
        if (a.statusByte == protocol::kStatusSuccess) {
            report_.version = printableDeviceText(versionText(a)).toStdString();
            f.title = "The reader answers: " + label() + ", version \"" + report_.version + "\".";
        } else {
            f.title = "The reader answers: " + label() + ".";
            char buf[96];
            std::snprintf(buf, sizeof buf, "It refused the version command (status %02X%s%s).", a.statusByte,
                          a.payload.empty() ? "" : ", code ",
                          a.payload.empty() ? "" : hexBytes({a.payload[0]}).c_str());
            f.details.push_back(buf);
        }
        report_.findings.push_back(f);
    }

    const HidNode* node(bool (*pred)(const HidNode&)) const {
        const HidNode* fallback = nullptr;
        for (const auto& n : sys_.nodes)
            if (pred(n)) {
                if (n.devPath == chosenPath_)
                    return &n;
                if (!fallback)
                    fallback = &n;
            }
        return fallback;
    }

    void decide(const std::optional<std::vector<std::uint8_t>>& answer,
                const std::optional<std::pair<LinkError, std::string>>& error) {
        // What the library's kind says; a library that cannot say leaves it to the system's nodes.
        const std::optional<LinkError> kind = error ? std::optional<LinkError>(error->first) : std::nullopt;
        libraryText_ = error ? escapedText(error->second) : std::string();
        const HidNode* denied = node(
            [](const HidNode& n) { return n.command && (n.openError == EACCES || n.openError == EPERM); });
        const HidNode* busy = node([](const HidNode& n) { return n.command && n.openError == EBUSY; });
        const bool anyCommand = node([](const HidNode& n) { return n.command; }) != nullptr;
        const bool keyboardOnly = !anyCommand && node([](const HidNode& n) { return n.keyboard; }) != nullptr;

        if (kind == LinkError::Permission || (!kind && !answer && denied))
            noAccess(denied);
        else if (kind == LinkError::Busy || (!kind && !answer && busy))
            busyReader(busy);
        else if (kind == LinkError::Timeout || (!kind && answer))
            noAnswer(answer);
        else if (kind == LinkError::Io)
            ioError();
        else if (denied)
            noAccess(denied);
        else if (keyboardOnly)
            keyboardOnlyReader();
        else
            noReader();
    }

    void addLibraryText(Finding& f) const {
        if (!libraryText_.empty())
            f.details.push_back("The USB library says: " + libraryText_);
    }

    std::vector<UsbId> ruleIds(const HidNode* n) const { return n ? std::vector<UsbId>{n->id} : wanted_; }

    void noAccess(const HidNode* n) {
        Finding f;
        report_.verdict = Verdict::NoAccess;
        const std::string nodePath = n ? n->devPath : chosenPath_;
        f.title =
            n ? "The reader " + idText(n->id) + " is attached, but this user may not open " + nodePath + "."
              : "A reader is attached, but this user may not open it.";
        if (n && !n->ownerText.empty())
            f.details.push_back(nodePath + ": owner and mode " + n->ownerText + ".");
        addLibraryText(f);
        if (sys_.ruleFiles.empty())
            f.details.push_back(
                std::string("udev rule: not installed (no rule file in /etc/udev/rules.d, "
                            "/usr/lib/udev/rules.d or /lib/udev/rules.d names the reader's id)."));
        else
            f.details.push_back("udev rule: installed in " + joined(sys_.ruleFiles) + ".");
        if (sys_.hiddenPackagedRule)
            f.details.push_back(sys_.hiddenPackagedRule->first + " hides the package's rule " +
                                sys_.hiddenPackagedRule->second + " (udev reads one file of a name): move " +
                                "your own lines to " + kRuleTarget + " and remove it.");
        const bool udev = sys_.udevRunning;
        if (!udev)
            f.details.push_back("udev rule applied: no, udev does not run on this system.");
        else if (n && n->uaccessTagged)
            f.details.push_back("udev rule applied: yes (" + nodePath +
                                " is tagged for the logged-in user).");
        else
            f.details.push_back("udev rule applied: no (" + nodePath +
                                " is not tagged for the logged-in user).");

        if (sys_.ruleFiles.empty()) {
            for (const std::string& c : ruleInstallCommands(ruleIds(n)))
                f.actions.push_back(c);
            f.actions.push_back("Then unplug the reader and plug it in again.");
        } else if (!(n && n->uaccessTagged)) {
            f.actions.push_back("sudo udevadm control --reload && sudo udevadm trigger");
            f.actions.push_back("Or unplug the reader and plug it in again.");
        } else {
            f.actions.push_back(
                "The rule gives access to the user logged in at this computer's screen. Over ssh or "
                "from a service, give a group access instead: add GROUP=\"plugdev\", MODE=\"0660\" "
                "to the rule and add the user to that group.");
        }
        report_.findings.push_back(f);
    }

    void busyReader(const HidNode* n) {
        Finding f;
        report_.verdict = Verdict::Busy;
        f.title = "The reader " + label() + " is busy: another program holds it.";
        addLibraryText(f);
        std::vector<std::string> holders;
        for (const auto& node : sys_.nodes)
            if (!n || node.devPath == n->devPath)
                holders.insert(holders.end(), node.holders.begin(), node.holders.end());
        if (!holders.empty())
            f.details.push_back("Held open by: " + joined(holders) + ".");
        f.actions.push_back("Close the other program (another rfid-demo or rfidctl, a terminal or HID tool) "
                            "and run the check again.");
        report_.findings.push_back(f);
    }

    void noAnswer(const std::optional<std::vector<std::uint8_t>>& answer) {
        Finding f;
        report_.verdict = Verdict::NoAnswer;
        f.title = "The reader " + label() + " was opened but does not answer the version command.";
        f.details.push_back("Sent " + hexBytes(kVersionFrame) + "; " +
                            (answer && !answer->empty()
                                 ? "what came back is not an answer frame: " + hexBytes(*answer)
                                 : std::string("no answer came within the timeout.")));
        addLibraryText(f);
        f.actions.push_back("Unplug the reader and plug it in again, then run the check again.");
        f.actions.push_back("Make sure no other program talks to the reader at the same time.");
        f.actions.push_back("See the reports it sends and receives: RFIDUSB_TRACE=1 rfidctl doctor");
        f.actions.push_back(
            "A reader with other report sizes: try RFIDUSB_REPORT_SIZE=32 (or 8) rfidctl doctor");
        report_.findings.push_back(f);
    }

    void ioError() {
        Finding f;
        report_.verdict = Verdict::IoError;
        f.title = "Reading from or writing to the reader " + label() + " failed.";
        addLibraryText(f);
        f.actions.push_back(
            "Unplug the reader and plug it in again (directly, not through an unpowered hub).");
        f.actions.push_back("See what the kernel says: sudo dmesg | tail");
        report_.findings.push_back(f);
    }

    void keyboardOnlyReader() {
        Finding f;
        report_.verdict = Verdict::KeyboardOnly;
        std::vector<std::string> nodes;
        UsbId id;
        for (const auto& n : sys_.nodes) {
            nodes.push_back(n.devPath);
            id = n.id;
        }
        f.title = "Only a keyboard interface of the reader " + idText(id) + " is visible (" + joined(nodes) +
                  "); it has no command interface.";
        f.details.push_back("The library never sends commands to a keyboard interface.");
        addLibraryText(f);
        f.actions.push_back("This reader may be a model that cannot be set up over USB, or one switched to "
                            "keyboard-only output; see its manual.");
        f.actions.push_back("If its command interface has another id or interface number, pass it: "
                            "RFIDUSB_DEVICE=vvvv:pppp:interface rfidctl doctor");
        report_.findings.push_back(f);
    }

    void noReader() {
        Finding f;
        report_.verdict = Verdict::NoReader;
        f.title = "No reader with a known id is attached.";
        f.details.push_back("The library looks for the ids " + idList(wanted_) + ".");
        addLibraryText(f);
        if (!sys_.knownUsb.empty() && sys_.nodes.empty()) {
            f.details.push_back("A USB device with such an id is attached (" +
                                lsusbLine(sys_.knownUsb.front()) +
                                ") but has no hidraw node: no HID driver took it.");
            f.actions.push_back(
                "Unplug it and plug it in again; see what the kernel says: sudo dmesg | tail");
        }
        if (!sys_.sysfsAvailable) {
            f.details.push_back("The USB devices of this system cannot be listed here (no sysfs).");
        } else if (sys_.usb.empty()) {
            f.details.push_back("No USB devices are attached (lsusb shows none).");
        } else {
            f.details.push_back("USB devices attached (as lsusb shows them):");
            for (const auto& d : sys_.usb)
                f.details.push_back("  " + lsusbLine(d));
        }
        f.actions.push_back("Plug the reader in and run the check again.");
        f.actions.push_back(
            "If your reader shows up in lsusb under another id, pass that id: "
            "RFIDUSB_DEVICE=vvvv:pppp rfidctl doctor (the same variable works for rfid-demo)");
        report_.findings.push_back(f);
    }

    LibraryAccess& lib_;
    const SystemRoots& roots_;
    const std::vector<UsbId>& wanted_;
    std::string device_;
    const OpenProbe& probe_;
    SystemView sys_;
    Report report_;
    std::string chosenPath_;
    std::string libraryText_;
};

} // namespace

int openProbe(const std::string& path) {
#if defined(__unix__) || defined(__APPLE__)
    const int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return errno;
    ::close(fd);
    return 0;
#else
    (void)path;
    return 0;
#endif
}

SystemView scanSystem(const SystemRoots& roots, const std::vector<UsbId>& wanted, const OpenProbe& probe) {
    SystemView view;
    std::error_code ec;
    // A system with sysfs but without a USB controller has no bus/usb at all:
    // that is "no USB devices", not "cannot be listed".
    view.sysfsAvailable = fs::is_directory(fs::path(roots.sys) / "bus", ec);
    view.udevRunning = fs::exists(fs::path(roots.run) / "udev/control", ec) ||
                       fs::is_directory(fs::path(roots.run) / "udev/data", ec);
    scanUsb(roots, wanted, view);
    scanHidraw(roots, wanted, probe, view);
    scanRules(roots, wanted, view);
    return view;
}

WantedReaders wantedReaders(const char* deviceEnv) {
    WantedReaders out;
    if (deviceEnv && *deviceEnv) {
        std::string why;
        if (const auto id = rfidusb::parseDeviceId(deviceEnv, &why)) {
            out.ids.push_back({id->vendor, id->product});
            return out;
        }
        out.ignored = deviceEnv;
        out.why = why;
    }
    for (const auto& id : rfidusb::kKnownReaderIds)
        out.ids.push_back({id.vendor, id.product});
    return out;
}

std::vector<UsbId> wantedIds(const char* deviceEnv) {
    return wantedReaders(deviceEnv).ids;
}

Report diagnose(LibraryAccess& library, const SystemRoots& roots, const std::vector<UsbId>& wanted,
                const std::string& device, const OpenProbe& probe) {
    Report report = Diagnosis(library, roots, wanted, device, probe).run();
#ifdef _WIN32
    useWindowsTerms(report);
#endif
    return report;
}

Report diagnose(LibraryAccess& library, const SystemRoots& roots, const WantedReaders& wanted,
                const std::string& device, const OpenProbe& probe) {
    Report report = diagnose(library, roots, wanted.ids, device, probe);
    if (!wanted.ignored.empty()) {
        Finding f;
        f.title = "RFIDUSB_DEVICE=\"" + escapedText(wanted.ignored) + "\" is ignored: " + wanted.why + ".";
        f.details.push_back("The USB library and this check look for the built-in ids " + idList(wanted.ids) +
                            " instead.");
        f.actions.push_back("Set it to vvvv:pppp or vvvv:pppp:interface (hex ids, decimal interface), "
                            "e.g. RFIDUSB_DEVICE=04d8:003f, or unset it.");
        report.findings.insert(report.findings.begin(), f);
    }
    return report;
}

// The packaged rule's form: the reader's command interface only (a hidraw node
// with no input device beside it), never its keyboard interface, whose node
// would let any program read the card numbers it types.
std::string udevRuleLine(UsbId id) {
    return "SUBSYSTEM==\"hidraw\", ATTRS{idVendor}==\"" + hex4(id.vendor) + "\", ATTRS{idProduct}==\"" +
           hex4(id.product) + "\", TEST!=\"../../input\", TAG+=\"uaccess\"";
}

std::vector<std::string> ruleInstallCommands(const std::vector<UsbId>& ids) {
    std::vector<std::string> out;
    for (const UsbId& id : ids)
        out.push_back("echo '" + udevRuleLine(id) + "' | sudo tee -a " + kRuleTarget);
    out.push_back("sudo udevadm control --reload && sudo udevadm trigger");
    return out;
}

std::string formatReport(const Report& report) {
    std::string out;
    if (report.libraryReaders.empty()) {
        out += "Readers the USB library lists: none\n";
    } else {
        out += "Readers the USB library lists:\n";
        for (std::size_t i = 0; i < report.libraryReaders.size(); ++i)
            out += "  " + std::to_string(i + 1) + ". " + report.libraryReaders[i] + '\n';
    }
    for (const Finding& f : report.findings) {
        out += '\n';
        out += (f.problem ? "PROBLEM: " : "OK: ") + f.title + '\n';
        for (const auto& d : f.details)
            out += "  " + d + '\n';
        if (!f.actions.empty()) {
            out += "  What to do:\n";
            for (const auto& a : f.actions)
                out += "    " + a + '\n';
        }
    }
    return out;
}

} // namespace rfid::doctor
