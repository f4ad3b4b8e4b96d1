// The reader's code page for text it shows: GBK (the Chinese Windows code page
// 936), the same on every platform the program runs on, whatever the
// computer's own code page is.
#pragma once

#include <QByteArray>
#include <QString>

namespace rfid {

// `text` in GBK. A character GBK cannot hold becomes '?', as it would on the
// reader; compare gbkText(gbkBytes(t)) with t to find such characters.
QByteArray gbkBytes(const QString& text);
// GBK bytes as text; a byte sequence that is not GBK becomes U+FFFD.
QString gbkText(const QByteArray& bytes);

} // namespace rfid
