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
    // Blanks, colons and dashes may stand between bytes (as printed in
    // groups), never inside one, and not at the start or end.
    std::string digits;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        const bool apart = c == ' ' || c == ':' || c == '-';
        if (apart && i > 0 && i + 1 < text.size() && hexValue(text[i - 1]) >= 0 &&
            hexValue(text[i + 1]) >= 0 && digits.size() % 2 == 0)
            continue;
        if (hexValue(c) < 0)
            return fail("card ID " + shown(text) + " holds " + shown(std::string(1, c)) + " at place " +
                        std::to_string(i + 1) +
                        (apart ? ", which may stand only between two bytes"
                               : ", which is not a hex digit (0-9, A-F)"));
        digits += c;
    }
    if (digits.size() != 10 && digits.size() != 14)
        return fail("card ID " + shown(text) + " has " + std::to_string(digits.size()) +
                    " hex digits; a card ID is 10 hex digits (the 5 bytes of a 125 kHz card) or 14 (a "
                    "7-byte card)");
    CardNumber card{};
    const std::size_t first = card.size() - digits.size() / 2;
    for (std::size_t i = 0; i < digits.size() / 2; ++i)
        card[first + i] = std::uint8_t(hexValue(digits[2 * i]) * 16 + hexValue(digits[2 * i + 1]));
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

namespace {
std::string trimmed(const std::string& s) {
    std::size_t b = 0;
    std::size_t e = s.size();
    while (b < e && std::isspace(static_cast<unsigned char>(s[b])))
        ++b;
    while (e > b && std::isspace(static_cast<unsigned char>(s[e - 1])))
        --e;
    return s.substr(b, e - b);
}

bool alnum(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) != 0;
}

// The text between the first and the last letter or digit.
std::string innerNumber(const std::string& text) {
    std::size_t b = 0;
    std::size_t e = text.size();
    while (b < e && !alnum(text[b]))
        ++b;
    while (e > b && !alnum(text[e - 1]))
        --e;
    return text.substr(b, e - b);
}

std::string withoutLeadingZeros(const std::string& digits) {
    const std::size_t first = digits.find_first_not_of('0');
    return first == std::string::npos ? "0" : digits.substr(first);
}

// "069,11284", "69:11284", "69/11284": facility and card as 3 + 5 digits; "" otherwise.
std::string facilityCard(const std::string& text) {
    const std::size_t sep = text.find_first_of(",:/");
    if (sep == std::string::npos || sep == 0 || sep > 3 || text.size() - sep - 1 < 1 ||
        text.size() - sep - 1 > 5)
        return {};
    const std::string facility = text.substr(0, sep);
    const std::string number = text.substr(sep + 1);
    for (char c : facility + number) {
        if (!std::isdigit(static_cast<unsigned char>(c)))
            return {};
    }
    if (std::stoi(facility) > 255 || std::stol(number) > 65535)
        return {};
    return std::string(3 - facility.size(), '0') + facility + std::string(5 - number.size(), '0') + number;
}
} // namespace

ExpectResult findExpected(const CardNumber& card, const std::string& expected,
                          const OutputSettings* settings) {
    ExpectResult out;
    const std::string text = trimmed(expected);
    const std::string number = normalizedNumber(text);
    if (number.empty())
        return out;
    const std::string inner = normalizedNumber(innerNumber(text));
    const std::string fc = facilityCard(number);
    for (const Rendering& r : renderAll(card)) {
        std::string how;
        bool matches = r.number == number;
        if (!matches && settings) {
            OutputSettings s = *settings;
            s.format = r.format->code;
            matches = trimmed(typedText(s, card)) == text;
            how = "what the reader types";
        }
        if (!matches && !inner.empty() && inner != number && r.number == inner) {
            matches = true;
            how = "the number amid other signs";
        }
        if (!matches && !fc.empty() && r.format->code == 0x0E && r.number == fc) {
            matches = true;
            how = "facility,card";
        }
        if (matches) {
            out.exact.push_back({r, how});
            continue;
        }
        const std::string digits = inner.empty() ? number : inner;
        if (withoutLeadingZeros(r.number) == withoutLeadingZeros(digits) && r.number != digits)
            out.near.push_back({r, r.number.size() > digits.size() ? "your number with leading zeros"
                                                                   : "your number with fewer leading zeros"});
    }
    if (!out.exact.empty())
        out.near.clear();
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
