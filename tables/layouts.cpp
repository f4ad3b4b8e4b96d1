#include "layouts.h"

#include "readerfacts.h"

#include <cctype>
#include <sstream>

namespace rfid::wedge {

std::string KeyboardLayout::name() const {
    return variant.empty() ? layout : layout + "(" + variant + ")";
}

std::optional<KeyboardLayout> readerLayout(std::uint8_t code) {
    const KeyboardLanguage* l = languageByCode(code);
    if (!l || !l->xkbLayout)
        return std::nullopt;
    return KeyboardLayout{l->xkbLayout, l->xkbVariant};
}

namespace {
std::string trim(const std::string& s) {
    std::size_t b = 0;
    std::size_t e = s.size();
    while (b < e && std::isspace(static_cast<unsigned char>(s[b])))
        ++b;
    while (e > b && std::isspace(static_cast<unsigned char>(s[e - 1])))
        --e;
    return s.substr(b, e - b);
}

std::string unquote(std::string s) {
    s = trim(s);
    if (s.size() >= 2 && (s.front() == '"' || s.front() == '\'') && s.back() == s.front())
        s = s.substr(1, s.size() - 2);
    return trim(s);
}

std::string firstOfList(const std::string& s) {
    return trim(s.substr(0, s.find(',')));
}

// Values of "key<sep>value" lines.
std::optional<KeyboardLayout> parseLines(const std::string& text, char sep, const char* layoutKey,
                                         const char* variantKey, bool quoted) {
    std::istringstream in(text);
    std::string line;
    std::string layout;
    std::string variant;
    bool haveLayout = false;
    while (std::getline(in, line)) {
        const std::size_t at = line.find(sep);
        if (at == std::string::npos)
            continue;
        const std::string key = trim(line.substr(0, at));
        std::string value = line.substr(at + 1);
        value = quoted ? unquote(value) : trim(value);
        if (key == layoutKey) {
            layout = firstOfList(value);
            haveLayout = true;
        } else if (key == variantKey) {
            variant = firstOfList(value);
        }
    }
    if (!haveLayout || !plausibleLayoutName(layout) || (!variant.empty() && !plausibleLayoutName(variant)))
        return std::nullopt;
    return KeyboardLayout{layout, variant};
}
} // namespace

std::optional<KeyboardLayout> parseSetxkbmapQuery(const std::string& output) {
    return parseLines(output, ':', "layout", "variant", false);
}

std::optional<KeyboardLayout> parseDefaultKeyboard(const std::string& text) {
    return parseLines(text, '=', "XKBLAYOUT", "XKBVARIANT", true);
}

bool sameLayout(const KeyboardLayout& reader, const KeyboardLayout& desktop) {
    return reader.layout == desktop.layout && (reader.variant.empty() || reader.variant == desktop.variant);
}

bool plausibleLayoutName(const std::string& s) {
    if (s.empty() || s.size() > 32)
        return false;
    for (char c : s) {
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '_' && c != '-')
            return false;
    }
    return true;
}

} // namespace rfid::wedge
