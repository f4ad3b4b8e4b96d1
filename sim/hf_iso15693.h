// 13.56 MHz firmware: ISO 15693 vicinity cards.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

namespace rfidsim {

struct Request;
struct Reply;
struct HfState;

// One ISO 15693 card in the reader's field.
struct VicinityCard {
    std::array<std::uint8_t, 8> uid{}; // most significant byte (E0) first, as printed on the card
    std::uint8_t dsfid = 0;
    std::uint8_t afi = 0;
    bool dsfidLocked = false;
    bool afiLocked = false;
    std::uint8_t icReference = 0;
    std::uint8_t blockSize = 4;
    std::vector<std::uint8_t> memory; // blockCount() * blockSize bytes
    std::vector<bool> lockedBlocks;   // one per block

    int blockCount() const { return int(lockedBlocks.size()); }
};

struct Iso15693State {
    // In the field at power-on: three cards of different makers and sizes.
    std::vector<VicinityCard> cards = defaultCards();
    int selected = -1; // the card chosen by select, -1 when none

    static std::vector<VicinityCard> defaultCards();
};

// The answer when the command belongs to this group, nullopt otherwise.
//
// Every command but inventory starts with the request flags; the cards are
// addressed as ISO 15693 does: with the address flag (20) an 8-byte UID
// (most significant byte first) names the card, with the select flag (10) the
// selected card answers, otherwise the first card in the field. The option
// flag (40) adds a security status byte before each block that is read.
//  10 inventory: flags, AFI (used with flag 10), mask length in bits, mask
//     -> count, then per card: 00, DSFID, UID least significant byte first
//  11 read blocks: flags, first, count, [UID]          -> 00, blocks
//  12 write blocks: flags, first, count, [UID], data
//  13 lock block: flags, block, [UID]
//  15 select: flags, UID (always)
//  17 / 19 write AFI / DSFID: flags, value, [UID];  18 / 1A lock AFI / DSFID: flags, [UID]
//  1B system information: flags, [UID] -> 00, 0F, UID (LSB first), DSFID, AFI,
//     block count - 1, block size - 1, IC reference
//  1C block security status: flags, first, count, [UID] -> 00, one byte per block (01 locked)
std::optional<Reply> iso15693Answer(HfState& state, const Request& request);

} // namespace rfidsim
