#include "cardpayload.h"
#include "hex.h"
#include "report.h"

#include <gtest/gtest.h>

using namespace rfid;

TEST(PayloadText, OnlyPayloadBytesAreEverRead) {
    const struct {
        const char* answer;
        int first;
        int last; // -1: to the end of the payload
        const char* text;
    } cases[] = {
        {"AA0004000102037FBB", 4, 5, "0102"},
        {"AA0004000102037FBB", 5, 9, "0203"}, // cut at the payload's end: no checksum, no end marker
        {"AA0004000102037FBB", 0, 4, "01"},   // nothing before the payload
        {"AA0004000102037FBB", 7, 7, ""},     // the checksum's place
        {"AA0004000102037FBB", 6, 5, ""},
        {"AA0004000102037FBB", 5, -1, "0203"},
        {"AA0004000102037FBB", 4, 2147483647, "010203"},
        {"AA000600010203", 4, 9, "010203"}, // cut short: what came of the payload
        {"AA000600010203", 7, -1, ""},
        {"AA00010001BB", 4, -1, ""}, // a status alone: byte 4 is the checksum
        {"AA000000BB", 4, -1, ""},   // a length that counts no status
        {"AA00", 4, -1, ""},
        {"", 4, -1, ""},
    };
    for (const auto& c : cases) {
        const Answer a = readAnswer(hexToBytes(QLatin1String(c.answer)));
        const QString got = c.last < 0 ? payloadFrom(a, c.first) : payloadBytes(a, c.first, c.last);
        EXPECT_EQ(got, QLatin1String(c.text)) << c.answer << ' ' << c.first << '-' << c.last;
        if (c.first == c.last) {
            EXPECT_EQ(payloadByte(a, c.first), got) << c.answer;
        }
    }
}

TEST(TimeTexts, TwelveHourClockAndStatusBar) {
    const QDateTime when(QDate(2026, 12, 7), QTime(13, 5, 9));
    EXPECT_EQ(timeStamp(when.time()), "01:05:09 PM");
    EXPECT_EQ(clockText(when), "   2026.12.07   01:05:09 PM   ");
    EXPECT_EQ(timeStamp(QTime(0, 0, 0)), "12:00:00 AM");
    EXPECT_EQ(timeStamp(QTime(12, 30, 1)), "12:30:01 PM");
    EXPECT_EQ(timeStamp(QTime(9, 7, 3)), "09:07:03 AM");
}

TEST(CycleReport, FourOutcomes) {
    const CycleTexts t{"Data error,no data recevice..   ", "Restore factory settings Success    ",
                       "Restore factory settings False    ", "data error,please check data..   "};
    const QString T = "01:02:03 PM";
    EXPECT_EQ(cycleReport("", t, T), QStringList{"Data error,no data recevice..   " + T + "\r\n"});
    EXPECT_EQ(cycleReport("AA000100CEBB", t, T),
              QStringList{"Restore factory settings Success    " + T + "\r\n"});
    EXPECT_EQ(cycleReport("AA00020183xxBB", t, T),
              (QStringList{"Restore factory settings False    " + T, "卡不存在....\r\n"}));
    EXPECT_EQ(cycleReport("AA000102xxBB", t, T),
              QStringList{"data error,please check data..   " + T + "\r\n"});
    // A failure whose code is missing or unknown still gives its (empty) reason line.
    EXPECT_EQ(cycleReport("AA000001", t, T), (QStringList{"Restore factory settings False    " + T, "\r\n"}));
    // A response too short to hold a status is a damaged answer.
    EXPECT_EQ(cycleReport("AA00", t, T), QStringList{"data error,please check data..   " + T + "\r\n"});
    EXPECT_EQ(cycleReport("AA000100CEBB", t, T,
                          [] {
                              return QStringList{"a", "b"};
                          }),
              (QStringList{"a", "b"}));
}
