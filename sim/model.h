// The simulated reader's firmware: parses frames, keeps settings and cards,
// builds answer frames. No I/O; the library entry points drive it.
#pragma once

#include "hf_state.h"
#include "keyboard.h"

#include <cstdint>
#include <deque>
#include <optional>
#include <vector>

namespace rfidsim {

using Bytes = std::vector<std::uint8_t>;

struct Request {
    std::uint8_t address = 0;
    std::uint8_t command = 0;
    Bytes data;
};

struct Reply {
    std::uint8_t status = 0x00; // 00 success, 01 failure (data[0] = error code)
    Bytes data;
};

inline Reply ok(Bytes data = {}) {
    return {0x00, std::move(data)};
}
inline Reply refuse(std::uint8_t code) {
    return {0x01, {code}};
}

// A whole frame: AA, address, length, status, data, XOR, BB.
Bytes encodeFrame(std::uint8_t address, const Reply& reply);

// Checks markers, length and checksum; nullopt for anything malformed.
std::optional<Request> parseFrame(const std::uint8_t* frame, int count);

enum class Family { Keyboard, HighFrequency };
// IgnoreSetting: the keyboard reader answers success but keeps one setting
// (`faultArg`: 0 the keyboard language, 1-16 that output-settings data byte).
enum class Fault { None, WriteFail, Silent, Refuse, Damaged, Short, Overlong, IgnoreSetting };

class Reader {
public:
    Reader();
    void reset();

    // Takes one written frame; false when the write itself fails.
    bool write(const std::uint8_t* frame, int count);
    // Hands out the pending answer (at most `capacity` bytes); 0 when none.
    int read(std::uint8_t* buffer, int capacity);

    // The firmware's answer to a well-formed request, without faults.
    Reply answer(const Request& request);

    Family family = Family::Keyboard;
    Fault fault = Fault::None;
    int faultArg = 0;
    std::deque<Bytes> scripted;
    std::vector<Bytes> frames;
    KeyboardState keyboard;
    HfState hf;

private:
    Bytes m_pending;
};

// The reader the library entry points talk to: the first simulated reader unless
// another one was made current with setCurrentReader.
Reader& reader();
// nullptr goes back to the first reader.
void setCurrentReader(Reader* current);

} // namespace rfidsim
