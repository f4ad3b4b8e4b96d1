#include "cardformat.h"

#include <algorithm>

namespace rfid::wedge {

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

// The simulated reader's model of the output formats, read from their names.
// "Four-byte number" = card bytes 3-6, "last 3 bytes" = bytes 4-6, the 125 kHz
// card's five bytes = bytes 2-6, "7 byte" = bytes 0-6.
const std::vector<FormatModel>& formatModels() {
    static const std::vector<FormatModel> models = {
        // Each half of the four-byte number: its first byte as 2 hex digits,
        // its second as 4 decimal digits.
        {0x00, {hex(3, 1, 2), dec(4, 1, 4), hex(5, 1, 2), dec(6, 1, 4)}, 6},
        {0x01, {hex(0, 7, 14)}, 7},            // 14 hex digits, seven bytes
        {0x02, {hex(0, 7, 14, kReversed)}, 7}, // the same, bytes reversed
        {0x03, {hex(3, 4, 8, kReversed)}, 4},  // 8 hex digits, bytes reversed
        {0x05, {dec(2, 5, 13)}, 6},            // 13 decimal digits: all five bytes of the card
        {0x06, {dec(0, 7, 18)}, 9},            // 18 decimal digits: all seven bytes
        {0x07, {hex(2, 5, 10)}, 5},            // 10 hex digits: all five bytes of the card
        {0x08, {dec(5, 2, 5)}, 2},             // 5 decimal digits: the last two bytes
        {0x09, {dec(3, 4, 8)}, 4},             // the last 8 decimal digits of the four-byte number
        {0x0A, {dec(3, 4, 10, kReversed)}, 5}, // 10 decimal digits, bytes reversed
        {0x0B, {dec(4, 3, 8)}, 4},             // 8 decimal digits: the last three bytes
        {0x0C, {hex(3, 4, 8)}, 4},             // 8 hex digits: the four-byte number
        {0x0D, {text("00"), dec(4, 3, 8)}, 5}, // "00", then the last three bytes in 8 decimal digits
        // The card's last three bytes as 3 + 5 decimal digits (byte 4, then bytes 5-6).
        {0x0E, {dec(4, 1, 3), dec(5, 2, 5)}, 3},
        {0x0F, {dec(3, 4, 10)}, 5}, // 10 decimal digits: the four-byte number
    };
    return models;
}

int FormatModel::length() const {
    int n = 0;
    for (const Segment& s : segments)
        n += s.digits;
    return n;
}

const FormatModel* formatModel(std::uint8_t code) {
    for (const FormatModel& m : formatModels()) {
        if (m.code == code)
            return &m;
    }
    return nullptr;
}

namespace {
std::string renderSegment(const Segment& s, const CardNumber& card) {
    if (s.alphabet == Alphabet::Literal)
        return s.literal;
    std::uint64_t value = 0;
    for (int i = 0; i < s.byteCount; ++i) {
        const int index = s.reversed ? s.firstByte + s.byteCount - 1 - i : s.firstByte + i;
        value = (value << 8) | card[std::size_t(index)];
    }
    const unsigned radix = s.alphabet == Alphabet::Hex ? 16 : 10;
    std::string out(std::size_t(s.digits), '0');
    for (int i = s.digits - 1; i >= 0 && value != 0; --i) {
        out[std::size_t(i)] = "0123456789ABCDEF"[value % radix];
        value /= radix;
    }
    return out;
}
} // namespace

std::string renderNumber(const FormatModel& model, const CardNumber& card) {
    std::string out;
    for (const Segment& s : model.segments)
        out += renderSegment(s, card);
    return out;
}

OutputSettings OutputSettings::fromBytes(const std::uint8_t* bytes, int count) {
    OutputSettings s;
    auto at = [&](int i, std::uint8_t fallback) { return (bytes && i < count) ? bytes[i] : fallback; };
    s.format = at(0, s.format);
    s.semicolon = at(1, 0) != 0;
    s.question = at(2, 0) != 0;
    s.comma = at(3, 0) != 0;
    s.enter = at(4, 0) != 0;
    s.bigBuzzer = at(5, 1) != 0;
    s.custom = at(7, 0);
    for (int i = 0; i < 4; ++i) {
        s.prefix[std::size_t(i)] = at(8 + i, 0);
        s.suffix[std::size_t(i)] = at(12 + i, 0);
    }
    return s;
}

char keyForByte(std::uint8_t byte) {
    if (byte >= 0x20 && byte <= 0x7F)
        return char(byte);
    switch (byte) {
    case 0x08: // Backspace
    case 0x09: // Tab
    case 0x0D: // Enter
    case 0x1B: // Escape
        return char(byte);
    default:
        return 0;
    }
}

namespace {
std::string keysFor(const std::uint8_t* bytes, std::size_t count) {
    std::string out;
    for (std::size_t i = 0; i < count; ++i) {
        if (const char c = keyForByte(bytes[i]))
            out += c;
    }
    return out;
}
} // namespace

TypedLayout typedLayout(const OutputSettings& s) {
    TypedLayout t;
    t.prefix = keysFor(s.prefix.data(), s.prefix.size());
    t.semicolon = s.semicolon;
    t.number = formatModel(s.format);
    t.comma = s.comma;
    t.question = s.question;
    t.custom = keysFor(&s.custom, 1);
    t.suffix = keysFor(s.suffix.data(), s.suffix.size());
    t.enter = s.enter;
    return t;
}

std::string typedText(const OutputSettings& settings, const CardNumber& card) {
    const TypedLayout t = typedLayout(settings);
    if (!t.number)
        return {};
    std::string number = renderNumber(*t.number, card);
    if (t.comma)
        number.insert(std::size_t(t.number->middle), 1, ',');
    std::string out = t.prefix;
    if (t.semicolon)
        out += ';';
    out += number;
    if (t.question)
        out += '?';
    out += t.custom + t.suffix;
    if (t.enter)
        out += '\r';
    return out;
}

} // namespace rfid::wedge
