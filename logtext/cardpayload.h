// Reading an answer's payload as hex text for the window's log. Positions are
// counted in the answer as it came (byte 0 is the start marker, byte 3 the
// status, byte 4 the payload's first), and only payload bytes are ever read:
// what lies before byte 4 or past the payload (its checksum and end marker, or
// bytes the answer never brought) gives nothing.
#pragma once

#include "answer.h"
#include "hex.h"

#include <QString>
#include <algorithm>

namespace rfid {

// Where the payload starts in the answer.
constexpr int kPayloadStart = 4;

// Bytes `first` to `last` of the answer, as many as lie in its payload.
inline QString payloadBytes(const Answer& answer, int first, int last) {
    const long long size = static_cast<long long>(answer.payload.size());
    const long long from = std::max(first, kPayloadStart) - kPayloadStart;
    const long long to = std::min<long long>(static_cast<long long>(last) - kPayloadStart + 1, size);
    if (to <= from)
        return {};
    return toHex(answer.payload.data() + from, int(to - from));
}

// Bytes `first` to the end of the payload.
inline QString payloadFrom(const Answer& answer, int first) {
    return payloadBytes(answer, first, kPayloadStart + int(answer.payload.size()));
}

// Byte k of the answer when it lies inside the payload; empty otherwise.
inline QString payloadByte(const Answer& answer, int k) {
    return payloadBytes(answer, k, k);
}

} // namespace rfid
