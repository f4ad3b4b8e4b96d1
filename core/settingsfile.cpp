#include "settingsfile.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <QSaveFile>

#include <cmath>

namespace rfid {

namespace {

const QLatin1String kVersionKey("version");

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

// A JSON text for one value, as a file holds it.
QByteArray jsonText(const QJsonValue& value) {
    const QByteArray array = QJsonDocument(QJsonArray{value}).toJson(QJsonDocument::Compact);
    return array.mid(1, array.size() - 2);
}

} // namespace

bool parseSettings(const QByteArray& data, const QString& fileName, ReaderSettings& settings,
                   QString& error) {
    if (data.size() > kMaxSettingsFileBytes) {
        error = fileName + QStringLiteral(": the file is larger than a settings file can be (1 MiB)");
        return false;
    }
    QJsonParseError parseError{};
    const QJsonDocument doc = QJsonDocument::fromJson(data, &parseError);
    if (parseError.error != QJsonParseError::NoError) {
        // Where Qt's parser stopped: at the character it stumbled on, or just past it.
        error = fileName + QStringLiteral(": ") + position(data, parseError.offset) +
                QStringLiteral(": not valid JSON (") + parseError.errorString() + QLatin1Char(')');
        return false;
    }
    if (!doc.isObject()) {
        error = fileName + QStringLiteral(": not a settings file (expected a JSON object in { })");
        return false;
    }
    const QJsonObject object = doc.object();
    const QJsonValue version = object.value(kVersionKey);
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
        if (it.key() == kVersionKey)
            continue;
        const std::optional<SettingKey> key = keyByName(it.key());
        if (!key) {
            error = keyError(fileName, it.key(), QStringLiteral("unknown key"));
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
    if (!file.open(QIODevice::ReadOnly)) {
        error = path + QStringLiteral(": cannot be read (") + file.errorString() + QLatin1Char(')');
        return false;
    }
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

bool saveSettingsFile(const QString& path, const ReaderSettings& settings, QString& error,
                      QStringList* skipped) {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        error = path + QStringLiteral(": cannot be written (") + file.errorString() + QLatin1Char(')');
        return false;
    }
    file.write(settingsToJson(settings, skipped));
    if (!file.commit()) {
        error = path + QStringLiteral(": cannot be written (") + file.errorString() + QLatin1Char(')');
        return false;
    }
    return true;
}

bool applyAssignments(const QStringList& assignments, ReaderSettings& settings, QString& error) {
    ReaderSettings changed = settings;
    for (const QString& a : assignments) {
        const qsizetype eq = a.indexOf(QLatin1Char('='));
        if (eq <= 0) {
            error = quotedForError(a) + QStringLiteral(": expected KEY=VALUE");
            return false;
        }
        const QString name = a.left(eq);
        const std::optional<SettingKey> key = keyByName(name);
        if (!key) {
            error = quotedForError(name) + QStringLiteral(": unknown key");
            return false;
        }
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
