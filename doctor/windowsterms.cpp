#include "windowsterms.h"

#include <algorithm>
#include <regex>

namespace rfid::doctor {

namespace {

const char kDeviceManager[] =
    "Open Device Manager (devmgmt.msc): the reader shows under \"Human Interface Devices\"; a warning mark "
    "means its driver did not start, and its Properties say why.";

bool mentionsAny(const std::string& text, std::initializer_list<const char*> words) {
    return std::any_of(words.begin(), words.end(),
                       [&](const char* w) { return text.find(w) != std::string::npos; });
}

// "... RFIDUSB_TRACE=1 rfidctl doctor" -> "... set RFIDUSB_TRACE=1, then run rfidctl doctor".
std::string withSet(const std::string& action) {
    static const std::regex prefix(R"((RFIDUSB_[A-Z_]+=[^ ,]+(?: \([^)]*\))?) (rfidctl [a-z]+))");
    return std::regex_replace(action, prefix, "set $1, then run $2");
}

std::vector<std::string> windowsActions(const Finding& f, Verdict verdict) {
    switch (verdict) {
    case Verdict::NoLibrary:
        return {"Install the program again: its installer puts usb.dll beside rfid-demo.exe and rfidctl.exe.",
                "Windows looks for usb.dll in the program's folder first, then in the folders on PATH."};
    case Verdict::NoAccess:
        return {"Close any other program that may hold the reader (another rfid-demo or rfidctl, a HID tool) "
                "and run the check again.",
                kDeviceManager,
                "Windows lets no program write to a keyboard interface: the reader's command interface "
                "must show as a HID device of its own."};
    default:
        break;
    }
    std::vector<std::string> out;
    for (const std::string& a : f.actions) {
        if (mentionsAny(a, {"dmesg"}))
            out.push_back(std::string("Unplug the reader and plug it in again. ") + kDeviceManager);
        else if (mentionsAny(a, {"lsusb"}))
            out.push_back(
                "If Device Manager shows your reader under another id (its Properties, Details, "
                "Hardware Ids: VID_vvvv&PID_pppp), pass that id: set RFIDUSB_DEVICE=vvvv:pppp, then "
                "run rfidctl doctor (the same variable works for rfid-demo)");
        else if (!mentionsAny(a, {"udev", "sudo", "plugdev", "LD_LIBRARY_PATH"}))
            out.push_back(withSet(a));
    }
    return out;
}

} // namespace

void useWindowsTerms(Report& report) {
    for (Finding& f : report.findings) {
        std::vector<std::string> details;
        bool listing = false; // the indented lines under a dropped heading go too
        for (const std::string& d : f.details) {
            const bool linuxOnly =
                mentionsAny(d, {"udev", "sysfs", "lsusb", "hidraw", "owner and mode", "/dev/"});
            if (linuxOnly || (listing && d.rfind("  ", 0) == 0)) {
                listing = listing || linuxOnly;
                continue;
            }
            listing = false;
            details.push_back(d);
        }
        if (f.problem && report.verdict == Verdict::NoReader)
            details.push_back("Device Manager (devmgmt.msc) lists the attached USB devices under \"Human "
                              "Interface Devices\" and \"Universal Serial Bus controllers\".");
        f.details = details;
        f.actions = windowsActions(f, report.verdict);
    }
}

} // namespace rfid::doctor
