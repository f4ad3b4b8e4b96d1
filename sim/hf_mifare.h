// 13.56 MHz firmware: Mifare S50/S70 cards (block read and write, value
// blocks, card number, halt).
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

namespace rfidsim {

struct Request;
struct Reply;
struct HfState;

using Block = std::array<std::uint8_t, 16>;

// One card: S50 cards have 64 blocks (16 sectors of 4), S70 cards 256 (32
// sectors of 4, then 8 of 16). The last block of every sector is its trailer:
// key A (bytes 0-5), access bits (6-9), key B (10-15).
struct MifareCard {
    std::array<std::uint8_t, 4> uid{};
    std::vector<Block> blocks;
    bool inField = true;
    bool halted = false; // a halted card answers only a request for all cards
};

// A card as it leaves the factory: manufacturer block, empty data blocks, and
// both keys FF FF FF FF FF FF in every trailer.
MifareCard makeMifareCard(const std::array<std::uint8_t, 4>& uid, int blockCount = 64);

// Sector layout of a card with `blockCount` blocks.
int sectorOfBlock(int block);
int firstBlockOfSector(int sector);
int trailerOfSector(int sector);
int sectorCount(int blockCount);

// The value-block form of `value` (little-endian, with its inverted copy and
// the block address as the cards check them) and its reading back.
Block valueBlock(std::uint32_t value, std::uint8_t address);
std::optional<std::uint32_t> blockValue(const Block& block);

struct MifareState {
    // The cards in (or taken out of) the field; one S50 card at power-on.
    std::vector<MifareCard> cards{makeMifareCard({0xA1, 0xB2, 0xC3, 0xD4})};
    int selected = -1; // index of the active card, -1 when none

    // Taking a card out and putting it back resets it, as the lost field does.
    void takeOut(std::size_t index);
    void putIn(std::size_t index);
};

// The answer when the command belongs to this group, nullopt otherwise.
// The halt command (06) also halts an active Ultralight card.
std::optional<Reply> mifareAnswer(HfState& state, const Request& request);

} // namespace rfidsim
