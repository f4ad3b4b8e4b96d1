// The simulated 13.56 MHz firmware: type B cards, the identity card and
// ISO 15693 cards.
#include "model.h"

#include <gtest/gtest.h>

using namespace rfidsim;

namespace {
Reply ask(HfState& s, std::uint8_t command, Bytes data = {}) {
    return hfAnswer(s, Request{0x00, command, std::move(data)});
}
Bytes cat(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}
Bytes lsbFirst(const Bytes& uid) {
    return Bytes(uid.rbegin(), uid.rend());
}
const Bytes kUid1{0xE0, 0x04, 0x01, 0x00, 0x12, 0x34, 0x56, 0x78};
const Bytes kUid2{0xE0, 0x07, 0xC0, 0x00, 0x3A, 0x51, 0x9D, 0x26};
const Bytes kUid3{0xE0, 0x02, 0x28, 0x00, 0x0C, 0x7F, 0x41, 0xB3};
// The error code of a refusal; a reply that is not a refusal never matches one.
Bytes failure(const Reply& r) {
    return r.status == 0x01 ? r.data : Bytes{0xEE, r.status};
}
#define EXPECT_REFUSED(reply, code) EXPECT_EQ(failure(reply), Bytes{code})
} // namespace

TEST(HfTypeB, RequestAttribResetExchangeAndIdentityReads) {
    HfState s;
    const TypeBCard card = s.typeB.cards.front();
    const Bytes pupi(card.pupi.begin(), card.pupi.end());
    const Bytes atqb = cat(cat(cat({0x50}, pupi), Bytes(card.application.begin(), card.application.end())),
                           Bytes(card.protocol.begin(), card.protocol.end()));
    EXPECT_EQ(ask(s, 0x09).data, cat({0x0C}, atqb));

    EXPECT_REFUSED(ask(s, 0x0B), 0x85);
    EXPECT_REFUSED(ask(s, 0x0B, {0x41, 0x30, 0x0A, 0x10}), 0x83);
    EXPECT_EQ(ask(s, 0x0B, pupi).status, 0x00);
    EXPECT_EQ(ask(s, 0x0C).data, pupi); // reset ends the Attrib
    EXPECT_EQ(s.typeB.active, -1);

    // Count byte, then the bytes: REQB gets the ATQB, anything else an answer
    // only from a card chosen by Attrib.
    EXPECT_EQ(ask(s, 0x0D, {0x03, 0x05, 0x00, 0x00}).data, atqb);
    EXPECT_REFUSED(ask(s, 0x0D, {0x00}), 0x85);
    EXPECT_REFUSED(ask(s, 0x0D, {0x02, 0x05, 0x00, 0x00}), 0x85);
    EXPECT_REFUSED(ask(s, 0x0D, {0x02, 0x00, 0xB2}), 0x82);
    ASSERT_EQ(ask(s, 0x0B, pupi).status, 0x00);
    EXPECT_EQ(ask(s, 0x0D, {0x02, 0x00, 0xB2}).data, (Bytes{0x90, 0x00}));

    EXPECT_EQ(ask(s, 0x26).data,
              cat(cat({0x08}, Bytes(card.idNumber.begin(), card.idNumber.end())), {0x90, 0x00}));
    EXPECT_EQ(ask(s, 0x27).data,
              cat(cat({0x08}, Bytes(card.fileId.begin(), card.fileId.end())), {0x90, 0x00}));
    s.typeB.cards.clear();
    EXPECT_REFUSED(ask(s, 0x09), 0x83);
    EXPECT_REFUSED(ask(s, 0x26), 0x83);
}

TEST(HfIso15693, InventoryFiltersAndFitsOneFrame) {
    HfState s;
    Bytes all{0x03};
    for (const Bytes& uid : {kUid1, kUid2, kUid3})
        all = cat(cat(all, {0x00, 0x00}), lsbFirst(uid));
    EXPECT_EQ(ask(s, 0x10, {0x06, 0x00, 0x00}).data, all);

    // AFI (used with flag 10; 00 asks every card) and a mask on the low UID bits.
    ASSERT_EQ(ask(s, 0x17, cat({0x22, 0x07}, kUid2)).status, 0x00);
    EXPECT_EQ(ask(s, 0x10, {0x16, 0x07, 0x00}).data, cat({0x01, 0x00, 0x00}, lsbFirst(kUid2)));
    EXPECT_EQ(ask(s, 0x10, {0x16, 0x00, 0x00}).data.at(0), 0x03);
    EXPECT_EQ(ask(s, 0x10, {0x06, 0x00, 0x08, 0xB3}).data, cat({0x01, 0x00, 0x00}, lsbFirst(kUid3)));
    EXPECT_REFUSED(ask(s, 0x10, {0x06, 0x00, 0x08}), 0x85);

    s.iso15693.cards.resize(40, s.iso15693.cards.front());
    const Reply r = ask(s, 0x10, {0x06, 0x00, 0x00});
    EXPECT_EQ(r.data.at(0), 23);
    EXPECT_LE(encodeFrame(0x00, r).size(), 245u);
}

TEST(HfIso15693, AddressingByFlags) {
    HfState s;
    auto uidOf = [](const Reply& r) { return Bytes(r.data.begin() + 2, r.data.begin() + 10); };
    EXPECT_EQ(uidOf(ask(s, 0x1B, {0x02})), lsbFirst(kUid1)); // not addressed: the first card
    EXPECT_EQ(uidOf(ask(s, 0x1B, cat({0x22}, kUid2))), lsbFirst(kUid2));
    EXPECT_REFUSED(ask(s, 0x1B, cat({0x22}, lsbFirst(kUid2))), 0x83);
    EXPECT_REFUSED(ask(s, 0x11, {0x22, 0x01, 0x05}), 0x85); // address flag, no UID
    EXPECT_REFUSED(ask(s, 0x1B, {0x02, 0x00}), 0x85);       // bytes left over
    EXPECT_REFUSED(ask(s, 0x1B, {0x52}), 0x83);             // select flag before a select
    ASSERT_EQ(ask(s, 0x15, cat({0x42}, kUid3)).status, 0x00);
    EXPECT_EQ(ask(s, 0x1B, {0x52}).data, cat(cat({0x00, 0x0F}, lsbFirst(kUid3)), {0x00, 0x00, 63, 3, 0x20}));
}

TEST(HfIso15693, BlocksAndLocks) {
    HfState s;
    EXPECT_EQ(ask(s, 0x11, {0x02, 0x01, 0x02}).data, (Bytes{0x00, 4, 5, 6, 7, 8, 9, 10, 11}));
    EXPECT_EQ(ask(s, 0x11, {0x42, 0x01, 0x01}).data,
              (Bytes{0x00, 0x00, 4, 5, 6, 7})); // option: security byte
    EXPECT_EQ(ask(s, 0x12, cat(cat({0x22, 0x05, 0x01}, kUid1), {0x11, 0x22, 0x33, 0x44})).status, 0x00);
    EXPECT_EQ(ask(s, 0x11, {0x02, 0x05, 0x01}).data, (Bytes{0x00, 0x11, 0x22, 0x33, 0x44}));
    EXPECT_EQ(ask(s, 0x11, cat({0x22, 0x05, 0x01}, kUid2)).data, (Bytes{0x00, 20, 21, 22, 23}));

    EXPECT_REFUSED(ask(s, 0x12, {0x42, 0x05, 0x01, 0x11, 0x22, 0x33}), 0x85);
    EXPECT_REFUSED(ask(s, 0x11, {0x02, 27, 0x02}), 0x93);
    EXPECT_REFUSED(ask(s, 0x11, cat({0x22, 0x00, 60}, kUid2)), 0x85); // answer beyond one frame

    EXPECT_EQ(ask(s, 0x13, {0x02, 0x05}).status, 0x00);
    EXPECT_REFUSED(ask(s, 0x13, {0x02, 0x05}), 0x94);
    EXPECT_REFUSED(ask(s, 0x12, {0x02, 0x04, 0x02, 1, 2, 3, 4, 5, 6, 7, 8}), 0x94);
    EXPECT_EQ(ask(s, 0x11, {0x02, 0x04, 0x01}).data, (Bytes{0x00, 16, 17, 18, 19})); // nothing written
    EXPECT_EQ(ask(s, 0x1C, {0x02, 0x04, 0x03}).data, (Bytes{0x00, 0x00, 0x01, 0x00}));

    EXPECT_EQ(ask(s, 0x18, {0x02}).status, 0x00);
    EXPECT_REFUSED(ask(s, 0x17, {0x02, 0x07}), 0x94);
    EXPECT_EQ(ask(s, 0x19, {0x02, 0x09}).status, 0x00);
}

TEST(HfIso15693, CommandGroupsDoNotOverlap) {
    HfState s;
    for (std::uint8_t c : {0x09, 0x0B, 0x0C, 0x0D, 0x26, 0x27, 0x10, 0x11, 0x12, 0x13, 0x15, 0x17, 0x18, 0x19,
                           0x1A, 0x1B, 0x1C}) {
        const Request r{0, c, {}};
        const int claimed = bool(systemAnswer(s, r)) + bool(mifareAnswer(s, r)) +
                            bool(ultralightAnswer(s, r)) + bool(typeBAnswer(s, r)) +
                            bool(iso15693Answer(s, r));
        EXPECT_EQ(claimed, 1) << int(c);
    }
    EXPECT_REFUSED(ask(s, 0x14, {0x02}), 0x8F);
}
