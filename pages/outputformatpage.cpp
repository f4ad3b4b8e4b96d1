#include "outputformatpage.h"

#include "cardpayload.h"
#include "hex.h"
#include "keyboardpages.h"
#include "languagepage.h"
#include "response.h"
#include "tform1.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QStyleOptionButton>
#include <QStylePainter>
#include <vector>

using kbd::place;

// One output format: its radio button and place, the code sent, and the text a
// read-back shows for the code (not always the caption).
struct OutputFormatPage::Format {
    QRadioButton* OutputFormatPage::*button;
    const char* name;
    const char* caption;
    const char* code;
    const char* readName;
    int x;
    int y;
    int width;
};

namespace {
constexpr int kWaitMs = 300;
constexpr int kFormatCount = 15;

// A separator flag of the read-back: the answer byte it sits in and its two texts.
struct FlagText {
    int byte;
    const char* notAdded;
    const char* added;
};
// In the order the read-back lists them (which is not their order in the frame).
const FlagText kFlagTexts[4] = {
    {6, "do not add semicolon ", "add semicolon"},
    {8, "do not add , ", "add ,"},
    {7, "do not add ? ", "add ?"},
    {9, "do not add enter ", "add enter"},
};

// A check box whose caption holds a line feed and shows only its first line,
// as a single-line check box does.
class FirstLineCheckBox : public QCheckBox {
public:
    using QCheckBox::QCheckBox;

protected:
    void paintEvent(QPaintEvent*) override {
        QStylePainter painter(this);
        QStyleOptionButton option;
        initStyleOption(&option);
        option.text = option.text.section(QLatin1Char('\n'), 0, 0);
        painter.drawControl(QStyle::CE_CheckBox, option);
    }
};

QString flag(const QCheckBox* box) {
    return box->isChecked() ? QStringLiteral("01") : QStringLiteral("00");
}

// The last answer byte the read-back report shows (the fourth suffix byte).
constexpr int kLastReadByte = 20;
} // namespace

const OutputFormatPage::Format* OutputFormatPage::formats() {
    using P = OutputFormatPage;
    static const Format table[kFormatCount] = {
        // Left column
        {&P::RadioButton16, "RadioButton16", "10 no.in D(four byte) ", "0F", "10 no.in D", 16, 24, 200},
        {&P::RadioButton6, "RadioButton6", "8 no. in HEX      ", "0C", "8 no. in HEX", 16, 66, 200},
        {&P::RadioButton9, "RadioButton9", " 8 no. in D (last 3bytes)", "0B", "8 no. in D (last 3bytes)", 16,
         109, 200},
        {&P::RadioButton13, "RadioButton13", "8 no. in D (last 4 bytes)", "09", "8 no. in D ", 16, 152, 200},
        {&P::RadioButton10, "RadioButton10", "18 no. in D", "06", "18 no. in D", 16, 195, 200},
        {&P::RadioButton15, "RadioButton15", "13 no. in D", "05", "13 no. in D", 16, 240, 200},
        {&P::RadioButton21, "RadioButton21", "14 no. in HEX (7 byte)     ", "01", "14 no. in HEX (7 byte) ",
         16, 280, 200},
        // Right column
        {&P::RadioButton14, "RadioButton14", "10 no. in D reverse   ", "0A", "10 no. in D reverse", 232, 20,
         240},
        {&P::RadioButton8, "RadioButton8", "8 no. in HEX reverse    ", "03", "8 no. in HEX reverse", 232, 63,
         240},
        {&P::RadioButton7, "RadioButton7", " 00+8 no. in D (last 3 bytes) ", "0D",
         "00+8 no. in D (last 3 bytes)", 232, 106, 240},
        {&P::RadioButton12, "RadioButton12", "5 no. in D", "08", "5 no. in D", 232, 149, 240},
        {&P::RadioButton5, "RadioButton5", "10 no. in HEX", "07", "10 no. in HEX", 232, 194, 240},
        {&P::RadioButton22, "RadioButton22", "14 no. in HEX reverse  (7 byte)     ", "02",
         "14 no. in HEX reverse  (7 byte)  ", 240, 280, 240},
        // Row below the first rule
        {&P::RadioButton17, "RadioButton17", "2H4D + 2H4D ", "00", "2H4D + 2H4D ", 8, 329, 130},
        {&P::RadioButton11, "RadioButton11", "8 no. in D (last 4 bytes)", "0E",
         "8 no. in D (The card last 3bytes)", 144, 329, 175},
    };
    return table;
}

OutputFormatPage::OutputFormatPage(TForm1& form, QWidget* parent) : QWidget(parent), m_form(form) {
    setObjectName(QStringLiteral("OutputFormatPage"));

    GroupBox27 =
        place<QGroupBox>(this, "GroupBox27", QStringLiteral("Output format setting "), 8, 0, 489, 425);
    for (int i = 0; i < kFormatCount; ++i) {
        const Format& f = formats()[i];
        this->*(f.button) =
            place<QRadioButton>(GroupBox27, f.name, QString::fromUtf8(f.caption), f.x, f.y, f.width, 17);
    }
    RadioButton16->setChecked(true);
    kbd::rule(GroupBox27, "RuleFormats", 8, 315, 473);
    CheckBox18 =
        place<QCheckBox>(GroupBox27, "CheckBox18", QStringLiteral("add , in middle   "), 328, 328, 150, 17);
    kbd::rule(GroupBox27, "RuleSeparators", 8, 356, 473);
    CheckBox16 = place<QCheckBox>(GroupBox27, "CheckBox16", QStringLiteral("add ;  "), 8, 384, 130, 17);
    CheckBox17 = place<QCheckBox>(GroupBox27, "CheckBox17", QStringLiteral("add ?  "), 146, 384, 130, 17);
    CheckBox15 =
        place<QCheckBox>(GroupBox27, "CheckBox15", QStringLiteral("add \"Enter\""), 328, 384, 150, 17);

    GroupBox30 = place<QGroupBox>(this, "GroupBox30", QStringLiteral("Buzzer"), 8, 425, 489, 49);
    RadioButton29 =
        place<QRadioButton>(GroupBox30, "RadioButton29", QStringLiteral("Big Buzzer"), 16, 16, 120, 17);
    RadioButton30 =
        place<QRadioButton>(GroupBox30, "RadioButton30", QStringLiteral("Small Buzzer"), 152, 16, 113, 17);
    RadioButton29->setChecked(true);
    Edit23 = new QLineEdit(QStringLiteral("2B"), GroupBox30);
    Edit23->setObjectName(QStringLiteral("Edit23"));
    Edit23->setGeometry(272, 16, 49, 21);
    CheckBox19 = place<FirstLineCheckBox>(GroupBox30, "CheckBox19", QStringLiteral("Add custom bytes\n   "),
                                          328, 17, 150, 17);

    Button25 = place<QPushButton>(this, "Button25", QStringLiteral("Read"), 104, 488, 75, 25);
    Button24 = place<QPushButton>(this, "Button24", QStringLiteral("Set"), 304, 488, 75, 25);

    m_form.onClick(Button24, [this] { Button24Click(); });
    m_form.onClick(Button25, [this] { Button25Click(); });
}

QString OutputFormatPage::formatName(const QString& code) {
    for (int i = 0; i < kFormatCount; ++i) {
        if (code == QLatin1String(formats()[i].code))
            return QString::fromUtf8(formats()[i].readName);
    }
    return {};
}

QString OutputFormatPage::byteFieldError(const QString& fieldName, const QString& text) {
    QString digits = text;
    digits.remove(QRegularExpression(QStringLiteral("\\s")));
    const bool ok = digits.size() == 2 && rfid::isHexDigit(digits.at(0)) && rfid::isHexDigit(digits.at(1));
    if (ok)
        return {};
    return fieldName + QStringLiteral(" must be two hex digits, not \"") + text +
           QStringLiteral("\"; nothing was sent.");
}

void OutputFormatPage::Button24Click() {
    // Every byte field must hold exactly two hex digits: a field with more or
    // fewer would move every later byte of the command, and the reader would
    // store whatever lands where.
    struct Field {
        QString name;
        QString text;
    };
    std::vector<Field> fields;
    if (CheckBox19->isChecked())
        fields.push_back({QStringLiteral("Custom byte"), Edit23->text()});
    const QStringList prefixSuffix = m_form.languagePage()->prefixSuffixTexts();
    for (int i = 0; i < prefixSuffix.size(); ++i) {
        const QString name = (i < 4 ? QStringLiteral("Prefix byte ") : QStringLiteral("Suffix byte ")) +
                             QString::number(i % 4 + 1);
        fields.push_back({name, prefixSuffix.at(i)});
    }
    for (const Field& f : fields) {
        const QString error = byteFieldError(f.name, f.text);
        if (!error.isEmpty()) {
            m_form.addLine(error + rfid::timeStamp());
            return;
        }
    }

    QString command = QStringLiteral("82");
    for (int i = 0; i < kFormatCount; ++i) {
        if ((this->*(formats()[i].button))->isChecked())
            command += QLatin1String(formats()[i].code);
    }
    command += flag(CheckBox16) + flag(CheckBox17) + flag(CheckBox18) + flag(CheckBox15);
    command += RadioButton29->isChecked() ? QStringLiteral("01") : QStringLiteral("00");
    command += QStringLiteral("01"); // fixed
    command += CheckBox19->isChecked() ? Edit23->text() : QStringLiteral("00");
    // The prefix and suffix bytes stand on the language page.
    command += prefixSuffix.join(QString());

    m_form.cycle(command, kWaitMs,
                 {kbd::noDataFullWidth(), QStringLiteral("Set Up Success   "),
                  QStringLiteral("Set up format false   "), kbd::damaged()});
}

void OutputFormatPage::Button25Click() {
    const rfid::CycleTexts texts{
        kbd::noDataFullWidth(), {}, QStringLiteral("Read format false   "), kbd::damaged()};
    m_form.cycle(QStringLiteral("83"), kWaitMs, texts, [this, texts] {
        // Every field is read from the answer's payload. A success answer too
        // short to hold them all is damaged: reading on would take the
        // checksum, the end marker or nothing for settings the reader never sent.
        const QString& r = m_form.lastResponse;
        const QString payload = rfid::payloadBytes(r, 4, kLastReadByte);
        if (payload.size() != 2 * (kLastReadByte - 3))
            return QStringList{texts.damaged + rfid::timeStamp() + QStringLiteral("\r\n")};
        const QString heading = QStringLiteral("The Output format ： ");
        QStringList entries{QStringLiteral("Read data success    ") + rfid::timeStamp(),
                            heading + formatName(rfid::respByte(r, 5))};
        for (const FlagText& f : kFlagTexts) {
            const bool notAdded = rfid::respByte(r, f.byte) == QLatin1String("00");
            entries << heading + QString::fromUtf8(notAdded ? f.notAdded : f.added);
        }
        const QString custom = rfid::respByte(r, 12);
        if (custom == QLatin1String("00"))
            entries << QStringLiteral("Custom byte output is not added.   \r\n");
        else
            entries << QStringLiteral("Custom byte output is  ：  ") + custom;
        entries << QStringLiteral("The Prefix Byte is:") + rfid::respBytes(r, 13, 16);
        entries << QStringLiteral("The suffix Byte is:") + rfid::respBytes(r, 17, 20) +
                       QStringLiteral("\r\n");
        return entries;
    });
}
