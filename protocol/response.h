// Bounded access to the last response (upper-case hex text, two digits per byte).
#pragma once

#include <QString>

namespace rfid {

// Characters `from` (counted from 1) to `from + count - 1` of `text`; positions
// past the end give fewer characters or empty text, never a read past the end.
inline QString chars(const QString& text, qsizetype from, qsizetype count) {
    if (from < 1 || count <= 0 || from > text.size())
        return {};
    return text.mid(from - 1, count);
}

// Byte k of the answer frame (byte 0 = start marker, byte 3 = status): characters
// 2k+1 and 2k+2. Past the end: empty text.
inline QString respByte(const QString& response, int k) {
    return chars(response, 2 * qsizetype(k) + 1, 2);
}

// Bytes `first` to `last` of the answer as hex text (as many as are present).
inline QString respBytes(const QString& response, int first, int last) {
    return chars(response, 2 * qsizetype(first) + 1, 2 * (qsizetype(last) - first + 1));
}

} // namespace rfid
