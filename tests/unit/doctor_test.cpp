// The connection check against a fake system tree and a fake USB library: what
// holds on every platform. (doctor_system_test.cpp: what the check reads from
// a Linux system.)
#include "doctor_fixture.h"
#include "rfidusb_core.h"

using namespace doctortest;

namespace {

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

} // namespace
