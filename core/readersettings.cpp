// The settings as a value: its keys, their names in files, and each value as
// people write it, in a settings file's JSON and on a command line.

#include "readersettings.h"

#include "hex.h"
#include "settingkinds.h"

#include <QJsonValue>

namespace rfid {

using namespace settingkinds;

namespace {

const KeyInfo kKeys[] = {
    {SettingKey::Format, "format", Kind::Format},
    {SettingKey::Semicolon, "add_semicolon", Kind::Flag},
    {SettingKey::QuestionMark, "add_question_mark", Kind::Flag},
    {SettingKey::CommaInMiddle, "add_comma_in_middle", Kind::Flag},
    {SettingKey::Enter, "add_enter", Kind::Flag},
    {SettingKey::Buzzer, "buzzer", Kind::Buzzer},
    {SettingKey::CustomByteEnabled, "custom_byte_enabled", Kind::Flag},
    {SettingKey::CustomByte, "custom_byte", Kind::Byte},
    {SettingKey::Prefix1, "prefix_1", Kind::Byte},
    {SettingKey::Prefix2, "prefix_2", Kind::Byte},
    {SettingKey::Prefix3, "prefix_3", Kind::Byte},
    {SettingKey::Prefix4, "prefix_4", Kind::Byte},
    {SettingKey::Suffix1, "suffix_1", Kind::Byte},
    {SettingKey::Suffix2, "suffix_2", Kind::Byte},
    {SettingKey::Suffix3, "suffix_3", Kind::Byte},
    {SettingKey::Suffix4, "suffix_4", Kind::Byte},
    {SettingKey::Language, "language", Kind::Language},
    {SettingKey::ReaderMode, "reader_mode", Kind::ReaderMode},
    {SettingKey::BluetoothMode, "bluetooth_mode", Kind::BluetoothMode},
    {SettingKey::BluetoothName, "bluetooth_name", Kind::Name},
    {SettingKey::SleepTime, "sleep_time", Kind::Sleep},
};

// How a JSON value is named in an error.
QString describe(const QJsonValue& v) {
    switch (v.type()) {
    case QJsonValue::Bool:
        return v.toBool() ? QStringLiteral("true") : QStringLiteral("false");
    case QJsonValue::Double:
        return QString::number(v.toDouble(), 'g', 15);
    case QJsonValue::String:
        return quoted(v.toString());
    case QJsonValue::Array:
        return QStringLiteral("a list");
    case QJsonValue::Object:
        return QStringLiteral("an object");
    default:
        return QStringLiteral("null");
    }
}

} // namespace

namespace settingkinds {

const KeyInfo& info(SettingKey key) {
    return kKeys[int(key)];
}

QString hexByte(std::uint8_t b) {
    return toHex(&b, 1);
}

} // namespace settingkinds

void ReaderSettings::merge(const ReaderSettings& o) {
    for (SettingKey key : allSettingKeys()) {
        if (!holds(o, key))
            continue;
        if (auto* f = flagField(*this, key))
            *f = *flagField(o, key);
        else if (auto* b = byteField(*this, key))
            *b = *byteField(o, key);
        else if (key == SettingKey::BluetoothName)
            bluetoothName = o.bluetoothName;
    }
}

bool ReaderSettings::isEmpty() const {
    for (SettingKey key : allSettingKeys()) {
        if (holds(*this, key))
            return false;
    }
    return true;
}

bool ReaderSettings::hasAnyOutputField() const {
    for (SettingKey key : allSettingKeys()) {
        if (int(key) <= int(SettingKey::Suffix4) && holds(*this, key))
            return true;
    }
    return false;
}

bool ReaderSettings::operator==(const ReaderSettings& o) const {
    return format == o.format && semicolon == o.semicolon && questionMark == o.questionMark &&
           commaInMiddle == o.commaInMiddle && enter == o.enter && bigBuzzer == o.bigBuzzer &&
           customByteEnabled == o.customByteEnabled && customByte == o.customByte && prefix == o.prefix &&
           suffix == o.suffix && language == o.language && readerMode == o.readerMode &&
           bluetoothMode == o.bluetoothMode && bluetoothName == o.bluetoothName && sleepTime == o.sleepTime;
}

const QList<SettingKey>& allSettingKeys() {
    static const QList<SettingKey> keys = [] {
        QList<SettingKey> k;
        for (const KeyInfo& i : kKeys)
            k << i.key;
        return k;
    }();
    return keys;
}

QString keyName(SettingKey key) {
    return QString::fromLatin1(info(key).name);
}

std::optional<SettingKey> keyByName(const QString& name) {
    for (const KeyInfo& i : kKeys) {
        if (name.compare(QLatin1String(i.name), Qt::CaseInsensitive) == 0)
            return i.key;
    }
    return std::nullopt;
}

bool readerReports(SettingKey key) {
    return int(key) <= int(SettingKey::Language);
}

bool holds(const ReaderSettings& s, SettingKey key) {
    if (auto* f = flagField(s, key))
        return f->has_value();
    if (auto* b = byteField(s, key))
        return b->has_value();
    return s.bluetoothName.has_value();
}

void clear(ReaderSettings& s, SettingKey key) {
    if (auto* f = flagField(s, key))
        f->reset();
    else if (auto* b = byteField(s, key))
        b->reset();
    else
        s.bluetoothName.reset();
}

QString valueText(const ReaderSettings& s, SettingKey key) {
    const Kind kind = info(key).kind;
    if (kind == Kind::Name)
        return s.bluetoothName.value_or(QString());
    if (auto* f = flagField(s, key)) {
        if (!f->has_value())
            return {};
        if (kind == Kind::Buzzer)
            return **f ? QStringLiteral("big") : QStringLiteral("small");
        return **f ? QStringLiteral("true") : QStringLiteral("false");
    }
    const auto* b = byteField(s, key);
    if (!b || !b->has_value())
        return {};
    if (kind == Kind::Byte)
        return hexByte(**b);
    const QString name = codeName(kind, **b);
    return name.isEmpty() ? QStringLiteral("code ") + hexByte(**b) : name;
}

QString valueHelp(SettingKey key) {
    const Kind kind = info(key).kind;
    switch (kind) {
    case Kind::Flag:
        return QStringLiteral("true or false");
    case Kind::Buzzer:
        return QStringLiteral("big or small");
    case Kind::Byte:
        return QStringLiteral("two hex digits, e.g. 2B");
    case Kind::Name:
        return QStringLiteral("text of at most %1 bytes (ASCII: 1 each, Chinese: 2)")
            .arg(kMaxBluetoothNameBytes);
    default:
        break;
    }
    QStringList names;
    for (int code = 0; code < 256; ++code) {
        const QString name = codeName(kind, std::uint8_t(code));
        if (!name.isEmpty())
            names << QLatin1Char('"') + name + QLatin1Char('"');
    }
    return names.join(QStringLiteral(", "));
}

bool hasNamedValue(const ReaderSettings& settings, SettingKey key) {
    if (!holds(settings, key))
        return false;
    const Kind kind = info(key).kind;
    if (kind == Kind::Flag || kind == Kind::Buzzer || kind == Kind::Byte || kind == Kind::Name)
        return true;
    return !codeName(kind, **byteField(settings, key)).isEmpty();
}

QJsonValue jsonValue(const ReaderSettings& settings, SettingKey key) {
    if (!holds(settings, key))
        return QJsonValue(QJsonValue::Undefined);
    if (info(key).kind == Kind::Flag)
        return QJsonValue(**flagField(settings, key));
    return QJsonValue(valueText(settings, key));
}

QString setFromJson(ReaderSettings& s, SettingKey key, const QJsonValue& value) {
    const Kind kind = info(key).kind;
    if (kind == Kind::Flag) {
        if (!value.isBool())
            return QStringLiteral("expected true or false, not ") + describe(value);
        *flagField(s, key) = value.toBool();
        return {};
    }
    if (!value.isString()) {
        if (kind == Kind::Byte)
            return QStringLiteral("expected two hex digits in quotes, such as \"0D\", not ") +
                   describe(value);
        return QStringLiteral("expected a text in quotes, not ") + describe(value);
    }
    const QString text = value.toString();
    switch (kind) {
    case Kind::Byte: {
        std::uint8_t b = 0;
        if (!parseHexByte(text, b))
            return QStringLiteral("expected two hex digits, not ") + quoted(text);
        *byteField(s, key) = b;
        return {};
    }
    case Kind::Name: {
        const QString problem = bluetoothNameProblem(text);
        if (!problem.isEmpty())
            return problem;
        s.bluetoothName = text;
        return {};
    }
    default: {
        std::uint8_t code = 0;
        const QString error = parseNamed(kind, text, code);
        if (!error.isEmpty())
            return error;
        if (kind == Kind::Buzzer)
            s.bigBuzzer = code == 1;
        else
            *byteField(s, key) = code;
        return {};
    }
    }
}

QString setFromText(ReaderSettings& s, SettingKey key, const QString& text) {
    if (info(key).kind == Kind::Flag) {
        const QString t = text.trimmed().toLower();
        if (t == QLatin1String("true"))
            return setFromJson(s, key, QJsonValue(true));
        if (t == QLatin1String("false"))
            return setFromJson(s, key, QJsonValue(false));
        return QStringLiteral("expected true or false, not ") + quoted(text);
    }
    return setFromJson(s, key, QJsonValue(text));
}

} // namespace rfid
