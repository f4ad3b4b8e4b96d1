// Device text on a terminal and in files: what a terminal would act on is
// written out, everything else is shown as it is.
#include "devicetext.h"
#include "station.h"

#include <gtest/gtest.h>

using rfid::printableDeviceText;

TEST(DeviceText, ControlCharactersAreWrittenOut) {
    EXPECT_EQ(printableDeviceText("V1.0"), "V1.0");
    EXPECT_EQ(printableDeviceText(QString::fromUtf8("Lesegerät 读卡器 \\ ok")),
              QString::fromUtf8("Lesegerät 读卡器 \\ ok"));
    // Escape sequences, BEL, CR, LF, tab, NUL and DEL.
    EXPECT_EQ(printableDeviceText(QString::fromLatin1("V1\x1b[2J\x07\r\n\t") + QChar(0) + QChar(0x7f)),
              "V1\\x1b[2J\\x07\\x0d\\x0a\\x09\\x00\\x7f");
    // The C1 controls, as Latin-1 bytes of a version answer arrive: CSI, NEL.
    EXPECT_EQ(printableDeviceText(QString(QChar(0x9b)) + "31m" + QChar(0x85) + QChar(0xa0)),
              QString("\\x9b31m\\x85") + QChar(0xa0));
    // Characters that turn or hide text.
    EXPECT_EQ(printableDeviceText(QString("abc") + QChar(0x202e) + "fed" + QChar(0x200b) + QChar(0x2028)),
              "abc\\u202efed\\u200b\\u2028");
}

TEST(DeviceText, SpreadsheetFormulasAreDisarmedWhateverTheyStartWith) {
    using rfid::StationLog;
    EXPECT_EQ(StationLog::field("\t=1+1"), "'\t=1+1");
    EXPECT_EQ(StationLog::field("\r=1+1"), "\"'\r=1+1\"");
    EXPECT_EQ(StationLog::field("@SUM(A1)"), "'@SUM(A1)");
    EXPECT_EQ(StationLog::field("V1.0\t"), "V1.0\t");

    rfid::StationRow row;
    row.time = QDateTime(QDate(2026, 12, 8), QTime(11, 54, 30), Qt::UTC);
    row.path = QStringLiteral("/dev/hidraw3");
    row.serial = QStringLiteral("\tSN\x1b]0;pwned\x07");
    row.version = QString(QChar(0x9b)) + "2J";
    row.result = QStringLiteral("ok");
    EXPECT_EQ(StationLog::line(row),
              "2026-12-08T11:54:30Z,/dev/hidraw3,\\x09SN\\x1b]0;pwned\\x07,\\x9b2J,ok,");
}
