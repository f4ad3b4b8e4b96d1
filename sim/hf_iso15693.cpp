#include "hf_iso15693.h"

#include "model.h"

#include <algorithm>

namespace rfidsim {

namespace {
constexpr std::uint8_t kNoCard = 0x83;    // no (such) card in the field
constexpr std::uint8_t kBadFormat = 0x85; // wrong parameter or command format
constexpr std::uint8_t kNoBlock = 0x93;   // block outside the card's memory
constexpr std::uint8_t kLocked = 0x94;    // the block, AFI or DSFID is locked

constexpr std::uint8_t kOptionFlag = 0x40;
constexpr std::uint8_t kAddressFlag = 0x20;
constexpr std::uint8_t kSelectFlag = 0x10;
constexpr std::uint8_t kInventoryAfiFlag = 0x10;

// An answer frame holds at most 240 bytes after its length byte: the status
// and 239 data bytes, so that the whole frame fits the host's read.
constexpr std::size_t kMaxAnswerData = 239;
constexpr std::size_t kRecordBytes = 10;

Bytes uidLsbFirst(const VicinityCard& card) {
    return Bytes(card.uid.rbegin(), card.uid.rend());
}

int findCard(const Iso15693State& s, Bytes::const_iterator uid) {
    for (std::size_t i = 0; i < s.cards.size(); ++i) {
        if (std::equal(s.cards[i].uid.begin(), s.cards[i].uid.end(), uid))
            return int(i);
    }
    return -1;
}

// The card a command is meant for, and where its remaining data starts. The
// UID, when the address flag calls for one, starts at byte `uidAt`.
struct Target {
    VicinityCard* card = nullptr;
    std::size_t next = 0;
    std::uint8_t error = 0;
};

Target target(Iso15693State& s, const Bytes& d, std::size_t uidAt) {
    if (d.empty() || d.size() < uidAt)
        return {nullptr, 0, kBadFormat};
    const std::uint8_t flags = d[0];
    if (flags & kAddressFlag) {
        if (d.size() < uidAt + 8)
            return {nullptr, 0, kBadFormat};
        const int i = findCard(s, d.begin() + std::ptrdiff_t(uidAt));
        if (i < 0)
            return {nullptr, 0, kNoCard};
        return {&s.cards[std::size_t(i)], uidAt + 8, 0};
    }
    if (flags & kSelectFlag) {
        if (s.selected < 0 || std::size_t(s.selected) >= s.cards.size())
            return {nullptr, 0, kNoCard};
        return {&s.cards[std::size_t(s.selected)], uidAt, 0};
    }
    if (s.cards.empty())
        return {nullptr, 0, kNoCard};
    return {&s.cards.front(), uidAt, 0};
}

// A target for a command whose data ends where the UID (if any) ends.
Target exactTarget(Iso15693State& s, const Bytes& d, std::size_t uidAt) {
    Target t = target(s, d, uidAt);
    if (!t.error && d.size() != t.next)
        return {nullptr, 0, kBadFormat};
    return t;
}

bool inRange(const VicinityCard& card, int first, int count) {
    return count > 0 && first + count <= card.blockCount();
}

bool maskMatches(const VicinityCard& card, int maskBits, const std::uint8_t* mask) {
    const Bytes uid = uidLsbFirst(card);
    for (int i = 0; i < maskBits; ++i) {
        const int bit = 1 << (i % 8);
        if ((uid[std::size_t(i / 8)] & bit) != (mask[i / 8] & bit))
            return false;
    }
    return true;
}

Reply inventory(const Iso15693State& s, const Bytes& d) {
    if (d.size() < 3)
        return refuse(kBadFormat);
    const std::uint8_t flags = d[0];
    const std::uint8_t afi = d[1];
    const int maskBits = d[2];
    if (maskBits > 64 || d.size() != 3 + std::size_t((maskBits + 7) / 8))
        return refuse(kBadFormat);
    Bytes records;
    std::uint8_t count = 0;
    for (const VicinityCard& card : s.cards) {
        if ((flags & kInventoryAfiFlag) && afi != 0 && card.afi != afi)
            continue;
        if (!maskMatches(card, maskBits, d.data() + 3))
            continue;
        if (1 + records.size() + kRecordBytes > kMaxAnswerData)
            break;
        records.push_back(0x00);
        records.push_back(card.dsfid);
        const Bytes uid = uidLsbFirst(card);
        records.insert(records.end(), uid.begin(), uid.end());
        ++count;
    }
    Bytes out{count};
    out.insert(out.end(), records.begin(), records.end());
    return ok(out);
}

Reply readBlocks(Iso15693State& s, const Bytes& d) {
    const Target t = exactTarget(s, d, 3);
    if (t.error)
        return refuse(t.error);
    const VicinityCard& card = *t.card;
    const int first = d[1];
    const int count = d[2];
    if (count == 0)
        return refuse(kBadFormat);
    if (!inRange(card, first, count))
        return refuse(kNoBlock);
    const bool withSecurity = d[0] & kOptionFlag;
    const std::size_t perBlock = card.blockSize + (withSecurity ? 1 : 0);
    if (1 + std::size_t(count) * perBlock > kMaxAnswerData)
        return refuse(kBadFormat);
    Bytes out{0x00};
    for (int b = first; b < first + count; ++b) {
        if (withSecurity)
            out.push_back(card.lockedBlocks[std::size_t(b)] ? 0x01 : 0x00);
        const auto from = card.memory.begin() + std::ptrdiff_t(b) * card.blockSize;
        out.insert(out.end(), from, from + card.blockSize);
    }
    return ok(out);
}

Reply writeBlocks(Iso15693State& s, const Bytes& d) {
    const Target t = target(s, d, 3);
    if (t.error)
        return refuse(t.error);
    VicinityCard& card = *t.card;
    const int first = d[1];
    const int count = d[2];
    if (count == 0)
        return refuse(kBadFormat);
    if (!inRange(card, first, count))
        return refuse(kNoBlock);
    if (d.size() - t.next != std::size_t(count) * card.blockSize)
        return refuse(kBadFormat);
    for (int b = first; b < first + count; ++b) {
        if (card.lockedBlocks[std::size_t(b)])
            return refuse(kLocked);
    }
    std::copy(d.begin() + std::ptrdiff_t(t.next), d.end(),
              card.memory.begin() + std::ptrdiff_t(first) * card.blockSize);
    return ok();
}

Reply lockBlock(Iso15693State& s, const Bytes& d) {
    const Target t = exactTarget(s, d, 2);
    if (t.error)
        return refuse(t.error);
    const int block = d[1];
    if (!inRange(*t.card, block, 1))
        return refuse(kNoBlock);
    if (t.card->lockedBlocks[std::size_t(block)])
        return refuse(kLocked);
    t.card->lockedBlocks[std::size_t(block)] = true;
    return ok();
}

Reply select(Iso15693State& s, const Bytes& d) {
    if (d.size() != 9)
        return refuse(kBadFormat);
    const int i = findCard(s, d.begin() + 1);
    if (i < 0)
        return refuse(kNoCard);
    s.selected = i;
    return ok();
}

// Writes (value given) or locks (no value) the AFI or the DSFID.
Reply familyByte(Iso15693State& s, const Bytes& d, bool write, bool afi) {
    const Target t = exactTarget(s, d, write ? 2 : 1);
    if (t.error)
        return refuse(t.error);
    bool& locked = afi ? t.card->afiLocked : t.card->dsfidLocked;
    if (locked)
        return refuse(kLocked);
    if (write)
        (afi ? t.card->afi : t.card->dsfid) = d[1];
    else
        locked = true;
    return ok();
}

Reply systemInformation(Iso15693State& s, const Bytes& d) {
    const Target t = exactTarget(s, d, 1);
    if (t.error)
        return refuse(t.error);
    const VicinityCard& card = *t.card;
    Bytes out{0x00, 0x0F}; // DSFID, AFI, memory size and IC reference follow
    const Bytes uid = uidLsbFirst(card);
    out.insert(out.end(), uid.begin(), uid.end());
    out.push_back(card.dsfid);
    out.push_back(card.afi);
    out.push_back(static_cast<std::uint8_t>(card.blockCount() - 1));
    out.push_back(static_cast<std::uint8_t>(card.blockSize - 1));
    out.push_back(card.icReference);
    return ok(out);
}

Reply blockSecurity(Iso15693State& s, const Bytes& d) {
    const Target t = exactTarget(s, d, 3);
    if (t.error)
        return refuse(t.error);
    const int first = d[1];
    const int count = d[2];
    if (count == 0 || 1 + std::size_t(count) > kMaxAnswerData)
        return refuse(kBadFormat);
    if (!inRange(*t.card, first, count))
        return refuse(kNoBlock);
    Bytes out{0x00};
    for (int b = first; b < first + count; ++b)
        out.push_back(t.card->lockedBlocks[std::size_t(b)] ? 0x01 : 0x00);
    return ok(out);
}

VicinityCard makeCard(std::array<std::uint8_t, 8> uid, std::uint8_t icReference, int blocks) {
    VicinityCard card;
    card.uid = uid;
    card.icReference = icReference;
    card.blockSize = 4;
    card.memory.resize(std::size_t(blocks) * card.blockSize);
    for (std::size_t i = 0; i < card.memory.size(); ++i)
        card.memory[i] = static_cast<std::uint8_t>(i);
    card.lockedBlocks.assign(std::size_t(blocks), false);
    return card;
}
} // namespace

std::vector<VicinityCard> Iso15693State::defaultCards() {
    return {makeCard({0xE0, 0x04, 0x01, 0x00, 0x12, 0x34, 0x56, 0x78}, 0x01, 28),
            makeCard({0xE0, 0x07, 0xC0, 0x00, 0x3A, 0x51, 0x9D, 0x26}, 0x00, 64),
            makeCard({0xE0, 0x02, 0x28, 0x00, 0x0C, 0x7F, 0x41, 0xB3}, 0x20, 64)};
}

std::optional<Reply> iso15693Answer(HfState& state, const Request& r) {
    Iso15693State& s = state.iso15693;
    const Bytes& d = r.data;
    switch (r.command) {
    case 0x10:
        return inventory(s, d);
    case 0x11:
        return readBlocks(s, d);
    case 0x12:
        return writeBlocks(s, d);
    case 0x13:
        return lockBlock(s, d);
    case 0x15:
        return select(s, d);
    case 0x17:
        return familyByte(s, d, true, true);
    case 0x18:
        return familyByte(s, d, false, true);
    case 0x19:
        return familyByte(s, d, true, false);
    case 0x1A:
        return familyByte(s, d, false, false);
    case 0x1B:
        return systemInformation(s, d);
    case 0x1C:
        return blockSecurity(s, d);
    default:
        return std::nullopt;
    }
}

} // namespace rfidsim
