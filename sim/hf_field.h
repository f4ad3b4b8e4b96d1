// Cards entering and leaving the simulated reader's field; shared by the card
// families whose cards can be selected (Mifare, Ultralight).
#pragma once

#include <cstddef>
#include <vector>

namespace rfidsim {

// Taking a card out resets it, as the lost field does, and deselects it.
template <typename Card> void takeOutOfField(std::vector<Card>& cards, int& selected, std::size_t index) {
    if (index >= cards.size())
        return;
    cards[index].inField = false;
    cards[index].halted = false;
    if (selected == int(index))
        selected = -1;
}

template <typename Card> void putIntoField(std::vector<Card>& cards, std::size_t index) {
    if (index >= cards.size())
        return;
    cards[index].inField = true;
    cards[index].halted = false;
}

} // namespace rfidsim
