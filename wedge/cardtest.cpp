#include "cardtest.h"

#include <algorithm>
#include <cstdio>

namespace rfid::wedge {

std::u32string Read::text() const {
    std::u32string out;
    out.reserve(keys.size());
    for (const Keystroke& k : keys)
        out += k.ch;
    return out;
}

std::int64_t Read::durationMs() const {
    return keys.empty() ? 0 : keys.back().ms - keys.front().ms;
}

int entersPerRead(const OutputSettings& settings) {
    if (!settings.enter)
        return 0;
    const TypedLayout t = typedLayout(settings);
    const std::string extra = t.prefix + t.custom + t.suffix;
    return 1 + int(std::count(extra.begin(), extra.end(), '\r'));
}

std::vector<Read> ReadSplitter::add(const Keystroke& key) {
    std::vector<Read> out;
    if (!m_current.keys.empty()) {
        const std::int64_t last = m_current.keys.back().ms;
        if (key.ms - last > m_options.pauseMs || key.ms < last)
            out.push_back(*finish());
    }
    m_current.keys.push_back(key);
    if (key.ch == U'\r' && m_options.entersPerRead > 0 && ++m_enters >= m_options.entersPerRead)
        out.push_back(*finish());
    return out;
}

std::vector<Read> ReadSplitter::addPaste(const std::u32string& text, std::int64_t ms) {
    std::vector<Read> out;
    if (std::optional<Read> r = finish())
        out.push_back(std::move(*r));
    if (text.empty())
        return out;
    Read paste;
    paste.pasted = true;
    for (char32_t c : text)
        paste.keys.push_back({ms, c});
    out.push_back(std::move(paste));
    return out;
}

std::optional<Read> ReadSplitter::finish() {
    if (m_current.keys.empty())
        return std::nullopt;
    Read r = std::move(m_current);
    m_current = Read{};
    m_enters = 0;
    return r;
}

std::vector<Read> splitReads(const std::vector<Keystroke>& keys, SplitOptions options) {
    ReadSplitter splitter(options);
    std::vector<Read> out;
    for (const Keystroke& k : keys) {
        for (Read& r : splitter.add(k))
            out.push_back(std::move(r));
    }
    if (std::optional<Read> r = splitter.finish())
        out.push_back(std::move(*r));
    return out;
}

std::string toUtf8(const std::u32string& text) {
    std::string out;
    for (char32_t c : text) {
        if (c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF))
            c = 0xFFFD;
        if (c < 0x80) {
            out += char(c);
        } else if (c < 0x800) {
            out += char(0xC0 | (c >> 6));
            out += char(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += char(0xE0 | (c >> 12));
            out += char(0x80 | ((c >> 6) & 0x3F));
            out += char(0x80 | (c & 0x3F));
        } else {
            out += char(0xF0 | (c >> 18));
            out += char(0x80 | ((c >> 12) & 0x3F));
            out += char(0x80 | ((c >> 6) & 0x3F));
            out += char(0x80 | (c & 0x3F));
        }
    }
    return out;
}

std::u32string fromUtf8(const std::string& text) {
    std::u32string out;
    std::size_t i = 0;
    while (i < text.size()) {
        const unsigned char b = static_cast<unsigned char>(text[i]);
        int more = 0;
        char32_t c = 0;
        if (b < 0x80) {
            c = b;
        } else if ((b & 0xE0) == 0xC0) {
            more = 1;
            c = b & 0x1F;
        } else if ((b & 0xF0) == 0xE0) {
            more = 2;
            c = b & 0x0F;
        } else if ((b & 0xF8) == 0xF0) {
            more = 3;
            c = b & 0x07;
        } else {
            out += U'\uFFFD';
            ++i;
            continue;
        }
        bool good = i + std::size_t(more) < text.size();
        for (int k = 1; good && k <= more; ++k) {
            const unsigned char n = static_cast<unsigned char>(text[i + std::size_t(k)]);
            if ((n & 0xC0) != 0x80)
                good = false;
            else
                c = (c << 6) | (n & 0x3F);
        }
        static const char32_t smallest[4] = {0, 0x80, 0x800, 0x10000};
        if (!good || c < smallest[more] || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
            out += U'\uFFFD';
            ++i;
            continue;
        }
        out += c;
        i += std::size_t(more) + 1;
    }
    return out;
}

std::string visibleText(const std::u32string& text) {
    std::u32string out;
    for (char32_t c : text) {
        switch (c) {
        case U'\r':
            out += U'\u23CE'; // ⏎
            break;
        case U'\t':
            out += U'\u21E5'; // ⇥
            break;
        case 0x08:
            out += U'\u232B'; // ⌫
            break;
        case 0x1B:
            out += U'\u238B'; // ⎋
            break;
        case 0x7F:
            out += U'\u2326'; // ⌦
            break;
        case U' ':
            out += U'\u2423'; // ␣
            break;
        default:
            if (c < 0x20)
                out += char32_t(0x2400 + c); // control pictures
            else if (c >= 0x80 && c < 0xA0)
                out += U'\uFFFD';
            else
                out += c;
        }
    }
    return toUtf8(out);
}

namespace {
bool isDecimal(char32_t c) {
    return c >= U'0' && c <= U'9';
}
bool isHex(char32_t c) {
    return isDecimal(c) || (c >= U'A' && c <= U'F') || (c >= U'a' && c <= U'f');
}

std::string plural(int n, const char* one, const char* many) {
    return std::to_string(n) + ' ' + (n == 1 ? one : many);
}

std::string quoted(const std::u32string& text) {
    return "\"" + visibleText(text) + "\"";
}

// "10 decimal digits", "00 + 8 decimal digits", "2 hex digits + 4 decimal digits + …".
std::string describe(const FormatModel& model) {
    std::string out;
    Alphabet last = Alphabet::Literal;
    int run = 0;
    auto flush = [&] {
        if (run == 0)
            return;
        if (!out.empty())
            out += " + ";
        out += plural(run, last == Alphabet::Hex ? "hex digit" : "decimal digit",
                      last == Alphabet::Hex ? "hex digits" : "decimal digits");
        run = 0;
    };
    for (const Segment& s : model.segments) {
        if (s.alphabet == Alphabet::Literal) {
            flush();
            if (!out.empty())
                out += " + ";
            out += s.literal;
            continue;
        }
        if (run > 0 && s.alphabet != last)
            flush();
        last = s.alphabet;
        run += s.digits;
    }
    flush();
    return out;
}

// What a run of typed characters looks like, for "got …".
std::string describe(const std::u32string& text) {
    const int n = int(text.size());
    if (n == 0)
        return "nothing";
    if (std::all_of(text.begin(), text.end(), isDecimal))
        return plural(n, "decimal digit", "decimal digits");
    if (std::all_of(text.begin(), text.end(), isHex))
        return plural(n, "hex digit", "hex digits");
    std::string out = plural(n, "character", "characters");
    if (n <= 24)
        out += ' ' + quoted(text);
    return out;
}

bool fits(const FormatModel& model, const std::u32string& digits) {
    if (int(digits.size()) != model.length())
        return false;
    std::size_t at = 0;
    for (const Segment& s : model.segments) {
        for (int i = 0; i < s.digits; ++i, ++at) {
            const char32_t c = digits[at];
            const bool ok = s.alphabet == Alphabet::Decimal ? isDecimal(c)
                            : s.alphabet == Alphabet::Hex
                                ? isHex(c)
                                : c == char32_t(static_cast<unsigned char>(s.literal[i]));
            if (!ok)
                return false;
        }
    }
    return true;
}

std::u32string widen(const std::string& ascii) {
    return std::u32string(ascii.begin(), ascii.end());
}

std::string hexByte(unsigned v) {
    char buf[8];
    std::snprintf(buf, sizeof buf, "0x%02X", v & 0xFFu);
    return buf;
}
} // namespace

ShapeCheck checkShape(const std::u32string& text, const OutputSettings& settings) {
    const TypedLayout t = typedLayout(settings);
    if (!t.number)
        return {false, "output format " + hexByte(settings.format) + " is not one the reader has"};

    std::vector<std::string> reasons;
    std::size_t b = 0;
    std::size_t e = text.size();
    auto atFront = [&](const std::u32string& s) {
        return e - b >= s.size() && text.compare(b, s.size(), s) == 0;
    };
    auto atBack = [&](const std::u32string& s) {
        return e - b >= s.size() && text.compare(e - s.size(), s.size(), s) == 0;
    };
    auto front = [&](std::size_t n) { return text.substr(b, std::min(n, e - b)); };
    auto back = [&](std::size_t n) {
        const std::size_t k = std::min(n, e - b);
        return text.substr(e - k, k);
    };

    // Front, in typing order: prefix, then ";".
    const std::u32string prefix = widen(t.prefix);
    if (atFront(prefix))
        b += prefix.size();
    else
        reasons.push_back("expected prefix " + quoted(prefix) + ", got " + quoted(front(prefix.size())));
    if (t.semicolon) {
        if (atFront(U";"))
            ++b;
        else
            reasons.push_back("expected ; before the number");
    } else if (atFront(U";")) {
        ++b;
        reasons.push_back("; before the number, but ; is off");
    }

    // Back, in reverse typing order: Enter, suffix, custom byte, "?".
    const std::u32string tail = widen(t.custom + t.suffix);
    if (t.enter) {
        if (atBack(U"\r"))
            --e;
        else
            reasons.push_back("expected Enter at the end");
    } else if (atBack(U"\r") && (tail.empty() || tail.back() != U'\r')) {
        --e;
        reasons.push_back("Enter at the end, but Enter is off");
    }
    const std::u32string suffix = widen(t.suffix);
    if (atBack(suffix))
        e -= suffix.size();
    else
        reasons.push_back("expected suffix " + quoted(suffix) + ", got " + quoted(back(suffix.size())));
    const std::u32string custom = widen(t.custom);
    if (atBack(custom))
        e -= custom.size();
    else
        reasons.push_back("expected custom byte " + quoted(custom) + ", got " + quoted(back(custom.size())));
    if (t.question) {
        if (atBack(U"?"))
            --e;
        else
            reasons.push_back("expected ? after the number");
    } else if (atBack(U"?")) {
        --e;
        reasons.push_back("? after the number, but ? is off");
    }

    // The number, with its comma.
    std::u32string number = text.substr(b, e - b);
    const std::size_t comma = number.find(U',');
    if (t.comma) {
        const std::size_t middle = std::size_t(t.number->middle);
        if (comma == std::u32string::npos)
            reasons.push_back("expected a comma after " + plural(int(middle), "digit", "digits") +
                              ", got none");
        else if (comma != middle)
            reasons.push_back("expected the comma after " + plural(int(middle), "digit", "digits") +
                              ", got it after " + std::to_string(comma));
    } else if (comma != std::u32string::npos) {
        reasons.push_back("a comma in the number, but the comma is off");
    }
    if (comma != std::u32string::npos)
        number.erase(comma, 1);
    if (!fits(*t.number, number))
        reasons.push_back("expected " + describe(*t.number) + ", got " + describe(number));

    ShapeCheck result;
    result.matches = reasons.empty();
    for (const std::string& r : reasons)
        result.reason += (result.reason.empty() ? "" : "; ") + r;
    return result;
}

Origin originOf(const Read& read) {
    if (read.pasted)
        return Origin::Pasted;
    const std::size_t n = read.keys.size();
    if (n >= 2 && double(read.durationMs()) < double(n - 1) * kMinKeyIntervalMs)
        return Origin::TooFast;
    return Origin::Reader;
}

std::string originNote(const Read& read) {
    switch (originOf(read)) {
    case Origin::Pasted:
        return "pasted, not from a reader";
    case Origin::TooFast:
        return plural(int(read.keys.size()), "key", "keys") + " in " + std::to_string(read.durationMs()) +
               " ms: faster than a reader types, not from a reader";
    case Origin::Reader:
        break;
    }
    return {};
}

} // namespace rfid::wedge
