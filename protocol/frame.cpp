#include "frame.h"

#include <algorithm>

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

AnswerFrame readAnswerFrame(const std::vector<std::uint8_t>& bytes) {
    AnswerFrame a;
    if (bytes.size() < 4 || bytes[2] == 0)
        return a;
    a.hasStatus = true;
    a.status = bytes[3];
    const std::size_t length = bytes[2];
    const std::size_t end = std::min<std::size_t>(3 + length, bytes.size());
    if (end > 4)
        a.data.assign(bytes.begin() + 4, bytes.begin() + std::ptrdiff_t(end));
    a.complete = bytes[0] == kStart && length + 5 <= bytes.size() && bytes[length + 4] == kEnd;
    return a;
}

} // namespace rfid::protocol
