#include "frame.h"

namespace rfid::protocol {

std::uint8_t checksum(const std::vector<std::uint8_t>& bytes) {
    std::uint8_t x = 0;
    for (std::uint8_t b : bytes)
        x ^= b;
    return x;
}

std::vector<std::uint8_t> commandFrame(std::uint8_t address, const std::vector<std::uint8_t>& field) {
    std::vector<std::uint8_t> frame;
    frame.reserve(field.size() + 5);
    frame.push_back(kStart);
    frame.push_back(address);
    frame.push_back(static_cast<std::uint8_t>(field.size()));
    for (std::uint8_t b : field)
        frame.push_back(b);
    std::uint8_t x = 0;
    for (std::size_t i = 1; i < frame.size(); ++i)
        x ^= frame[i];
    frame.push_back(x);
    frame.push_back(kEnd);
    return frame;
}

} // namespace rfid::protocol
