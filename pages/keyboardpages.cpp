#include "keyboardpages.h"

#include "hex.h"

#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QStyle>
#include <QStyleOption>
#include <algorithm>
#include <vector>

namespace kbd {

namespace {

// The part of a caption that shows: its first line without trailing blanks.
QString visibleCaption(QString text) {
    text = text.section(QLatin1Char('\n'), 0, 0);
    while (!text.isEmpty() && text.back().isSpace())
        text.chop(1);
    return text;
}

} // namespace

int captionWidth(QWidget* control) {
    if (auto* label = qobject_cast<QLabel*>(control))
        return label->fontMetrics().horizontalAdvance(visibleCaption(label->text()));
    // A push button's caption sits inside its frame, 4 pixels each side.
    if (auto* push = qobject_cast<QPushButton*>(control))
        return push->fontMetrics().horizontalAdvance(visibleCaption(push->text())) + 8;
    if (auto* button = qobject_cast<QAbstractButton*>(control)) {
        QStyleOptionButton option;
        option.initFrom(button);
        option.text = visibleCaption(button->text());
        const QSize text = button->fontMetrics().size(Qt::TextShowMnemonic, option.text);
        const QStyle::ContentsType type =
            qobject_cast<QRadioButton*>(button) ? QStyle::CT_RadioButton : QStyle::CT_CheckBox;
        return button->style()->sizeFromContents(type, &option, text, button).width();
    }
    if (auto* group = qobject_cast<QGroupBox*>(control))
        return group->fontMetrics().horizontalAdvance(group->title()) + 16;
    return 0;
}

void fitCaption(QWidget* control) {
    const int needed = captionWidth(control);
    if (needed > control->width())
        control->resize(needed, control->height());
}

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
