// How each setting of ReaderSettings is kept and named: its kind, the field
// that holds it and the names its codes go by. Shared by the files that make
// up readersettings.h (the value type, names, command texts, read-back, the
// check); nothing else includes it.
#pragma once

#include "readersettings.h"

#include <cstdint>

namespace rfid::settingkinds {

enum class Kind { Format, Flag, Buzzer, Byte, Language, ReaderMode, BluetoothMode, Name, Sleep };

struct KeyInfo {
    SettingKey key;
    const char* name;
    Kind kind;
};

// The row of a key: its name in files and its kind.
const KeyInfo& info(SettingKey key);

// Two upper-case hex digits.
QString hexByte(std::uint8_t b);

// The field of a flag or of a byte-coded setting; nullptr for another key.
template <typename S> auto flagField(S& s, SettingKey key) -> decltype(&s.semicolon) {
    switch (key) {
    case SettingKey::Semicolon:
        return &s.semicolon;
    case SettingKey::QuestionMark:
        return &s.questionMark;
    case SettingKey::CommaInMiddle:
        return &s.commaInMiddle;
    case SettingKey::Enter:
        return &s.enter;
    case SettingKey::Buzzer:
        return &s.bigBuzzer;
    case SettingKey::CustomByteEnabled:
        return &s.customByteEnabled;
    default:
        return nullptr;
    }
}

template <typename S> auto byteField(S& s, SettingKey key) -> decltype(&s.format) {
    switch (key) {
    case SettingKey::Format:
        return &s.format;
    case SettingKey::CustomByte:
        return &s.customByte;
    case SettingKey::Prefix1:
    case SettingKey::Prefix2:
    case SettingKey::Prefix3:
    case SettingKey::Prefix4:
        return &s.prefix[std::size_t(int(key) - int(SettingKey::Prefix1))];
    case SettingKey::Suffix1:
    case SettingKey::Suffix2:
    case SettingKey::Suffix3:
    case SettingKey::Suffix4:
        return &s.suffix[std::size_t(int(key) - int(SettingKey::Suffix1))];
    case SettingKey::Language:
        return &s.language;
    case SettingKey::ReaderMode:
        return &s.readerMode;
    case SettingKey::BluetoothMode:
        return &s.bluetoothMode;
    case SettingKey::SleepTime:
        return &s.sleepTime;
    default:
        return nullptr;
    }
}

// The name a file uses for a code (the read-back name, blanks made single), or
// empty when the code has none.
QString codeName(Kind kind, std::uint8_t code);

// The code `text` names for a setting of `kind`: one of the names files use or
// a caption on the page (format and language also take their code as two hex
// digits). Returns empty text and sets `code` on success, otherwise what is
// wrong with the text, with the name most likely meant or the names taken.
QString parseNamed(Kind kind, const QString& text, std::uint8_t& code);

// Two hex digits, blanks around them allowed.
bool parseHexByte(const QString& text, std::uint8_t& out);

inline QString quoted(const QString& text) {
    return quotedForError(text);
}

} // namespace rfid::settingkinds
