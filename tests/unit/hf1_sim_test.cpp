// The simulated 13.56 MHz reader: system commands, Mifare and Ultralight cards.
#include "model.h"

#include <gtest/gtest.h>

using namespace rfidsim;

namespace {
Reply ask(HfState& state, std::uint8_t command, Bytes data = {}) {
    return hfAnswer(state, Request{0x00, command, std::move(data)});
}

Bytes ffKey() {
    return Bytes(6, 0xFF);
}

Bytes cat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& p : parts)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}

::testing::AssertionResult refused(const Reply& r, std::uint8_t code) {
    if (r.status == 0x01 && r.data == Bytes{code})
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure()
           << "status " << int(r.status) << " with " << r.data.size() << " bytes";
}
} // namespace

TEST(HfSystem, SettingsAreKeptAndReadBack) {
    HfState s;
    Reply r = ask(s, 0x83);
    EXPECT_EQ(r.status, 0x00);
    EXPECT_EQ(r.data, (Bytes{0x00, 0x20, 0x26, 0x12, 0x08, 0x00, 0x00, 0x00, 0x01}));

    EXPECT_EQ(ask(s, 0x80, {0x05}).status, 0x00);
    EXPECT_EQ(ask(s, 0x82, {0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88}).status, 0x00);
    EXPECT_EQ(ask(s, 0x83).data, (Bytes{0x05, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88}));

    EXPECT_EQ(ask(s, 0x81, {0x02}).status, 0x00);
    EXPECT_EQ(s.system.baudCode, 0x02);
    EXPECT_EQ(ask(s, 0x88, {0x16, 0x03}).status, 0x00);
    EXPECT_EQ(ask(s, 0x87, {0x20, 0x01}).status, 0x00);
    EXPECT_EQ(ask(s, 0x89, {0x30, 0x02}).status, 0x00);
    EXPECT_EQ(s.system.led.period, 0x16);
    EXPECT_EQ(s.system.ledR.period, 0x20);
    EXPECT_EQ(s.system.buzzer.count, 0x02);
    EXPECT_EQ(ask(s, 0x0F, {0x01}).status, 0x00);
    EXPECT_TRUE(s.system.activeReading);

    // Malformed commands change nothing.
    EXPECT_TRUE(refused(ask(s, 0x81), 0x85));
    EXPECT_TRUE(refused(ask(s, 0x81, {0x05}), 0x85));
    EXPECT_TRUE(refused(ask(s, 0x82, Bytes(7, 0xFF)), 0x85));
    EXPECT_TRUE(refused(ask(s, 0x88, {0x16}), 0x85));
    EXPECT_TRUE(refused(ask(s, 0x0F, {0x03}), 0x85));
    EXPECT_EQ(s.system.baudCode, 0x02);
    EXPECT_EQ(s.system.serial[0], 0x11);
}

TEST(HfMifare, BlocksNeedTheSectorKeyAndStayWithinTheCard) {
    HfState s;
    const Bytes uid{0xA1, 0xB2, 0xC3, 0xD4};
    const Bytes data(16, 0x5A);

    // Read four blocks of sector 4: three data blocks and the trailer.
    Reply r = ask(s, 0x20, cat({{0x00, 0x04, 0x10}, ffKey()}));
    ASSERT_EQ(r.status, 0x00);
    ASSERT_EQ(r.data.size(), 4u + 64u);
    EXPECT_EQ(Bytes(r.data.begin(), r.data.begin() + 4), uid);
    EXPECT_EQ(Bytes(r.data.begin() + 4 + 48, r.data.begin() + 4 + 58),
              (Bytes{0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x07, 0x80, 0x69}));

    // Write two blocks across a sector boundary with key B, then read them back.
    r = ask(s, 0x21, cat({{0x02, 0x02, 0x07}, ffKey(), data, data}));
    EXPECT_EQ(r.status, 0x00);
    EXPECT_EQ(r.data, uid);
    EXPECT_EQ(s.mifare.cards[0].blocks[8], (Block{0x5A, 0x5A, 0x5A, 0x5A, 0x5A, 0x5A, 0x5A, 0x5A, 0x5A, 0x5A,
                                                  0x5A, 0x5A, 0x5A, 0x5A, 0x5A, 0x5A}));

    EXPECT_TRUE(refused(ask(s, 0x20, cat({{0x00, 0x01, 0x10}, Bytes(6, 0xA0)})), 0x8C));
    EXPECT_TRUE(refused(ask(s, 0x20, cat({{0x00, 0x05, 0x10}, ffKey()})), 0x10));       // five blocks
    EXPECT_TRUE(refused(ask(s, 0x20, cat({{0x00, 0x02, 0x3F}, ffKey()})), 0x10));       // past block 63
    EXPECT_TRUE(refused(ask(s, 0x20, {0x00, 0x01, 0x10}), 0x85));                       // no key
    EXPECT_TRUE(refused(ask(s, 0x21, cat({{0x00, 0x02, 0x10}, ffKey(), data})), 0x85)); // one block of data
    EXPECT_TRUE(refused(ask(s, 0x21, cat({{0x00, 0x01, 0x00}, ffKey(), data})), 0x96)); // manufacturer block

    // An S70 card reaches its large sectors.
    s.mifare.cards[0] = makeMifareCard({1, 2, 3, 4}, 256);
    EXPECT_EQ(ask(s, 0x20, cat({{0x00, 0x04, 0xFC}, ffKey()})).status, 0x00);
    EXPECT_EQ(trailerOfSector(39), 255);
    EXPECT_EQ(sectorOfBlock(200), 36);

    s.mifare.takeOut(0);
    EXPECT_TRUE(refused(ask(s, 0x20, cat({{0x00, 0x01, 0x10}, ffKey()})), 0x83));
}

TEST(HfMifare, ValueBlocks) {
    HfState s;
    const Bytes key = ffKey();
    // Initialise 0x8800 in sector 1 (the value bytes least significant first).
    EXPECT_EQ(ask(s, 0x22, cat({{0x00, 0x01}, key, {0x00, 0x88, 0x00, 0x00}})).status, 0x00);
    EXPECT_EQ(blockValue(s.mifare.cards[0].blocks[5]), 0x8800u);
    Reply r = ask(s, 0x24, cat({{0x00, 0x01}, key, {0x00, 0x20, 0x00, 0x00}}));
    EXPECT_EQ(r.data, (Bytes{0xA1, 0xB2, 0xC3, 0xD4, 0x00, 0xA8, 0x00, 0x00}));
    r = ask(s, 0x23, cat({{0x00, 0x01}, key, {0x01, 0xA8, 0x00, 0x00}}));
    EXPECT_EQ(r.data, (Bytes{0xA1, 0xB2, 0xC3, 0xD4, 0xFF, 0xFF, 0xFF, 0xFF})); // -1, as the card wraps

    // A block that is not in value form, a sector past the card, a short command.
    EXPECT_TRUE(refused(ask(s, 0x24, cat({{0x00, 0x02}, key, {1, 0, 0, 0}})), 0x8A));
    s.mifare.cards[0].blocks[5][8] ^= 0x01; // a damaged copy of the value
    EXPECT_TRUE(refused(ask(s, 0x23, cat({{0x00, 0x01}, key, {1, 0, 0, 0}})), 0x8A));
    EXPECT_TRUE(refused(ask(s, 0x22, cat({{0x00, 0x10}, key, {1, 0, 0, 0}})), 0x10));
    EXPECT_TRUE(refused(ask(s, 0x22, cat({{0x00, 0x01}, key, {1, 0, 0}})), 0x85));
}

TEST(HfMifare, CardNumberRequestAndHalt) {
    HfState s;
    s.mifare.cards.push_back(makeMifareCard({0x01, 0x02, 0x03, 0x04}));
    // Two cards, the first one is read and halted.
    EXPECT_EQ(ask(s, 0x25, {0x26, 0x01}).data, (Bytes{0x01, 0xA1, 0xB2, 0xC3, 0xD4}));
    EXPECT_EQ(ask(s, 0x25, {0x26, 0x00}).data, (Bytes{0x00, 0x01, 0x02, 0x03, 0x04}));
    // Halt sends the active (second) card to sleep too: no idle card is left.
    EXPECT_EQ(ask(s, 0x06).status, 0x00);
    EXPECT_TRUE(refused(ask(s, 0x25, {0x26, 0x00}), 0x83));
    EXPECT_EQ(ask(s, 0x25, {0x52, 0x00}).data, (Bytes{0x01, 0xA1, 0xB2, 0xC3, 0xD4}));
    // A card put back in the field has lost its halted state.
    s.mifare.takeOut(1);
    s.mifare.putIn(1);
    EXPECT_FALSE(s.mifare.cards[1].halted);

    EXPECT_TRUE(refused(ask(s, 0x25, {0x27, 0x00}), 0x85));
    EXPECT_TRUE(refused(ask(s, 0x25, {0x26}), 0x85));
    s.mifare.takeOut(0);
    s.mifare.takeOut(1);
    s.ultralight.takeOut(0);
    EXPECT_TRUE(refused(ask(s, 0x06), 0x83));
}

TEST(HfUltralight, PagesAndCardNumber) {
    HfState s;
    const Bytes uid{0x04, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E, 0x6F};
    EXPECT_EQ(ask(s, 0xE3, {0x00}).data, uid);

    EXPECT_EQ(ask(s, 0xE1, {0x00, 0x01, 0x04, 0xDE, 0xAD, 0xBE, 0xEF}).data, uid);
    Reply r = ask(s, 0xE0, {0x00, 0x04});
    ASSERT_EQ(r.data.size(), 16u + 7u);
    EXPECT_EQ(Bytes(r.data.begin(), r.data.begin() + 4), (Bytes{0xDE, 0xAD, 0xBE, 0xEF}));
    EXPECT_EQ(Bytes(r.data.begin() + 16, r.data.end()), uid);
    // Reading from page 14 wraps round to pages 0 and 1, which hold the number.
    r = ask(s, 0xE0, {0x01, 0x0E});
    EXPECT_EQ(Bytes(r.data.begin() + 8, r.data.begin() + 11), (Bytes{0x04, 0x1A, 0x2B}));
    EXPECT_EQ(r.data[11], 0x88 ^ 0x04 ^ 0x1A ^ 0x2B);

    // Number pages are read-only; lock bits lock pages; OTP bits only get set.
    EXPECT_TRUE(refused(ask(s, 0xE1, {0x00, 0x01, 0x01, 1, 2, 3, 4}), 0x94));
    EXPECT_EQ(ask(s, 0xE1, {0x00, 0x01, 0x02, 0, 0, 0x10, 0x00}).status, 0x00); // lock page 4
    EXPECT_TRUE(refused(ask(s, 0xE1, {0x00, 0x01, 0x04, 1, 2, 3, 4}), 0x94));
    EXPECT_EQ(ask(s, 0xE1, {0x00, 0x01, 0x03, 0x0F, 0, 0, 0}).status, 0x00);
    EXPECT_EQ(ask(s, 0xE1, {0x00, 0x01, 0x03, 0xF0, 0, 0, 0}).status, 0x00);
    EXPECT_EQ(s.ultralight.cards[0].pages[3][0], 0xFF);

    EXPECT_TRUE(refused(ask(s, 0xE1, {0x00, 0x02, 0x05, 1, 2, 3, 4}), 0x85)); // not one page
    EXPECT_TRUE(refused(ask(s, 0xE1, {0x00, 0x01, 0x05, 1, 2, 3}), 0x85));
    EXPECT_TRUE(refused(ask(s, 0xE0, {0x00, 0x10}), 0x10));
    EXPECT_TRUE(refused(ask(s, 0xE3, {0x02}), 0x85));

    // Halt after an Ultralight command halts the Ultralight card, not the Mifare one.
    EXPECT_EQ(ask(s, 0x06).status, 0x00);
    EXPECT_TRUE(s.ultralight.cards[0].halted);
    EXPECT_FALSE(s.mifare.cards[0].halted);
    EXPECT_TRUE(refused(ask(s, 0xE3, {0x00}), 0x83));
    EXPECT_EQ(ask(s, 0xE3, {0x01}).data, uid);
}
