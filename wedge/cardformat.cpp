#include "cardformat.h"

#include <algorithm>

namespace rfid::wedge {

const std::array<FormatModel, kOutputFormatCount>& formatModels() {
    return outputFormats();
}

const FormatModel* formatModel(std::uint8_t code) {
    return outputFormatByCode(code);
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
