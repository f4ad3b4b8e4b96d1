// Firmware of the reader that types card numbers as a keyboard.
#pragma once

#include "cardformat.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace rfidsim {

struct Request;
struct Reply;

struct KeyboardState {
    std::uint8_t language = 0x00;
    // The 16 output-setting bytes as written by the write-output-settings command:
    // format, ; ? , Enter, buzzer, fixed 01, custom, prefix x4, suffix x4.
    std::vector<std::uint8_t> output{0x0F, 0, 0, 0, 0, 1, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    std::uint8_t readerMode = 0x01;
    std::uint8_t bluetoothMode = 0x00;
    std::string bluetoothName = "Bluetooth1.0";
    std::uint8_t sleepCode = 0x01;
    bool buzzerOn = true;
    int storedRecords = 3;
    std::string version = "V1.0";
};

Reply keyboardAnswer(KeyboardState& state, const Request& request);

// What the reader types for `card` with the output settings it holds; empty
// when its format code has no rendering. With RFIDSIM_FORMAT_AS set ("0E=0B",
// several separated by commas) the reader types format 0E as the model types
// 0B: a reader whose firmware renders a format otherwise than the model says.
std::string typedCard(const KeyboardState& state, const rfid::wedge::CardNumber& card);

// The format `format` is typed as under such a list; nullopt when the list
// does not name it or is malformed up to it.
std::optional<std::uint8_t> formatTypedAs(std::uint8_t format, const char* substitutions);

// Puts one setting of `state` back to its value in `before`: 0 the keyboard
// language, 1-16 that output-settings data byte; anything else changes nothing.
void keepSetting(KeyboardState& state, const KeyboardState& before, int which);

// The settings as text ("key=value" lines), to keep them between processes.
std::string keyboardStateText(const KeyboardState& state);
// Reads that text back; false (and `state` unchanged) for anything malformed.
bool parseKeyboardState(const std::string& text, KeyboardState& state);

} // namespace rfidsim
