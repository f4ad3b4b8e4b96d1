#include "answer.h"

#include "frame.h"

#include <algorithm>
#include <utility>

namespace rfid {

Answer readAnswer(std::vector<std::uint8_t> taken) {
    Answer a;
    a.bytes = std::move(taken);
    const std::vector<std::uint8_t>& bytes = a.bytes;
    if (bytes.empty())
        return a;
    a.status = AnswerStatus::Damaged;
    if (bytes.size() > 3)
        a.statusByte = bytes[3];
    if (bytes.size() < 4 || bytes[2] == 0)
        return a;
    const std::size_t length = bytes[2];
    const std::size_t end = std::min<std::size_t>(3 + length, bytes.size());
    if (end > 4)
        a.payload.assign(bytes.begin() + 4, bytes.begin() + std::ptrdiff_t(end));
    a.complete =
        bytes[0] == protocol::kStart && length + 5 <= bytes.size() && bytes[length + 4] == protocol::kEnd;
    if (a.statusByte == protocol::kStatusSuccess) {
        a.status = AnswerStatus::Success;
    } else if (a.statusByte == protocol::kStatusRefused && !a.payload.empty()) {
        a.status = AnswerStatus::Refused;
        a.errorCode = a.payload.front();
    }
    return a;
}

AnswerStatus pageReading(const Answer& answer) {
    if (answer.bytes.empty())
        return AnswerStatus::NoAnswer;
    const std::optional<std::uint8_t> status = answer.byte(3);
    if (status == protocol::kStatusSuccess)
        return AnswerStatus::Success;
    if (status == protocol::kStatusRefused)
        return AnswerStatus::Refused;
    return AnswerStatus::Damaged;
}

} // namespace rfid
