// Our own English messages in the log: broken at spaces into lines that fit
// the log's visible width, the time stamp whole on the last line.
#include "messagelog.h"

#include <QScrollBar>
#include <gtest/gtest.h>

using rfid::fitToWidth;

TEST(LogFit, BreaksAtSpacesAndKeepsTheEndWhole) {
    struct Case {
        QString text, end;
        int budget;
        QStringList lines;
    };
    const Case cases[] = {
        {"short", "   T\r\n", 20, {"short   T\r\n"}},
        {"one two three four", {}, 9, {"one two", "three", "four"}},
        // The end counts towards the last line's width, its line break does not.
        {"aaaa bbbb", "   10:00:00 AM\r\n", 12, {"aaaa", "bbbb   10:00:00 AM\r\n"}},
        // A word longer than the budget (a path) stands alone, unbroken.
        {"saved to /a/very/long/path.json now", {}, 10, {"saved to", "/a/very/long/path.json", "now"}},
        {"exactly ten", {}, 11, {"exactly ten"}},
        {"", "   T", 5, {"   T"}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(fitToWidth(c.text, c.end, c.budget), c.lines) << c.text.toStdString();
}

TEST(LogFit, OurLongestMessagesNeedNoSidewaysScrolling) {
    rfid::MessageLog log;
    log.setGeometry(5, 10, 297, 548); // as the window places it
    log.show();
    log.addFittedLine("Stopped at the keyboard language: no answer from the reader. Written: nothing. Not "
                      "written: keyboard language, output settings, reader mode, Bluetooth mode, Bluetooth "
                      "name, sleep time.",
                      "   12:59:59 PM\r\n");
    log.addFittedLine("Write all: keyboard language, output settings, reader mode, Bluetooth mode, Bluetooth "
                      "name, sleep time written",
                      "   12:59:59 PM\r\n");
    const QFontMetrics metrics(log.font());
    int widest = 0;
    for (const QString& line : log.lines())
        widest = std::max(widest, metrics.horizontalAdvance(line));
    std::printf("widest fitted line: %d of %d pixels\n", widest, log.viewport()->width());
    EXPECT_LE(widest, log.viewport()->width());
    EXPECT_EQ(log.horizontalScrollBar()->maximum(), 0);
}
