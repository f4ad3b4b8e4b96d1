// 13.56 MHz firmware: Ultralight cards (card number, page read, page write).
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

namespace rfidsim {

struct Request;
struct Reply;
struct HfState;

using Page = std::array<std::uint8_t, 4>;

// One card: a 7-byte number and 16 pages of 4 bytes. Pages 0-1 hold the number
// with its check bytes (read-only), page 2 the lock bytes (bytes 2-3), page 3
// the one-time-programmable bits; pages 4-15 are data.
struct UltralightCard {
    std::array<std::uint8_t, 7> uid{};
    std::array<Page, 16> pages{};
    bool inField = true;
    bool halted = false;
};

UltralightCard makeUltralightCard(const std::array<std::uint8_t, 7>& uid);

struct UltralightState {
    // The cards in (or taken out of) the field; one card at power-on.
    std::vector<UltralightCard> cards{makeUltralightCard({0x04, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E, 0x6F})};
    int selected = -1; // index of the active card, -1 when none

    // Taking a card out and putting it back resets it, as the lost field does.
    void takeOut(std::size_t index);
    void putIn(std::size_t index);
};

// Selects the first card that answers a request (all cards, or idle ones only);
// nullptr when none does. Deselects any Mifare card.
UltralightCard* selectUltralight(HfState& state, bool all);
void haltUltralight(UltralightState& state, std::size_t index);

// The answer when the command belongs to this group, nullopt otherwise.
std::optional<Reply> ultralightAnswer(HfState& state, const Request& request);

} // namespace rfidsim
