// The reasons shown when a type B data exchange ("发送数据") fails. This table
// is the exchange's own: it knows only the codes 80 to 96, words some of them
// differently from falsereason, and every text carries its own line break.
#pragma once

#include <QString>

namespace rfid {

// The text for a two-character error code (upper case, as held in the last
// response), ending in "\r\n"; empty text when the code is not in the table.
QString typeBExchangeReason(const QString& code);

} // namespace rfid
