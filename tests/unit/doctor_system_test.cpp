// The connection check reading a Linux system: lsusb's view of sysfs, hidraw
// nodes and their interfaces, udev's rules and their marks, the programs in
// /proc that hold a reader, all in a fake system tree.
#include "doctor_fixture.h"

using namespace doctortest;

namespace {

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

} // namespace
