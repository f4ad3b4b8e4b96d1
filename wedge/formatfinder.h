// A card in every output format: the card's ID as people write it, what the
// reader types for it in each format (with the same model the simulated
// reader types with), and the formats that type an expected number.
//
// Plain C++ without Qt.
#pragma once

#include "cardformat.h"

#include <optional>
#include <string>
#include <vector>

namespace rfid::wedge {

// A card ID as people write it: the five bytes of a 125 kHz card as 10 hex
// digits, or a seven-byte card's as 14, in either case, the bytes optionally
// apart by blanks, colons or dashes ("5D 00 45 2C 14", "5D:00:45:2C:14").
// The five bytes stand in bytes 2-6 of the card number. nullopt, with `error` saying what is
// wrong, for anything else.
std::optional<CardNumber> parseCardId(const std::string& text, std::string* error = nullptr);

// The card ID as 10 or 14 upper-case hex digits (10 when bytes 0-1 are zero).
std::string cardIdText(const CardNumber& card);

struct Rendering {
    const FormatModel* format = nullptr;
    std::string number; // the digits, without separators
};

// The card in every format, in code order.
std::vector<Rendering> renderAll(const CardNumber& card);

// An expected number as compared: blanks dropped, letters in upper case.
std::string normalizedNumber(const std::string& text);

// The formats in which the reader types `expected` for `card` (compared as
// normalizedNumber), in code order. Several formats can type one card alike
// (for a card whose byte 3 is zero, "10 no.in D" and "00+8 no. in D" both
// type ten digits starting "00"; for one whose byte 4 is zero, the last three
// bytes in 8 digits and in 3 + 5 digits agree); that card then cannot tell
// them apart.
std::vector<Rendering> formatsTyping(const CardNumber& card, const std::string& expected);

// What a user expects the reader to type, as they may have written it, held
// against what each format types.
struct ExpectMatch {
    Rendering rendering;
    std::string how; // empty: the number itself; else how the text was read ("what the reader types")
};
struct ExpectResult {
    std::vector<ExpectMatch> exact; // formats that type what was expected
    std::vector<ExpectMatch> near;  // when none does: formats that type it nearly, `how` says how
};

// The formats that type `expected` for `card`: the number itself
// (normalizedNumber), everything the reader types with `settings` (prefix,
// separators, suffix; a missing final Enter or blanks at the ends do not
// matter), the number amid signs that are no digits ("@;00452C14?/"), or
// facility,card notation ("069,11284", "69:11284") for the 3 + 5 digit format.
// When none does, the near misses: the number without its leading zeros.
ExpectResult findExpected(const CardNumber& card, const std::string& expected,
                          const OutputSettings* settings = nullptr);

// The characters the reader may type with `settings` for any card: the
// format's alphabet, the separators that are on, the prefix, suffix and
// custom bytes, Enter. Each once, in typing order.
std::u32string charactersTyped(const OutputSettings& settings);

} // namespace rfid::wedge
