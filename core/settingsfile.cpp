#include "settingsfile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <QRegularExpression>
#include <QSaveFile>
#include <QSet>
#include <QStringDecoder>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#ifndef _WIN32
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace rfid {

namespace {

const QLatin1String kVersionKey("version");

#ifndef _WIN32
QString systemError(int error) {
    return QString::fromLocal8Bit(std::strerror(error));
}
#endif

QString keyError(const QString& fileName, const QString& key, const QString& what) {
    return fileName + QStringLiteral(": ") + quotedForError(key) + QStringLiteral(": ") + what;
}

// Line and column (from 1) of a byte offset into UTF-8 text; columns count characters.
QString position(const QByteArray& data, qsizetype offset) {
    offset = std::clamp<qsizetype>(offset, 0, data.size());
    int line = 1;
    qsizetype lineStart = 0;
    for (qsizetype i = 0; i < offset; ++i) {
        if (data[i] == '\n') {
            ++line;
            lineStart = i + 1;
        }
    }
    const qsizetype column = QString::fromUtf8(data.mid(lineStart, offset - lineStart)).size() + 1;
    return QStringLiteral("line %1, column %2").arg(line).arg(column);
}

bool isJsonBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

// Nothing but blanks (and a byte order mark).
bool isBlank(const QByteArray& data) {
    for (qsizetype i = data.startsWith("\xEF\xBB\xBF") ? 3 : 0; i < data.size(); ++i) {
        if (!isJsonBlank(data[i]))
            return false;
    }
    return true;
}

// Where a file's JSON goes wrong. Qt's parser stops at the character it
// stumbled on, or just past it; for something missing between two values (a
// comma, a closing brace) that is the next value, often on the next line,
// while what is missing belongs right after the value before it.
qsizetype faultOffset(const QByteArray& data, const QJsonParseError& e) {
    qsizetype at = std::clamp<qsizetype>(e.offset, 0, data.size());
    switch (e.error) {
    case QJsonParseError::UnterminatedObject:
    case QJsonParseError::UnterminatedArray:
    case QJsonParseError::MissingValueSeparator:
    case QJsonParseError::MissingNameSeparator:
        break;
    default:
        return at;
    }
    // Back to the start of the token the parser was in, then over the blanks before it.
    qsizetype p = at;
    while (p > 0 && !isJsonBlank(data[p - 1]) && !std::strchr(",:{}[]", data[p - 1]))
        --p;
    bool newLine = false;
    while (p > 0 && isJsonBlank(data[p - 1]))
        newLine = data[--p] == '\n' || newLine;
    return newLine ? p : at;
}

// A JSON text for one value, as a file holds it.
QByteArray jsonText(const QJsonValue& value) {
    const QByteArray array = QJsonDocument(QJsonArray{value}).toJson(QJsonDocument::Compact);
    return array.mid(1, array.size() - 2);
}

// Reads the JSON text of a document the parser has taken, to find what the
// parser does not tell: every key of the top-level object, repeats included.
class KeyScanner {
public:
    explicit KeyScanner(const QByteArray& data) : m_data(data) {}

    bool keys(QStringList& out) {
        if (m_data.startsWith("\xEF\xBB\xBF"))
            m_pos = 3;
        skipBlanks();
        if (!take('{'))
            return false;
        skipBlanks();
        if (take('}'))
            return true;
        for (;;) {
            skipBlanks();
            QString key;
            if (!string(&key))
                return false;
            out << key;
            skipBlanks();
            if (!take(':') || !skipValue())
                return false;
            skipBlanks();
            if (take('}'))
                return true;
            if (!take(','))
                return false;
        }
    }

private:
    bool atEnd() const { return m_pos >= m_data.size(); }
    char peek() const { return atEnd() ? '\0' : m_data.at(m_pos); }
    bool take(char c) {
        if (atEnd() || m_data.at(m_pos) != c)
            return false;
        ++m_pos;
        return true;
    }
    void skipBlanks() {
        while (!atEnd() && (peek() == ' ' || peek() == '\t' || peek() == '\n' || peek() == '\r'))
            ++m_pos;
    }

    // A string from its opening quote; its text decoded into `out` when given,
    // as the parser decodes it: a \u escape is one UTF-16 unit, and an escaped
    // character without a meaning of its own is that character.
    bool string(QString* out) {
        if (!take('"'))
            return false;
        QByteArray raw; // UTF-8 bytes since the last escape
        bool escapes = false;
        auto flush = [&] {
            // The parser reads a string without escapes as UTF-8 text, which
            // drops a byte order mark at its start, and one with escapes
            // character by character, which keeps it.
            QStringDecoder utf8(QStringDecoder::Utf8,
                                QStringDecoder::Flag::Stateless | QStringDecoder::Flag::ConvertInitialBom);
            if (out)
                *out += escapes ? utf8.decode(raw) : QString::fromUtf8(raw);
            raw.clear();
        };
        while (!atEnd()) {
            const char c = m_data.at(m_pos++);
            if (c == '"') {
                flush();
                return true;
            }
            if (c != '\\') {
                raw += c;
                continue;
            }
            if (atEnd())
                return false;
            escapes = true;
            const char e = m_data.at(m_pos++);
            const char* const simple = "\"\\/bfnrt";
            const char* const meant = "\"\\/\b\f\n\r\t";
            if (const char* at = e ? std::strchr(simple, e) : nullptr) {
                raw += meant[at - simple];
                continue;
            }
            if (e != 'u') {
                // The parser takes any other escaped character as itself.
                flush();
                if (out)
                    *out += QChar(uchar(e));
                continue;
            }
            if (m_pos + 4 > m_data.size())
                return false;
            bool ok = false;
            const ushort unit = QByteArray(m_data.constData() + m_pos, 4).toUShort(&ok, 16);
            if (!ok)
                return false;
            m_pos += 4;
            flush();
            if (out)
                *out += QChar(unit);
        }
        return false;
    }

    bool skipValue() {
        skipBlanks();
        const char c = peek();
        if (c == '"')
            return string(nullptr);
        if (c == '{' || c == '[') {
            // Nested values only count their brackets; strings may hold any.
            int depth = 0;
            while (!atEnd()) {
                const char d = peek();
                if (d == '"') {
                    if (!string(nullptr))
                        return false;
                    continue;
                }
                ++m_pos;
                if (d == '{' || d == '[')
                    ++depth;
                else if ((d == '}' || d == ']') && --depth == 0)
                    return true;
            }
            return false;
        }
        // A number, true, false or null runs up to what ends a value.
        const qsizetype start = m_pos;
        while (!atEnd() && !std::strchr(",}] \t\n\r", peek()))
            ++m_pos;
        return m_pos > start;
    }

    const QByteArray& m_data;
    qsizetype m_pos = 0;
};

// The same key however it is written: settings keys and "version" are matched
// without regard to case.
QString keyIdentity(const QString& key) {
    if (const std::optional<SettingKey> k = keyByName(key))
        return keyName(*k);
    return key.compare(kVersionKey, Qt::CaseInsensitive) == 0 ? QString(kVersionKey) : key;
}

// How many single-character edits (insert, delete, change, swap two
// neighbours) turn `a` into `b`.
int editDistance(const QString& a, const QString& b) {
    const qsizetype n = a.size();
    const qsizetype m = b.size();
    std::vector<std::vector<int>> d(std::size_t(n + 1), std::vector<int>(std::size_t(m + 1)));
    for (qsizetype i = 0; i <= n; ++i)
        d[std::size_t(i)][0] = int(i);
    for (qsizetype j = 0; j <= m; ++j)
        d[0][std::size_t(j)] = int(j);
    for (qsizetype i = 1; i <= n; ++i) {
        for (qsizetype j = 1; j <= m; ++j) {
            const auto I = std::size_t(i);
            const auto J = std::size_t(j);
            const int change = a[i - 1] == b[j - 1] ? 0 : 1;
            d[I][J] = std::min({d[I - 1][J] + 1, d[I][J - 1] + 1, d[I - 1][J - 1] + change});
            if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1])
                d[I][J] = std::min(d[I][J], d[I - 2][J - 2] + 1);
        }
    }
    return d[std::size_t(n)][std::size_t(m)];
}

const QString kRepeated = QStringLiteral("given more than once; a key may appear only once");

} // namespace

QString unknownKeyText(const QString& name) {
    // The keys closest to the name, when one is close enough to be a typing
    // slip (two edits; one for a short name).
    const QString typed = name.toLower();
    if (typed.size() > 40)
        return QStringLiteral("unknown key");
    const int allowed = typed.size() < 5 ? 1 : 2;
    int best = allowed + 1;
    QStringList nearest;
    QStringList names{QString(kVersionKey)};
    for (SettingKey key : allSettingKeys())
        names << keyName(key);
    for (const QString& candidate : names) {
        const int d = editDistance(typed, candidate);
        if (d < best) {
            best = d;
            nearest.clear();
        }
        if (d == best)
            nearest << QLatin1Char('"') + candidate + QLatin1Char('"');
    }
    if (nearest.isEmpty())
        return QStringLiteral("unknown key");
    const QString last = nearest.takeLast();
    return QStringLiteral("unknown key (did you mean %1?)")
        .arg(nearest.isEmpty() ? last : nearest.join(QStringLiteral(", ")) + QStringLiteral(" or ") + last);
}

bool topLevelKeys(const QByteArray& data, QStringList& keys) {
    keys.clear();
    return KeyScanner(data).keys(keys);
}

bool parseSettings(const QByteArray& data, const QString& fileName, ReaderSettings& settings,
                   QString& error) {
    if (data.size() > kMaxSettingsFileBytes) {
        error = fileName + QStringLiteral(": the file is larger than a settings file can be (1 MiB)");
        return false;
    }
    QJsonParseError parseError{};
    const QJsonDocument doc = QJsonDocument::fromJson(data, &parseError);
    if (parseError.error != QJsonParseError::NoError) {
        if (isBlank(data)) {
            error =
                fileName + QStringLiteral(": the file is empty (a settings file holds a JSON object such as "
                                          "{\"version\": 1, \"language\": \"German\"})");
            return false;
        }
        error = fileName + QStringLiteral(": ") + position(data, faultOffset(data, parseError)) +
                QStringLiteral(": not valid JSON (") + parseError.errorString() + QLatin1Char(')');
        return false;
    }
    if (!doc.isObject()) {
        error = fileName + QStringLiteral(": not a settings file (expected a JSON object in { })");
        return false;
    }
    const QJsonObject object = doc.object();
    // The parser keeps the last of two values for one key and says nothing; a
    // file that gives a key twice is refused, naming it.
    QStringList keys;
    if (!topLevelKeys(data, keys)) {
        error = fileName + QStringLiteral(": not valid JSON (its keys cannot be read)");
        return false;
    }
    QSet<QString> seen;
    for (const QString& key : keys) {
        const QString identity = keyIdentity(key);
        if (seen.contains(identity)) {
            error = keyError(fileName, key, kRepeated);
            return false;
        }
        seen.insert(identity);
    }
    QJsonValue version(QJsonValue::Undefined);
    for (auto it = object.begin(); it != object.end(); ++it) {
        if (keyIdentity(it.key()) == kVersionKey)
            version = it.value();
    }
    if (version.isUndefined()) {
        error = fileName + QStringLiteral(": \"version\" is missing (this program writes version %1)")
                               .arg(kSettingsFileVersion);
        return false;
    }
    const double v = version.toDouble(-1);
    // Compared as a double: a huge number must not be converted to an integer.
    if (!version.isDouble() || v < 1 || v != std::floor(v)) {
        error = keyError(fileName, kVersionKey,
                         QStringLiteral("expected a whole number such as %1, not %2")
                             .arg(kSettingsFileVersion)
                             .arg(QString::fromUtf8(jsonText(version))));
        return false;
    }
    if (v > kSettingsFileVersion) {
        error = keyError(fileName, kVersionKey,
                         QStringLiteral("version %1 is newer than this program reads (%2); use a newer "
                                        "program")
                             .arg(QString::number(v, 'g', 15))
                             .arg(kSettingsFileVersion));
        return false;
    }

    ReaderSettings parsed;
    for (auto it = object.begin(); it != object.end(); ++it) {
        if (keyIdentity(it.key()) == kVersionKey)
            continue;
        const std::optional<SettingKey> key = keyByName(it.key());
        if (!key) {
            error = keyError(fileName, it.key(), unknownKeyText(it.key()));
            return false;
        }
        const QString what = setFromJson(parsed, *key, it.value());
        if (!what.isEmpty()) {
            error = keyError(fileName, it.key(), what);
            return false;
        }
    }
    settings = parsed;
    return true;
}

bool loadSettingsFile(const QString& path, ReaderSettings& settings, QString& error) {
    QFile file(path);
#ifndef _WIN32
    // Opened without waiting (a FIFO would wait for a writer forever), then
    // taken only when it is a regular file.
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        error = path + QStringLiteral(": cannot be read (") + systemError(errno) + QLatin1Char(')');
        return false;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        error = path + QStringLiteral(": not a settings file (%1)")
                           .arg(S_ISDIR(st.st_mode)    ? QStringLiteral("it is a folder")
                                : S_ISFIFO(st.st_mode) ? QStringLiteral("it is a FIFO, not a regular file")
                                : S_ISCHR(st.st_mode) || S_ISBLK(st.st_mode)
                                    ? QStringLiteral("it is a device, not a regular file")
                                    : QStringLiteral("it is not a regular file"));
        return false;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        error = path + QStringLiteral(": cannot be read (") + file.errorString() + QLatin1Char(')');
        return false;
    }
#else
    if (!file.open(QIODevice::ReadOnly)) {
        error = path + QStringLiteral(": cannot be read (") + file.errorString() + QLatin1Char(')');
        return false;
    }
#endif
    // One byte more than allowed tells a file that is too large.
    const QByteArray data = file.read(kMaxSettingsFileBytes + 1);
    if (file.error() != QFileDevice::NoError) {
        error = path + QStringLiteral(": cannot be read (") + file.errorString() + QLatin1Char(')');
        return false;
    }
    return parseSettings(data, path, settings, error);
}

QByteArray settingsToJson(const ReaderSettings& settings, QStringList* skipped) {
    QByteArray out = "{\n  \"version\": " + QByteArray::number(kSettingsFileVersion);
    for (SettingKey key : allSettingKeys()) {
        if (!holds(settings, key))
            continue;
        if (!hasNamedValue(settings, key)) {
            if (skipped)
                *skipped << keyName(key) + QStringLiteral(" (") + valueText(settings, key) + QLatin1Char(')');
            continue;
        }
        out += ",\n  \"" + keyName(key).toLatin1() + "\": " + jsonText(jsonValue(settings, key));
    }
    out += "\n}\n";
    return out;
}

#ifndef _WIN32
namespace {

// Writes all of `bytes` to `fd`; false with errno set when that fails.
bool writeAll(int fd, const QByteArray& bytes) {
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.constData() + done, std::size_t(bytes.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            if (n == 0)
                errno = EIO;
            return false;
        }
        done += n;
    }
    return true;
}

// The descriptor a name like /dev/stdout, /dev/fd/1 or /proc/self/fd/1 stands
// for, following the links that lead to it.
int aliasedDescriptor(QString path) {
    static const QRegularExpression fdPath(
        QStringLiteral("^/(?:dev/fd|proc/self/fd|proc/%1/fd)/(\\d{1,9})$").arg(::getpid()));
    for (int hop = 0; hop < 40 && !path.isEmpty(); ++hop) {
        path = QDir::cleanPath(QFileInfo(path).absoluteFilePath());
        if (path == QLatin1String("/dev/stdin"))
            return 0;
        if (path == QLatin1String("/dev/stdout"))
            return 1;
        if (path == QLatin1String("/dev/stderr"))
            return 2;
        const QRegularExpressionMatch m = fdPath.match(path);
        if (m.hasMatch())
            return m.captured(1).toInt();
        const QFileInfo info(path);
        if (!info.isSymLink())
            return -1;
        // The link's own text: /proc's links name the file they stand for.
        const QByteArray name = QFile::encodeName(path);
        char target[4096];
        const ssize_t n = ::readlink(name.constData(), target, sizeof target - 1);
        if (n <= 0)
            return -1;
        const QString next = QFile::decodeName(QByteArray(target, qsizetype(n)));
        path = QDir::isAbsolutePath(next) ? next : QFileInfo(path).absolutePath() + QLatin1Char('/') + next;
    }
    return -1;
}

} // namespace
#endif

int descriptorNamedBy(const QString& path) {
    if (path == QLatin1String("-"))
        return 1;
#ifdef _WIN32
    return -1;
#else
    return aliasedDescriptor(path);
#endif
}

bool saveSettingsFile(const QString& path, const ReaderSettings& settings, QString& error,
                      QStringList* skipped) {
    auto failed = [&](const QString& why) {
        error = path + QStringLiteral(": cannot be written (") + why + QLatin1Char(')');
        return false;
    };
#ifndef _WIN32
    // What is not a regular file is written where it is, never replaced: "-" and
    // a name for an open descriptor (/dev/stdout) go to that descriptor, which
    // keeps the shell's ">>"; a device or a FIFO is opened and written.
    const int fd = descriptorNamedBy(path);
    if (fd >= 0) {
        if (!writeAll(fd, settingsToJson(settings, skipped)))
            return failed(systemError(errno));
        return true;
    }
    const QByteArray name = QFile::encodeName(path);
    struct stat st {};
    if (::stat(name.constData(), &st) == 0 && !S_ISREG(st.st_mode)) {
        if (S_ISDIR(st.st_mode))
            return failed(QStringLiteral("it is a folder"));
        const int out = ::open(name.constData(), O_WRONLY | O_APPEND | O_NOCTTY | O_CLOEXEC);
        if (out < 0)
            return failed(systemError(errno));
        struct stat opened {};
        // The same kind of file that was looked at, not a file put in its place.
        if (::fstat(out, &opened) != 0 || S_ISREG(opened.st_mode) || S_ISDIR(opened.st_mode)) {
            ::close(out);
            return failed(QStringLiteral("it changed while it was opened"));
        }
        const bool written = writeAll(out, settingsToJson(settings, skipped));
        const int writeError = errno;
        if (::close(out) != 0 && written)
            return failed(systemError(errno));
        if (!written)
            return failed(systemError(writeError));
        return true;
    }
#endif
#ifdef _WIN32
    if (descriptorNamedBy(path) == 1) {
        QFile out;
        const QByteArray text = settingsToJson(settings, skipped);
        if (!out.open(stdout, QIODevice::WriteOnly) || out.write(text) != text.size() || !out.flush())
            return failed(out.errorString());
        return true;
    }
#endif
    // A regular file (or a new name) is replaced whole: a new file is written
    // beside it and renamed over it, so that a failed write leaves the old one.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return failed(file.errorString());
    file.write(settingsToJson(settings, skipped));
    if (!file.commit())
        return failed(file.errorString());
    return true;
}

bool applyAssignments(const QStringList& assignments, ReaderSettings& settings, QString& error) {
    ReaderSettings changed = settings;
    QSet<QString> seen;
    for (const QString& a : assignments) {
        const qsizetype eq = a.indexOf(QLatin1Char('='));
        if (eq <= 0) {
            error = quotedForError(a) + QStringLiteral(": expected KEY=VALUE");
            return false;
        }
        const QString name = a.left(eq);
        const std::optional<SettingKey> key = keyByName(name);
        if (!key) {
            error = quotedForError(name) + QStringLiteral(": ") + unknownKeyText(name);
            return false;
        }
        if (seen.contains(keyName(*key))) {
            error = quotedForError(name) + QStringLiteral(": ") + kRepeated;
            return false;
        }
        seen.insert(keyName(*key));
        const QString what = setFromText(changed, *key, a.mid(eq + 1));
        if (!what.isEmpty()) {
            error = quotedForError(name) + QStringLiteral(": ") + what;
            return false;
        }
    }
    settings = changed;
    return true;
}

} // namespace rfid
