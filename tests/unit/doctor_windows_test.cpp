// The connection check's advice on Windows: each verdict's report, as the
// check makes it on a computer without sysfs or udev, keeps no Linux advice
// and points to what a Windows user has instead.
#include "readerdoctor.h"
#include "windowsterms.h"

#include <gtest/gtest.h>

using namespace rfid::doctor;
using Bytes = std::vector<std::uint8_t>;

namespace {

struct OneAnswerLibrary : LibraryAccess {
    bool isLoaded = true;
    std::optional<Bytes> answer;
    std::optional<std::pair<rfid::LinkError, std::string>> error;
    std::string fileName() override { return "usb.dll"; }
    bool loaded() override { return isLoaded; }
    std::optional<std::vector<Reader>> readers() override { return std::vector<Reader>{}; }
    bool select(const std::string&) override { return true; }
    std::optional<Bytes> exchange(const Bytes&) override { return answer; }
    std::optional<std::pair<rfid::LinkError, std::string>> lastError() override { return error; }
};

TEST(DoctorWindows, EveryVerdictInWindowsTerms) {
    struct Case {
        bool loaded;
        int kind; // hidLastError's kind
        std::optional<Bytes> answer;
        Verdict verdict;
        std::string says;
    } cases[] = {
        {false, 1, {}, Verdict::NoLibrary, "usb.dll in the program's folder first"},
        {true,
         1,
         {},
         Verdict::NoReader,
         "Hardware Ids: VID_vvvv&PID_pppp), pass that id: set RFIDUSB_DEVICE"},
        {true, 2, {}, Verdict::NoAccess, "Open Device Manager (devmgmt.msc)"},
        {true, 3, {}, Verdict::Busy, "Close the other program"},
        {true, 5, Bytes{}, Verdict::NoAnswer, "set RFIDUSB_TRACE=1, then run rfidctl doctor"},
        {true, 5, Bytes{}, Verdict::NoAnswer, "set RFIDUSB_REPORT_SIZE=32 (or 8), then run rfidctl doctor"},
        {true, 4, {}, Verdict::IoError, "plug it in again. Open Device Manager"},
    };
    const SystemRoots nowhere{"/nonexistent/sys",  "/nonexistent/dev", "/nonexistent/etc", "/nonexistent/run",
                              "/nonexistent/proc", "/nonexistent/usr", "/nonexistent/lib"};
    for (const Case& c : cases) {
        OneAnswerLibrary lib;
        lib.isLoaded = c.loaded;
        lib.answer = c.answer;
        lib.error = std::make_pair(rfid::linkErrorOf(c.kind), std::string("fake"));
        Report report = diagnose(lib, nowhere, wantedIds(nullptr), {}, [](const std::string&) { return 0; });
        useWindowsTerms(report);
        EXPECT_EQ(report.verdict, c.verdict) << c.says;
        const std::string text = formatReport(report);
        EXPECT_NE(text.find(c.says), std::string::npos) << text;
        for (const char* linux : {"udev", "sudo", "dmesg", "lsusb", "hidraw", "sysfs", "LD_LIBRARY_PATH",
                                  "scripts/run.sh", "RFIDUSB_TRACE=1 rfidctl"})
            EXPECT_EQ(text.find(linux), std::string::npos) << linux << " in\n" << text;
    }
}

} // namespace
