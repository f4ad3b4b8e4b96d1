#include "readerfacts.h"

#include <string>

namespace rfid {

namespace {
Segment dec(int firstByte, int byteCount, int digits, bool reversed = false) {
    return {Alphabet::Decimal, firstByte, byteCount, reversed, digits, ""};
}
Segment hex(int firstByte, int byteCount, int digits, bool reversed = false) {
    return {Alphabet::Hex, firstByte, byteCount, reversed, digits, ""};
}
Segment text(const char* literal) {
    return {Alphabet::Literal, 0, 0, false, int(std::char_traits<char>::length(literal)), literal};
}
constexpr bool kReversed = true;
} // namespace

// How each format renders a card is not documented by the reader; the model
// is read from the formats' names. "Four-byte number" = card bytes 3-6, "last
// 3 bytes" = bytes 4-6, the 125 kHz card's five bytes = bytes 2-6, "7 byte" =
// bytes 0-6.
const std::array<OutputFormat, kOutputFormatCount>& outputFormats() {
    static const std::array<OutputFormat, kOutputFormatCount> table{{
        // Each half of the four-byte number: its first byte as 2 hex digits,
        // its second as 4 decimal digits.
        {0x00, "2H4D + 2H4D ", "2H4D + 2H4D ", {hex(3, 1, 2), dec(4, 1, 4), hex(5, 1, 2), dec(6, 1, 4)}, 6},
        // 14 hex digits, seven bytes; then the same, bytes reversed.
        {0x01, "14 no. in HEX (7 byte)     ", "14 no. in HEX (7 byte) ", {hex(0, 7, 14)}, 7},
        {0x02,
         "14 no. in HEX reverse  (7 byte)     ",
         "14 no. in HEX reverse  (7 byte)  ",
         {hex(0, 7, 14, kReversed)},
         7},
        // 8 hex digits, bytes of the four-byte number reversed.
        {0x03, "8 no. in HEX reverse    ", "8 no. in HEX reverse", {hex(3, 4, 8, kReversed)}, 4},
        // 13 decimal digits: all five bytes of the card.
        {0x05, "13 no. in D", "13 no. in D", {dec(2, 5, 13)}, 6},
        // 18 decimal digits: all seven bytes.
        {0x06, "18 no. in D", "18 no. in D", {dec(0, 7, 18)}, 9},
        // 10 hex digits: all five bytes of the card.
        {0x07, "10 no. in HEX", "10 no. in HEX", {hex(2, 5, 10)}, 5},
        // 5 decimal digits: the last two bytes.
        {0x08, "5 no. in D", "5 no. in D", {dec(5, 2, 5)}, 2},
        // The last 8 decimal digits of the four-byte number.
        {0x09, "8 no. in D (last 4 bytes)", "8 no. in D ", {dec(3, 4, 8)}, 4},
        // 10 decimal digits of the four-byte number, bytes reversed.
        {0x0A, "10 no. in D reverse   ", "10 no. in D reverse", {dec(3, 4, 10, kReversed)}, 5},
        // 8 decimal digits: the last three bytes.
        {0x0B, " 8 no. in D (last 3bytes)", "8 no. in D (last 3bytes)", {dec(4, 3, 8)}, 4},
        // 8 hex digits: the four-byte number.
        {0x0C, "8 no. in HEX      ", "8 no. in HEX", {hex(3, 4, 8)}, 4},
        // "00", then the last three bytes in 8 decimal digits.
        {0x0D,
         " 00+8 no. in D (last 3 bytes) ",
         "00+8 no. in D (last 3 bytes)",
         {text("00"), dec(4, 3, 8)},
         5},
        // The card's last three bytes as 3 + 5 decimal digits (byte 4, then bytes 5-6).
        {0x0E,
         "8 no. in D (last 4 bytes)",
         "8 no. in D (The card last 3bytes)",
         {dec(4, 1, 3), dec(5, 2, 5)},
         3},
        // 10 decimal digits: the four-byte number.
        {0x0F, "10 no.in D(four byte) ", "10 no.in D", {dec(3, 4, 10)}, 5},
    }};
    return table;
}

int OutputFormat::length() const {
    int n = 0;
    for (const Segment& s : segments)
        n += s.digits;
    return n;
}

const std::array<KeyboardLanguage, kLanguageCount>& keyboardLanguages() {
    static const std::array<KeyboardLanguage, kLanguageCount> table{{
        {0x00, "American style", "American style", "us", ""},
        {0x01, "Belgium", "Belgium", "be", ""},
        {0x02, "Brazil", "Brazil", "br", ""},
        {0x03, "Canada", "Canada", "ca", ""},
        {0x04, "Croatia", "Croatia", "hr", ""},
        {0x05, "Czech Republic ", "Czech Republic", "cz", ""},
        {0x06, "Slovakia", "Slovakia", "sk", ""},
        {0x07, "Denmark  ", "Denmark", "dk", ""},
        {0x08, "Finland", "Finland ", "fi", ""},
        {0x09, "French", "French", "fr", ""},
        {0x0A, "German", "German", "de", ""},
        {0x0B, "Hungary", "Hungary", "hu", ""},
        {0x0C, "Italy", "Italy ", "it", ""},
        {0x0D, "Latin America", "Latin America ", "latam", ""},
        {0x0E, "Netherlands", "Netherlands ", "nl", ""},
        {0x0F, "Norway", "Norway", "no", ""},
        {0x10, "poland", "poland", "pl", ""},
        {0x11, "Portugal", "Portugal ", "pt", ""},
        {0x12, "Serbia", "Serbia", "rs", "latin"},
        {0x13, "Slovenia", "Slovenia ", "si", ""},
        {0x14, "Spain", "Spain", "es", ""},
        {0x15, "Sweden", "Sweden", "se", ""},
        {0x16, "Switzerland-French", "Switzerland-French", "ch", "fr"},
        {0x17, "Switzerland-German", "Switzerland-German", "ch", ""},
        {0x18, "England", "England ", "gb", ""},
        {0x19, "Non Latin", "Non Latin", nullptr, ""}, // no one layout
        {0x1A, "turkey-F", "turkey-F", "tr", "f"},
        {0x1B, "turkey-Q", "turkey-Q", "tr", ""},
        {0x1C, "Japanese", "Japanese ", "jp", ""},
        {0x1D, "Romania", "Romania", "ro", ""},
    }};
    return table;
}

const std::array<ModeChoice, kModeCount>& readerModes() {
    static const std::array<ModeChoice, kModeCount> table{{
        {0x01, "Key trigger mode         ", "Key trigger mode "},
        {0x02, "Active read single     ", "Active read single "},
        {0x03, "Active read continuity  ", "Active read continuity "},
    }};
    return table;
}

const std::array<ModeChoice, kModeCount>& bluetoothModes() {
    static const std::array<ModeChoice, kModeCount> table{{
        {0x00, "Hid mode", "HID mode "},
        {0x01, "SPP mode", "SPP mode "},
        {0x02, "BLE mode", "BLE mode "},
    }};
    return table;
}

const std::array<SleepTime, kSleepTimeCount>& sleepTimes() {
    static const std::array<SleepTime, kSleepTimeCount> table{{
        {0x00, "0   minute"},
        {0x01, "0.5 minute"},
        {0x02, "1   minute"},
        {0x03, "2   minute"},
        {0x04, "5   minute"},
        {0x05, "10  minute"},
        {0x06, "30  minute"},
        {0x07, "60  minute"},
        {0x08, "120 minute"},
    }};
    return table;
}

namespace {
template <typename Table> auto byCode(const Table& table, std::uint8_t code) -> decltype(&table[0]) {
    for (const auto& entry : table) {
        if (entry.code == code)
            return &entry;
    }
    return nullptr;
}
} // namespace

const OutputFormat* outputFormatByCode(std::uint8_t code) {
    return byCode(outputFormats(), code);
}
const KeyboardLanguage* languageByCode(std::uint8_t code) {
    return byCode(keyboardLanguages(), code);
}
const ModeChoice* readerModeByCode(std::uint8_t code) {
    return byCode(readerModes(), code);
}
const ModeChoice* bluetoothModeByCode(std::uint8_t code) {
    return byCode(bluetoothModes(), code);
}
const SleepTime* sleepTimeByCode(std::uint8_t code) {
    return byCode(sleepTimes(), code);
}

OutputSettings OutputSettings::fromBytes(const std::uint8_t* bytes, int count) {
    OutputSettings s;
    auto at = [&](int i, std::uint8_t fallback) { return (bytes && i < count) ? bytes[i] : fallback; };
    s.format = at(kFormatByte, s.format);
    s.semicolon = at(kSemicolonByte, 0) != 0;
    s.question = at(kQuestionMarkByte, 0) != 0;
    s.comma = at(kCommaByte, 0) != 0;
    s.enter = at(kEnterByte, 0) != 0;
    s.bigBuzzer = at(kBuzzerByte, 1) != 0;
    s.custom = at(kCustomByte, 0);
    for (int i = 0; i < 4; ++i) {
        s.prefix[std::size_t(i)] = at(kPrefixByte + i, 0);
        s.suffix[std::size_t(i)] = at(kSuffixByte + i, 0);
    }
    return s;
}

std::array<std::uint8_t, kOutputBytes> OutputSettings::toBytes() const {
    std::array<std::uint8_t, kOutputBytes> out{};
    out[kFormatByte] = format;
    out[kSemicolonByte] = semicolon ? 1 : 0;
    out[kQuestionMarkByte] = question ? 1 : 0;
    out[kCommaByte] = comma ? 1 : 0;
    out[kEnterByte] = enter ? 1 : 0;
    out[kBuzzerByte] = bigBuzzer ? 1 : 0;
    out[kFixedByte] = kFixedByteValue;
    out[kCustomByte] = custom;
    for (std::size_t i = 0; i < 4; ++i) {
        out[kPrefixByte + i] = prefix[i];
        out[kSuffixByte + i] = suffix[i];
    }
    return out;
}

} // namespace rfid
