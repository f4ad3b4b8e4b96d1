#include "readersettings.h"

#include "frame.h"
#include "gbk.h"

#include "hex.h"
#include "nearname.h"
#include "readertables.h"
#include "status.h"

#include <QJsonValue>

#include <algorithm>

namespace rfid {

namespace {

enum class Kind { Format, Flag, Buzzer, Byte, Language, ReaderMode, BluetoothMode, Name, Sleep };

struct KeyInfo {
    SettingKey key;
    const char* name;
    Kind kind;
};

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

const KeyInfo& info(SettingKey key) {
    return kKeys[int(key)];
}

QString hexByte(std::uint8_t b) {
    return toHex(&b, 1);
}

// The field of a flag or of a byte-coded setting; nullptr for another key.
template <typename S> auto flagField(S& s, SettingKey key) -> decltype(&s.semicolon) {
    switch (key) {
    case SettingKey::Semicolon:
        return &s.semicolon;
    case SettingKey::QuestionMark:
        return &s.questionMark;
    case SettingKey::CommaInMiddle:
        return &s.commaInMiddle;
    case SettingKey::Enter:
        return &s.enter;
    case SettingKey::Buzzer:
        return &s.bigBuzzer;
    case SettingKey::CustomByteEnabled:
        return &s.customByteEnabled;
    default:
        return nullptr;
    }
}

template <typename S> auto byteField(S& s, SettingKey key) -> decltype(&s.format) {
    switch (key) {
    case SettingKey::Format:
        return &s.format;
    case SettingKey::CustomByte:
        return &s.customByte;
    case SettingKey::Prefix1:
    case SettingKey::Prefix2:
    case SettingKey::Prefix3:
    case SettingKey::Prefix4:
        return &s.prefix[std::size_t(int(key) - int(SettingKey::Prefix1))];
    case SettingKey::Suffix1:
    case SettingKey::Suffix2:
    case SettingKey::Suffix3:
    case SettingKey::Suffix4:
        return &s.suffix[std::size_t(int(key) - int(SettingKey::Suffix1))];
    case SettingKey::Language:
        return &s.language;
    case SettingKey::ReaderMode:
        return &s.readerMode;
    case SettingKey::BluetoothMode:
        return &s.bluetoothMode;
    case SettingKey::SleepTime:
        return &s.sleepTime;
    default:
        return nullptr;
    }
}

// The name a file uses for a code (the read-back name, blanks made single), or
// empty when the code has none.
QString codeName(Kind kind, std::uint8_t code) {
    switch (kind) {
    case Kind::Format:
        if (const OutputFormat* f = outputFormatByCode(code))
            return QString::fromUtf8(f->readName).simplified();
        break;
    case Kind::Language:
        if (const KeyboardLanguage* l = languageByCode(code))
            return QString::fromUtf8(l->readName).simplified();
        break;
    case Kind::ReaderMode:
        if (const ModeChoice* m = readerModeByCode(code))
            return QString::fromUtf8(m->reportName).trimmed();
        break;
    case Kind::BluetoothMode:
        if (const ModeChoice* m = bluetoothModeByCode(code))
            return QString::fromUtf8(m->reportName).trimmed();
        break;
    case Kind::Sleep:
        if (const SleepTime* t = sleepTimeByCode(code))
            return QString::fromUtf8(t->itemText).simplified();
        break;
    default:
        break;
    }
    return {};
}

// Every name accepted for each code of a named setting: the name files use and
// the caption on the page.
struct NameChoice {
    QString name;
    std::uint8_t code;
};

QList<NameChoice> nameChoices(Kind kind) {
    QList<NameChoice> out;
    auto add = [&out](const char* a, const char* b, std::uint8_t code) {
        out.append({QString::fromUtf8(a), code});
        out.append({QString::fromUtf8(b), code});
    };
    switch (kind) {
    case Kind::Format:
        for (const OutputFormat& f : outputFormats())
            add(f.readName, f.caption, f.code);
        break;
    case Kind::Language:
        for (const KeyboardLanguage& l : keyboardLanguages())
            add(l.readName, l.caption, l.code);
        break;
    case Kind::ReaderMode:
        for (const ModeChoice& m : readerModes())
            add(m.reportName, m.caption, m.code);
        break;
    case Kind::BluetoothMode:
        for (const ModeChoice& m : bluetoothModes())
            add(m.reportName, m.caption, m.code);
        break;
    case Kind::Sleep:
        for (const SleepTime& t : sleepTimes())
            add(t.itemText, t.itemText, t.code);
        break;
    case Kind::Buzzer:
        add("big", "Big Buzzer", 1);
        add("small", "Small Buzzer", 0);
        break;
    default:
        break;
    }
    return out;
}

QString quoted(const QString& text) {
    return quotedForError(text);
}

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

QString whatNamed(Kind kind) {
    switch (kind) {
    case Kind::Format:
        return QStringLiteral("an output format");
    case Kind::Language:
        return QStringLiteral("a keyboard language");
    case Kind::ReaderMode:
        return QStringLiteral("a reader mode");
    case Kind::BluetoothMode:
        return QStringLiteral("a Bluetooth mode");
    case Kind::Sleep:
        return QStringLiteral("a sleep time");
    case Kind::Buzzer:
        return QStringLiteral("a buzzer");
    default:
        return {};
    }
}

// The names a short table accepts, listed in an error; the long tables point
// to the help that lists them.
QString choicesHint(Kind kind) {
    if (kind == Kind::Format)
        return QStringLiteral(" (rfidctl set --help lists the 15 format names)");
    if (kind == Kind::Language)
        return QStringLiteral(" (rfidctl set --help lists the 30 language names)");
    QStringList names;
    for (const NameChoice& c : nameChoices(kind)) {
        const QString n = kind == Kind::Buzzer ? c.name : codeName(kind, c.code);
        if (!names.contains(quoted(n)))
            names << quoted(n);
    }
    return QStringLiteral(" (one of ") + names.join(QStringLiteral(", ")) + QLatin1Char(')');
}

bool parseHexByte(const QString& text, std::uint8_t& out);

QString parseNamed(Kind kind, const QString& text, std::uint8_t& code) {
    const QString wanted = simplifiedName(text);
    QList<std::uint8_t> codes;
    for (const NameChoice& c : nameChoices(kind)) {
        if (simplifiedName(c.name) == wanted && !codes.contains(c.code))
            codes << c.code;
    }
    // The code `rfidctl formats` prints ("0F") names a format or language too.
    if (codes.isEmpty() && (kind == Kind::Format || kind == Kind::Language)) {
        std::uint8_t byte = 0;
        if (parseHexByte(text, byte) &&
            (kind == Kind::Format ? outputFormatByCode(byte) != nullptr : languageByCode(byte) != nullptr))
            codes << byte;
    }
    if (codes.size() == 1) {
        code = codes.front();
        return {};
    }
    if (codes.size() > 1) {
        QStringList names;
        for (std::uint8_t c : codes)
            names << quoted(codeName(kind, c));
        return quoted(text) + QStringLiteral(" names more than one format; write ") +
               names.join(QStringLiteral(" or "));
    }
    // The long tables name the one most likely meant; the short ones list them all.
    std::vector<std::string> names;
    for (const NameChoice& c : nameChoices(kind))
        names.push_back(c.name.simplified().toStdString());
    const bool longTable = kind == Kind::Format || kind == Kind::Language;
    const std::string meant = longTable ? wedge::closestName(text.simplified().toStdString(), names) : "";
    return quoted(text) + QStringLiteral(" is not ") + whatNamed(kind) +
           (meant.empty() ? choicesHint(kind)
                          : QStringLiteral(" (did you mean ") + quoted(QString::fromStdString(meant)) +
                                QStringLiteral("?)"));
}

bool parseHexByte(const QString& text, std::uint8_t& out) {
    const QString t = text.trimmed();
    if (t.size() != 2)
        return false;
    bool ok = false;
    const uint v = t.toUInt(&ok, 16);
    if (!ok || !t.at(0).isLetterOrNumber() || !t.at(1).isLetterOrNumber())
        return false;
    out = static_cast<std::uint8_t>(v);
    return true;
}

} // namespace

// ---------------------------------------------------------------------------

QString quotedForError(const QString& text) {
    QString shown;
    const bool cut = text.size() > 60;
    for (QChar c : cut ? text.left(57) : text) {
        if (c == QLatin1Char('\n'))
            shown += QStringLiteral("\\n");
        else if (c == QLatin1Char('\t'))
            shown += QStringLiteral("\\t");
        else if (c == QLatin1Char('\r'))
            shown += QStringLiteral("\\r");
        else if (c.category() == QChar::Other_Control || c.category() == QChar::Separator_Line ||
                 c.category() == QChar::Separator_Paragraph)
            shown += QStringLiteral("\\u") +
                     QStringLiteral("%1").arg(c.unicode(), 4, 16, QLatin1Char('0')).toUpper();
        else
            shown += c;
    }
    if (cut)
        shown += QStringLiteral("...");
    return QLatin1Char('"') + shown + QLatin1Char('"');
}

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

// ---------------------------------------------------------------------------

std::optional<std::array<std::uint8_t, kOutputBytes>> outputSettingsBytes(const ReaderSettings& s) {
    if (!s.format || !s.semicolon || !s.questionMark || !s.commaInMiddle || !s.enter || !s.bigBuzzer ||
        !s.customByteEnabled || (*s.customByteEnabled && !s.customByte))
        return std::nullopt;
    for (int i = 0; i < 4; ++i) {
        if (!s.prefix[std::size_t(i)] || !s.suffix[std::size_t(i)])
            return std::nullopt;
    }
    OutputSettings o;
    o.format = *s.format;
    o.semicolon = *s.semicolon;
    o.question = *s.questionMark;
    o.comma = *s.commaInMiddle;
    o.enter = *s.enter;
    o.bigBuzzer = *s.bigBuzzer;
    o.custom = *s.customByteEnabled ? *s.customByte : 0x00;
    for (std::size_t i = 0; i < 4; ++i) {
        o.prefix[i] = *s.prefix[i];
        o.suffix[i] = *s.suffix[i];
    }
    return o.toBytes();
}

QString outputSettingsCommand(const std::array<std::uint8_t, 16>& bytes) {
    QString out = QStringLiteral("82");
    for (std::uint8_t b : bytes)
        out += hexByte(b);
    return out;
}

QString outputSettingsCommandWithoutFormat(const std::array<std::uint8_t, 16>& bytes) {
    QString out = QStringLiteral("82");
    for (std::size_t i = kFormatByte + 1; i < bytes.size(); ++i)
        out += hexByte(bytes[i]);
    return out;
}

QString languageCommand(std::uint8_t code) {
    return QStringLiteral("80") + hexByte(code);
}
QString readerModeCommand(std::uint8_t code) {
    return QStringLiteral("0F") + hexByte(code);
}
QString bluetoothModeCommand(std::uint8_t code) {
    return QStringLiteral("22") + hexByte(code);
}
QString sleepTimeCommand(std::uint8_t code) {
    return QStringLiteral("0E") + hexByte(code);
}

namespace {

// The name as the reader would show it: its bytes read back in the same code page.
QString nameAsSent(const QString& name) {
    return gbkText(bluetoothNameBytes(name));
}

} // namespace

QByteArray bluetoothNameBytes(const QString& name) {
    return gbkBytes(name);
}

QString bluetoothNameCodePage() {
    return QStringLiteral("GBK");
}

QString bluetoothNameProblem(const QString& name) {
    if (name.isEmpty())
        return QStringLiteral("the Bluetooth name must not be empty");
    // Characters one at a time (a pair of surrogates is one), so that the
    // message can name each one that would not arrive.
    QStringList controls;
    QStringList lost;
    for (qsizetype i = 0; i < name.size();) {
        const qsizetype n = name.at(i).isHighSurrogate() && i + 1 < name.size() ? 2 : 1;
        const QString c = name.mid(i, n);
        i += n;
        const QChar::Category category = c.front().category();
        if (category == QChar::Other_Control || category == QChar::Separator_Line ||
            category == QChar::Separator_Paragraph) {
            if (!controls.contains(quotedForError(c)))
                controls << quotedForError(c);
        } else if (nameAsSent(c) != c && !lost.contains(quotedForError(c))) {
            lost << quotedForError(c);
        }
    }
    auto list = [](const QStringList& items) {
        return items.size() == 1 ? items.front()
                                 : items.mid(0, items.size() - 1).join(QStringLiteral(", ")) +
                                       QStringLiteral(" and ") + items.back();
    };
    if (!controls.isEmpty())
        return QStringLiteral("the Bluetooth name must not hold control characters (it holds %1)")
            .arg(list(controls));
    if (!lost.isEmpty() || nameAsSent(name) != name)
        return QStringLiteral("the Bluetooth name holds %1, which the reader's code page (%2) cannot hold; "
                              "the reader would show \"?\" instead")
            .arg(lost.isEmpty() ? quotedForError(name) : list(lost), bluetoothNameCodePage());
    const int bytes = int(bluetoothNameBytes(name).size());
    if (bytes > kMaxBluetoothNameBytes)
        return QStringLiteral("the Bluetooth name takes %1 bytes; the reader takes at most %2")
            .arg(bytes)
            .arg(kMaxBluetoothNameBytes);
    return {};
}

QString bluetoothNameCommand(const QString& name) {
    QString out = QStringLiteral("88");
    for (char c : bluetoothNameBytes(name))
        out += hexByte(static_cast<std::uint8_t>(c));
    return out;
}

QList<WriteStep> writeSteps(const ReaderSettings& s) {
    QList<WriteStep> steps;
    if (s.language)
        steps.append(
            {QStringLiteral("keyboard language"), languageCommand(*s.language), WriteStep::Language});
    if (const auto bytes = outputSettingsBytes(s))
        steps.append(
            {QStringLiteral("output settings"), outputSettingsCommand(*bytes), WriteStep::OutputSettings});
    if (s.readerMode)
        steps.append(
            {QStringLiteral("reader mode"), readerModeCommand(*s.readerMode), WriteStep::ReaderMode});
    if (s.bluetoothMode)
        steps.append({QStringLiteral("Bluetooth mode"), bluetoothModeCommand(*s.bluetoothMode),
                      WriteStep::BluetoothMode});
    if (s.bluetoothName)
        steps.append({QStringLiteral("Bluetooth name"), bluetoothNameCommand(*s.bluetoothName),
                      WriteStep::BluetoothName});
    if (s.sleepTime)
        steps.append({QStringLiteral("sleep time"), sleepTimeCommand(*s.sleepTime), WriteStep::SleepTime});
    return steps;
}

QString writeStoppedText(const QStringList& steps, int stoppedAt, const QString& why) {
    auto list = [](const QStringList& l) { return l.isEmpty() ? QStringLiteral("nothing") : l.join(", "); };
    const QString at = stoppedAt >= 0 && stoppedAt < steps.size() ? steps.at(stoppedAt) : QString();
    return QStringLiteral("Stopped at the ") + at + QStringLiteral(": ") + why +
           QStringLiteral(". Written: ") + list(steps.mid(0, stoppedAt)) + QStringLiteral(". Not written: ") +
           list(steps.mid(stoppedAt)) + QLatin1Char('.');
}

// ---------------------------------------------------------------------------

QString answerProblem(const Answer& answer) {
    switch (answer.status) {
    case AnswerStatus::Refused: {
        // In English: the window gives the reader's own words through falsereason.
        const QString reason = refusalReason(hexByte(answer.errorCode));
        return QStringLiteral("the reader refused it (error %1%2)")
            .arg(hexByte(answer.errorCode), reason.isEmpty() ? QString() : QStringLiteral(": ") + reason);
    }
    case AnswerStatus::Damaged:
        return QStringLiteral("the reader's answer was damaged");
    case AnswerStatus::NoAnswer:
    case AnswerStatus::Success:
        break;
    }
    return {};
}

std::optional<ReaderSettings> decodeReadBack(const std::vector<std::uint8_t>& p) {
    if (p.size() < std::size_t(kReadBackBytes))
        return std::nullopt;
    // The language code, then the 16 output-settings bytes in command order.
    const OutputSettings o = OutputSettings::fromBytes(p.data() + 1, kOutputBytes);
    ReaderSettings s;
    s.language = p[0];
    s.format = o.format;
    s.semicolon = o.semicolon;
    s.questionMark = o.question;
    s.commaInMiddle = o.comma;
    s.enter = o.enter;
    s.bigBuzzer = o.bigBuzzer;
    s.customByteEnabled = o.custom != 0;
    if (o.custom != 0)
        s.customByte = o.custom;
    for (std::size_t i = 0; i < 4; ++i) {
        s.prefix[i] = o.prefix[i];
        s.suffix[i] = o.suffix[i];
    }
    return s;
}

std::optional<OutputSettings> outputSettingsOf(const ReaderSettings& settings) {
    const auto bytes = outputSettingsBytes(settings);
    if (!bytes)
        return std::nullopt;
    return OutputSettings::fromBytes(bytes->data(), int(bytes->size()));
}

// ---------------------------------------------------------------------------

QList<SettingDifference> settingDifferences(const ReaderSettings& reader, const ReaderSettings& wanted) {
    QList<SettingDifference> differences;
    for (SettingKey key : allSettingKeys()) {
        if (key == SettingKey::CustomByteEnabled)
            continue;
        if (key == SettingKey::CustomByte) {
            // What the reader types: a byte, none (kNoByte), or unknown (kUnknown).
            constexpr int kUnknown = -2;
            constexpr int kNoByte = -1;
            auto typed = [](const ReaderSettings& s) {
                if (!s.customByteEnabled || (*s.customByteEnabled && !s.customByte))
                    return kUnknown;
                if (!*s.customByteEnabled || *s.customByte == 0)
                    return kNoByte;
                return int(*s.customByte);
            };
            const int r = typed(reader);
            const int w = typed(wanted);
            if (r != kUnknown && w != kUnknown && r != w) {
                auto text = [](int b) {
                    return b == kNoByte ? QStringLiteral("none") : hexByte(std::uint8_t(b));
                };
                differences.append({key, text(r), text(w)});
            }
            continue;
        }
        if (!holds(reader, key) || !holds(wanted, key))
            continue;
        const QString r = valueText(reader, key);
        const QString w = valueText(wanted, key);
        if (r != w)
            differences.append({key, r, w});
    }
    return differences;
}

QString differenceLine(const SettingDifference& d, const QString& owner) {
    return keyName(d.key) + QStringLiteral(": reader has ") + d.reader + QStringLiteral(", ") + owner +
           QStringLiteral(" has ") + d.wanted;
}

QStringList compareSettings(const ReaderSettings& reader, const ReaderSettings& wanted,
                            const QString& owner) {
    QStringList lines;
    for (const SettingDifference& d : settingDifferences(reader, wanted))
        lines << differenceLine(d, owner);
    return lines;
}

} // namespace rfid

namespace rfid {

OutputSettings outputSettingsWithDefaults(const ReaderSettings& s) {
    if (const auto o = outputSettingsOf(s))
        return *o;
    OutputSettings o;
    o.format = s.format.value_or(o.format);
    o.semicolon = s.semicolon.value_or(false);
    o.question = s.questionMark.value_or(false);
    o.comma = s.commaInMiddle.value_or(false);
    o.enter = s.enter.value_or(false);
    o.bigBuzzer = s.bigBuzzer.value_or(true);
    o.custom = s.customByteEnabled.value_or(false) ? s.customByte.value_or(0) : 0;
    for (std::size_t i = 0; i < 4; ++i) {
        o.prefix[i] = s.prefix[i].value_or(0);
        o.suffix[i] = s.suffix[i].value_or(0);
    }
    return o;
}

} // namespace rfid
