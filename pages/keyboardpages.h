// Shared pieces of the three pages that set up the keyboard-output reader:
// placing controls at fixed pixel positions, the report texts they share, and
// the byte fields (custom byte, prefix and suffix bytes) they read.
#pragma once

#include <QFrame>
#include <QString>
#include <QWidget>
#include <cstdint>

namespace kbd {

// The width `control` needs to show its caption whole in the font it has: the
// caption's first line without trailing blanks, with a push button's frame or
// a radio button's indicator beside it. 0 for a control without a caption.
int captionWidth(QWidget* control);

// Widens `control` to its caption's width where the given width is too small:
// the pixel widths were chosen for one system's font metrics, and another
// system's font may be a pixel or more wider.
void fitCaption(QWidget* control);

// Creates a control of type T with `caption` as a child of `parent`, names it
// and puts it at the given pixel rectangle, wide enough for its caption.
template <typename T>
T* place(QWidget* parent, const char* name, const QString& caption, int x, int y, int w, int h) {
    T* control = new T(caption, parent);
    control->setObjectName(QLatin1String(name));
    control->setGeometry(x, y, w, h);
    fitCaption(control);
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

// Why the byte field `fieldName` holding `text` cannot be sent (it must be
// two hex digits once blanks are removed); empty when it can.
QString byteFieldError(const QString& fieldName, const QString& text);
// The byte a field holds; false when byteFieldError finds a fault.
bool byteFieldValue(const QString& text, std::uint8_t& value);
// The name of prefix/suffix field `index` (0-7, prefix first) in a fault text:
// "Prefix byte 1" to "Suffix byte 4".
QString prefixSuffixFieldName(int index);

} // namespace kbd
