#include "keyboardpages.h"

#include "hex.h"

#include <QRegularExpression>
#include <vector>

namespace kbd {

QString byteFieldError(const QString& fieldName, const QString& text) {
    QString digits = text;
    digits.remove(QRegularExpression(QStringLiteral("\\s")));
    const bool ok = digits.size() == 2 && rfid::isHexDigit(digits.at(0)) && rfid::isHexDigit(digits.at(1));
    if (ok)
        return {};
    return fieldName + QStringLiteral(" must be two hex digits, not \"") + text +
           QStringLiteral("\"; nothing was sent.");
}

bool byteFieldValue(const QString& text, std::uint8_t& value) {
    if (!byteFieldError(QString(), text).isEmpty())
        return false;
    const std::vector<std::uint8_t> bytes = rfid::hexToBytes(rfid::hexDigits(text));
    value = bytes.front();
    return true;
}

QString prefixSuffixFieldName(int index) {
    return (index < 4 ? QStringLiteral("Prefix byte ") : QStringLiteral("Suffix byte ")) +
           QString::number(index % 4 + 1);
}

} // namespace kbd
