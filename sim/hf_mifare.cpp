#include "hf_mifare.h"

#include "hf_field.h"
#include "hf_state.h"
#include "model.h"

#include <algorithm>

namespace rfidsim {

namespace {
constexpr std::uint8_t kOverflow = 0x10;
constexpr std::uint8_t kNoCard = 0x83;
constexpr std::uint8_t kBadFormat = 0x85;
constexpr std::uint8_t kValueBlock = 0x8A;
constexpr std::uint8_t kAuthentication = 0x8C;
constexpr std::uint8_t kWriteFailed = 0x96;

constexpr std::uint8_t kRequestIdle = 0x26;
constexpr std::uint8_t kRequestAll = 0x52;

constexpr int kKeyBytes = 6;
constexpr int kBlockBytes = 16;
constexpr int kMaxBlocksPerCommand = 4;

// The value block of a sector: its second block (the first of sector 0 is the
// manufacturer block).
int valueBlockOfSector(int sector) {
    return firstBlockOfSector(sector) + 1;
}

// Request (and anticollision): the cards that answer, in field order. A request
// for idle cards skips halted ones; a request for all cards wakes them.
std::vector<std::size_t> answering(const MifareState& m, bool all) {
    std::vector<std::size_t> out;
    for (std::size_t i = 0; i < m.cards.size(); ++i) {
        const MifareCard& c = m.cards[i];
        if (c.inField && (all || !c.halted))
            out.push_back(i);
    }
    return out;
}

// Selects the first answering card; nullptr when the field holds none.
MifareCard* select(HfState& state, bool all) {
    const std::vector<std::size_t> found = answering(state.mifare, all);
    if (found.empty())
        return nullptr;
    state.mifare.selected = int(found.front());
    state.ultralight.selected = -1;
    MifareCard& card = state.mifare.cards[found.front()];
    card.halted = false;
    return &card;
}

void halt(MifareState& m, std::size_t index) {
    m.cards[index].halted = true;
    m.selected = -1;
}

bool keyMatches(const MifareCard& card, int sector, bool keyB, const std::uint8_t* key) {
    const Block& trailer = card.blocks[std::size_t(trailerOfSector(sector))];
    return std::equal(key, key + kKeyBytes, trailer.begin() + (keyB ? 10 : 0));
}

// Mode byte: bit 0 requests all cards, bit 1 authenticates with key B.
bool requestAll(std::uint8_t mode) {
    return (mode & 0x01) != 0;
}
bool useKeyB(std::uint8_t mode) {
    return (mode & 0x02) != 0;
}

Bytes uidOf(const MifareCard& card) {
    return Bytes(card.uid.begin(), card.uid.end());
}

// Read (20) and write (21): mode, count, start, key, then for a write the data.
Reply blocks(HfState& state, const Request& r) {
    const bool write = r.command == 0x21;
    const Bytes& d = r.data;
    if (d.size() < 3 + kKeyBytes)
        return refuse(kBadFormat);
    const int count = d[1];
    const int start = d[2];
    if (count < 1 || count > kMaxBlocksPerCommand)
        return refuse(kOverflow);
    const std::size_t expected = 3 + kKeyBytes + (write ? std::size_t(count) * kBlockBytes : 0);
    if (d.size() != expected)
        return refuse(kBadFormat);
    MifareCard* card = select(state, requestAll(d[0]));
    if (!card)
        return refuse(kNoCard);
    if (start + count > int(card->blocks.size()))
        return refuse(kOverflow);
    for (int b = start; b < start + count; ++b) {
        if (!keyMatches(*card, sectorOfBlock(b), useKeyB(d[0]), &d[3]))
            return refuse(kAuthentication);
    }
    Bytes out = uidOf(*card);
    if (write) {
        if (start == 0)
            return refuse(kWriteFailed); // the manufacturer block is read-only
        for (int i = 0; i < count; ++i)
            std::copy_n(&d[3 + kKeyBytes + std::size_t(i) * kBlockBytes], kBlockBytes,
                        card->blocks[std::size_t(start + i)].begin());
        return ok(out);
    }
    for (int b = start; b < start + count; ++b)
        out.insert(out.end(), card->blocks[std::size_t(b)].begin(), card->blocks[std::size_t(b)].end());
    return ok(out);
}

std::uint32_t readLE(const std::uint8_t* p) {
    return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 |
           std::uint32_t(p[3]) << 24;
}

void writeLE(std::uint32_t v, Bytes& out) {
    for (int i = 0; i < 4; ++i)
        out.push_back(std::uint8_t(v >> (8 * i)));
}

// Initialise (22), subtract (23), add (24): mode, sector, key, four value bytes
// (least significant first, as in the card's value block).
Reply value(HfState& state, const Request& r) {
    const Bytes& d = r.data;
    if (d.size() != 2 + kKeyBytes + 4)
        return refuse(kBadFormat);
    MifareCard* card = select(state, requestAll(d[0]));
    if (!card)
        return refuse(kNoCard);
    const int sector = d[1];
    if (sector >= sectorCount(int(card->blocks.size())))
        return refuse(kOverflow);
    if (!keyMatches(*card, sector, useKeyB(d[0]), &d[2]))
        return refuse(kAuthentication);
    const int blockIndex = valueBlockOfSector(sector);
    Block& block = card->blocks[std::size_t(blockIndex)];
    const std::uint32_t operand = readLE(&d[2 + kKeyBytes]);
    Bytes out = uidOf(*card);
    if (r.command == 0x22) {
        block = valueBlock(operand, std::uint8_t(blockIndex));
        return ok(out);
    }
    const std::optional<std::uint32_t> current = blockValue(block);
    if (!current)
        return refuse(kValueBlock);
    // Values are 32-bit two's complement on the card; they wrap as the card's do.
    const std::uint32_t result = r.command == 0x24 ? *current + operand : *current - operand;
    block = valueBlock(result, block[12]);
    writeLE(result, out);
    return ok(out);
}

// Card number (25): request code, halt flag. Byte 0 of the answer tells one
// card (00) from several (01); the number of the selected card follows.
Reply cardNumber(HfState& state, const Request& r) {
    const Bytes& d = r.data;
    if (d.size() != 2 || (d[0] != kRequestIdle && d[0] != kRequestAll) || d[1] > 0x01)
        return refuse(kBadFormat);
    const bool all = d[0] == kRequestAll;
    const std::size_t found = answering(state.mifare, all).size();
    MifareCard* card = select(state, all);
    if (!card)
        return refuse(kNoCard);
    Bytes out{std::uint8_t(found > 1 ? 0x01 : 0x00)};
    const Bytes uid = uidOf(*card);
    out.insert(out.end(), uid.begin(), uid.end());
    if (d[1] == 0x01)
        halt(state.mifare, std::size_t(state.mifare.selected));
    return ok(out);
}

bool activeCard(const MifareState& m) {
    return m.selected >= 0 && std::size_t(m.selected) < m.cards.size() &&
           m.cards[std::size_t(m.selected)].inField;
}

bool activeCard(const UltralightState& u) {
    return u.selected >= 0 && std::size_t(u.selected) < u.cards.size() &&
           u.cards[std::size_t(u.selected)].inField;
}

// Halt (06): puts the active card of either kind to sleep. With no active card
// the reader selects the first idle card in the field and halts that one.
Reply haltCommand(HfState& state, const Request& r) {
    if (!r.data.empty())
        return refuse(kBadFormat);
    if (activeCard(state.mifare)) {
        halt(state.mifare, std::size_t(state.mifare.selected));
        return ok();
    }
    if (activeCard(state.ultralight)) {
        haltUltralight(state.ultralight, std::size_t(state.ultralight.selected));
        return ok();
    }
    if (select(state, false)) {
        halt(state.mifare, std::size_t(state.mifare.selected));
        return ok();
    }
    if (selectUltralight(state, false)) {
        haltUltralight(state.ultralight, std::size_t(state.ultralight.selected));
        return ok();
    }
    return refuse(kNoCard);
}
} // namespace

int sectorOfBlock(int block) {
    return block < 128 ? block / 4 : 32 + (block - 128) / 16;
}

int firstBlockOfSector(int sector) {
    return sector < 32 ? sector * 4 : 128 + (sector - 32) * 16;
}

int trailerOfSector(int sector) {
    return sector < 32 ? sector * 4 + 3 : 128 + (sector - 32) * 16 + 15;
}

int sectorCount(int blockCount) {
    return blockCount <= 128 ? blockCount / 4 : 32 + (blockCount - 128) / 16;
}

Block valueBlock(std::uint32_t value, std::uint8_t address) {
    Block b{};
    for (int i = 0; i < 4; ++i) {
        const auto byte = std::uint8_t(value >> (8 * i));
        b[std::size_t(i)] = byte;
        b[std::size_t(i + 4)] = std::uint8_t(~byte);
        b[std::size_t(i + 8)] = byte;
    }
    b[12] = address;
    b[13] = std::uint8_t(~address);
    b[14] = address;
    b[15] = std::uint8_t(~address);
    return b;
}

std::optional<std::uint32_t> blockValue(const Block& b) {
    for (int i = 0; i < 4; ++i) {
        if (b[std::size_t(i)] != b[std::size_t(i + 8)] ||
            b[std::size_t(i)] != std::uint8_t(~b[std::size_t(i + 4)]))
            return std::nullopt;
    }
    if (b[12] != b[14] || b[13] != b[15] || b[12] != std::uint8_t(~b[13]))
        return std::nullopt;
    return readLE(b.data());
}

MifareCard makeMifareCard(const std::array<std::uint8_t, 4>& uid, int blockCount) {
    MifareCard card;
    card.uid = uid;
    card.blocks.assign(std::size_t(blockCount), Block{});
    Block& maker = card.blocks[0];
    std::copy(uid.begin(), uid.end(), maker.begin());
    maker[4] = std::uint8_t(uid[0] ^ uid[1] ^ uid[2] ^ uid[3]); // BCC
    maker[5] = blockCount > 64 ? 0x18 : 0x08;                   // SAK
    maker[6] = blockCount > 64 ? 0x02 : 0x04;                   // ATQA
    maker[7] = 0x00;
    const Block trailer{0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x07,
                        0x80, 0x69, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
    for (int s = 0; s < sectorCount(blockCount); ++s)
        card.blocks[std::size_t(trailerOfSector(s))] = trailer;
    return card;
}

void MifareState::takeOut(std::size_t index) {
    takeOutOfField(cards, selected, index);
}

void MifareState::putIn(std::size_t index) {
    putIntoField(cards, index);
}

std::optional<Reply> mifareAnswer(HfState& state, const Request& request) {
    switch (request.command) {
    case 0x06:
        return haltCommand(state, request);
    case 0x20:
    case 0x21:
        return blocks(state, request);
    case 0x22:
    case 0x23:
    case 0x24:
        return value(state, request);
    case 0x25:
        return cardNumber(state, request);
    default:
        return std::nullopt;
    }
}

} // namespace rfidsim
