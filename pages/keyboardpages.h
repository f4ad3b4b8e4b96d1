// Shared pieces of the three pages that set up the keyboard-output reader:
// placing controls at fixed pixel positions, and the report texts they share.
#pragma once

#include <QFrame>
#include <QString>
#include <QWidget>

namespace kbd {

// Creates a control of type T with `caption` as a child of `parent`, names it
// and puts it at the given pixel rectangle.
template <typename T>
T* place(QWidget* parent, const char* name, const QString& caption, int x, int y, int w, int h) {
    T* control = new T(caption, parent);
    control->setObjectName(QLatin1String(name));
    control->setGeometry(x, y, w, h);
    return control;
}

// A thin horizontal rule across a group.
inline QFrame* rule(QWidget* parent, const char* name, int x, int y, int w) {
    auto* line = new QFrame(parent);
    line->setObjectName(QLatin1String(name));
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    line->setGeometry(x, y, w, 3);
    return line;
}

// Report texts used by several buttons. Each ends in the blanks that separate
// it from the time stamp.
inline QString noDataFullWidth() {
    return QStringLiteral("Data error，no data recevice..   "); // full-width comma
}
inline QString noDataPlain() {
    return QStringLiteral("Data error,no data recevice..   ");
}
inline QString damaged() {
    return QStringLiteral("data error,please check data..   ");
}

} // namespace kbd
