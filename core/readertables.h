// Codes and names of the keyboard-output reader's settings: output formats,
// keyboard languages, reader modes, Bluetooth modes and sleep times.
//
// Every table keeps the texts as the window shows them (captions with their
// trailing blanks) and the names the reader's read-back is given in the log.
#pragma once

#include <QString>
#include <array>
#include <cstdint>

namespace rfid {

// One output format: the code sent in the output settings, the caption of its
// radio button, and the name a read-back gives the code (not always the caption).
struct OutputFormat {
    std::uint8_t code;
    const char* caption;
    const char* readName;
};

// One keyboard language: its code, radio-button caption and read-back name.
struct KeyboardLanguage {
    std::uint8_t code;
    const char* caption;
    const char* readName;
};

// A reader mode or a Bluetooth mode: its code, radio-button caption and the
// name the mode reports give it.
struct ModeChoice {
    std::uint8_t code;
    const char* caption;
    const char* reportName;
};

// One sleep time: its code (the item's index) and the drop-down item text.
struct SleepTime {
    std::uint8_t code;
    const char* itemText;
};

constexpr int kOutputFormatCount = 15;
constexpr int kLanguageCount = 30;
constexpr int kModeCount = 3;
constexpr int kSleepTimeCount = 9;

// In code order (0x00 to 0x0F; 0x04 names no format).
const std::array<OutputFormat, kOutputFormatCount>& outputFormats();
// In code order, 0x00 to 0x1D: the index is the code.
const std::array<KeyboardLanguage, kLanguageCount>& keyboardLanguages();
// Codes 0x01, 0x02, 0x03.
const std::array<ModeChoice, kModeCount>& readerModes();
// Codes 0x00, 0x01, 0x02.
const std::array<ModeChoice, kModeCount>& bluetoothModes();
// Codes 0x00 to 0x08: the index is the code.
const std::array<SleepTime, kSleepTimeCount>& sleepTimes();

// Look-ups by code; nullptr for a code the table does not hold.
const OutputFormat* outputFormatByCode(std::uint8_t code);
const KeyboardLanguage* languageByCode(std::uint8_t code);
const ModeChoice* readerModeByCode(std::uint8_t code);
const ModeChoice* bluetoothModeByCode(std::uint8_t code);
const SleepTime* sleepTimeByCode(std::uint8_t code);

// The text the read-back report shows for a code given as two upper-case hex
// digits (as held in the last response); empty when the code names nothing.
QString outputFormatReadName(const QString& codeText);
QString languageReadName(const QString& codeText);

// A name as people write it: blanks at the ends dropped, inner runs of blanks
// made one, case folded. Names in settings files are compared this way.
QString simplifiedName(const QString& text);

} // namespace rfid
