// 13.56 MHz firmware: ISO 14443 type B cards and the resident identity card.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

namespace rfidsim {

struct Request;
struct Reply;
struct HfState;

// One type B card in the reader's field.
struct TypeBCard {
    std::array<std::uint8_t, 4> pupi{};        // pseudo-unique identifier, the card ID of Attrib
    std::array<std::uint8_t, 4> application{}; // application data of the ATQB
    std::array<std::uint8_t, 3> protocol{};    // protocol info of the ATQB
    // A second-generation resident identity card answers the two identity reads.
    bool identity = false;
    std::array<std::uint8_t, 8> idNumber{};
    std::array<std::uint8_t, 8> fileId{};
};

struct TypeBState {
    // In the field at power-on: one resident identity card.
    std::vector<TypeBCard> cards = defaultCards();
    int active = -1; // the card chosen by Attrib, -1 when none

    static std::vector<TypeBCard> defaultCards();
};

// The answer when the command belongs to this group, nullopt otherwise.
//  09 card request: card's answer length, then its ATQB (50, PUPI, application, protocol)
//  0B Attrib with a 4-byte card ID: the matching card becomes active
//  0C reset: the first card's serial number (its PUPI); no card is active afterwards
//  0D data exchange: count byte D and D bytes for the card; answers what the card answers
//  26 / 27 identity number / file identifier: 08, the 8 bytes, 90 00
std::optional<Reply> typeBAnswer(HfState& state, const Request& request);

} // namespace rfidsim
