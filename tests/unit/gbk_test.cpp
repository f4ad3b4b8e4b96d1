// The reader's code page: the same bytes for the same text on every platform,
// one '?' for each character it cannot hold.
#include "gbk.h"

#include <gtest/gtest.h>

namespace {

TEST(Gbk, OneCharacterGivesTheSameBytesEverywhere) {
    const struct {
        QString text;
        QByteArray bytes;
    } cases[] = {
        {QString(), QByteArray()},
        {QStringLiteral("Bluetooth1.0"), QByteArray("Bluetooth1.0")},
        {QString::fromUtf8("读卡器"), QByteArray::fromHex("B6C1BFA8C6F7")},
        {QString::fromUtf8("ü·"), QByteArray::fromHex("A8B9A1A4")},
        // Outside the Basic Multilingual Plane: one character, however it is stored.
        {QString::fromUtf8("a\U0001F600b"), QByteArray("a?b")},
        {QString::fromUtf8("\U0001F600\U00020000"), QByteArray("??")},
        {QString::fromUtf8("Ä"), QByteArray("?")},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(rfid::gbkBytes(c.text).toHex(), c.bytes.toHex()) << c.text.toStdString();
        if (!c.bytes.contains('?')) {
            EXPECT_EQ(rfid::gbkText(c.bytes), c.text) << c.text.toStdString();
        }
    }
}

} // namespace
