// An answer from the reader, read once from the bytes that came back.
//
//   answer:   AA  address  length  status data...  XOR  BB
//
// The length counts the status byte and the data. Status 00 is a success, 01 a
// refusal whose first data byte is the error code.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace rfid {

enum class AnswerStatus { NoAnswer, Success, Refused, Damaged };

struct Answer {
    AnswerStatus status = AnswerStatus::NoAnswer;
    std::uint8_t statusByte = 0;       // byte 3 as it came; 0 when the answer is shorter
    std::uint8_t errorCode = 0;        // when refused
    std::vector<std::uint8_t> payload; // after the status: what the length announces, as far as it came
    std::vector<std::uint8_t> bytes;   // the whole answer as it came
    bool complete = false;             // start marker, the whole length and the end marker in place

    // Byte k of the answer as it came (0 = start marker, 3 = status); empty past its end.
    std::optional<std::uint8_t> byte(std::size_t k) const {
        return k < bytes.size() ? std::optional<std::uint8_t>(bytes[k]) : std::nullopt;
    }
    bool ok() const { return status == AnswerStatus::Success; }
};

// The one status rule. Nothing that came back is no answer. An answer shorter
// than its status, or whose length counts no status byte, is damaged; so is a
// refusal without its error code and any status other than 00 and 01. The
// payload never holds the checksum or the end marker.
Answer readAnswer(std::vector<std::uint8_t> bytes);

// How a page's button reads an answer for its report in the window's log, a
// reading the window's texts are fixed to: byte 3 alone decides ("00" success,
// "01" refusal with byte 4 as its code, anything else damaged), whatever the
// length byte says. It differs from `readAnswer` only for an answer whose
// length counts no status (byte 3 is then its checksum) and for a refusal
// without a code; flows of several steps read every answer with `readAnswer`.
AnswerStatus pageReading(const Answer& answer);

} // namespace rfid
