#include "languagepage.h"

#include "cardpayload.h"
#include "hex.h"
#include "keyboardpages.h"
#include "pagehost.h"
#include "readersettings.h"
#include "readertables.h"

#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

using kbd::place;

// One keyboard language's radio button; its caption and read-back name come
// from the reader's language table.
struct LanguagePage::Language {
    QRadioButton* LanguagePage::*button;
    const char* name;
};

namespace {
constexpr int kWaitMs = 300;
using rfid::kLanguageCount;
} // namespace

// Indexed by language code, 0x00 to 0x1D.
const LanguagePage::Language* LanguagePage::languages() {
    static const Language table[kLanguageCount] = {
        {&LanguagePage::RadioButton18, "RadioButton18"}, {&LanguagePage::RadioButton24, "RadioButton24"},
        {&LanguagePage::RadioButton25, "RadioButton25"}, {&LanguagePage::RadioButton26, "RadioButton26"},
        {&LanguagePage::RadioButton53, "RadioButton53"}, {&LanguagePage::RadioButton52, "RadioButton52"},
        {&LanguagePage::RadioButton51, "RadioButton51"}, {&LanguagePage::RadioButton50, "RadioButton50"},
        {&LanguagePage::RadioButton49, "RadioButton49"}, {&LanguagePage::RadioButton39, "RadioButton39"},
        {&LanguagePage::RadioButton38, "RadioButton38"}, {&LanguagePage::RadioButton20, "RadioButton20"},
        {&LanguagePage::RadioButton47, "RadioButton47"}, {&LanguagePage::RadioButton45, "RadioButton45"},
        {&LanguagePage::RadioButton31, "RadioButton31"}, {&LanguagePage::RadioButton27, "RadioButton27"},
        {&LanguagePage::RadioButton43, "RadioButton43"}, {&LanguagePage::RadioButton41, "RadioButton41"},
        {&LanguagePage::RadioButton37, "RadioButton37"}, {&LanguagePage::RadioButton36, "RadioButton36"},
        {&LanguagePage::RadioButton35, "RadioButton35"}, {&LanguagePage::RadioButton23, "RadioButton23"},
        {&LanguagePage::RadioButton48, "RadioButton48"}, {&LanguagePage::RadioButton46, "RadioButton46"},
        {&LanguagePage::RadioButton44, "RadioButton44"}, {&LanguagePage::RadioButton28, "RadioButton28"},
        {&LanguagePage::RadioButton42, "RadioButton42"}, {&LanguagePage::RadioButton40, "RadioButton40"},
        {&LanguagePage::RadioButton34, "RadioButton34"}, {&LanguagePage::RadioButton33, "RadioButton33"},
    };
    return table;
}

namespace {
// Ten rows of three columns: codes 00-09 in the first column, 0B-14 in the
// second, 15-1D in the third with German (0A) below them.
QPoint languagePosition(int code) {
    static const int rows[10] = {17, 53, 90, 127, 164, 200, 237, 274, 311, 348};
    static const int columns[3] = {24, 180, 336};
    if (code <= 0x09)
        return {columns[0], rows[code]};
    if (code == 0x0A)
        return {columns[2], rows[9]};
    if (code <= 0x14)
        return {columns[1], rows[code - 0x0B]};
    return {columns[2], rows[code - 0x15]};
}
} // namespace

LanguagePage::LanguagePage(PageHost& host, QWidget* parent) : QWidget(parent), m_host(host) {
    setObjectName(QStringLiteral("LanguagePage"));

    GroupBox29 =
        place<QGroupBox>(this, "GroupBox29", QStringLiteral("Prefix and suffix settings"), 1, 3, 421, 141);
    const int fieldX[4] = {64, 160, 256, 352};
    QLineEdit* LanguagePage::*const fields[8] = {
        &LanguagePage::Edit24, &LanguagePage::Edit25, &LanguagePage::Edit26, &LanguagePage::Edit27,
        &LanguagePage::Edit44, &LanguagePage::Edit45, &LanguagePage::Edit46, &LanguagePage::Edit47};
    const char* const fieldNames[8] = {"Edit24", "Edit25", "Edit26", "Edit27",
                                       "Edit44", "Edit45", "Edit46", "Edit47"};
    const char* const columnLabels[8] = {"First byte  ",   "  Second byte    ", "Third byte   ",
                                         "Fourth byte",    "First byte     ",   "Second byte   ",
                                         "Third byte    ", "Fourth byte  "};
    const char* const labelNames[8] = {"LabelPrefixByte1", "LabelPrefixByte2", "LabelPrefixByte3",
                                       "LabelPrefixByte4", "LabelSuffixByte1", "LabelSuffixByte2",
                                       "LabelSuffixByte3", "LabelSuffixByte4"};
    for (int i = 0; i < 8; ++i) {
        const int row = i / 4;
        const int col = i % 4;
        auto* edit = new QLineEdit(QStringLiteral("00"), GroupBox29);
        edit->setObjectName(QLatin1String(fieldNames[i]));
        edit->setGeometry(fieldX[col], row == 0 ? 22 : 83, 57, 21);
        this->*fields[i] = edit;
        place<QLabel>(GroupBox29, labelNames[i], QString::fromUtf8(columnLabels[i]), fieldX[col],
                      row == 0 ? 52 : 113, col == 3 ? 66 : 94, 15);
    }
    place<QLabel>(GroupBox29, "LabelPrefix", QStringLiteral("Prefix:   "), 14, 26, 48, 15);
    place<QLabel>(GroupBox29, "LabelSuffix", QStringLiteral("suffix:  "), 14, 87, 48, 15);
    kbd::rule(GroupBox29, "RulePrefixSuffix", 8, 71, 405);

    Button27 = place<QPushButton>(this, "Button27", QStringLiteral("Set"), 436, 48, 75, 25);
    Button28 = place<QPushButton>(this, "Button28", QStringLiteral("Read"), 437, 117, 75, 25);

    GroupBox28 = place<QGroupBox>(this, "GroupBox28", QStringLiteral("language settings "), 1, 152, 497, 375);
    for (int code = 0; code < kLanguageCount; ++code) {
        const Language& l = languages()[code];
        const QPoint at = languagePosition(code);
        // The third column is wider so that "Switzerland-German" fits.
        const int width = at.x() == 336 ? 140 : 113;
        const QString caption = QString::fromUtf8(rfid::keyboardLanguages()[std::size_t(code)].caption);
        this->*(l.button) = place<QRadioButton>(GroupBox28, l.name, caption, at.x(), at.y(), width, 17);
    }
    RadioButton18->setChecked(true);

    m_host.onClick(Button27, [this] { Button27Click(); });
    m_host.onClick(Button28, [this] { Button28Click(); });
}

QStringList LanguagePage::prefixSuffixTexts() const {
    return {Edit24->text(), Edit25->text(), Edit26->text(), Edit27->text(),
            Edit44->text(), Edit45->text(), Edit46->text(), Edit47->text()};
}

QString LanguagePage::languageName(const QString& code) {
    return rfid::languageReadName(code);
}

void LanguagePage::Button27Click() {
    // Without a choice the command byte goes out alone, as it always has.
    QString command = QStringLiteral("80");
    for (int c = 0; c < kLanguageCount; ++c) {
        if ((this->*(languages()[c].button))->isChecked())
            command = rfid::languageCommand(static_cast<std::uint8_t>(c));
    }
    m_host.cycle(command, kWaitMs, setTexts());
}

rfid::CycleTexts LanguagePage::setTexts() {
    return {kbd::noDataFullWidth(), QStringLiteral("Set Up Success   "),
            QStringLiteral("Set up format false   "), kbd::damaged()};
}

void LanguagePage::Button28Click() {
    const rfid::CycleTexts texts{
        kbd::noDataFullWidth(), {}, QStringLiteral("Set up format false   "), kbd::damaged()};
    m_host.cycle(QStringLiteral("83"), kWaitMs, texts, [this, texts] {
        // The language code is read from the payload only; a success answer
        // without it is damaged, not a report of whatever stands in its place.
        const QString code = rfid::payloadByte(m_host.answer(), 4);
        if (code.size() != 2)
            return QStringList{texts.damaged + rfid::timeStamp() + QStringLiteral("\r\n")};
        return QStringList{QStringLiteral("The output language is : ") + languageName(code) +
                           QStringLiteral(" .  ") + rfid::timeStamp()};
    });
}

QString LanguagePage::collectSettings(rfid::ReaderSettings& s) const {
    for (int c = 0; c < kLanguageCount; ++c) {
        if ((this->*(languages()[c].button))->isChecked())
            s.language = std::uint8_t(c);
    }
    const QStringList texts = prefixSuffixTexts();
    for (int i = 0; i < texts.size(); ++i) {
        std::uint8_t value = 0;
        if (!kbd::byteFieldValue(texts.at(i), value))
            return kbd::byteFieldError(kbd::prefixSuffixFieldName(i), texts.at(i));
        (i < 4 ? s.prefix : s.suffix)[std::size_t(i % 4)] = value;
    }
    return {};
}

void LanguagePage::showSettings(const rfid::ReaderSettings& s) {
    if (s.language && *s.language < kLanguageCount)
        (this->*(languages()[*s.language].button))->setChecked(true);
    QLineEdit* const fields[8] = {Edit24, Edit25, Edit26, Edit27, Edit44, Edit45, Edit46, Edit47};
    for (int i = 0; i < 8; ++i) {
        const std::optional<std::uint8_t>& b = (i < 4 ? s.prefix : s.suffix)[std::size_t(i % 4)];
        if (b)
            fields[i]->setText(rfid::toHex(&*b, 1));
    }
}
