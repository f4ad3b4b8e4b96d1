// The simulated 13.56 MHz firmware: type B cards, the identity card and
// ISO 15693 cards.
#include "model.h"

#include <gtest/gtest.h>

using namespace rfidsim;

namespace {
Reply ask(HfState& s, std::uint8_t command, Bytes data = {}) {
    return hfAnswer(s, Request{0x00, command, std::move(data)});
}
Bytes concat(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}
const Bytes kUid1{0xE0, 0x04, 0x01, 0x00, 0x12, 0x34, 0x56, 0x78};
const Bytes kUid2{0xE0, 0x07, 0xC0, 0x00, 0x3A, 0x51, 0x9D, 0x26};
const Bytes kUid3{0xE0, 0x02, 0x28, 0x00, 0x0C, 0x7F, 0x41, 0xB3};
Bytes lsbFirst(const Bytes& uid) {
    return Bytes(uid.rbegin(), uid.rend());
}
void expectRefused(const Reply& r, std::uint8_t code) {
    EXPECT_EQ(r.status, 0x01);
    EXPECT_EQ(r.data, Bytes{code});
}
} // namespace

TEST(HfTypeB, RequestAttribResetAndExchange) {
    HfState s;
    const TypeBCard& card = s.typeB.cards.front();
    const Bytes pupi(card.pupi.begin(), card.pupi.end());
    const Bytes atqb =
        concat(concat(concat({0x50}, pupi), Bytes(card.application.begin(), card.application.end())),
               Bytes(card.protocol.begin(), card.protocol.end()));

    Reply r = ask(s, 0x09);
    EXPECT_EQ(r.status, 0x00);
    EXPECT_EQ(r.data, concat({0x0C}, atqb));
    expectRefused(ask(s, 0x09, {0x00}), 0x85);

    // Attrib needs the card's own 4-byte ID.
    expectRefused(ask(s, 0x0B), 0x85);
    expectRefused(ask(s, 0x0B, {0x41, 0x30, 0x0A, 0x10}), 0x83);
    EXPECT_EQ(ask(s, 0x0B, pupi).status, 0x00);
    EXPECT_EQ(s.typeB.active, 0);

    // Reset gives the serial number and ends the Attrib.
    r = ask(s, 0x0C);
    EXPECT_EQ(r.status, 0x00);
    EXPECT_EQ(r.data, pupi);
    EXPECT_EQ(s.typeB.active, -1);

    // Data exchange: count byte, then the bytes; REQB answers with the ATQB,
    // anything else only once the card has been chosen by Attrib.
    r = ask(s, 0x0D, {0x03, 0x05, 0x00, 0x00});
    EXPECT_EQ(r.status, 0x00);
    EXPECT_EQ(r.data, atqb);
    expectRefused(ask(s, 0x0D, {0x00}), 0x85);
    expectRefused(ask(s, 0x0D, {0x02, 0x05, 0x00, 0x00}), 0x85);
    expectRefused(ask(s, 0x0D, {0x02, 0x00, 0xB2}), 0x82);
    ASSERT_EQ(ask(s, 0x0B, pupi).status, 0x00);
    r = ask(s, 0x0D, {0x02, 0x00, 0xB2});
    EXPECT_EQ(r.status, 0x00);
    EXPECT_EQ(r.data, (Bytes{0x90, 0x00}));

    s.typeB.cards.clear();
    expectRefused(ask(s, 0x09), 0x83);
    expectRefused(ask(s, 0x0C), 0x83);
    expectRefused(ask(s, 0x0D, {0x03, 0x05, 0x00, 0x00}), 0x83);
}

TEST(HfTypeB, IdentityCardReads) {
    HfState s;
    const TypeBCard& card = s.typeB.cards.front();
    ASSERT_TRUE(card.identity);
    Reply r = ask(s, 0x26);
    EXPECT_EQ(r.status, 0x00);
    EXPECT_EQ(r.data,
              concat(concat({0x08}, Bytes(card.idNumber.begin(), card.idNumber.end())), {0x90, 0x00}));
    r = ask(s, 0x27);
    EXPECT_EQ(r.data, concat(concat({0x08}, Bytes(card.fileId.begin(), card.fileId.end())), {0x90, 0x00}));

    s.typeB.cards.front().identity = false;
    expectRefused(ask(s, 0x26), 0x83);
    expectRefused(ask(s, 0x27), 0x83);
}

TEST(HfIso15693, InventoryListsCardsLeastSignificantByteFirst) {
    HfState s;
    Reply r = ask(s, 0x10, {0x06, 0x00, 0x00});
    EXPECT_EQ(r.status, 0x00);
    Bytes expected{0x03};
    for (const Bytes& uid : {kUid1, kUid2, kUid3})
        expected = concat(concat(expected, {0x00, 0x00}), lsbFirst(uid));
    EXPECT_EQ(r.data, expected);

    // AFI filter (flag 10) and mask (low bits of the UID, least significant first).
    ASSERT_EQ(ask(s, 0x17, concat({0x22, 0x07}, kUid2)).status, 0x00);
    r = ask(s, 0x10, {0x16, 0x07, 0x00});
    EXPECT_EQ(r.data, concat({0x01, 0x00, 0x00}, lsbFirst(kUid2)));
    r = ask(s, 0x10, {0x16, 0x00, 0x00}); // AFI 00 asks every card
    EXPECT_EQ(r.data.at(0), 0x03);
    r = ask(s, 0x10, {0x06, 0x00, 0x08, 0xB3});
    EXPECT_EQ(r.data, concat({0x01, 0x00, 0x00}, lsbFirst(kUid3)));
    r = ask(s, 0x10, {0x06, 0x00, 0x08, 0x01});
    EXPECT_EQ(r.data, Bytes{0x00});

    expectRefused(ask(s, 0x10, {0x06, 0x00}), 0x85);
    expectRefused(ask(s, 0x10, {0x06, 0x00, 0x08}), 0x85);
    expectRefused(ask(s, 0x10, {0x06, 0x00, 0x41, 0, 0, 0, 0, 0, 0, 0, 0, 0}), 0x85);

    // However many cards, the answer frame fits the host's 245-byte read.
    s.iso15693.cards.resize(40, s.iso15693.cards.front());
    r = ask(s, 0x10, {0x06, 0x00, 0x00});
    EXPECT_EQ(r.data.at(0), 23);
    EXPECT_EQ(r.data.size(), 1u + 23 * 10);
    EXPECT_LE(encodeFrame(0x00, r).size(), 245u);
}

TEST(HfIso15693, AddressingByFlags) {
    HfState s;
    auto uidOfAnswer = [](const Reply& r) { return Bytes(r.data.begin() + 2, r.data.begin() + 10); };
    // Not addressed: the first card in the field answers.
    Reply r = ask(s, 0x1B, {0x02});
    ASSERT_EQ(r.status, 0x00);
    EXPECT_EQ(uidOfAnswer(r), lsbFirst(kUid1));
    // Addressed: the UID, most significant byte first, names the card.
    r = ask(s, 0x1B, concat({0x22}, kUid2));
    ASSERT_EQ(r.status, 0x00);
    EXPECT_EQ(uidOfAnswer(r), lsbFirst(kUid2));
    expectRefused(ask(s, 0x1B, concat({0x22}, lsbFirst(kUid2))), 0x83);
    expectRefused(ask(s, 0x1B, {0x22}), 0x85);
    expectRefused(ask(s, 0x11, {0x22, 0x01, 0x05}), 0x85);
    expectRefused(ask(s, 0x13, {0x22, 0x05}), 0x85);
    // Extra bytes after the UID are a format error.
    expectRefused(ask(s, 0x1B, {0x02, 0x00}), 0x85);
    // Selected: only after a select, which always carries the UID.
    expectRefused(ask(s, 0x1B, {0x52}), 0x83);
    expectRefused(ask(s, 0x15, {0x02}), 0x85);
    expectRefused(ask(s, 0x15, concat({0x02}, lsbFirst(kUid3))), 0x83);
    ASSERT_EQ(ask(s, 0x15, concat({0x42}, kUid3)).status, 0x00);
    r = ask(s, 0x1B, {0x52});
    ASSERT_EQ(r.status, 0x00);
    EXPECT_EQ(uidOfAnswer(r), lsbFirst(kUid3));
    // System information: flags, info flags, UID, DSFID, AFI, size, IC reference.
    EXPECT_EQ(r.data, concat(concat({0x00, 0x0F}, lsbFirst(kUid3)), {0x00, 0x00, 63, 3, 0x20}));
}

TEST(HfIso15693, BlocksWriteReadLockAndSecurityStatus) {
    HfState s;
    Reply r = ask(s, 0x11, {0x02, 0x01, 0x02});
    ASSERT_EQ(r.status, 0x00);
    EXPECT_EQ(r.data, (Bytes{0x00, 4, 5, 6, 7, 8, 9, 10, 11}));
    // The option flag puts each block's security status before it.
    r = ask(s, 0x11, {0x42, 0x01, 0x01});
    EXPECT_EQ(r.data, (Bytes{0x00, 0x00, 4, 5, 6, 7}));

    EXPECT_EQ(ask(s, 0x12, {0x42, 0x05, 0x01, 0x11, 0x22, 0x33, 0x44}).status, 0x00);
    EXPECT_EQ(ask(s, 0x12, concat(concat({0x22, 0x06, 0x01}, kUid1), {0xAA, 0xBB, 0xCC, 0xDD})).status, 0x00);
    r = ask(s, 0x11, {0x02, 0x05, 0x02});
    EXPECT_EQ(r.data, (Bytes{0x00, 0x11, 0x22, 0x33, 0x44, 0xAA, 0xBB, 0xCC, 0xDD}));
    // The other cards keep their own memory.
    r = ask(s, 0x11, concat({0x22, 0x05, 0x01}, kUid2));
    EXPECT_EQ(r.data, (Bytes{0x00, 20, 21, 22, 23}));

    expectRefused(ask(s, 0x12, {0x42, 0x05, 0x01, 0x11, 0x22, 0x33}), 0x85);
    expectRefused(ask(s, 0x12, {0x42, 0x05, 0x00}), 0x85);
    expectRefused(ask(s, 0x12, {0x42, 27, 0x02, 1, 2, 3, 4, 5, 6, 7, 8}), 0x93);
    expectRefused(ask(s, 0x11, {0x02, 0x00, 0x00}), 0x85);
    expectRefused(ask(s, 0x11, {0x02, 27, 0x02}), 0x93);
    expectRefused(ask(s, 0x11, {0x02, 0x01}), 0x85);
    // A read whose answer would not fit one frame is refused.
    EXPECT_EQ(ask(s, 0x11, concat({0x22, 0x00, 59}, kUid2)).status, 0x00);
    expectRefused(ask(s, 0x11, concat({0x22, 0x00, 60}, kUid2)), 0x85);

    EXPECT_EQ(ask(s, 0x13, {0x02, 0x05}).status, 0x00);
    expectRefused(ask(s, 0x13, {0x02, 0x05}), 0x94);
    expectRefused(ask(s, 0x13, {0x02, 28}), 0x93);
    expectRefused(ask(s, 0x12, {0x02, 0x04, 0x02, 1, 2, 3, 4, 5, 6, 7, 8}), 0x94);
    r = ask(s, 0x11, {0x02, 0x04, 0x01}); // the refused write changed nothing
    EXPECT_EQ(r.data, (Bytes{0x00, 16, 17, 18, 19}));
    r = ask(s, 0x1C, {0x02, 0x04, 0x03});
    EXPECT_EQ(r.data, (Bytes{0x00, 0x00, 0x01, 0x00}));
    r = ask(s, 0x11, {0x42, 0x05, 0x01});
    EXPECT_EQ(r.data, (Bytes{0x00, 0x01, 0x11, 0x22, 0x33, 0x44}));
    expectRefused(ask(s, 0x1C, {0x02, 0x00, 0x00}), 0x85);
    expectRefused(ask(s, 0x1C, {0x02, 26, 0x03}), 0x93);
}

TEST(HfIso15693, AfiAndDsfidWritesAndLocks) {
    HfState s;
    EXPECT_EQ(ask(s, 0x17, {0x02, 0x06}).status, 0x00);
    EXPECT_EQ(ask(s, 0x19, {0x02, 0x08}).status, 0x00);
    Reply r = ask(s, 0x1B, {0x02});
    EXPECT_EQ(r.data.at(10), 0x08); // DSFID
    EXPECT_EQ(r.data.at(11), 0x06); // AFI
    r = ask(s, 0x10, {0x06, 0x00, 0x00});
    EXPECT_EQ(r.data.at(2), 0x08); // the inventory record carries the DSFID

    EXPECT_EQ(ask(s, 0x18, {0x02}).status, 0x00);
    expectRefused(ask(s, 0x17, {0x02, 0x07}), 0x94);
    expectRefused(ask(s, 0x18, {0x02}), 0x94);
    EXPECT_EQ(ask(s, 0x19, {0x02, 0x09}).status, 0x00); // the DSFID is still open
    EXPECT_EQ(ask(s, 0x1A, concat({0x22}, kUid1)).status, 0x00);
    expectRefused(ask(s, 0x19, {0x02, 0x0A}), 0x94);
    // Locks belong to one card.
    EXPECT_EQ(ask(s, 0x17, concat({0x22, 0x01}, kUid2)).status, 0x00);
    expectRefused(ask(s, 0x17, {0x02}), 0x85);
    expectRefused(ask(s, 0x18, {0x02, 0x00}), 0x85);
}

TEST(HfIso15693, CommandGroupsDoNotOverlap) {
    // Each of these command bytes is answered by its own group only.
    for (std::uint8_t c : {0x09, 0x0B, 0x0C, 0x0D, 0x26, 0x27}) {
        HfState s;
        EXPECT_TRUE(typeBAnswer(s, Request{0, c, {}})) << int(c);
        EXPECT_FALSE(iso15693Answer(s, Request{0, c, {}})) << int(c);
        EXPECT_FALSE(systemAnswer(s, Request{0, c, {}})) << int(c);
        EXPECT_FALSE(mifareAnswer(s, Request{0, c, {}})) << int(c);
        EXPECT_FALSE(ultralightAnswer(s, Request{0, c, {}})) << int(c);
    }
    for (std::uint8_t c : {0x10, 0x11, 0x12, 0x13, 0x15, 0x17, 0x18, 0x19, 0x1A, 0x1B, 0x1C}) {
        HfState s;
        EXPECT_TRUE(iso15693Answer(s, Request{0, c, {}})) << int(c);
        EXPECT_FALSE(typeBAnswer(s, Request{0, c, {}})) << int(c);
        EXPECT_FALSE(systemAnswer(s, Request{0, c, {}})) << int(c);
        EXPECT_FALSE(mifareAnswer(s, Request{0, c, {}})) << int(c);
        EXPECT_FALSE(ultralightAnswer(s, Request{0, c, {}})) << int(c);
    }
    HfState s;
    // Bytes the page does not use stay unknown.
    expectRefused(ask(s, 0x14, {0x02}), 0x8F);
    expectRefused(ask(s, 0x16, {0x02}), 0x8F);
}
