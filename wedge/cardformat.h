// What the keyboard-output reader types when a card is presented: the
// rendering of a card number in each output format (the formats' rows in
// core/readerfacts.h say how), the separators, the prefix, suffix and custom
// bytes, and Enter. The simulated reader types with it and the card test
// checks typed text against it, so both always agree.
//
// Plain C++ without Qt: the simulated reader's library links it.
#pragma once

#include "readerfacts.h"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace rfid::wedge {

// A card's number as the reader holds it: seven bytes, most significant first.
// A 125 kHz card's five bytes stand in bytes 2-6 (bytes 0-1 are then zero); the
// "four-byte number" is bytes 3-6.
using CardNumber = std::array<std::uint8_t, 7>;

// The format rows of the reader's table hold their renderings.
using rfid::Alphabet;
using rfid::OutputSettings;
using rfid::Segment;
using FormatModel = rfid::OutputFormat;

// The model of every format the reader has, in code order.
const std::array<FormatModel, kOutputFormatCount>& formatModels();
// The model of format `code`; nullptr for a code that names no format.
const FormatModel* formatModel(std::uint8_t code);

// The digits of `card` in format `model`, without separators.
std::string renderNumber(const FormatModel& model, const CardNumber& card);

// The key the reader types for a prefix, suffix or custom byte. The byte is
// an ASCII code: 0x20-0x7E type that character, 0x0D Enter, 0x09 Tab, 0x08
// Backspace, 0x1B Escape, 0x7F Delete (returned as those ASCII control codes).
// 0x00 means "no byte", and every other value has no key in the model: the
// reader types nothing for it. Returns 0 when nothing is typed.
char keyForByte(std::uint8_t byte);

// The pieces of one typed card, in the order the reader types them:
// prefix bytes, ";", the number (with "," in the middle), "?", the custom
// byte, suffix bytes, Enter.
struct TypedLayout {
    std::string prefix;
    bool semicolon = false;
    const FormatModel* number = nullptr; // nullptr: the format code names no format
    bool comma = false;
    bool question = false;
    std::string custom;
    std::string suffix;
    bool enter = false;
};
TypedLayout typedLayout(const OutputSettings& settings);

// Everything the reader types for `card`, as ASCII with control keys as their
// control codes ("\r" for Enter). Empty when the format code names no format.
std::string typedText(const OutputSettings& settings, const CardNumber& card);

} // namespace rfid::wedge
