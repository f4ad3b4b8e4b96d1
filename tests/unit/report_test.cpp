#include "report.h"
#include "response.h"
#include "status.h"

#include <gtest/gtest.h>

using namespace rfid;

TEST(StatusTexts, TableLookups) {
    EXPECT_EQ(falsereason("83"), "卡不存在....");
    EXPECT_EQ(falsereason("8F"), "读写设备接收到了未定义的命令.....");
    EXPECT_EQ(falsereason("89"), "The parameter of the command or the Format of the command Erro...");
    EXPECT_EQ(falsereason("92"), "在命令的FLAG参数中，不支持OPTION 模式....");
    EXPECT_EQ(falsereason("10"), "输入的参数大于最大允许范围，溢出.....");
    EXPECT_EQ(falsereason("96"), "写操作不成功....");
    // Codes compare as whole texts, case and length included.
    for (const char* code : {"", "00", "01", "11", "86", "88", "8D", "8E", "97", "FF", "8a", "8", "830"})
        EXPECT_EQ(falsereason(QLatin1String(code)), QString()) << code;
}

TEST(ResponseBytes, BoundedAccess) {
    const QString r = "AA0002000102BB";
    EXPECT_EQ(respByte(r, 0), "AA");
    EXPECT_EQ(respByte(r, 3), "00");
    EXPECT_EQ(respByte(r, 6), "BB");
    EXPECT_EQ(respByte(r, 7), "");
    EXPECT_EQ(respByte(r, 1000000), "");
    EXPECT_EQ(respByte("AA0", 1), "0");
    EXPECT_EQ(respBytes(r, 4, 5), "01"
                                  "02");
    EXPECT_EQ(respBytes(r, 5, 9), "02BB");
    EXPECT_EQ(chars(r, 0, 2), "");
    EXPECT_EQ(chars(r, 13, 5), "BB");
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
