// The connection check's tests: a fake USB library and a fake system tree
// (sysfs, /dev, udev's folders, /proc) in a folder of its own.
#pragma once

#include "readerdoctor.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <map>
#include <unistd.h>

namespace doctortest {

using namespace rfid::doctor;
namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

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

} // namespace doctortest
