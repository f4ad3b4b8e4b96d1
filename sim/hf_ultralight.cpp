#include "hf_ultralight.h"

#include "hf_field.h"
#include "hf_state.h"
#include "model.h"

#include <algorithm>

namespace rfidsim {

namespace {
constexpr std::uint8_t kOverflow = 0x10;
constexpr std::uint8_t kNoCard = 0x83;
constexpr std::uint8_t kBadFormat = 0x85;
constexpr std::uint8_t kLocked = 0x94;

constexpr int kPages = 16;

Bytes uidOf(const UltralightCard& card) {
    return Bytes(card.uid.begin(), card.uid.end());
}

// Mode byte: 00 idle cards only, 01 all cards.
bool validMode(std::uint8_t mode) {
    return mode <= 0x01;
}

// Lock bits of page 2: byte 2 bits 3-7 lock pages 3-7, byte 3 bits 0-7 pages 8-15.
bool pageLocked(const UltralightCard& card, int page) {
    const Page& lock = card.pages[2];
    if (page >= 3 && page <= 7)
        return (lock[2] >> page) & 0x01;
    if (page >= 8)
        return (lock[3] >> (page - 8)) & 0x01;
    return false;
}

Reply cardNumber(HfState& state, const Request& r) {
    if (r.data.size() != 1 || !validMode(r.data[0]))
        return refuse(kBadFormat);
    const UltralightCard* card = selectUltralight(state, r.data[0] == 0x01);
    if (!card)
        return refuse(kNoCard);
    return ok(uidOf(*card));
}

// Read (E0): mode, page. Four pages from the given one (wrapping past the last
// page, as the cards do), then the card number.
Reply readPages(HfState& state, const Request& r) {
    const Bytes& d = r.data;
    if (d.size() != 2 || !validMode(d[0]))
        return refuse(kBadFormat);
    if (d[1] >= kPages)
        return refuse(kOverflow);
    const UltralightCard* card = selectUltralight(state, d[0] == 0x01);
    if (!card)
        return refuse(kNoCard);
    // Four pages and the UID, the room reserved at once (which also spares GCC
    // 12 a false out-of-bounds warning about the growing vector).
    const Bytes uid = uidOf(*card);
    Bytes out;
    out.reserve(4 * sizeof(Page) + uid.size());
    for (int i = 0; i < 4; ++i) {
        const Page& p = card->pages[std::size_t((d[1] + i) % kPages)];
        out.insert(out.end(), p.begin(), p.end());
    }
    out.insert(out.end(), uid.begin(), uid.end());
    return ok(out);
}

// Write (E1): mode, 01 (one page), page, four data bytes. Lock and
// one-time-programmable bits can only be set, never cleared.
Reply writePage(HfState& state, const Request& r) {
    const Bytes& d = r.data;
    if (d.size() != 7 || !validMode(d[0]) || d[1] != 0x01)
        return refuse(kBadFormat);
    const int page = d[2];
    if (page >= kPages)
        return refuse(kOverflow);
    UltralightCard* card = selectUltralight(state, d[0] == 0x01);
    if (!card)
        return refuse(kNoCard);
    if (page < 2 || pageLocked(*card, page))
        return refuse(kLocked);
    Page& target = card->pages[std::size_t(page)];
    if (page == 2) {
        target[2] |= d[5];
        target[3] |= d[6];
    } else if (page == 3) {
        for (int i = 0; i < 4; ++i)
            target[std::size_t(i)] |= d[std::size_t(3 + i)];
    } else {
        std::copy_n(&d[3], 4, target.begin());
    }
    return ok(uidOf(*card));
}
} // namespace

UltralightCard makeUltralightCard(const std::array<std::uint8_t, 7>& uid) {
    UltralightCard card;
    card.uid = uid;
    card.pages[0] = {uid[0], uid[1], uid[2], std::uint8_t(0x88 ^ uid[0] ^ uid[1] ^ uid[2])};
    card.pages[1] = {uid[3], uid[4], uid[5], uid[6]};
    card.pages[2] = {std::uint8_t(uid[3] ^ uid[4] ^ uid[5] ^ uid[6]), 0x48, 0x00, 0x00};
    return card;
}

void UltralightState::takeOut(std::size_t index) {
    takeOutOfField(cards, selected, index);
}

void UltralightState::putIn(std::size_t index) {
    putIntoField(cards, index);
}

UltralightCard* selectUltralight(HfState& state, bool all) {
    UltralightState& u = state.ultralight;
    for (std::size_t i = 0; i < u.cards.size(); ++i) {
        UltralightCard& c = u.cards[i];
        if (c.inField && (all || !c.halted)) {
            c.halted = false;
            u.selected = int(i);
            state.mifare.selected = -1;
            return &c;
        }
    }
    return nullptr;
}

void haltUltralight(UltralightState& state, std::size_t index) {
    if (index >= state.cards.size())
        return;
    state.cards[index].halted = true;
    if (state.selected == int(index))
        state.selected = -1;
}

std::optional<Reply> ultralightAnswer(HfState& state, const Request& request) {
    switch (request.command) {
    case 0xE0:
        return readPages(state, request);
    case 0xE1:
        return writePage(state, request);
    case 0xE3:
        return cardNumber(state, request);
    default:
        return std::nullopt;
    }
}

} // namespace rfidsim
