#include "readertables.h"

namespace rfid {

namespace {
// A code given as exactly two upper-case hex digits, as the last response holds it.
bool codeFromText(const QString& text, std::uint8_t& code) {
    if (text.size() != 2)
        return false;
    int value = 0;
    for (QChar c : text) {
        const char l = c.toLatin1();
        int digit;
        if (l >= '0' && l <= '9')
            digit = l - '0';
        else if (l >= 'A' && l <= 'F')
            digit = l - 'A' + 10;
        else
            return false;
        value = value * 16 + digit;
    }
    code = static_cast<std::uint8_t>(value);
    return true;
}
} // namespace

QString outputFormatReadName(const QString& codeText) {
    std::uint8_t code = 0;
    const OutputFormat* f = codeFromText(codeText, code) ? outputFormatByCode(code) : nullptr;
    return f ? QString::fromUtf8(f->readName) : QString();
}

QString languageReadName(const QString& codeText) {
    std::uint8_t code = 0;
    const KeyboardLanguage* l = codeFromText(codeText, code) ? languageByCode(code) : nullptr;
    return l ? QString::fromUtf8(l->readName) : QString();
}

QString simplifiedName(const QString& text) {
    return text.simplified().toCaseFolded();
}

} // namespace rfid
