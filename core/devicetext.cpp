#include "devicetext.h"

#include <cstdint>

namespace rfid {

QString printableDeviceText(const QString& text) {
    QString out;
    out.reserve(text.size());
    for (const QChar c : text) {
        const ushort u = c.unicode();
        if (u < 0x20 || u == 0x7f || (u >= 0x80 && u < 0xa0))
            out += QStringLiteral("\\x%1").arg(u, 2, 16, QLatin1Char('0'));
        else if (c.category() == QChar::Other_Format || c.category() == QChar::Separator_Line ||
                 c.category() == QChar::Separator_Paragraph)
            out += QStringLiteral("\\u%1").arg(u, 4, 16, QLatin1Char('0'));
        else
            out += c;
    }
    return out;
}

QString printableDeviceBytes(const QByteArray& utf8) {
    QString out;
    out.reserve(utf8.size());
    QByteArray run; // well-formed UTF-8 not yet shown
    for (qsizetype i = 0; i < utf8.size();) {
        const auto c = static_cast<unsigned char>(utf8[i]);
        const qsizetype length = c < 0x80                 ? 1
                                 : c >= 0xF0 && c <= 0xF4 ? 4
                                 : c >= 0xE0 && c <= 0xEF ? 3
                                 : c >= 0xC2 && c <= 0xDF ? 2
                                                          : 0;
        std::uint32_t cp = length == 1 ? c : length == 2 ? c & 0x1F : length == 3 ? c & 0x0F : c & 0x07;
        bool ok = length != 0 && i + length <= utf8.size();
        for (qsizetype k = 1; ok && k < length; ++k) {
            const auto cc = static_cast<unsigned char>(utf8[i + k]);
            ok = (cc & 0xC0) == 0x80;
            cp = (cp << 6) | (cc & 0x3F);
        }
        ok = ok && !(length == 3 && (cp < 0x800 || (cp >= 0xD800 && cp <= 0xDFFF))) &&
             !(length == 4 && (cp < 0x10000 || cp > 0x10FFFF));
        if (ok) {
            run += utf8.mid(i, length);
            i += length;
            continue;
        }
        out += printableDeviceText(QString::fromUtf8(run));
        run.clear();
        out += QStringLiteral("\\x%1").arg(c, 2, 16, QLatin1Char('0'));
        ++i;
    }
    return out + printableDeviceText(QString::fromUtf8(run));
}

} // namespace rfid
