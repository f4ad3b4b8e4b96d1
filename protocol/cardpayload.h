// Reading the payload of an answer frame held as hex text: bytes 4 to 2+n,
// where n is the frame's length byte. Positions past the payload, or past the
// text that actually arrived, give nothing.
#pragma once

#include "response.h"

#include <QString>
#include <algorithm>

namespace rfid {

// The length byte n of the answer (byte 2); -1 when it is missing or not hex.
inline int answerLength(const QString& response) {
    bool ok = false;
    const int n = respByte(response, 2).toInt(&ok, 16);
    return ok && respByte(response, 2).size() == 2 ? n : -1;
}

// Bytes `first` to `last` of the answer, cut at the end of the payload (byte
// 2+n) and at the end of the text.
inline QString payloadBytes(const QString& response, int first, int last) {
    const int n = answerLength(response);
    if (n < 0)
        return {};
    last = std::min(last, 2 + n);
    if (last < first)
        return {};
    return respBytes(response, first, last);
}

// Bytes `first` to the end of the payload.
inline QString payloadFrom(const QString& response, int first) {
    return payloadBytes(response, first, 2 + std::max(answerLength(response), 0));
}

// Byte k of the answer when it lies inside the payload; empty otherwise.
inline QString payloadByte(const QString& response, int k) {
    return payloadBytes(response, k, k);
}

} // namespace rfid
