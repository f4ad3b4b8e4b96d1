// What a computer shows when the reader types: the reader presses keys for
// the keyboard layout of its language; the computer turns those keys into
// characters with its own layout. Both layouts are compiled from the XKB data
// (libxkbcommon), without a display.
//
// Plain C++ without Qt.
#pragma once

#include "layouts.h"
#include "readerfacts.h"

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace rfid::wedge {

// One key the reader presses: a key (its XKB keycode) with the modifier keys
// held down, the left Shift and the right Alt (AltGr on the layouts that
// have it).
struct KeyPress {
    std::uint32_t keycode = 0;
    bool shift = false;
    bool altGr = false;

    bool operator==(const KeyPress& o) const {
        return keycode == o.keycode && shift == o.shift && altGr == o.altGr;
    }
};

// What one key press gives on a layout.
struct KeyResult {
    char32_t ch = 0;       // the character, control keys as their ASCII codes ("\r" Enter); 0: none
    bool dead = false;     // a dead key: `ch` is its accent, which changes the next character
    bool shortcut = false; // the modifiers make it a shortcut (Alt+key), which types nothing
    std::string keysym;    // the XKB name of what the key gives ("Return", "dead_circumflex")
};

// A compiled keyboard layout.
class Keymap {
public:
    // The layout compiled; nullptr, with `error` saying why, when it cannot be
    // (a name with characters no layout has, or a layout or variant the XKB
    // data does not hold). Compiled layouts are kept for the life of the program.
    static std::shared_ptr<const Keymap> load(const KeyboardLayout& layout, std::string* error = nullptr);

    const KeyboardLayout& layout() const { return m_layout; }
    // The key and modifiers a reader's firmware presses to type `ch` on this
    // layout: only keys of the alphanumeric block (and the ISO key where the
    // layout's keyboards have one); no modifier before Shift before AltGr
    // before both; keys other than the 26 Latin letter keys first; then the
    // lowest keycode. nullopt when no such key types it.
    std::optional<KeyPress> keyFor(char32_t ch) const;
    // What `press` gives on this layout.
    KeyResult typed(const KeyPress& press) const;

    // How a press is named on this layout: "Shift+2", "AltGr+Q", "Enter".
    std::string describe(const KeyPress& press) const;

    explicit Keymap(KeyboardLayout layout) : m_layout(std::move(layout)) {}

private:
    friend struct KeymapBuilder;
    KeyboardLayout m_layout;
    std::map<std::uint32_t, std::vector<KeyResult>> m_keys; // keycode -> result per modifier combination
    std::map<char32_t, KeyPress> m_reverse;
    std::map<std::uint32_t, std::string> m_labels; // keycode -> what it gives without modifiers
};

enum class CharOutcome {
    Right,       // the computer shows the character meant
    Other,       // it shows another character
    Dead,        // the key is a dead key there: its accent, and the next character may change
    Nothing,     // the key gives nothing there (or only a shortcut)
    NotTypeable, // no key of the reader's layout types the character: the reader cannot send it
};

struct TypedChar {
    char32_t meant = 0;
    std::optional<KeyPress> press; // the key the reader presses
    char32_t shown = 0;            // what the computer shows (0: nothing)
    CharOutcome outcome = CharOutcome::Right;
};

struct Translation {
    std::vector<TypedChar> chars;

    // What the computer shows: dead keys as their accent, keys that give
    // nothing left out.
    std::u32string shown() const;
    bool right() const;
    // The characters meant that do not come out right, each once, in order.
    std::u32string wrong() const;
    // Those of them the reader's layout cannot type at all.
    std::u32string notTypeable() const;
};

// What a computer using `host` shows when a reader typing for `reader` means
// to type `text`.
Translation translate(const std::u32string& text, const Keymap& reader, const Keymap& host);

// A read that does not have the shape `settings` promise, but is exactly what
// a reader typing for `reader` makes appear on a computer using `host`: the
// number the reader meant ("0004533268"), without prefix, separators, suffix
// or Enter. "" when the read is not that (or the layouts make it ambiguous).
std::string numberTypedForOtherLayout(const std::u32string& read, const OutputSettings& settings,
                                      const Keymap& reader, const Keymap& host);

// How a reader language suits a computer's layout for a set of characters.
struct LanguageFit {
    const KeyboardLanguage* language = nullptr;
    std::shared_ptr<const Keymap> keymap; // null: the language has no one layout, or it failed to compile
    std::string problem;                  // why there is no keymap
    Translation translation;              // of the characters, when there is a keymap

    bool right() const { return keymap && translation.right(); }
};

// Every reader language tried for `text` on `host`: the languages whose layout
// is the host's own first (the same variant before another), then the rest in
// code order.
std::vector<LanguageFit> fitLanguages(const std::u32string& text, const Keymap& host);

// The reader language that types for exactly this layout and variant, or, when
// none does, one for the same layout; nullptr when no language types for it.
const KeyboardLanguage* ownLanguage(const KeyboardLayout& host);

// A layout name as people write it: "de", "de(nodeadkeys)", the layout in
// any case ("BE" is be). nullopt for anything else (empty, blanks, lists,
// characters no layout name has).
std::optional<KeyboardLayout> parseLayoutName(const std::string& text);

// The layout a user most likely meant by `text` when it names none: the
// layout of a reader language written by name ("Belgium", "belgian" -> be), or
// a layout of a reader language a typing slip away ("bw" -> be); "" when none.
std::string layoutMeant(const std::string& text);

} // namespace rfid::wedge
