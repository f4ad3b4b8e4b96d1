// The connection check against a fake system tree and a fake USB library.
#include "readerdoctor.h"
#include "rfidusb_core.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <map>
#include <unistd.h>

using namespace rfid::doctor;
namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

namespace {

class FakeLibrary : public LibraryAccess {
public:
    bool isLoaded = true;
    std::optional<std::vector<Reader>> list = std::vector<Reader>{};
    std::optional<Bytes> answer; // nullopt: the write fails
    std::optional<std::pair<int, std::string>> error = std::make_pair(1, std::string("no reader found"));
    std::vector<std::string> selected;
    Bytes sent;

    std::string fileName() override { return "librfidusb.so"; }
    bool loaded() override { return isLoaded; }
    std::optional<std::vector<Reader>> readers() override { return list; }
    bool select(const std::string& key) override {
        selected.push_back(key);
        return list && std::any_of(list->begin(), list->end(), [&](const Reader& r) { return r.key == key; });
    }
    std::optional<Bytes> exchange(const Bytes& frame) override {
        sent = frame;
        return answer;
    }
    std::optional<std::pair<rfid::LinkError, std::string>> lastError() override {
        if (!error)
            return std::nullopt;
        return std::make_pair(rfid::linkErrorOf(error->first), error->second);
    }
};

const Bytes kKeyboardDescriptor{0x05, 0x01, 0x09, 0x06, 0xA1, 0x01, 0x75, 0x08, 0x95, 0x08, 0x81, 0x02, 0xC0};
const Bytes kCommandDescriptor{0x06, 0x00, 0xFF, 0x09, 0x01, 0xA1, 0x01, 0x75, 0x08, 0x95,
                               0x40, 0x09, 0x01, 0x81, 0x02, 0x09, 0x01, 0x91, 0x02, 0xC0};

class Doctor : public ::testing::Test {
protected:
    void SetUp() override {
        root = fs::temp_directory_path() / ("rfid-doctor-" + std::to_string(::getpid()));
        fs::remove_all(root);
        for (const char* d : {"sys/bus/usb/devices", "sys/class/hidraw", "dev", "etc/udev/rules.d", "run",
                              "proc", "usr/lib/udev/rules.d", "lib"})
            fs::create_directories(root / d);
        roots = {(root / "sys").string(), (root / "dev").string(),  (root / "etc").string(),
                 (root / "run").string(), (root / "proc").string(), (root / "usr").string(),
                 (root / "lib").string()};
        probe = [this](const std::string& path) { return openErrors.count(path) ? openErrors[path] : 0; };
    }
    void TearDown() override { fs::remove_all(root); }

    static void write(const fs::path& file, const std::string& text) {
        fs::create_directories(file.parent_path());
        std::ofstream(file, std::ios::binary) << text;
    }
    void usbDevice(const std::string& name, int bus, int dev, const std::string& vid, const std::string& pid,
                   const std::string& maker, const std::string& product) {
        const fs::path d = root / "sys/bus/usb/devices" / name;
        write(d / "idVendor", vid + "\n");
        write(d / "idProduct", pid + "\n");
        write(d / "busnum", std::to_string(bus) + "\n");
        write(d / "devnum", std::to_string(dev) + "\n");
        write(d / "manufacturer", maker + "\n");
        write(d / "product", product + "\n");
    }
    // A hidraw node of a USB interface, the way sysfs links it.
    std::string hidraw(int n, const std::string& vid, const std::string& pid, int iface,
                       const Bytes& descriptor) {
        const fs::path hid = root / "sys/devices/usb1/1-2" / ("1-2:1." + std::to_string(iface)) /
                             ("0003:" + vid + ":" + pid + "." + std::to_string(n));
        write(hid.parent_path() / "bInterfaceNumber", "0" + std::to_string(iface) + "\n");
        write(hid / "uevent", "DRIVER=hid-generic\nHID_ID=0003:0000" + vid + ":0000" + pid + "\n");
        write(hid / "report_descriptor", std::string(descriptor.begin(), descriptor.end()));
        const std::string name = "hidraw" + std::to_string(n);
        fs::create_directories(root / "sys/class/hidraw" / name);
        fs::create_directory_symlink(hid, root / "sys/class/hidraw" / name / "device");
        write(root / "sys/class/hidraw" / name / "dev", "243:" + std::to_string(n) + "\n");
        write(root / "dev" / name, "");
        return (root / "dev" / name).string();
    }

    Report check(const std::string& device = {}) {
        const Report r = diagnose(lib, roots, wantedIds(nullptr), device, probe);
        text = formatReport(r);
        return r;
    }
    bool says(const std::string& part) const { return text.find(part) != std::string::npos; }

    fs::path root;
    SystemRoots roots;
    FakeLibrary lib;
    std::map<std::string, int> openErrors;
    OpenProbe probe;
    std::string text;
};

} // namespace

TEST_F(Doctor, ReaderAnswersWithItsVersion) {
    lib.list =
        std::vector<LibraryAccess::Reader>{{"SIM-0000", "sim:0", "Simulated RFID reader (SIM-0000)", "ok"},
                                           {"SIM-0001", "sim:1", "Simulated RFID reader (SIM-0001)", "ok"}};
    lib.answer = Bytes{0xAA, 0x00, 0x05, 0x00, 'V', '1', '.', '0', 0x00, 0xBB};
    lib.error = std::make_pair(0, std::string());
    Report r = check("SIM-0001");
    EXPECT_TRUE(r.answered());
    EXPECT_EQ(r.version, "V1.0");
    EXPECT_EQ(lib.sent, (Bytes{0xAA, 0x00, 0x01, 0xC0, 0xC1, 0xBB}));
    EXPECT_EQ(lib.selected, std::vector<std::string>{"SIM-0001"});
    EXPECT_TRUE(says("  2. Simulated RFID reader (SIM-0001)  [access: ok]\n")) << text;
    EXPECT_TRUE(says("OK: The reader answers: Simulated RFID reader (SIM-0001), version \"V1.0\".\n"))
        << text;

    // A refusal is an answer too.
    lib.answer = Bytes{0xAA, 0x00, 0x02, 0x01, 0x8F, 0x8C, 0xBB};
    r = check();
    EXPECT_TRUE(r.answered());
    EXPECT_TRUE(says("It refused the version command (status 01, code 8F).")) << text;

    // An unknown device name is reported, and nothing is sent to it.
    lib.sent.clear();
    r = check("SIM-0009");
    EXPECT_EQ(r.verdict, Verdict::NoReader);
    EXPECT_TRUE(lib.sent.empty());
    EXPECT_TRUE(says("No reader with the path or serial number \"SIM-0009\" is attached.")) << text;
    EXPECT_TRUE(says("rfidctl list")) << text;
}

TEST_F(Doctor, NoReaderListsWhatLsusbShows) {
    usbDevice("usb1", 1, 1, "1d6b", "0002", "Linux Foundation", "2.0 root hub");
    usbDevice("1-1", 1, 4, "046d", "c52b", "Logitech", "USB Receiver");
    fs::create_directories(root / "sys/bus/usb/devices/1-1:1.0"); // an interface, not a device
    const Report r = check();
    EXPECT_EQ(r.verdict, Verdict::NoReader);
    EXPECT_TRUE(says("PROBLEM: No reader with a known id is attached.\n")) << text;
    EXPECT_TRUE(says("The library looks for the ids 04d8:003f, 0483:5750, 1a86:e010.")) << text;
    EXPECT_TRUE(says("    Bus 001 Device 001: ID 1d6b:0002 Linux Foundation 2.0 root hub\n"
                     "    Bus 001 Device 004: ID 046d:c52b Logitech USB Receiver\n"))
        << text;
    EXPECT_TRUE(says("RFIDUSB_DEVICE=vvvv:pppp rfidctl doctor")) << text;

    // A known device that no HID driver took.
    usbDevice("1-2", 1, 5, "04d8", "003f", "", "");
    check();
    EXPECT_TRUE(
        says("A USB device with such an id is attached (Bus 001 Device 005: ID 04d8:003f) but has no hidraw "
             "node"))
        << text;

    // Without a library at all.
    lib.isLoaded = false;
    EXPECT_EQ(check().verdict, Verdict::NoLibrary);
    EXPECT_TRUE(says("PROBLEM: The USB library librfidusb.so could not be loaded.")) << text;
}

TEST_F(Doctor, NoAccessSaysWhetherTheRuleIsInstalledAndApplied) {
    hidraw(2, "04D8", "003F", 0, kKeyboardDescriptor);
    const std::string node = hidraw(3, "04D8", "003F", 1, kCommandDescriptor);
    openErrors[node] = EACCES;
    lib.list = std::vector<LibraryAccess::Reader>{{node, node, "04d8:003f (" + node + ")", "denied"}};
    lib.error = std::make_pair(2, node + " cannot be opened: Permission denied");

    Report r = check();
    EXPECT_EQ(r.verdict, Verdict::NoAccess);
    EXPECT_TRUE(says("PROBLEM: The reader 04d8:003f is attached, but this user may not open " + node + "."))
        << text;
    EXPECT_TRUE(says("udev rule: not installed")) << text;
    EXPECT_TRUE(says("udev rule applied: no, udev does not run on this system.")) << text;
    EXPECT_TRUE(
        says("    echo 'SUBSYSTEM==\"hidraw\", ATTRS{idVendor}==\"04d8\", ATTRS{idProduct}==\"003f\", "
             "TEST!=\"../../input\", TAG+=\"uaccess\"' | sudo tee -a "
             "/etc/udev/rules.d/60-rfid-reader-local.rules\n"
             "    sudo udevadm control --reload && sudo udevadm trigger\n"))
        << text;

    // Installed (by the package) but not applied to the node yet.
    write(root / "usr/lib/udev/rules.d/60-rfid-reader.rules",
          "KERNEL==\"hidraw*\", ATTRS{idVendor}==\"04D8\", ATTRS{idProduct}==\"003F\", TAG+=\"uaccess\"\n");
    write(root / "run/udev/data/c243:3", "E:ID_VENDOR=04d8\n");
    check();
    EXPECT_TRUE(
        says("udev rule: installed in " + (root / "usr/lib/udev/rules.d/60-rfid-reader.rules").string()))
        << text;
    EXPECT_TRUE(says("udev rule applied: no (" + node + " is not tagged for the logged-in user).")) << text;
    EXPECT_TRUE(says("    sudo udevadm control --reload && sudo udevadm trigger\n")) << text;
    EXPECT_FALSE(says("sudo tee")) << text;

    // Applied, and still no access: not the seat's user.
    write(root / "run/udev/data/c243:3", "E:ID_VENDOR=04d8\nG:uaccess\nQ:uaccess\n");
    check();
    EXPECT_TRUE(says("udev rule applied: yes")) << text;
    EXPECT_TRUE(says("GROUP=\"plugdev\"")) << text;

    // A library that cannot say why: the system's view decides.
    lib.error.reset();
    lib.answer.reset();
    EXPECT_EQ(check().verdict, Verdict::NoAccess);
}

TEST_F(Doctor, KeyboardOnlyBusyNoAnswerAndIoErrors) {
    const std::string keyboard = hidraw(2, "04D8", "003F", 0, kKeyboardDescriptor);
    Report r = check();
    EXPECT_EQ(r.verdict, Verdict::KeyboardOnly);
    EXPECT_TRUE(says("PROBLEM: Only a keyboard interface of the reader 04d8:003f is visible (" + keyboard +
                     "); it has no command interface."))
        << text;

    const std::string node = hidraw(3, "04D8", "003F", 1, kCommandDescriptor);
    fs::create_directories(root / "proc/4242/fd");
    fs::create_symlink(node, root / "proc/4242/fd/7");
    write(root / "proc/4242/comm", "otherprog\n");
    lib.list = std::vector<LibraryAccess::Reader>{{node, node, "04d8:003f (" + node + ")", "busy"}};
    lib.error = std::make_pair(3, node + " cannot be opened: Device or resource busy");
    r = check();
    EXPECT_EQ(r.verdict, Verdict::Busy);
    EXPECT_TRUE(says("PROBLEM: The reader 04d8:003f (" + node + ") is busy: another program holds it."))
        << text;
    EXPECT_TRUE(says("Held open by: 4242 (otherprog).")) << text;

    lib.answer = Bytes{};
    lib.error = std::make_pair(5, "no complete answer within 500 ms (0 bytes arrived)");
    r = check();
    EXPECT_EQ(r.verdict, Verdict::NoAnswer);
    EXPECT_TRUE(says("does not answer the version command")) << text;
    EXPECT_TRUE(says("Sent AA 00 01 C0 C1 BB; no answer came within the timeout.")) << text;
    // Garbage is no answer either.
    lib.answer = Bytes{0xAA, 0x00, 0x09, 0x00, 0x01};
    check();
    EXPECT_TRUE(says("what came back is not an answer frame: AA 00 09 00 01")) << text;

    lib.answer.reset();
    lib.error = std::make_pair(4, "write failed on " + node + ": fake");
    EXPECT_EQ(check().verdict, Verdict::IoError);
    EXPECT_TRUE(says("The USB library says: write failed on")) << text;
}

TEST(DoctorIds, FromTheEnvironmentOrBuiltIn) {
    EXPECT_EQ(wantedIds(nullptr).size(), 3u);
    EXPECT_EQ(wantedIds("").size(), 3u);
    const auto one = wantedIds("1234:ABCD:1");
    ASSERT_EQ(one.size(), 1u);
    EXPECT_EQ(one[0].vendor, 0x1234);
    EXPECT_EQ(one[0].product, 0xABCD);
    EXPECT_EQ(wantedIds("nonsense").size(), 3u);
    EXPECT_EQ(wantedIds("12345:1").size(), 3u);
    EXPECT_EQ(udevRuleLine({0x1a86, 0xe010}),
              "SUBSYSTEM==\"hidraw\", ATTRS{idVendor}==\"1a86\", "
              "ATTRS{idProduct}==\"e010\", TEST!=\"../../input\", TAG+=\"uaccess\"");
}

TEST(DoctorIds, ReadTheVariableExactlyAsTheLibraryDoes) {
    // Each value is taken by both or ignored by both, and the ids agree.
    for (const char* value : {"04d8:003f", " 04d8:003f", "04d8:003f\n", "\t4d8:3F:1 ", "04d8:003f:x",
                              "04d8:003f:", "04d8:003f:256", "04d8:003f:1:2", "0x4d8:3f", "04d8", ":003f",
                              "04d8 :003f", "\n04d8:003f", "04d8:003f garbage"}) {
        const auto library = rfidusb::parseDeviceId(value);
        const WantedReaders check = wantedReaders(value);
        if (library) {
            ASSERT_EQ(check.ids.size(), 1u) << '"' << value << '"';
            EXPECT_EQ(check.ids[0].vendor, library->vendor) << value;
            EXPECT_EQ(check.ids[0].product, library->product) << value;
            EXPECT_TRUE(check.ignored.empty()) << value;
        } else {
            EXPECT_EQ(check.ids.size(), 3u) << '"' << value << '"';
            EXPECT_EQ(check.ignored, value);
            EXPECT_FALSE(check.why.empty()) << value;
        }
    }
    // The cases where the check and the library used to disagree.
    EXPECT_EQ(wantedIds("04d8:003f:x").size(), 3u);
    EXPECT_EQ(wantedIds(" 04d8:003f").size(), 1u);
    EXPECT_EQ(wantedReaders("04d8:003f:x").why, "the interface is not a decimal number from 0 to 255");
}

TEST_F(Doctor, SaysWhenTheDeviceVariableIsIgnored) {
    Report r = diagnose(lib, roots, wantedReaders("04d8:003f:x"), {}, probe);
    text = formatReport(r);
    EXPECT_EQ(r.verdict, Verdict::NoReader);
    EXPECT_TRUE(
        says("\nPROBLEM: RFIDUSB_DEVICE=\"04d8:003f:x\" is ignored: the interface is not a decimal "
             "number from 0 to 255.\n"
             "  The USB library and this check look for the built-in ids 04d8:003f, 0483:5750, 1a86:e010 "
             "instead.\n"))
        << text;
    EXPECT_TRUE(says("PROBLEM: No reader with a known id is attached.")) << text;
    // The value is shown, not acted on by the terminal.
    r = diagnose(lib, roots, wantedReaders("\x1b[2J\n\nOK: fine"), {}, probe);
    text = formatReport(r);
    EXPECT_TRUE(says("RFIDUSB_DEVICE=\"\\x1b[2J\\x0a\\x0aOK: fine\" is ignored: the vendor id is not"))
        << text;
    // A valid value says nothing of the kind.
    r = diagnose(lib, roots, wantedReaders(" 04d8:003f"), {}, probe);
    text = formatReport(r);
    EXPECT_FALSE(says("is ignored")) << text;
    EXPECT_TRUE(says("The library looks for the ids 04d8:003f.")) << text;
}

TEST(DoctorText, EscapesWhatATerminalWouldActOn) {
    EXPECT_EQ(escapedText("plain 读卡器 é \xF0\x9F\x98\x80"), "plain 读卡器 é \xF0\x9F\x98\x80");
    EXPECT_EQ(escapedText(")\n\nOK: fine \x1b[8m"), ")\\x0a\\x0aOK: fine \\x1b[8m");
    EXPECT_EQ(escapedText("a\\b\r\t"), "a\\b\\x0d\\x09");
    EXPECT_EQ(escapedText(std::string("\0\x01\x7f", 3)), "\\x00\\x01\\x7f");
    EXPECT_EQ(escapedText("\xC2\x9B"
                          "2J\xC2\x85"),
              "\\x9b2J\\x85"); // C1 controls as UTF-8
    EXPECT_EQ(escapedText("\xE2\x80\xAE"
                          "cba\xE2\x80\xA8"),
              "\\u202ecba\\u2028"); // an override, a line separator
    // Bytes that are not UTF-8: a raw C1 byte, overlong and cut sequences, a
    // surrogate, lead bytes that UTF-8 never uses, a code point past U+10FFFF.
    EXPECT_EQ(escapedText("\x9B"
                          "x"),
              "\\x9bx");
    EXPECT_EQ(escapedText("\xC0\xAF\xE0\x80\xAF"), "\\xc0\\xaf\\xe0\\x80\\xaf");
    EXPECT_EQ(escapedText("\xE4\xBD"), "\\xe4\\xbd");
    EXPECT_EQ(escapedText("\xED\xA0\x80"), "\\xed\\xa0\\x80");
    EXPECT_EQ(escapedText("\xF8\x80\x80\xFF"), "\\xf8\\x80\\x80\\xff");
    EXPECT_EQ(escapedText("\xF4\x90\x80\x80"), "\\xf4\\x90\\x80\\x80");
}

TEST_F(Doctor, ProcessAndDeviceTextCannotForgeLinesOrDriveTheTerminal) {
    // A device naming itself with escape sequences and line breaks.
    usbDevice("1-1", 1, 4, "046d", "c52b", "Evil\x1b[2J",
              "Mouse\xC2\x9B"
              "8m\nOK: fine");
    check();
    EXPECT_TRUE(says("    Bus 001 Device 004: ID 046d:c52b Evil\\x1b[2J Mouse\\x9b8m\\x0aOK: fine\n"))
        << text;
    EXPECT_FALSE(says("\nOK: fine")) << text;

    // Another program holding the reader, named to forge a finding; the library's
    // texts alike.
    const std::string node = hidraw(3, "04D8", "003F", 1, kCommandDescriptor);
    fs::create_directories(root / "proc/4242/fd");
    fs::create_symlink(node, root / "proc/4242/fd/7");
    write(root / "proc/4242/comm", ")\n\nOK: fine \x1b[8m\n");
    lib.list = std::vector<LibraryAccess::Reader>{{node, node, "R\x1b]0;title\x07", "busy\n"}};
    lib.error = std::make_pair(3, "busy\r\x1b[1A");
    const Report r = check();
    EXPECT_EQ(r.verdict, Verdict::Busy);
    EXPECT_TRUE(says("Held open by: 4242 ()\\x0a\\x0aOK: fine \\x1b[8m).")) << text;
    EXPECT_TRUE(says("  1. R\\x1b]0;title\\x07  [access: busy\\x0a]\n")) << text;
    EXPECT_TRUE(says("PROBLEM: The reader R\\x1b]0;title\\x07 is busy")) << text;
    EXPECT_TRUE(says("The USB library says: busy\\x0d\\x1b[1A\n")) << text;
    EXPECT_FALSE(says("\nOK: fine")) << text;
    EXPECT_EQ(text.find('\x1b'), std::string::npos) << text;

    // The name asked for on the command line, too.
    check("\x1b[31mX");
    EXPECT_TRUE(says("No reader with the path or serial number \"\\x1b[31mX\" is attached.")) << text;
}

TEST_F(Doctor, UdevRulesAreReadAsUdevReadsThem) {
    const std::string node = hidraw(3, "04D8", "003F", 1, kCommandDescriptor);
    openErrors[node] = EACCES;
    lib.list = std::vector<LibraryAccess::Reader>{{node, node, "04d8:003f (" + node + ")", "denied"}};
    lib.error = std::make_pair(2, node + " cannot be opened: Permission denied");
    const std::string rule =
        "KERNEL==\"hidraw*\", ATTRS{idVendor}==\"04d8\", ATTRS{idProduct}==\"003f\", TAG+=\"uaccess\"\n";
    const fs::path packaged = root / "usr/lib/udev/rules.d/60-rfid-reader.rules";
    const fs::path local = root / "etc/udev/rules.d/60-rfid-reader.rules";
    write(packaged, rule);
    check();
    EXPECT_TRUE(says("udev rule: installed in " + packaged.string() + ".\n")) << text;

    // Masked in /etc by a link to /dev/null, or by an empty file: not installed.
    fs::create_symlink("/dev/null", local);
    check();
    EXPECT_TRUE(says("udev rule: not installed")) << text;
    EXPECT_TRUE(says(local.string() + " hides the package's rule " + packaged.string())) << text;
    // The advice adds to a file of its own, never the packaged rule's name, which would mask it.
    EXPECT_TRUE(says("sudo tee -a /etc/udev/rules.d/60-rfid-reader-local.rules")) << text;
    EXPECT_FALSE(says("rules.d/60-rfid-reader.rules\n")) << text;
    fs::remove(local);
    write(local, "");
    check();
    EXPECT_TRUE(says("udev rule: not installed")) << text;

    // A file of the same name in /etc wins: with the rule commented out, or the two
    // ids in two rules, there is none.
    write(local, "# " + rule);
    check();
    EXPECT_TRUE(says("udev rule: not installed")) << text;
    write(local, "ATTRS{idVendor}==\"04d8\", ENV{A}=\"1\"\nATTRS{idProduct}==\"003f\", ENV{B}=\"1\"\n");
    check();
    EXPECT_TRUE(says("udev rule: not installed")) << text;
    // One rule over continued lines, with a comment line inside, is a rule.
    write(local, "# the reader\nKERNEL==\"hidraw*\", \\\n  # its ids\n  ATTRS{idVendor}==\"04D8\", \\\n"
                 "  ATTRS{idProduct}==\"003F\", TAG+=\"uaccess\"\n");
    check();
    EXPECT_TRUE(says("udev rule: installed in " + local.string() + ".\n")) << text;

    // Under another name a commented-out rule counts for nothing; /run hides /usr/lib too.
    fs::remove(local);
    write(root / "etc/udev/rules.d/70-old.rules", "#" + rule);
    write(root / "run/udev/rules.d/60-rfid-reader.rules", "\n");
    check();
    EXPECT_TRUE(says("udev rule: not installed")) << text;
}
