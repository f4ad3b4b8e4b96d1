// Pieces shared by the card operation pages: their report texts, byte
// formatting, and placing controls at fixed positions.
#pragma once

#include "report.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QString>
#include <QStringList>

namespace rfid::cardpage {

inline const QString kCrLf = QStringLiteral("\r\n");

// The report texts of a card page's button: the no-data and damaged-answer
// texts are the same for every button of these pages.
inline CycleTexts texts(const QString& success, const QString& failure) {
    return {QStringLiteral("通讯错误，没有接收到数据..   "), success, failure,
            QStringLiteral("数据丢包，流水校验出错   ")};
}

// `value` (0-255) as two upper-case hex digits.
inline QString hexByte(int value) {
    return QStringLiteral("%1").arg(value & 0xFF, 2, 16, QLatin1Char('0')).toUpper();
}

// The items "00", "01", ... of a list of `count` numbers in base `base`
// (letters in lower case).
inline QStringList numberItems(int count, int base) {
    QStringList items;
    for (int i = 0; i < count; ++i)
        items << QStringLiteral("%1").arg(i, 2, base, QLatin1Char('0'));
    return items;
}

template <typename W> W* placed(W* widget, const char* name, int x, int y, int w, int h) {
    if (name)
        widget->setObjectName(QLatin1String(name));
    widget->setGeometry(x, y, w, h);
    return widget;
}

// A caption that sizes itself to its text.
inline QLabel* label(QWidget* parent, const QString& text, int x, int y) {
    auto* l = new QLabel(text, parent);
    l->move(x, y);
    l->adjustSize();
    return l;
}

inline QPushButton* button(QWidget* parent, const char* name, const QString& caption, int x, int y,
                           int w = 75, int h = 25) {
    return placed(new QPushButton(caption, parent), name, x, y, w, h);
}

inline QLineEdit* edit(QWidget* parent, const char* name, const QString& text, int x, int y, int w,
                       int h = 21) {
    return placed(new QLineEdit(text, parent), name, x, y, w, h);
}

inline QRadioButton* radio(QWidget* parent, const char* name, const QString& caption, bool checked, int x,
                           int y, int w, int h = 17) {
    auto* r = placed(new QRadioButton(caption, parent), name, x, y, w, h);
    r->setChecked(checked);
    return r;
}

inline QCheckBox* checkBox(QWidget* parent, const char* name, const QString& caption, int x, int y, int w,
                           int h = 17) {
    return placed(new QCheckBox(caption, parent), name, x, y, w, h);
}

inline QGroupBox* group(QWidget* parent, const char* name, const QString& caption, int x, int y, int w,
                        int h) {
    return placed(new QGroupBox(caption, parent), name, x, y, w, h);
}

// An editable drop-down showing `text`, selecting the item of that text if any.
inline QComboBox* editableCombo(QWidget* parent, const char* name, const QStringList& items,
                                const QString& text, int x, int y, int w, int h = 21) {
    auto* c = placed(new QComboBox(parent), name, x, y, w, h);
    c->setEditable(true);
    c->setInsertPolicy(QComboBox::NoInsert); // typing never adds items
    c->addItems(items);
    const int index = c->findText(text);
    if (index >= 0)
        c->setCurrentIndex(index);
    else
        c->setEditText(text);
    return c;
}

} // namespace rfid::cardpage
