#include "errors.h"
#include "hex.h"

#include <gtest/gtest.h>

using namespace rfid;

namespace {
QString frame(const QString& address, const QString& command) {
    const FrameResult r = buildFrame(address, command);
    EXPECT_EQ(r.error, FrameError::None);
    EXPECT_EQ(hexToBytes(r.frame.text), r.frame.bytes) << "the text and the bytes are one frame";
    return r.frame.text;
}
} // namespace

TEST(Framing, WorkedExamples) {
    EXPECT_EQ(frame("00", "cf"), "AA0001cfCEBB");
    EXPECT_EQ(frame("00", "c0"), "AA0001c0C1BB");
    EXPECT_EQ(frame("00", "850178"), "AA0003850178FFBB");
    EXPECT_EQ(frame("00", "85 01 78"), "AA0003850178FFBB");
    EXPECT_EQ(frame("00", "0F01"), "AA00020F010CBB");
    // Output settings with every control at its start value.
    EXPECT_EQ(frame("00", "820F000000000101000000000000000000"), "AA0011820F000000000101000000000000000000"
                                                                 "9CBB");
}

TEST(Framing, LengthCountsCommandAndDataOnly) {
    EXPECT_EQ(frame("00", "01 02 03 04 05 06 07").mid(4, 2), "07");
    EXPECT_EQ(frame("00", ""), "AA000000BB");
}

TEST(Framing, AddressIsPartOfChecksumAndKeepsItsCase) {
    // 1A ^ 01 ^ CF = D4
    EXPECT_EQ(frame("1a", "cf"), "AA1a01cfD4BB");
}

TEST(Framing, RefusesOddDigitsAndOversizedFields) {
    EXPECT_EQ(buildFrame("00", "cf0").error, FrameError::OddDigits);
    EXPECT_TRUE(buildFrame("00", "cf0").frame.text.isEmpty());
    EXPECT_EQ(buildFrame("00", QString(250 * 2, QLatin1Char('1'))).error, FrameError::None);
    EXPECT_EQ(buildFrame("00", QString(251 * 2, QLatin1Char('1'))).error, FrameError::TooLong);
    EXPECT_FALSE(frameErrorText(FrameError::OddDigits).isEmpty());
    EXPECT_NE(frameErrorText(FrameError::OddDigits), frameErrorText(FrameError::TooLong));
}

TEST(HexHelpers, Checkdata) {
    EXPECT_EQ(checkdata("AA 00 03 85 01 78 ff BB"), "AA0003850178ffBB");
    EXPECT_EQ(checkdata("ABC"), "AB");
    EXPECT_EQ(checkdata("xyz, \r\n"), "");
    EXPECT_EQ(checkdata("g1h2"), "12");
}

TEST(HexHelpers, Cdate) {
    EXPECT_EQ(cdate("A1B2C3D4"), "D4 C3 B2 A1 ");
    EXPECT_EQ(cdate("12345"), "45 23 ");
    EXPECT_EQ(cdate(""), "");
    EXPECT_EQ(cdate("0102"), "02 01 ");
}

TEST(HexHelpers, Getchr) {
    EXPECT_EQ(Getchr("414243"), QByteArray("AB"));
    EXPECT_EQ(Getchr("414"), QByteArray());
    EXPECT_EQ(Getchr("56312E30"), QByteArray("V1.0"));
    EXPECT_EQ(Getchr("0041"), QByteArray("\0A", 2));
    EXPECT_THROW(Getchr("4G41"), EConvertError);
    // Left-over digits are not inspected.
    EXPECT_EQ(Getchr("4142ZZ"), QByteArray("AB"));
}

TEST(HexHelpers, GetAsciiAppends) {
    QString out;
    GetAscii("A1", out);
    EXPECT_EQ(out, "4131");
    GetAscii(QByteArray("\xff\x00", 2), out);
    EXPECT_EQ(out, "4131FF00");
}

TEST(HexHelpers, BytesRoundTrip) {
    const std::vector<std::uint8_t> b = hexToBytes("aa 0F ff");
    ASSERT_EQ(b.size(), 3u);
    EXPECT_EQ(toHex(b.data(), 3), "AA0FFF");
}

TEST(StrToInt, AcceptsNumbersAndRejectsText) {
    EXPECT_EQ(StrToInt("100"), 100);
    EXPECT_EQ(StrToInt(" -5 "), -5);
    EXPECT_EQ(StrToInt("$1F"), 31);
    EXPECT_THROW(StrToInt(""), EConvertError);
    EXPECT_THROW(StrToInt("12a"), EConvertError);
    EXPECT_THROW(StrToInt("99999999999"), EConvertError);
    try {
        StrToInt("abc");
    } catch (const EConvertError& e) {
        EXPECT_EQ(e.text(), "'abc' is not a valid integer value");
    }
}
