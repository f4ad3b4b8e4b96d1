// The simulated keyboard reader's settings kept as text between processes, and
// its fault that keeps one setting whatever it is told.
#include "model.h"

#include <gtest/gtest.h>

using namespace rfidsim;

TEST(SimKeyboardState, TextRoundTripAndMalformedText) {
    KeyboardState s;
    s.language = 0x1D;
    s.output = {0x02, 1, 0, 1, 1, 0, 1, 0x2B, 0x02, 0x1F, 0, 0xA0, 0x0D, 0x0A, 0xFF, 0};
    s.readerMode = 3;
    s.bluetoothName = std::string("Gate\0 7", 7);
    s.buzzerOn = false;
    s.storedRecords = 0;
    KeyboardState back;
    ASSERT_TRUE(parseKeyboardState(keyboardStateText(s), back));
    EXPECT_EQ(keyboardStateText(back), keyboardStateText(s));
    EXPECT_EQ(back.bluetoothName, s.bluetoothName);

    const std::string good = keyboardStateText(KeyboardState{});
    for (const std::string bad :
         {"language=0A0B", "language=G1", "output=0F00", "output=0F000000000101000000000000000X", "buzzer=2",
          "stored_records=-1", "stored_records=99999999999", "version=123", "colour=red", "no equals sign",
          "bluetooth_name=4"}) {
        KeyboardState kept = s;
        EXPECT_FALSE(parseKeyboardState(good + bad + "\n", kept)) << bad;
        EXPECT_EQ(keyboardStateText(kept), keyboardStateText(s))
            << "a malformed file changes nothing: " << bad;
    }
    KeyboardState partial = s;
    ASSERT_TRUE(parseKeyboardState("sleep=08\n\n", partial));
    EXPECT_EQ(partial.sleepCode, 8);
    EXPECT_EQ(partial.language, 0x1D);
}

TEST(SimKeyboardState, IgnoredSettingKeepsItsValueAndAnswersSuccess) {
    Reader r;
    r.fault = Fault::IgnoreSetting;
    r.faultArg = 5; // the Enter flag
    const Bytes settings{0x0E, 1, 1, 1, 1, 0, 1, 0x2B, 1, 2, 3, 4, 5, 6, 7, 8};
    Bytes frame{0xAA, 0x00, 0x11, 0x82};
    frame.insert(frame.end(), settings.begin(), settings.end());
    std::uint8_t x = 0;
    for (std::size_t i = 1; i < frame.size(); ++i)
        x ^= frame[i];
    frame.push_back(x);
    frame.push_back(0xBB);
    ASSERT_TRUE(r.write(frame.data(), int(frame.size())));
    std::uint8_t answer[16] = {};
    ASSERT_EQ(r.read(answer, 16), 6);
    EXPECT_EQ(answer[3], 0x00);
    Bytes expected = settings;
    expected[4] = 0x00;
    EXPECT_EQ(r.keyboard.output, expected);

    r.faultArg = 0; // the language
    const Bytes language{0xAA, 0x00, 0x02, 0x80, 0x0A, 0x88, 0xBB};
    r.write(language.data(), int(language.size()));
    EXPECT_EQ(r.keyboard.language, 0x00);
}
