// What the program knows about the keyboard-output reader, one table per fact:
// a row per output format (its code, radio-button caption, read-back name and
// how the reader renders a card number in it), a row per keyboard language
// (code, caption, read-back name, the XKB keyboard layout it types for), the
// reader modes, Bluetooth modes and sleep times, and the byte layout of the
// output-settings command.
//
// Plain C++ without Qt: the window, rfidctl, the card test's logic and the
// simulated reader's library all read these rows. Captions keep the texts as
// the window shows them (with their trailing blanks); read-back names are the
// names the reader's read-back is given in the log.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

namespace rfid {

// ---------------------------------------------------------------------------
// Output formats.

enum class Alphabet { Decimal, Hex, Literal };

// One run of characters of a rendered card number: `byteCount` bytes of the
// seven-byte card number from `firstByte` (optionally in reversed byte order),
// read as one big-endian integer and written in `digits` decimal or upper-case
// hex digits, zero-padded; a value that needs more digits keeps its last
// `digits`. A Literal run is the fixed text `literal`.
//
// The card number's bytes: a 125 kHz card's five bytes stand in bytes 2-6
// (bytes 0-1 are then zero); the "four-byte number" is bytes 3-6.
struct Segment {
    Alphabet alphabet = Alphabet::Decimal;
    int firstByte = 0;
    int byteCount = 0;
    bool reversed = false;
    int digits = 0;
    const char* literal = "";
};

// One output format. `segments` is how the reader renders a card number in
// it; `middle` is the number of characters before the comma that "comma in
// the middle" adds.
struct OutputFormat {
    std::uint8_t code;
    const char* caption;  // the radio button's caption
    const char* readName; // the read-back's name (not always the caption)
    std::vector<Segment> segments;
    int middle;

    int length() const; // characters of the rendered number
};

// ---------------------------------------------------------------------------
// Keyboard languages.

// One keyboard language: its code, radio-button caption, read-back name, and
// the XKB layout (and variant, "" for the layout's default) the reader types
// for; `xkbLayout` is nullptr for a language without one layout ("Non Latin").
struct KeyboardLanguage {
    std::uint8_t code;
    const char* caption;
    const char* readName;
    const char* xkbLayout;
    const char* xkbVariant;
};

// ---------------------------------------------------------------------------
// Modes and sleep times.

// A reader mode or a Bluetooth mode: its code, radio-button caption and the
// name the mode reports give it.
struct ModeChoice {
    std::uint8_t code;
    const char* caption;
    const char* reportName;
};

// One sleep time: its code (the item's index) and the drop-down item text.
struct SleepTime {
    std::uint8_t code;
    const char* itemText;
};

constexpr int kOutputFormatCount = 15;
constexpr int kLanguageCount = 30;
constexpr int kModeCount = 3;
constexpr int kSleepTimeCount = 9;

// In code order (0x00 to 0x0F; 0x04 names no format).
const std::array<OutputFormat, kOutputFormatCount>& outputFormats();
// In code order, 0x00 to 0x1D: the index is the code.
const std::array<KeyboardLanguage, kLanguageCount>& keyboardLanguages();
// Codes 0x01, 0x02, 0x03.
const std::array<ModeChoice, kModeCount>& readerModes();
// Codes 0x00, 0x01, 0x02.
const std::array<ModeChoice, kModeCount>& bluetoothModes();
// Codes 0x00 to 0x08: the index is the code.
const std::array<SleepTime, kSleepTimeCount>& sleepTimes();

// Look-ups by code; nullptr for a code the table does not hold.
const OutputFormat* outputFormatByCode(std::uint8_t code);
const KeyboardLanguage* languageByCode(std::uint8_t code);
const ModeChoice* readerModeByCode(std::uint8_t code);
const ModeChoice* bluetoothModeByCode(std::uint8_t code);
const SleepTime* sleepTimeByCode(std::uint8_t code);

// ---------------------------------------------------------------------------
// The output settings: the 16 data bytes of the write-output-settings command,
// which the read-back (0x83) reports after the language code in the same order.

enum OutputByte : int {
    kFormatByte = 0,
    kSemicolonByte = 1,
    kQuestionMarkByte = 2,
    kCommaByte = 3,
    kEnterByte = 4,
    kBuzzerByte = 5,   // 01 big, 00 small
    kFixedByte = 6,    // always 01
    kCustomByte = 7,   // 00: no custom byte
    kPrefixByte = 8,   // prefix bytes 1-4: 8 to 11
    kSuffixByte = 12,  // suffix bytes 1-4: 12 to 15
    kOutputBytes = 16, // how many there are
};
constexpr std::uint8_t kFixedByteValue = 0x01;

// The output settings the reader holds, decoded.
struct OutputSettings {
    std::uint8_t format = 0x0F;
    bool semicolon = false;
    bool question = false;
    bool comma = false;
    bool enter = false;
    bool bigBuzzer = true;
    std::uint8_t custom = 0x00; // 0x00: no custom byte
    std::array<std::uint8_t, 4> prefix{};
    std::array<std::uint8_t, 4> suffix{};

    // From the data bytes in command order; `count` below 16 leaves the
    // missing fields at their defaults (a null `bytes` gives the defaults).
    static OutputSettings fromBytes(const std::uint8_t* bytes, int count);
    // The 16 data bytes of the write-output-settings command.
    std::array<std::uint8_t, kOutputBytes> toBytes() const;
};

} // namespace rfid
