#include "gbk.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <QStringDecoder>
#include <QStringEncoder>
#include <cerrno>
#include <cstring>
#include <iconv.h>
#endif

namespace rfid {

#ifdef _WIN32

// Windows converts code page 936 itself; Qt built without ICU has no GBK.
constexpr UINT kGbkCodePage = 936;

namespace {

// GBK holds no character outside the Basic Multilingual Plane. Windows would
// turn each half of its UTF-16 pair into a '?' of its own; one character gives
// one '?', as everywhere else, so each pair (or a half on its own) becomes one.
QString withinBmp(const QString& text) {
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (!c.isSurrogate()) {
            out += c;
            continue;
        }
        if (c.isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate())
            ++i;
        out += QLatin1Char('?');
    }
    return out;
}

} // namespace

QByteArray gbkBytes(const QString& original) {
    if (original.isEmpty())
        return {};
    const QString text = withinBmp(original);
    const auto* wide = reinterpret_cast<const wchar_t*>(text.utf16());
    const int length = int(text.size());
    // No "best fit": a character 936 lacks becomes '?' rather than a look-alike.
    const int size =
        ::WideCharToMultiByte(kGbkCodePage, WC_NO_BEST_FIT_CHARS, wide, length, nullptr, 0, "?", nullptr);
    QByteArray bytes(size, '\0');
    ::WideCharToMultiByte(kGbkCodePage, WC_NO_BEST_FIT_CHARS, wide, length, bytes.data(), size, "?", nullptr);
    return bytes;
}

QString gbkText(const QByteArray& bytes) {
    if (bytes.isEmpty())
        return {};
    const int size = ::MultiByteToWideChar(kGbkCodePage, 0, bytes.constData(), int(bytes.size()), nullptr, 0);
    QString text(size, QChar());
    ::MultiByteToWideChar(kGbkCodePage, 0, bytes.constData(), int(bytes.size()),
                          reinterpret_cast<wchar_t*>(text.data()), size);
    return text;
}

#else

namespace {

// Qt built with ICU converts GBK itself; without ICU the C library's iconv does.
QByteArray viaIconv(const QByteArray& in, const char* to, const char* from, const QByteArray& replacement) {
    const iconv_t cd = ::iconv_open(to, from);
    if (cd == iconv_t(-1))
        return {};
    QByteArray out;
    char* src = const_cast<char*>(in.constData());
    size_t srcLeft = size_t(in.size());
    char chunk[256];
    while (srcLeft > 0) {
        char* dst = chunk;
        size_t dstLeft = sizeof chunk;
        const size_t r = ::iconv(cd, &src, &srcLeft, &dst, &dstLeft);
        out.append(chunk, qsizetype(dst - chunk));
        if (r != size_t(-1) || errno == E2BIG)
            continue;
        // A character the target lacks, or input cut short: replaced, and the
        // conversion goes on after it (one UTF-8 character or one byte).
        out.append(replacement);
        size_t skip = 1;
        if (std::strcmp(from, "UTF-8") == 0)
            while (skip < srcLeft && (static_cast<unsigned char>(src[skip]) & 0xC0) == 0x80)
                ++skip;
        src += skip;
        srcLeft -= skip;
    }
    ::iconv_close(cd);
    return out;
}

} // namespace

QByteArray gbkBytes(const QString& text) {
    QStringEncoder encoder("GBK");
    if (encoder.isValid()) {
        QByteArray bytes = encoder.encode(text);
        return bytes;
    }
    return viaIconv(text.toUtf8(), "GBK", "UTF-8", QByteArrayLiteral("?"));
}

QString gbkText(const QByteArray& bytes) {
    QStringDecoder decoder("GBK");
    if (decoder.isValid())
        return decoder.decode(bytes);
    return QString::fromUtf8(viaIconv(bytes, "UTF-8", "GBK", QByteArrayLiteral("\xEF\xBF\xBD")));
}

#endif

} // namespace rfid
