#include "model.h"

#include <QByteArray>
#include <QtGlobal>
#include <gtest/gtest.h>

using namespace rfidsim;

TEST(SimFrames, EncodeAndParse) {
    const Bytes f = encodeFrame(0x00, ok({0x56, 0x31}));
    EXPECT_EQ(f, (Bytes{0xAA, 0x00, 0x03, 0x00, 0x56, 0x31, 0x03 ^ 0x56 ^ 0x31, 0xBB}));
    const Bytes cmd{0xAA, 0x00, 0x03, 0x85, 0x01, 0x78, 0xFF, 0xBB};
    auto r = parseFrame(cmd.data(), int(cmd.size()));
    ASSERT_TRUE(r);
    EXPECT_EQ(r->command, 0x85);
    EXPECT_EQ(r->data, (Bytes{0x01, 0x78}));
    Bytes bad = cmd;
    bad[6] = 0xFE; // checksum
    EXPECT_FALSE(parseFrame(bad.data(), int(bad.size())));
    bad = cmd;
    bad[2] = 0x09; // length beyond the frame
    EXPECT_FALSE(parseFrame(bad.data(), int(bad.size())));
    EXPECT_FALSE(parseFrame(cmd.data(), 4));
    EXPECT_FALSE(parseFrame(nullptr, 8));
}

TEST(SimReader, KeyboardSettingsReadBackAndFaults) {
    Reader r;
    auto exchange = [&r](Bytes frame) {
        EXPECT_TRUE(r.write(frame.data(), int(frame.size())));
        std::uint8_t buf[245] = {};
        return Bytes(buf, buf + r.read(buf, 245));
    };
    auto frameOf = [](std::uint8_t cmd, Bytes data) {
        Bytes f{0xAA, 0x00, std::uint8_t(data.size() + 1), cmd};
        f.reserve(f.size() + data.size() + 2); // spares GCC 12 a false out-of-bounds warning
        f.insert(f.end(), data.begin(), data.end());
        std::uint8_t x = 0;
        for (std::size_t i = 1; i < f.size(); ++i)
            x ^= f[i];
        f.push_back(x);
        f.push_back(0xBB);
        return f;
    };
    EXPECT_EQ(exchange(frameOf(0x80, {0x0A})), encodeFrame(0, ok()));
    Bytes settings{0x0E, 1, 0, 1, 0, 0, 1, 0x2B, 0x02, 0, 0, 0, 0x0D, 0x0A, 0, 0};
    EXPECT_EQ(exchange(frameOf(0x82, settings)), encodeFrame(0, ok()));
    Bytes expected{0x0A};
    expected.insert(expected.end(), settings.begin(), settings.end());
    EXPECT_EQ(exchange(frameOf(0x83, {})), encodeFrame(0, ok(expected)));
    EXPECT_EQ(exchange(frameOf(0xC0, {})), encodeFrame(0, ok({'V', '1', '.', '0'})));
    EXPECT_EQ(exchange(frameOf(0x99, {})), encodeFrame(0, refuse(0x8F)));

    r.fault = Fault::Silent;
    EXPECT_TRUE(exchange(frameOf(0xCF, {})).empty());
    r.fault = Fault::Refuse;
    r.faultArg = 0x83;
    EXPECT_EQ(exchange(frameOf(0xCF, {})), encodeFrame(0, refuse(0x83)));
    r.fault = Fault::Damaged;
    r.faultArg = 0x02;
    EXPECT_EQ(exchange(frameOf(0xCF, {}))[3], 0x02);
    r.fault = Fault::Short;
    r.faultArg = 3;
    EXPECT_EQ(exchange(frameOf(0xCF, {})).size(), 3u);
    r.fault = Fault::Overlong;
    const Bytes longAnswer = exchange(frameOf(0xCF, {}));
    EXPECT_EQ(longAnswer.size(), 245u);
    EXPECT_EQ(longAnswer[2], 0xFF);
    r.fault = Fault::WriteFail;
    const Bytes f = frameOf(0xCF, {});
    EXPECT_FALSE(r.write(f.data(), int(f.size())));
    EXPECT_EQ(r.frames.size(), 11u);
}

// A reader told to type a format as another: the card test's "Try it on the
// reader" meets a reader that differs from the model.
TEST(SimReader, FormatTypedAsAnother) {
    EXPECT_EQ(formatTypedAs(0x0E, "0E=0B"), 0x0B);
    EXPECT_EQ(formatTypedAs(0x0F, "0e=0b,0f=0a"), 0x0A);
    EXPECT_EQ(formatTypedAs(0x0C, "0E=0B,0F=0A"), std::nullopt);
    for (const char* bad : {"", "0E", "0E=", "0E=0", "0E:0B", "0G=0B", "0E=0B;0F=0A", "0E=0B,"})
        EXPECT_EQ(formatTypedAs(0x0F, bad), std::nullopt) << bad;
    EXPECT_EQ(formatTypedAs(0x0F, nullptr), std::nullopt);

    KeyboardState s;
    s.output[0] = 0x0E;
    const rfid::wedge::CardNumber card{0, 0, 0x5D, 0x00, 0x45, 0x2C, 0x14};
    EXPECT_EQ(typedCard(s, card), "06911284");
    qputenv("RFIDSIM_FORMAT_AS", QByteArray("0E=0F"));
    EXPECT_EQ(typedCard(s, card), "0004533268");
    qunsetenv("RFIDSIM_FORMAT_AS");
    EXPECT_EQ(typedCard(s, card), "06911284");
}
