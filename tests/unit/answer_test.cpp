// The one status rule against the reading a page's button gives the window's
// log: where they differ, and that they agree on every other answer.
#include "answer.h"
#include "hex.h"

#include <gtest/gtest.h>

using namespace rfid;

TEST(AnswerReadings, StrictRuleAndPageReadingSideBySide) {
    using S = AnswerStatus;
    struct Case {
        const char* hex;
        S strict;
        S page;
        int code; // the refusal's error code, -1 when not refused
    };
    const Case cases[] = {
        {"", S::NoAnswer, S::NoAnswer, -1},
        {"AA00010001BB", S::Success, S::Success, -1},
        {"AA0002018380BB", S::Refused, S::Refused, 0x83},
        {"AA00010203BB", S::Damaged, S::Damaged, -1},
        {"AA00", S::Damaged, S::Damaged, -1},
        {"AA0012000A0F", S::Success, S::Success, -1}, // cut short: the status came
        // A length that counts no status: byte 3 is the checksum.
        {"AA000000BB", S::Damaged, S::Success, -1},
        {"AA000001BB", S::Damaged, S::Refused, -1},
        // A refusal whose code did not come.
        {"AA00010100BB", S::Damaged, S::Refused, -1},
    };
    for (const Case& c : cases) {
        const Answer a = readAnswer(hexToBytes(QString::fromLatin1(c.hex)));
        EXPECT_EQ(a.status, c.strict) << c.hex;
        EXPECT_EQ(pageReading(a), c.page) << c.hex;
        if (c.code >= 0) {
            EXPECT_EQ(a.errorCode, c.code) << c.hex;
        }
    }
}

TEST(AnswerReadings, RawBytesStayAsTheyCame) {
    const Answer a = readAnswer(hexToBytes("AA0003000A0F06BB"));
    EXPECT_EQ(a.statusByte, 0x00);
    EXPECT_EQ(a.payload, (std::vector<std::uint8_t>{0x0A, 0x0F}));
    EXPECT_TRUE(a.complete);
    EXPECT_EQ(a.byte(7), 0xBB);
    EXPECT_FALSE(a.byte(8));
    EXPECT_FALSE(readAnswer(hexToBytes("AA0003000A0F06")).complete);
    EXPECT_EQ(readAnswer(hexToBytes("AA000102")).statusByte, 0x02);
}
