// The reader's failure reasons: the error code of a refused command as a text.
#pragma once

#include <QString>

namespace rfid {

// Message for a two-character error code (upper case, as held in the last
// response). Codes are compared as whole texts: "8a" or "8" match nothing.
// An empty or unknown code gives empty text.
QString falsereason(const QString& code);

// The same reason in English, for texts outside the window (rfidctl, the
// station's results): "a parameter is larger than the largest allowed" for
// "10". Codes are compared as falsereason compares them; "00", an empty or an
// unknown code gives empty text.
QString refusalReason(const QString& code);

} // namespace rfid
