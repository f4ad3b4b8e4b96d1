#include "hf_iso14443b.h"

#include "model.h"

#include <algorithm>

namespace rfidsim {

namespace {
constexpr std::uint8_t kTimeout = 0x82;   // the card did not answer
constexpr std::uint8_t kNoCard = 0x83;    // no card in the field
constexpr std::uint8_t kBadFormat = 0x85; // wrong parameter or command format

constexpr std::uint8_t kAtqbMarker = 0x50;
constexpr std::uint8_t kReqb = 0x05; // REQB / WUPB sent through the data exchange

Bytes atqb(const TypeBCard& card) {
    Bytes out{kAtqbMarker};
    out.insert(out.end(), card.pupi.begin(), card.pupi.end());
    out.insert(out.end(), card.application.begin(), card.application.end());
    out.insert(out.end(), card.protocol.begin(), card.protocol.end());
    return out;
}

// What the card in the field answers to a block of the data exchange.
Reply exchange(TypeBState& s, const Bytes& block) {
    if (block[0] == kReqb) {
        if (block.size() != 3)
            return refuse(kBadFormat);
        if (s.cards.empty())
            return refuse(kNoCard);
        s.active = -1;
        return ok(atqb(s.cards.front()));
    }
    if (s.active < 0)
        return refuse(kTimeout); // no card listens before Attrib
    return ok({0x90, 0x00});
}

Reply identityRead(const TypeBState& s, bool fileId) {
    const auto card =
        std::find_if(s.cards.begin(), s.cards.end(), [](const TypeBCard& c) { return c.identity; });
    if (card == s.cards.end())
        return refuse(kNoCard);
    const auto& value = fileId ? card->fileId : card->idNumber;
    Bytes out{static_cast<std::uint8_t>(value.size())};
    out.insert(out.end(), value.begin(), value.end());
    out.push_back(0x90);
    out.push_back(0x00);
    return ok(out);
}
} // namespace

std::vector<TypeBCard> TypeBState::defaultCards() {
    TypeBCard id;
    id.pupi = {0x8C, 0x1E, 0x52, 0x07};
    id.application = {0x00, 0x00, 0x00, 0x00};
    id.protocol = {0x00, 0x81, 0x71};
    id.identity = true;
    id.idNumber = {0x21, 0x3A, 0x09, 0x4C, 0x7D, 0x56, 0x18, 0xE3};
    id.fileId = {0x5F, 0x00, 0x01, 0x10, 0x2B, 0x64, 0xC9, 0x0E};
    return {id};
}

std::optional<Reply> typeBAnswer(HfState& state, const Request& r) {
    TypeBState& s = state.typeB;
    const Bytes& d = r.data;
    switch (r.command) {
    case 0x09: { // card request
        if (!d.empty())
            return refuse(kBadFormat);
        if (s.cards.empty())
            return refuse(kNoCard);
        s.active = -1;
        const Bytes answer = atqb(s.cards.front());
        Bytes out{static_cast<std::uint8_t>(answer.size())};
        out.insert(out.end(), answer.begin(), answer.end());
        return ok(out);
    }
    case 0x0B: { // Attrib
        if (d.size() != 4)
            return refuse(kBadFormat);
        const auto card = std::find_if(s.cards.begin(), s.cards.end(), [&](const TypeBCard& c) {
            return std::equal(d.begin(), d.end(), c.pupi.begin());
        });
        if (card == s.cards.end())
            return refuse(kNoCard);
        s.active = int(card - s.cards.begin());
        return ok();
    }
    case 0x0C: // reset
        if (s.cards.empty())
            return refuse(kNoCard);
        s.active = -1;
        return ok(Bytes(s.cards.front().pupi.begin(), s.cards.front().pupi.end()));
    case 0x0D: // data exchange: count byte, then that many bytes
        if (d.size() < 2 || std::size_t(d[0]) != d.size() - 1)
            return refuse(kBadFormat);
        return exchange(s, Bytes(d.begin() + 1, d.end()));
    case 0x26:
        return identityRead(s, false);
    case 0x27:
        return identityRead(s, true);
    default:
        return std::nullopt;
    }
}

} // namespace rfidsim
