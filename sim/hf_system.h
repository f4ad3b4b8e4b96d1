// 13.56 MHz firmware: system commands (address, baud rate, serial number,
// LED, LED-R and buzzer, active or passive reading).
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

namespace rfidsim {

struct Request;
struct Reply;
struct HfState;

// One signal output's last setting: a period and a number of repetitions.
struct SignalSetting {
    std::uint8_t period = 0;
    std::uint8_t count = 0;
};

struct SystemState {
    // The reader's own address. The simulation answers every address, so that a
    // program can change the address it sends to without first setting it here.
    std::uint8_t address = 0x00;
    std::uint8_t baudCode = 0x00; // 00 9600, 01 19200, 02 38400, 03 57600, 04 115200
    std::array<std::uint8_t, 8> serial{0x20, 0x26, 0x12, 0x08, 0x00, 0x00, 0x00, 0x01};
    SignalSetting led;
    SignalSetting ledR;
    SignalSetting buzzer;
    bool activeReading = false; // 0F 01 active, 0F 02 passive
};

// The answer when the command belongs to this group, nullopt otherwise.
std::optional<Reply> systemAnswer(HfState& state, const Request& request);

} // namespace rfidsim
