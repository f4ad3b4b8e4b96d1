// The names the reader's codes go by (read-back names and page captions), the
// code a typed name stands for, and texts as error lines quote them.

#include "settingkinds.h"

#include "nearname.h"
#include "readertables.h"

namespace rfid {

using namespace settingkinds;

namespace {

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

} // namespace

namespace settingkinds {

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

} // namespace settingkinds

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

} // namespace rfid
