#include "s50page.h"

#include "cardpageparts.h"
#include "cardpayload.h"
#include "pagehost.h"

#include <QFrame>
#include <tuple>

using namespace rfid::cardpage;

namespace {
// Mode byte of the block and value commands: bit 0 requests all cards (not only
// idle ones), bit 1 authenticates with key B.
QString modeByte(const QRadioButton* all, const QRadioButton* keyB) {
    return hexByte((all->isChecked() ? 0x01 : 0x00) | (keyB->isChecked() ? 0x02 : 0x00));
}

QStringList blockCounts() {
    return {QStringLiteral("01"), QStringLiteral("02"), QStringLiteral("03"), QStringLiteral("04")};
}

const QString kDone = QStringLiteral("操作成功   ");
const QString kReadFailed = QStringLiteral("读卡失败   ");

// Controls of one value section, in the order the constructor assigns them.
using ValueControls = std::tuple<QLineEdit*, QLineEdit*, QLineEdit*, QGroupBox*, QRadioButton*, QRadioButton*,
                                 QGroupBox*, QRadioButton*, QRadioButton*, QPushButton*>;

// Sector, value and key fields on one line, the request and key pairs below,
// the button at the right.
ValueControls valueSection(QWidget* page, int y, const char* const names[10], const QString& valueCaption,
                           const QString& valueText, const QString& buttonCaption) {
    label(page, QStringLiteral("扇区   "), 12, y + 4);
    QLineEdit* sector = edit(page, names[0], QStringLiteral("01"), 56, y, 36);
    label(page, valueCaption, 100, y + 4);
    QLineEdit* value = edit(page, names[1], valueText, 156, y, 100);
    label(page, QStringLiteral("密钥     "), 264, y + 4);
    QLineEdit* key = edit(page, names[2], S50Page::presetKeys().at(2), 312, y, 124);
    QGroupBox* requestBox = group(page, names[3], QString(), 12, y + 26, 110, 30);
    QRadioButton* idle = radio(requestBox, names[4], QStringLiteral("Idle"), true, 6, 8, 50);
    QRadioButton* all = radio(requestBox, names[5], QStringLiteral("All"), false, 58, 8, 46);
    QGroupBox* keyBox = group(page, names[6], QString(), 126, y + 26, 130, 30);
    QRadioButton* keyA = radio(keyBox, names[7], QStringLiteral("Key A"), true, 6, 8, 60);
    QRadioButton* keyB = radio(keyBox, names[8], QStringLiteral("Key B"), false, 66, 8, 60);
    QPushButton* go = button(page, names[9], buttonCaption, 444, y, 68);
    return {sector, value, key, requestBox, idle, all, keyBox, keyA, keyB, go};
}
} // namespace

const QStringList& S50Page::presetKeys() {
    // The public MAD key, the public NFC Forum key, and the factory transport key.
    static const QStringList keys{QStringLiteral("A0 A1 A2 A3 A4 A5"), QStringLiteral("D3 F7 D3 F7 D3 F7"),
                                  QStringLiteral("FF FF FF FF FF FF")};
    return keys;
}

S50Page::S50Page(PageHost& host, QWidget* parent) : QWidget(parent), m_host(host) {
    setObjectName(QStringLiteral("S50Page"));
    const QStringList blocks = numberItems(64, 16);
    const QString defaultKey = presetKeys().at(2);

    // Read blocks
    GroupBox7 = group(this, "GroupBox7", QString(), 8, 8, 110, 34);
    reqi = radio(GroupBox7, "reqi", QStringLiteral("Idle"), true, 6, 10, 50);
    reqa = radio(GroupBox7, "reqa", QStringLiteral("All"), false, 58, 10, 46);
    GroupBox8 = group(this, "GroupBox8", QString(), 122, 8, 130, 34);
    keya = radio(GroupBox8, "keya", QStringLiteral("Key A"), true, 6, 10, 60);
    keyb = radio(GroupBox8, "keyb", QStringLiteral("Key B"), false, 66, 10, 60);
    label(this, QStringLiteral("起始块       "), 12, 52);
    ComboBox3 = editableCombo(this, "ComboBox3", blocks, QStringLiteral("10"), 100, 48, 60);
    label(this, QStringLiteral("块的数量     "), 12, 78);
    ComboBox6 = editableCombo(this, "ComboBox6", blockCounts(), QStringLiteral("04"), 100, 74, 60);
    label(this, QStringLiteral("密钥       "), 12, 104);
    ComboBox4 = editableCombo(this, "ComboBox4", presetKeys(), defaultKey, 100, 100, 152);
    Button8 = button(this, "Button8", QStringLiteral("读卡"), 12, 130);
    CheckBox2 = checkBox(this, "CheckBox2", QStringLiteral("连续读      "), 100, 134, 100);

    // Write blocks
    GroupBox9 = group(this, "GroupBox9", QString(), 264, 8, 110, 34);
    reqii = radio(GroupBox9, "reqii", QStringLiteral("Idle"), true, 6, 10, 50);
    reqaa = radio(GroupBox9, "reqaa", QStringLiteral("All"), false, 58, 10, 46);
    GroupBox10 = group(this, "GroupBox10", QString(), 378, 8, 130, 34);
    keyaa = radio(GroupBox10, "keyaa", QStringLiteral("Key A"), true, 6, 10, 60);
    keybb = radio(GroupBox10, "keybb", QStringLiteral("Key B"), false, 66, 10, 60);
    label(this, QStringLiteral("起始地址        "), 268, 52);
    ComboBox7 = editableCombo(this, "ComboBox7", blocks, QStringLiteral("10"), 356, 48, 60);
    label(this, QStringLiteral("块的数量      "), 268, 78);
    ComboBox8 = editableCombo(this, "ComboBox8", blockCounts(), QStringLiteral("01"), 356, 74, 60);
    label(this, QStringLiteral("密钥     "), 268, 104);
    ComboBox9 = editableCombo(this, "ComboBox9", presetKeys(), defaultKey, 356, 100, 152);
    label(this, QStringLiteral("需要录入数据      "), 268, 130);
    QStringList sixteenFF;
    for (int i = 0; i < 16; ++i)
        sixteenFF << QStringLiteral("FF");
    Edit3 = edit(this, "Edit3", sixteenFF.join(QLatin1Char(' ')), 264, 150, 248);
    Button9 = button(this, "Button9", QStringLiteral("写卡"), 264, 178);
    CheckBox1 = checkBox(this, "CheckBox1", QStringLiteral("连续写        "), 356, 182, 110);

    // Halt
    label(this, QStringLiteral("Halt命令：     "), 12, 214);
    Button16 = button(this, "Button16", QStringLiteral("Halt"), 100, 210);

    // Card number
    Panel71 = placed(new QFrame(this), "Panel71", 12, 244, 110, 30);
    Panel71->setFrameShape(QFrame::StyledPanel);
    reql5 = radio(Panel71, "reql5", QStringLiteral("Idle"), true, 6, 6, 50);
    reqa5 = radio(Panel71, "reqa5", QStringLiteral("All"), false, 58, 6, 46);
    Panel72 = placed(new QFrame(this), "Panel72", 126, 244, 130, 30);
    Panel72->setFrameShape(QFrame::StyledPanel);
    nohalt = radio(Panel72, "nohalt", QStringLiteral("no halt"), true, 6, 6, 64);
    yeshalt = radio(Panel72, "yeshalt", QStringLiteral("halt"), false, 72, 6, 50);
    Button29 = button(this, "Button29", QStringLiteral("读卡号"), 264, 246);
    CheckBox4 = checkBox(this, "CheckBox4", QStringLiteral("连续读        "), 356, 250, 110);

    // Value blocks
    static const char* const initNames[10] = {"Edit57", "Edit59",     "Edit58", "GroupBox12", "reqiii",
                                              "reqaaa", "GroupBox13", "keyaaa", "keybbb",     "Button26"};
    static const char* const addNames[10] = {"Edit1",   "Edit2",      "Edit5",   "GroupBox14", "reqiiii",
                                             "reqaaaa", "GroupBox15", "keyaaaa", "keybbbb",    "Button10"};
    static const char* const subNames[10] = {"Edit10",   "Edit8",      "Edit7",    "GroupBox16", "reqiiiii",
                                             "reqaaaaa", "GroupBox17", "keyaaaaa", "keybbbbb",   "Button15"};
    std::tie(Edit57, Edit59, Edit58, GroupBox12, reqiii, reqaaa, GroupBox13, keyaaa, keybbb, Button26) =
        valueSection(this, 288, initNames, QStringLiteral(" 初始值  "), QStringLiteral("00 88 00 00"),
                     QStringLiteral("初始化"));
    std::tie(Edit1, Edit2, Edit5, GroupBox14, reqiiii, reqaaaa, GroupBox15, keyaaaa, keybbbb, Button10) =
        valueSection(this, 350, addNames, QStringLiteral(" 加值  "), QStringLiteral("00 20 00 00"),
                     QStringLiteral("加值"));
    std::tie(Edit10, Edit8, Edit7, GroupBox16, reqiiiii, reqaaaaa, GroupBox17, keyaaaaa, keybbbbb, Button15) =
        valueSection(this, 412, subNames, QStringLiteral(" 减值  "), QStringLiteral("00 20 00 00"),
                     QStringLiteral("减值"));

    // Device address and the write-and-read loop
    GroupBox26 = group(this, "GroupBox26", QString(), 8, 476, 505, 40);
    RadioButton2 = radio(GroupBox26, "RadioButton2", QStringLiteral("10"), false, 12, 14, 44);
    RadioButton1 = radio(GroupBox26, "RadioButton1", QStringLiteral("11"), false, 64, 14, 44);
    CheckBox12 = checkBox(GroupBox26, "CheckBox12", QStringLiteral("CheckBox12"), 130, 14, 110);

    m_host.onClick(Button8, [this] { Button8Click(); });
    m_host.onClick(Button9, [this] { Button9Click(); });
    m_host.onClick(Button16, [this] { Button16Click(); });
    m_host.onClick(Button29, [this] { Button29Click(); });
    m_host.onClick(Button26, [this] { Button26Click(); });
    m_host.onClick(Button10, [this] { Button10Click(); });
    m_host.onClick(Button15, [this] { Button15Click(); });
    m_host.onClick(CheckBox2, [this] { CheckBox2Click(); });
    m_host.onClick(CheckBox1, [this] { CheckBox1Click(); });
    m_host.onClick(CheckBox4, [this] { CheckBox4Click(); });
    m_host.onClick(CheckBox12, [this] { CheckBox12Click(); });
    m_host.onClick(RadioButton2, [this] { RadioButton2Click(); });
    m_host.onClick(RadioButton1, [this] { RadioButton1Click(); });
}

// Blocks: mode, number of blocks, start block, key (and for a write the data).
void S50Page::Button8Click() {
    const QString command = QStringLiteral("20") + modeByte(reqa, keyb) + ComboBox6->currentText() +
                            ComboBox3->currentText() + ComboBox4->currentText();
    m_host.cycle(command, 500, texts(kDone, kReadFailed), [this] {
        const rfid::Answer r = m_host.answer();
        // The data are every byte between the card number and the checksum.
        return QStringList{kDone + rfid::timeStamp(), QStringLiteral("卡号为:") + rfid::payloadBytes(r, 4, 7),
                           QStringLiteral("卡的数据为:") + rfid::payloadFrom(r, 8) + kCrLf};
    });
}

void S50Page::Button9Click() {
    const QString command = QStringLiteral("21") + modeByte(reqaa, keybb) + ComboBox8->currentText() +
                            ComboBox7->currentText() + ComboBox9->currentText() + Edit3->text();
    m_host.cycle(command, 500, texts(kDone, kReadFailed), [this] {
        // No line break: the next entry follows directly.
        return QStringList{kDone + rfid::timeStamp(),
                           QStringLiteral("卡号为:") + rfid::payloadBytes(m_host.answer(), 4, 7)};
    });
}

void S50Page::Button16Click() {
    m_host.cycle(QStringLiteral("06"), 300,
                 texts(QStringLiteral("HALT操作成功   "), QStringLiteral("HALT操作失败   ")));
}

void S50Page::Button29Click() {
    const QString command = QStringLiteral("25") +
                            QString(reqa5->isChecked() ? QStringLiteral("52") : QStringLiteral("26")) +
                            QString(yeshalt->isChecked() ? QStringLiteral("01") : QStringLiteral("00"));
    m_host.cycle(command, 300, texts(kDone, QStringLiteral("读卡号操作失败   ")), [this] {
        const rfid::Answer r = m_host.answer();
        QStringList entries{kDone + rfid::timeStamp() + kCrLf,
                            QStringLiteral("返回卡号为:") + rfid::payloadBytes(r, 5, 8)};
        const QString cards = rfid::payloadByte(r, 4);
        if (cards == QLatin1String("00"))
            entries << QStringLiteral("检测到的卡的数量为一张卡..") + kCrLf;
        else if (cards == QLatin1String("01"))
            entries << QStringLiteral("检测到的卡的数量为多张卡..") + kCrLf;
        return entries;
    });
}

// Values: mode, sector, key, then the four value bytes as typed.
void S50Page::valueCycle(const QString& command, QLineEdit* sector, QLineEdit* key, QLineEdit* value,
                         const QRadioButton* all, const QRadioButton* keyB, bool showsValue) {
    const QString text = command + modeByte(all, keyB) + sector->text() + key->text() + value->text();
    m_host.cycle(text, 500, texts(kDone, kReadFailed), [this, showsValue] {
        const rfid::Answer r = m_host.answer();
        const QString card = QStringLiteral("返回卡ID号为:") + rfid::payloadBytes(r, 4, 7);
        if (!showsValue)
            return QStringList{kDone + rfid::timeStamp(), card + kCrLf};
        return QStringList{kDone + rfid::timeStamp(), card,
                           QStringLiteral("剩余值为为: ") + rfid::payloadBytes(r, 8, 11) + kCrLf};
    });
}

void S50Page::Button26Click() {
    valueCycle(QStringLiteral("22"), Edit57, Edit58, Edit59, reqaaa, keybbb, false);
}

void S50Page::Button15Click() {
    valueCycle(QStringLiteral("23"), Edit10, Edit7, Edit8, reqaaaaa, keybbbbb, true);
}

void S50Page::Button10Click() {
    valueCycle(QStringLiteral("24"), Edit1, Edit5, Edit2, reqaaaa, keybbbb, true);
}

// Continuous modes: one pass, a pause of the wait time plus the mode's offset,
// again while the box stays checked. The waits handle window events, which is
// how clearing the box (or another continuous mode) gets in.
void S50Page::CheckBox2Click() {
    while (m_host.keepLooping(CheckBox2)) {
        Button8Click();
        m_host.Delayy(m_host.pauseTime(0));
    }
}

void S50Page::CheckBox1Click() {
    while (m_host.keepLooping(CheckBox1)) {
        Button9Click();
        m_host.Delayy(m_host.pauseTime(10));
    }
}

void S50Page::CheckBox4Click() {
    while (m_host.keepLooping(CheckBox4)) {
        Button29Click();
        m_host.Delay(m_host.pauseTime(10));
    }
}

void S50Page::CheckBox12Click() {
    while (m_host.keepLooping(CheckBox12)) {
        Button9Click();
        m_host.Delayy(m_host.pauseTime(10));
        Button8Click();
        m_host.Delayy(m_host.pauseTime(10));
    }
}

void S50Page::RadioButton2Click() {
    setAddress();
}

void S50Page::RadioButton1Click() {
    setAddress();
}

// Every frame built from now on, on any page, carries the chosen address.
void S50Page::setAddress() {
    if (RadioButton2->isChecked())
        m_host.setAddress(0x10);
    if (RadioButton1->isChecked())
        m_host.setAddress(0x11);
}
