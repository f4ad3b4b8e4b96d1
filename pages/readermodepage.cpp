#include "readermodepage.h"

#include "keyboardpages.h"
#include "pagehost.h"
#include "readersettings.h"
#include "readertables.h"
#include "version.h"

#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStringEncoder>
#include <cstdint>

using kbd::place;

// One radio button of a mode group and its place; its caption, and the name the
// report gives the mode, come from the reader's mode tables.
struct ReaderModePage::ModeChoice {
    QRadioButton* ReaderModePage::*button;
    const char* name;
    const rfid::ModeChoice& mode;
    int x;
    int y;
    int width;
};

namespace {

constexpr int kWaitMs = 300;

QPushButton* button(QWidget* group, const char* name, const char* caption, int y) {
    return place<QPushButton>(group, name, QString::fromUtf8(caption), 408, y, 75, 25);
}

QLabel* label(QWidget* group, const char* name, const char* caption, int x, int y, int w) {
    return place<QLabel>(group, name, QString::fromUtf8(caption), x, y, w, 17);
}

} // namespace

ReaderModePage::ReaderModePage(PageHost& host, QWidget* parent) : QWidget(parent), m_host(host) {
    setObjectName(QStringLiteral("ReaderModePage"));

    auto group = [this](const char* name, const QString& title, int y, int h) {
        return place<QGroupBox>(this, name, title, 8, y, 497, h);
    };
    auto radios = [this](QGroupBox* g, const ModeChoice* choices) {
        for (int i = 0; i < 3; ++i) {
            const ModeChoice& c = choices[i];
            this->*(c.button) =
                place<QRadioButton>(g, c.name, QString::fromUtf8(c.mode.caption), c.x, c.y, c.width, 17);
        }
        (this->*(choices[0].button))->setChecked(true);
    };

    GroupBox36 = group("GroupBox36", QStringLiteral("Reader mode switch"), 8, 114);
    radios(GroupBox36, readerModes());
    Button69 = button(GroupBox36, "Button69", "Set", 45);

    GroupBox32 = group("GroupBox32", QStringLiteral("Bluetooth mode switching"), 124, 52);
    radios(GroupBox32, bluetoothModes());
    Button35 = button(GroupBox32, "Button35", "Set", 20);

    GroupBox35 = group("GroupBox35", QString(), 177, 99);
    label(GroupBox35, "LabelBluetoothName", "Modify Bluetooth Name : ", 8, 23, 139);
    Edit29 = new QLineEdit(QStringLiteral("Bluetooth1.0"), GroupBox35);
    Edit29->setObjectName(QStringLiteral("Edit29"));
    Edit29->setGeometry(148, 21, 121, 21);
    label(GroupBox35, "LabelBluetoothNameNote", "Bluetooth name  ", 280, 23, 110);
    Button41 = button(GroupBox35, "Button41", "Setting", 19);
    kbd::rule(GroupBox35, "RuleNameSleep", 2, 52, 493);
    label(GroupBox35, "LabelSleepTime", "Set sleep time：     ", 16, 68, 130);
    ComboBox20 = new QComboBox(GroupBox35);
    ComboBox20->setObjectName(QStringLiteral("ComboBox20"));
    // Not editable, as a new combo box is (setEditable would build its list
    // view ahead of time).
    ComboBox20->setGeometry(150, 66, 119, 21);
    for (const rfid::SleepTime& t : rfid::sleepTimes())
        ComboBox20->addItem(QString::fromUtf8(t.itemText));
    label(GroupBox35, "LabelSleepTimeNote", "Sleep time setting  ", 280, 68, 110);
    Button30 = button(GroupBox35, "Button30", "Setting", 64);

    GroupBox31 = group("GroupBox31", QString(), 277, 94);
    label(GroupBox31, "LabelFactoryDefault", "Factory default：   ", 16, 21, 150);
    Button57 = button(GroupBox31, "Button57", "Fatory default", 17);
    // Ten pixels wider than its neighbours, on the same centre, so that the
    // caption fits.
    Button57->setGeometry(403, 17, 85, 25);
    kbd::fitCaption(Button57);
    kbd::rule(GroupBox31, "RuleFactoryVersion", 2, 50, 493);
    label(GroupBox31, "LabelVersion", "Reading version number ", 16, 64, 150);
    Button63 = button(GroupBox31, "Button63", "Version", 60);

    GroupBox34 = group("GroupBox34", QStringLiteral("Buzzer control"), 374, 101);
    label(GroupBox34, "LabelBuzzerOn", "Turn on the buzzer:    ", 16, 24, 150);
    Button50 = button(GroupBox34, "Button50", "Turn on", 20);
    kbd::rule(GroupBox34, "RuleBuzzer", 2, 56, 493);
    label(GroupBox34, "LabelBuzzerOff", "Turn off the buzzer:", 16, 70, 150);
    Button51 = button(GroupBox34, "Button51", "Turn off", 66);

    GroupBox33 = group("GroupBox33", QStringLiteral("Empty stored data"), 477, 52);
    QLabel* aqua = label(GroupBox33, "LabelEmptyData", "Empty stored data:    ", 16, 24, 125);
    aqua->setAutoFillBackground(true);
    QPalette palette = aqua->palette();
    palette.setColor(QPalette::Window, QColor(0x00, 0xFF, 0xFF));
    aqua->setPalette(palette);
    Button43 = button(GroupBox33, "Button43", "Clear data", 20);

    m_host.onClick(Button69, [this] { Button69Click(); });
    m_host.onClick(Button35, [this] { Button35Click(); });
    m_host.onClick(Button41, [this] { Button41Click(); });
    m_host.onClick(Button30, [this] { Button30Click(); });
    m_host.onClick(Button57, [this] { Button57Click(); });
    m_host.onClick(Button63, [this] { Button63Click(); });
    m_host.onClick(Button50, [this] { Button50Click(); });
    m_host.onClick(Button51, [this] { Button51Click(); });
    m_host.onClick(Button43, [this] { Button43Click(); });
}

const ReaderModePage::ModeChoice* ReaderModePage::readerModes() {
    const auto& m = rfid::readerModes();
    static const ModeChoice table[3] = {
        {&ReaderModePage::RadioButton32, "RadioButton32", m[0], 10, 20, 180},
        {&ReaderModePage::RadioButton54, "RadioButton54", m[1], 10, 54, 180},
        {&ReaderModePage::RadioButton55, "RadioButton55", m[2], 10, 88, 180},
    };
    return table;
}

const ReaderModePage::ModeChoice* ReaderModePage::bluetoothModes() {
    const auto& m = rfid::bluetoothModes();
    static const ModeChoice table[3] = {
        {&ReaderModePage::RadioButton56, "RadioButton56", m[0], 16, 22, 113},
        {&ReaderModePage::RadioButton57, "RadioButton57", m[1], 148, 22, 113},
        {&ReaderModePage::RadioButton58, "RadioButton58", m[2], 280, 22, 113},
    };
    return table;
}

// Sends the mode byte of the selected radio button. The report names the mode
// that was sent, even when the operator picks another one during the wait.
void ReaderModePage::setMode(const QString& command, QString (*withCode)(std::uint8_t),
                             const ModeChoice* choices, int count) {
    const ModeChoice* sent = nullptr;
    for (int i = 0; i < count && !sent; ++i) {
        if ((this->*(choices[i].button))->isChecked())
            sent = &choices[i];
    }
    // Without a choice the command byte goes out alone, as it always has.
    m_host.Send(sent ? withCode(sent->mode.code) : command);
    m_host.Delay(kWaitMs);

    const QString name = sent ? QString::fromUtf8(sent->mode.reportName) : QString();
    m_host.report(modeTexts(name), [name] { return modeSuccess(name); });
}

rfid::CycleTexts ReaderModePage::modeTexts(const QString& name) {
    rfid::CycleTexts texts;
    texts.noData = QStringLiteral("error,no data  receive..   ");
    texts.failure = QStringLiteral("Set ") + name + QStringLiteral("False   ");
    texts.damaged = QStringLiteral("check sum error.....   ");
    return texts;
}

QStringList ReaderModePage::modeSuccess(const QString& name) {
    return {QStringLiteral("Set  ") + name + QStringLiteral(" Success    ") + rfid::timeStamp()};
}

rfid::CycleTexts ReaderModePage::bluetoothNameTexts() {
    return {kbd::noDataPlain(), QStringLiteral("Set Bluetooth name successfully     "),
            QStringLiteral("Set Bluetooth name false     "), kbd::damaged()};
}

rfid::CycleTexts ReaderModePage::sleepTimeTexts() {
    return {kbd::noDataPlain(), QStringLiteral("Set sleep time  success     "),
            QStringLiteral("Set sleep time false     "), kbd::damaged()};
}

void ReaderModePage::simpleCommand(const QString& command, const QString& success, const QString& failure) {
    m_host.cycle(command, kWaitMs, {kbd::noDataPlain(), success, failure, kbd::damaged()});
}

void ReaderModePage::Button69Click() {
    setMode(QStringLiteral("0F"), rfid::readerModeCommand, readerModes(), 3);
}

void ReaderModePage::Button35Click() {
    setMode(QStringLiteral("22"), rfid::bluetoothModeCommand, bluetoothModes(), 3);
}

QByteArray ReaderModePage::bluetoothNameBytes(const QString& name) {
    return rfid::bluetoothNameBytes(name);
}

void ReaderModePage::Button41Click() {
    m_host.cycle(rfid::bluetoothNameCommand(Edit29->text()), kWaitMs, bluetoothNameTexts());
}

void ReaderModePage::Button30Click() {
    const auto code = static_cast<std::uint8_t>(ComboBox20->currentIndex());
    m_host.cycle(rfid::sleepTimeCommand(code), kWaitMs, sleepTimeTexts());
}

void ReaderModePage::Button57Click() {
    simpleCommand(rfid::factoryResetCommand(), QStringLiteral("Restore factory settings Success    "),
                  QStringLiteral("Restore factory settings False    "));
}

void ReaderModePage::Button63Click() {
    rfid::CycleTexts texts{
        kbd::noDataPlain(), {}, QStringLiteral("read version number false    "), kbd::damaged()};
    m_host.Send(rfid::readVersionCommand());
    m_host.Delay(kWaitMs);
    m_host.report(texts, [this] {
        return QStringList{QStringLiteral("read version number success    "),
                           QStringLiteral("the version number is：") + rfid::versionText(m_host.answer()) +
                               QStringLiteral("\r\n")};
    });
}

void ReaderModePage::Button50Click() {
    simpleCommand(rfid::buzzerCommand(true), QStringLiteral("Turn on the buzzer Success    "),
                  QStringLiteral("Turn on the buzzer False    "));
}

void ReaderModePage::Button51Click() {
    simpleCommand(rfid::buzzerCommand(false), QStringLiteral("Turn off the buzzer Success    "),
                  QStringLiteral("Turn off the buzzer False    "));
}

void ReaderModePage::Button43Click() {
    simpleCommand(rfid::clearDataCommand(), QStringLiteral("Clear data Success    "),
                  QStringLiteral("Clear data False    "));
}

QString ReaderModePage::collectSettings(rfid::ReaderSettings& s) const {
    for (int i = 0; i < 3; ++i) {
        if ((this->*(readerModes()[i].button))->isChecked())
            s.readerMode = readerModes()[i].mode.code;
        if ((this->*(bluetoothModes()[i].button))->isChecked())
            s.bluetoothMode = bluetoothModes()[i].mode.code;
    }
    if (ComboBox20->currentIndex() >= 0)
        s.sleepTime = std::uint8_t(ComboBox20->currentIndex());
    rfid::ReaderSettings name;
    const QString fault = rfid::setFromText(name, rfid::SettingKey::BluetoothName, Edit29->text());
    if (!fault.isEmpty())
        return QStringLiteral("Bluetooth name: ") + fault + QLatin1Char('.');
    s.bluetoothName = name.bluetoothName;
    return {};
}

void ReaderModePage::showSettings(const rfid::ReaderSettings& s) {
    for (int i = 0; i < 3; ++i) {
        if (s.readerMode && readerModes()[i].mode.code == *s.readerMode)
            (this->*(readerModes()[i].button))->setChecked(true);
        if (s.bluetoothMode && bluetoothModes()[i].mode.code == *s.bluetoothMode)
            (this->*(bluetoothModes()[i].button))->setChecked(true);
    }
    if (s.sleepTime && *s.sleepTime < ComboBox20->count())
        ComboBox20->setCurrentIndex(*s.sleepTime);
    if (s.bluetoothName)
        Edit29->setText(*s.bluetoothName);
}
