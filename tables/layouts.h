// Which keyboard layout the reader types for, and which one the desktop uses,
// in the X keyboard extension's names ("us", "de", "ch(fr)").
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace rfid::wedge {

struct KeyboardLayout {
    std::string layout;  // "de"
    std::string variant; // "" for the layout's default

    std::string name() const; // "de", "ch(fr)"
};

// The layout the reader's keyboard language `code` types for; nullopt for
// "Non Latin" and for codes that name no language.
std::optional<KeyboardLayout> readerLayout(std::uint8_t code);

// The first layout in the output of `setxkbmap -query` ("layout:  de,us").
std::optional<KeyboardLayout> parseSetxkbmapQuery(const std::string& output);
// The first layout in /etc/default/keyboard (XKBLAYOUT="de,us").
std::optional<KeyboardLayout> parseDefaultKeyboard(const std::string& text);

// Whether a reader typing for `reader` produces the intended characters on a
// desktop using `desktop`: the same layout, and the same variant where the
// reader's layout names one.
bool sameLayout(const KeyboardLayout& reader, const KeyboardLayout& desktop);

// Whether `s` can be a layout or variant name: 1 to 32 letters, digits, '_' and
// '-'. Anything else read from a file or a command is not passed on.
bool plausibleLayoutName(const std::string& s);

} // namespace rfid::wedge
