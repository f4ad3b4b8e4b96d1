#include "outputformatpage.h"

#include "hex.h"
#include "keyboardpages.h"
#include "pagehost.h"
#include "readersettings.h"
#include "readertables.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStyleOptionButton>
#include <QStylePainter>
#include <cstdint>
#include <vector>

using kbd::place;

// One output format's radio button and place; its caption, code and read-back
// name come from the reader's format table.
struct OutputFormatPage::Format {
    QRadioButton* OutputFormatPage::*button;
    const char* name;
    std::uint8_t code;
    int x;
    int y;
    int width;
};

namespace {
constexpr int kWaitMs = 300;
constexpr int kFormatCount = rfid::kOutputFormatCount;

// A separator flag of the read-back and its two texts.
struct FlagText {
    std::optional<bool> rfid::ReaderSettings::*flag;
    const char* notAdded;
    const char* added;
};
// In the order the read-back lists them (which is not their order in the frame).
const FlagText kFlagTexts[4] = {
    {&rfid::ReaderSettings::semicolon, "do not add semicolon ", "add semicolon"},
    {&rfid::ReaderSettings::commaInMiddle, "do not add , ", "add ,"},
    {&rfid::ReaderSettings::questionMark, "do not add ? ", "add ?"},
    {&rfid::ReaderSettings::enter, "do not add enter ", "add enter"},
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

QString hexBytes(const std::array<std::optional<std::uint8_t>, 4>& bytes) {
    QString out;
    for (const std::optional<std::uint8_t>& b : bytes)
        out += rfid::toHex(&*b, 1);
    return out;
}
} // namespace

const OutputFormatPage::Format* OutputFormatPage::formats() {
    using P = OutputFormatPage;
    static const Format table[kFormatCount] = {
        // Left column
        {&P::RadioButton16, "RadioButton16", 0x0F, 16, 24, 200},
        {&P::RadioButton6, "RadioButton6", 0x0C, 16, 66, 200},
        {&P::RadioButton9, "RadioButton9", 0x0B, 16, 109, 200},
        {&P::RadioButton13, "RadioButton13", 0x09, 16, 152, 200},
        {&P::RadioButton10, "RadioButton10", 0x06, 16, 195, 200},
        {&P::RadioButton15, "RadioButton15", 0x05, 16, 240, 200},
        {&P::RadioButton21, "RadioButton21", 0x01, 16, 280, 200},
        // Right column
        {&P::RadioButton14, "RadioButton14", 0x0A, 232, 20, 240},
        {&P::RadioButton8, "RadioButton8", 0x03, 232, 63, 240},
        {&P::RadioButton7, "RadioButton7", 0x0D, 232, 106, 240},
        {&P::RadioButton12, "RadioButton12", 0x08, 232, 149, 240},
        {&P::RadioButton5, "RadioButton5", 0x07, 232, 194, 240},
        {&P::RadioButton22, "RadioButton22", 0x02, 240, 280, 240},
        // Row below the first rule
        {&P::RadioButton17, "RadioButton17", 0x00, 8, 329, 130},
        {&P::RadioButton11, "RadioButton11", 0x0E, 144, 329, 175},
    };
    return table;
}

OutputFormatPage::OutputFormatPage(PageHost& host, QWidget* parent) : QWidget(parent), m_host(host) {
    setObjectName(QStringLiteral("OutputFormatPage"));

    GroupBox27 =
        place<QGroupBox>(this, "GroupBox27", QStringLiteral("Output format setting "), 8, 0, 489, 425);
    for (int i = 0; i < kFormatCount; ++i) {
        const Format& f = formats()[i];
        const QString caption = QString::fromUtf8(rfid::outputFormatByCode(f.code)->caption);
        this->*(f.button) = place<QRadioButton>(GroupBox27, f.name, caption, f.x, f.y, f.width, 17);
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

    m_host.onClick(Button24, [this] { Button24Click(); });
    m_host.onClick(Button25, [this] { Button25Click(); });
}

QString OutputFormatPage::formatName(const QString& code) {
    return rfid::outputFormatReadName(code);
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
    const QStringList prefixSuffix = m_host.prefixSuffixTexts();
    for (int i = 0; i < prefixSuffix.size(); ++i)
        fields.push_back({kbd::prefixSuffixFieldName(i), prefixSuffix.at(i)});
    for (const Field& f : fields) {
        const QString error = kbd::byteFieldError(f.name, f.text);
        if (!error.isEmpty()) {
            m_host.addLine(error + rfid::timeStamp());
            return;
        }
    }

    // The 16 bytes in the reader's order, framed by core; the prefix and suffix
    // bytes stand on the language page.
    rfid::ReaderSettings s;
    collectSettings(s); // the fields were checked above
    std::uint8_t value = 0;
    for (int i = 0; i < prefixSuffix.size() && i < 8; ++i) {
        kbd::byteFieldValue(prefixSuffix.at(i), value);
        (i < 4 ? s.prefix[std::size_t(i)] : s.suffix[std::size_t(i - 4)]) = value;
    }
    const bool formatChosen = s.format.has_value();
    if (!formatChosen)
        s.format = 0; // no format chosen: the other fields go out without it, as they always have
    const auto bytes = rfid::outputSettingsBytes(s);
    if (!bytes)
        return; // the fields were checked above
    const QString command =
        formatChosen ? rfid::outputSettingsCommand(*bytes) : rfid::outputSettingsCommandWithoutFormat(*bytes);

    m_host.cycle(command, kWaitMs, setTexts());
}

rfid::CycleTexts OutputFormatPage::setTexts() {
    return {kbd::noDataFullWidth(), QStringLiteral("Set Up Success   "),
            QStringLiteral("Set up format false   "), kbd::damaged()};
}

void OutputFormatPage::Button25Click() {
    const rfid::CycleTexts texts{
        kbd::noDataFullWidth(), {}, QStringLiteral("Read format false   "), kbd::damaged()};
    m_host.cycle(QStringLiteral("83"), kWaitMs, texts, [this, texts] {
        // Every field is read from the answer's payload. A success answer too
        // short to hold them all is damaged: reading on would take the
        // checksum, the end marker or nothing for settings the reader never sent.
        const std::optional<rfid::ReaderSettings> read = rfid::decodeReadBack(m_host.answer().payload);
        if (!read)
            return QStringList{texts.damaged + rfid::timeStamp() + QStringLiteral("\r\n")};
        const QString heading = QStringLiteral("The Output format ： ");
        const rfid::OutputFormat* format = rfid::outputFormatByCode(*read->format);
        QStringList entries{QStringLiteral("Read data success    ") + rfid::timeStamp(),
                            heading + (format ? QString::fromUtf8(format->readName) : QString())};
        for (const FlagText& f : kFlagTexts)
            entries << heading + QString::fromUtf8(*((*read).*f.flag) ? f.added : f.notAdded);
        if (!read->customByte)
            entries << QStringLiteral("Custom byte output is not added.   \r\n");
        else
            entries << QStringLiteral("Custom byte output is  ：  ") + rfid::toHex(&*read->customByte, 1);
        entries << QStringLiteral("The Prefix Byte is:") + hexBytes(read->prefix);
        entries << QStringLiteral("The suffix Byte is:") + hexBytes(read->suffix) + QStringLiteral("\r\n");
        return entries;
    });
}

QString OutputFormatPage::collectSettings(rfid::ReaderSettings& s) const {
    for (int i = 0; i < kFormatCount; ++i) {
        if ((this->*(formats()[i].button))->isChecked())
            s.format = formats()[i].code;
    }
    s.semicolon = CheckBox16->isChecked();
    s.questionMark = CheckBox17->isChecked();
    s.commaInMiddle = CheckBox18->isChecked();
    s.enter = CheckBox15->isChecked();
    s.bigBuzzer = RadioButton29->isChecked();
    s.customByteEnabled = CheckBox19->isChecked();
    std::uint8_t custom = 0;
    if (kbd::byteFieldValue(Edit23->text(), custom))
        s.customByte = custom;
    else if (CheckBox19->isChecked())
        return kbd::byteFieldError(QStringLiteral("Custom byte"), Edit23->text());
    else
        s.customByte.reset(); // not typed, so not a fault; nothing to keep of it
    return {};
}

void OutputFormatPage::showSettings(const rfid::ReaderSettings& s) {
    if (s.format) {
        for (int i = 0; i < kFormatCount; ++i) {
            if (formats()[i].code == *s.format)
                (this->*(formats()[i].button))->setChecked(true);
        }
    }
    const std::pair<const std::optional<bool>*, QCheckBox*> boxes[] = {{&s.semicolon, CheckBox16},
                                                                       {&s.questionMark, CheckBox17},
                                                                       {&s.commaInMiddle, CheckBox18},
                                                                       {&s.enter, CheckBox15},
                                                                       {&s.customByteEnabled, CheckBox19}};
    for (const auto& [value, box] : boxes) {
        if (value->has_value())
            box->setChecked(**value);
    }
    if (s.bigBuzzer)
        (*s.bigBuzzer ? RadioButton29 : RadioButton30)->setChecked(true);
    if (s.customByte)
        Edit23->setText(rfid::toHex(&*s.customByte, 1));
}
