#include "readertables.h"

namespace rfid {

const std::array<OutputFormat, kOutputFormatCount>& outputFormats() {
    static const std::array<OutputFormat, kOutputFormatCount> table{{
        {0x00, "2H4D + 2H4D ", "2H4D + 2H4D "},
        {0x01, "14 no. in HEX (7 byte)     ", "14 no. in HEX (7 byte) "},
        {0x02, "14 no. in HEX reverse  (7 byte)     ", "14 no. in HEX reverse  (7 byte)  "},
        {0x03, "8 no. in HEX reverse    ", "8 no. in HEX reverse"},
        {0x05, "13 no. in D", "13 no. in D"},
        {0x06, "18 no. in D", "18 no. in D"},
        {0x07, "10 no. in HEX", "10 no. in HEX"},
        {0x08, "5 no. in D", "5 no. in D"},
        {0x09, "8 no. in D (last 4 bytes)", "8 no. in D "},
        {0x0A, "10 no. in D reverse   ", "10 no. in D reverse"},
        {0x0B, " 8 no. in D (last 3bytes)", "8 no. in D (last 3bytes)"},
        {0x0C, "8 no. in HEX      ", "8 no. in HEX"},
        {0x0D, " 00+8 no. in D (last 3 bytes) ", "00+8 no. in D (last 3 bytes)"},
        {0x0E, "8 no. in D (last 4 bytes)", "8 no. in D (The card last 3bytes)"},
        {0x0F, "10 no.in D(four byte) ", "10 no.in D"},
    }};
    return table;
}

const std::array<KeyboardLanguage, kLanguageCount>& keyboardLanguages() {
    static const std::array<KeyboardLanguage, kLanguageCount> table{{
        {0x00, "American style", "American style"},
        {0x01, "Belgium", "Belgium"},
        {0x02, "Brazil", "Brazil"},
        {0x03, "Canada", "Canada"},
        {0x04, "Croatia", "Croatia"},
        {0x05, "Czech Republic ", "Czech Republic"},
        {0x06, "Slovakia", "Slovakia"},
        {0x07, "Denmark  ", "Denmark"},
        {0x08, "Finland", "Finland "},
        {0x09, "French", "French"},
        {0x0A, "German", "German"},
        {0x0B, "Hungary", "Hungary"},
        {0x0C, "Italy", "Italy "},
        {0x0D, "Latin America", "Latin America "},
        {0x0E, "Netherlands", "Netherlands "},
        {0x0F, "Norway", "Norway"},
        {0x10, "poland", "poland"},
        {0x11, "Portugal", "Portugal "},
        {0x12, "Serbia", "Serbia"},
        {0x13, "Slovenia", "Slovenia "},
        {0x14, "Spain", "Spain"},
        {0x15, "Sweden", "Sweden"},
        {0x16, "Switzerland-French", "Switzerland-French"},
        {0x17, "Switzerland-German", "Switzerland-German"},
        {0x18, "England", "England "},
        {0x19, "Non Latin", "Non Latin"},
        {0x1A, "turkey-F", "turkey-F"},
        {0x1B, "turkey-Q", "turkey-Q"},
        {0x1C, "Japanese", "Japanese "},
        {0x1D, "Romania", "Romania"},
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
