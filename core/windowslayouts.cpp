#include "hostkeyboard.h"

#include <algorithm>
#include <cctype>
#include <cstring>

namespace rfid {

std::optional<wedge::KeyboardLayout> xkbLayoutOfWindowsLayout(const std::string& klid) {
    // Windows' keyboard layout identifiers (eight hex digits: the layout above,
    // the language below) with the XKB layout that types the same characters:
    // at least every layout a reader's keyboard language stands for.
    static const struct {
        const char* klid;
        const char* layout;
        const char* variant;
    } table[] = {
        {"00000409", "us", ""},      {"00010409", "us", "dvorak"}, {"00020409", "us", "intl"},
        {"00000809", "gb", ""},      {"00000407", "de", ""},       {"00000807", "ch", ""},
        {"0000100c", "ch", "fr"},    {"0000040c", "fr", ""},       {"0000080c", "be", ""},
        {"0001080c", "be", ""},      {"00000813", "be", ""},       {"00001009", "ca", ""},
        {"00000416", "br", ""},      {"00010416", "br", ""},       {"0000041a", "hr", ""},
        {"00000405", "cz", ""},      {"00010405", "cz", "qwerty"}, {"0000041b", "sk", ""},
        {"00000406", "dk", ""},      {"0000040b", "fi", ""},       {"0000040e", "hu", ""},
        {"00000410", "it", ""},      {"00000413", "nl", ""},       {"00000414", "no", ""},
        {"00000415", "pl", ""},      {"00010415", "pl", "qwertz"}, {"00000816", "pt", ""},
        {"0000081a", "rs", "latin"}, {"00000424", "si", ""},       {"0000040a", "es", ""},
        {"0000080a", "latam", ""},   {"0000041d", "se", ""},       {"0000041f", "tr", ""},
        {"0001041f", "tr", "f"},     {"00000411", "jp", ""},       {"00000418", "ro", ""},
        {"00010418", "ro", "std"},   {"00000804", "us", ""},       {"00000404", "us", ""},
    };
    if (klid.size() != 8 || !std::all_of(klid.begin(), klid.end(),
                                         [](char c) { return std::isxdigit(static_cast<unsigned char>(c)); }))
        return std::nullopt;
    std::string key = klid;
    std::transform(key.begin(), key.end(), key.begin(),
                   [](char c) { return char(std::tolower(static_cast<unsigned char>(c))); });
    for (const auto& row : table)
        if (key == row.klid)
            return wedge::KeyboardLayout{row.layout, row.variant};
    return std::nullopt;
}

} // namespace rfid
