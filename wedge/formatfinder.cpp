#include "formatfinder.h"

#include <cctype>

namespace rfid::wedge {

namespace {
int hexValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

// The text for an error: printable ASCII as it is, anything else as \xNN;
// long texts cut.
std::string shown(const std::string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size() && i < 40; ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (c >= 0x20 && c < 0x7F && c != '"' && c != '\\') {
            out += char(c);
        } else {
            static const char digits[] = "0123456789ABCDEF";
            out += "\\x";
            out += digits[c >> 4];
            out += digits[c & 15];
        }
    }
    if (text.size() > 40)
        out += "...";
    return "\"" + out + "\"";
}

void addOnce(std::u32string& out, char32_t c) {
    if (c != 0 && out.find(c) == std::u32string::npos)
        out += c;
}
} // namespace

std::optional<CardNumber> parseCardId(const std::string& text, std::string* error) {
    auto fail = [&](const std::string& why) -> std::optional<CardNumber> {
        if (error)
            *error = why;
        return std::nullopt;
    };
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (hexValue(text[i]) < 0)
            return fail("card ID " + shown(text) + " holds " + shown(std::string(1, text[i])) + " at place " +
                        std::to_string(i + 1) + ", which is not a hex digit (0-9, A-F)");
    }
    if (text.size() != 10 && text.size() != 14)
        return fail("card ID " + shown(text) + " has " + std::to_string(text.size()) +
                    " hex digits; a card ID is 10 hex digits (the 5 bytes of a 125 kHz card) or 14 (a "
                    "7-byte card)");
    CardNumber card{};
    const std::size_t first = card.size() - text.size() / 2;
    for (std::size_t i = 0; i < text.size() / 2; ++i)
        card[first + i] = std::uint8_t(hexValue(text[2 * i]) * 16 + hexValue(text[2 * i + 1]));
    return card;
}

std::string cardIdText(const CardNumber& card) {
    static const char digits[] = "0123456789ABCDEF";
    const std::size_t first = card[0] == 0 && card[1] == 0 ? 2 : 0;
    std::string out;
    for (std::size_t i = first; i < card.size(); ++i) {
        out += digits[card[i] >> 4];
        out += digits[card[i] & 15];
    }
    return out;
}

std::vector<Rendering> renderAll(const CardNumber& card) {
    std::vector<Rendering> out;
    for (const FormatModel& f : formatModels())
        out.push_back({&f, renderNumber(f, card)});
    return out;
}

std::string normalizedNumber(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (std::isspace(static_cast<unsigned char>(c)))
            continue;
        out += (c >= 'a' && c <= 'z') ? char(c - 'a' + 'A') : c;
    }
    return out;
}

std::vector<Rendering> formatsTyping(const CardNumber& card, const std::string& expected) {
    const std::string wanted = normalizedNumber(expected);
    std::vector<Rendering> out;
    if (wanted.empty())
        return out;
    for (const Rendering& r : renderAll(card)) {
        if (r.number == wanted)
            out.push_back(r);
    }
    return out;
}

std::u32string charactersTyped(const OutputSettings& settings) {
    const TypedLayout t = typedLayout(settings);
    std::u32string out;
    for (char c : t.prefix)
        addOnce(out, char32_t(static_cast<unsigned char>(c)));
    if (t.semicolon)
        addOnce(out, U';');
    if (t.number) {
        for (const Segment& s : t.number->segments) {
            if (s.alphabet == Alphabet::Literal) {
                for (const char* p = s.literal; *p; ++p)
                    addOnce(out, char32_t(static_cast<unsigned char>(*p)));
                continue;
            }
            for (char32_t c = U'0'; c <= U'9'; ++c)
                addOnce(out, c);
            if (s.alphabet == Alphabet::Hex) {
                for (char32_t c = U'A'; c <= U'F'; ++c)
                    addOnce(out, c);
            }
        }
    }
    if (t.comma)
        addOnce(out, U',');
    if (t.question)
        addOnce(out, U'?');
    for (char c : t.custom + t.suffix)
        addOnce(out, char32_t(static_cast<unsigned char>(c)));
    if (t.enter)
        addOnce(out, U'\r');
    return out;
}

} // namespace rfid::wedge
