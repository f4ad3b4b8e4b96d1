#include "iso15693page.h"

#include "cardpayload.h"
#include "hex.h"
#include "pagehost.h"
#include "report.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace {

const QString kCrLf = QStringLiteral("\r\n");
const QString kAddressed = QStringLiteral("22");

// Layout: the flags drop-down on the left of a row, fields from kFieldX, the
// row's button on the right.
constexpr int kFieldX = 136;
constexpr int kButtonX = 436;

// The one line written after the success line of the write and lock commands.
QStringList emptyLine(const rfid::Answer&) {
    return {QStringLiteral("\r")};
}

} // namespace

QString iso15693Flags(const QString& choice) {
    QString flags;
    if (choice == QLatin1String("TI"))
        flags = QStringLiteral("42");
    if (choice == QLatin1String("Philips"))
        flags = QStringLiteral("02");
    if (choice == QLatin1String("uid"))
        flags = QStringLiteral("22");
    if (choice == QLatin1String("Other"))
        flags = QStringLiteral("52");
    return flags;
}

QStringList inventoryLines(const rfid::Answer& answer) {
    QStringList out;
    out << QStringLiteral("域内的卡片数量为：") + rfid::payloadByte(answer, 4);
    out << QStringLiteral("域内的卡片数据为：") + rfid::payloadFrom(answer, 5);
    // Records of 10 bytes (flags, DSFID, UID least significant byte first)
    // follow the count; an incomplete last record gets no card line. The
    // length byte says how many records there are, however many came.
    const int n = answer.byte(2).value_or(0);
    const int records = n >= 2 ? (n - 2) / 10 : 0;
    for (int i = 1; i <= records; ++i) {
        const int first = 7 + 10 * (i - 1);
        const QString uid = rfid::payloadBytes(answer, first, first + 7);
        if (uid.size() != 16) { // the answer ended before its length byte said
            out << QStringLiteral("卡号长度非法，无法算出准确的卡号！..");
            break;
        }
        out << QStringLiteral("第") + QString::number(i) + QStringLiteral("张卡卡号为：") + rfid::cdate(uid);
    }
    out << QStringLiteral("\r");
    return out;
}

Iso15693Page::Iso15693Page(PageHost& host, QWidget* parent) : QWidget(parent), m_host(host) {
    setObjectName(QStringLiteral("Iso15693Page"));

    // Inventory
    int y = 8;
    CheckBox5 = new QCheckBox(QStringLiteral("连续读   "), this);
    CheckBox5->setObjectName(QStringLiteral("CheckBox5"));
    CheckBox5->setGeometry(340, y + 4, 90, 17);
    Button37 = addButton("Button37", QStringLiteral("防冲突"), y);

    // Read blocks (two lines)
    y = 44;
    ComboBox10 = addFlags("ComboBox10", y);
    Edit14 = addField("Edit14", QStringLiteral("起始块  "), QStringLiteral("01"), kFieldX, y, 48, 32);
    Edit13 = addField("Edit13", QStringLiteral("块数量  "), QStringLiteral("05"), 224, y, 48, 32);
    CheckBox6 = new QCheckBox(QStringLiteral("连续读     "), this);
    CheckBox6->setObjectName(QStringLiteral("CheckBox6"));
    CheckBox6->setGeometry(340, y + 2, 90, 17);
    Button38 = addButton("Button38", QStringLiteral("卡片读"), y);
    Edit55 = addField("Edit55", QStringLiteral("卡的uid信息    "), QString(), kFieldX, y + 26, 92, 200);

    // Write blocks (three lines)
    y = 106;
    ComboBox11 = addFlags("ComboBox11", y);
    Edit48 = addField("Edit48", QStringLiteral("起始块  "), QStringLiteral("05"), kFieldX, y, 48, 32);
    Edit49 = addField("Edit49", QStringLiteral("块数量  "), QStringLiteral("01"), 224, y, 48, 32);
    CheckBox7 = new QCheckBox(QStringLiteral("连续写   "), this);
    CheckBox7->setObjectName(QStringLiteral("CheckBox7"));
    CheckBox7->setGeometry(340, y + 2, 90, 17);
    Button39 = addButton("Button39", QStringLiteral("卡片写"), y);
    Edit16 = addField("Edit16", QStringLiteral("要写的数据    "), QStringLiteral("11 22 33 44"), kFieldX,
                      y + 26, 84, 208);
    Edit50 = addField("Edit50", QStringLiteral("卡uid  "), QString(), kFieldX, y + 52, 48, 244);

    // Lock block
    y = 194;
    ComboBox12 = addFlags("ComboBox12", y);
    Edit18 = addField("Edit18", QStringLiteral("要锁的块号           "), QStringLiteral("05"), kFieldX, y,
                      132, 32);
    Button40 = addButton("Button40", QStringLiteral("锁定块"), y);

    // Select
    y = 230;
    ComboBox13 = addFlags("ComboBox13", y);
    Edit19 = addField("Edit19", QStringLiteral("卡的uid信息  "), QString(), kFieldX, y, 84, 208);
    Button42 = addButton("Button42", QStringLiteral("选择卡"), y);

    // Write AFI, lock AFI
    y = 266;
    ComboBox14 = addFlags("ComboBox14", y);
    Edit15 = addField("Edit15", QStringLiteral("AFI"), QStringLiteral("06"), kFieldX, y, 30, 32);
    Edit28 = addField("Edit28", QStringLiteral("卡uid  "), QString(), 208, y, 48, 172);
    Button44 = addButton("Button44", QStringLiteral("写AFI"), y);
    y = 302;
    ComboBox15 = addFlags("ComboBox15", y);
    Edit32 = addField("Edit32", QStringLiteral("卡的uid信息  "), QString(), kFieldX, y, 84, 208);
    Button45 = addButton("Button45", QStringLiteral("锁定AFI"), y);

    // Write DSFID, lock DSFID
    y = 338;
    ComboBox16 = addFlags("ComboBox16", y);
    Edit17 = addField("Edit17", QStringLiteral("DSFID"), QStringLiteral("08"), kFieldX, y, 38, 32);
    Edit36 = addField("Edit36", QStringLiteral("卡uid  "), QString(), 216, y, 48, 164);
    Button46 = addButton("Button46", QStringLiteral("写DSFID"), y);
    y = 374;
    ComboBox17 = addFlags("ComboBox17", y);
    Edit38 = addField("Edit38", QStringLiteral("卡的uid信息  "), QString(), kFieldX, y, 84, 208);
    Button47 = addButton("Button47", QStringLiteral("锁定DSFID"), y);

    // System information
    y = 410;
    ComboBox18 = addFlags("ComboBox18", y);
    Edit41 = addField("Edit41", QStringLiteral("卡的uid信息  "), QString(), kFieldX, y, 84, 208);
    Button48 = addButton("Button48", QStringLiteral("系统信息"), y);

    // Block security status
    y = 446;
    ComboBox19 = addFlags("ComboBox19", y);
    Edit21 = addField("Edit21", QStringLiteral("起始块号  "), QStringLiteral("00"), kFieldX, y, 56, 32);
    Edit20 = addField("Edit20", QStringLiteral("数据长度  "), QStringLiteral("05"), 232, y, 60, 32);
    Edit43 = addField("Edit43", QString(), QString(), 332, y, 0, 96);
    Button49 = addButton("Button49", QStringLiteral("块安全位"), y);

    m_host.onClick(Button37, [this] { Button37Click(); });
    m_host.onClick(Button38, [this] { Button38Click(); });
    m_host.onClick(Button39, [this] { Button39Click(); });
    m_host.onClick(Button40, [this] { Button40Click(); });
    m_host.onClick(Button42, [this] { Button42Click(); });
    m_host.onClick(Button44, [this] { Button44Click(); });
    m_host.onClick(Button45, [this] { Button45Click(); });
    m_host.onClick(Button46, [this] { Button46Click(); });
    m_host.onClick(Button47, [this] { Button47Click(); });
    m_host.onClick(Button48, [this] { Button48Click(); });
    m_host.onClick(Button49, [this] { Button49Click(); });
    m_host.onClick(CheckBox5, [this] { CheckBox5Click(); });
    m_host.onClick(CheckBox6, [this] { CheckBox6Click(); });
    m_host.onClick(CheckBox7, [this] { CheckBox7Click(); });
}

QComboBox* Iso15693Page::addFlags(const char* name, int y) {
    auto* label = new QLabel(QStringLiteral("标志位    "), this);
    label->setObjectName(QStringLiteral("Label") + QLatin1String(name));
    label->setGeometry(8, y + 2, 56, 17);
    auto* box = new QComboBox(this);
    box->setObjectName(QLatin1String(name));
    box->setGeometry(64, y, 64, 21);
    box->addItems(
        {QStringLiteral("TI"), QStringLiteral("Philips"), QStringLiteral("uid"), QStringLiteral("Other")});
    box->setCurrentIndex(-1); // the window's start-up picks the item
    return box;
}

QLineEdit* Iso15693Page::addField(const char* name, const QString& label, const QString& text, int x, int y,
                                  int labelWidth, int width) {
    if (!label.isEmpty()) {
        auto* l = new QLabel(label, this);
        l->setObjectName(QStringLiteral("Label") + QLatin1String(name));
        l->setGeometry(x, y + 2, labelWidth, 17);
    }
    auto* edit = new QLineEdit(text, this);
    edit->setObjectName(QLatin1String(name));
    edit->setGeometry(x + labelWidth, y, width, 21);
    return edit;
}

QPushButton* Iso15693Page::addButton(const char* name, const QString& caption, int y) {
    auto* button = new QPushButton(caption, this);
    button->setObjectName(QLatin1String(name));
    button->setGeometry(kButtonX, y - 2, 75, 25);
    return button;
}

void Iso15693Page::run(const QString& command, int waitMs, const QString& success, const QString& failure,
                       const std::function<QStringList(const rfid::Answer&)>& dataLines) {
    const rfid::CycleTexts texts{QStringLiteral("通讯错误，没有接收到数据..   "), success, failure,
                                 QStringLiteral("数据丢包，流水校验出错   ")};
    m_host.cycle(command, waitMs, texts, [this, success, dataLines] {
        return QStringList{success + rfid::timeStamp()} + dataLines(m_host.answer());
    });
}

void Iso15693Page::Button37Click() {
    run(QStringLiteral("10") + QStringLiteral("060000"), 1000, QStringLiteral("操作成功   "),
        QStringLiteral("操作失败   "), inventoryLines);
}

// The commands below put the row's UID into the command only in addressed
// mode ("uid", flags 22).

void Iso15693Page::Button38Click() {
    const QString flags = iso15693Flags(ComboBox10->currentText());
    const QString uid = flags == kAddressed ? Edit55->text() : QString();
    run(QStringLiteral("11") + flags + Edit14->text() + Edit13->text() + uid, 500,
        QStringLiteral("操作成功   "), QStringLiteral("读卡失败   "), [](const rfid::Answer& r) {
            return QStringList{QStringLiteral("标志位为：") + rfid::payloadByte(r, 4),
                               QStringLiteral("读卡返回数据为：") + rfid::payloadFrom(r, 5) + kCrLf};
        });
}

void Iso15693Page::Button39Click() {
    const QString flags = iso15693Flags(ComboBox11->currentText());
    const QString uid = flags == kAddressed ? Edit50->text() : QString();
    run(QStringLiteral("12") + flags + Edit48->text() + Edit49->text() + uid + Edit16->text(), 500,
        QStringLiteral("写卡操作成功   "), QStringLiteral("写卡失败   "), emptyLine);
}

// Lock block never carries a UID, whatever the flags say.
void Iso15693Page::Button40Click() {
    const QString flags = iso15693Flags(ComboBox12->currentText());
    run(QStringLiteral("13") + flags + Edit18->text(), 500, QStringLiteral("锁操作成功   "),
        QStringLiteral("锁操作失败   "), emptyLine);
}

// Select always carries the UID, whatever the flags say.
void Iso15693Page::Button42Click() {
    const QString flags = iso15693Flags(ComboBox13->currentText());
    run(QStringLiteral("15") + flags + Edit19->text(), 500, QStringLiteral("选择卡操作成功   "),
        QStringLiteral("选择卡操作失败   "), emptyLine);
}

void Iso15693Page::Button44Click() {
    const QString flags = iso15693Flags(ComboBox14->currentText());
    const QString uid = flags == kAddressed ? Edit28->text() : QString();
    run(QStringLiteral("17") + flags + Edit15->text() + uid, 500, QStringLiteral("写AFI操作成功   "),
        QStringLiteral("写AFI操作失败   "), emptyLine);
}

void Iso15693Page::Button45Click() {
    const QString flags = iso15693Flags(ComboBox15->currentText());
    const QString uid = flags == kAddressed ? Edit32->text() : QString();
    run(QStringLiteral("18") + flags + uid, 500, QStringLiteral("锁定AFI操作成功   "),
        QStringLiteral("锁定AFI操作失败   "), emptyLine);
}

void Iso15693Page::Button46Click() {
    const QString flags = iso15693Flags(ComboBox16->currentText());
    const QString uid = flags == kAddressed ? Edit36->text() : QString();
    run(QStringLiteral("19") + flags + Edit17->text() + uid, 500, QStringLiteral("写DSFID操作成功   "),
        QStringLiteral("写DSFID操作失败   "), emptyLine);
}

void Iso15693Page::Button47Click() {
    const QString flags = iso15693Flags(ComboBox17->currentText());
    const QString uid = flags == kAddressed ? Edit38->text() : QString();
    run(QStringLiteral("1A") + flags + uid, 500, QStringLiteral("锁定DSFID操作成功   "),
        QStringLiteral("锁定DSFID操作失败   "), emptyLine);
}

// System information at fixed positions, whatever the information flags say;
// the UID is shown as received, least significant byte first.
void Iso15693Page::Button48Click() {
    const QString flags = iso15693Flags(ComboBox18->currentText());
    const QString uid = flags == kAddressed ? Edit41->text() : QString();
    run(QStringLiteral("1B") + flags + uid, 500, QStringLiteral("操作成功   "), QStringLiteral("操作失败   "),
        [](const rfid::Answer& r) {
            return QStringList{QStringLiteral("  Flags值为： ") + rfid::payloadByte(r, 4),
                               QStringLiteral("  INFO Flags值为： ") + rfid::payloadByte(r, 5),
                               QStringLiteral("  卡UID值为： ") + rfid::payloadBytes(r, 6, 13),
                               QStringLiteral("  DSFID值为： ") + rfid::payloadByte(r, 14),
                               QStringLiteral("  AFI值为： ") + rfid::payloadByte(r, 15),
                               QStringLiteral("  Other fields值为： ") + rfid::payloadFrom(r, 16) + kCrLf};
        });
}

void Iso15693Page::Button49Click() {
    const QString flags = iso15693Flags(ComboBox19->currentText());
    const QString uid = flags == kAddressed ? Edit43->text() : QString();
    run(QStringLiteral("1C") + flags + Edit21->text() + Edit20->text() + uid, 500,
        QStringLiteral("操作成功   "), QStringLiteral("读卡块安全位失败   "), [](const rfid::Answer& r) {
            return QStringList{QStringLiteral("标志位为：") + rfid::payloadByte(r, 4),
                               QStringLiteral("块安全位状态为：") + rfid::payloadFrom(r, 5) + kCrLf};
        });
}

// Continuous modes: one pass per turn while the box stays checked, pausing the
// wait-time field plus 10 ms (the pause ends early once an answer is held).
void Iso15693Page::CheckBox5Click() {
    while (m_host.keepLooping(CheckBox5)) {
        Button37Click();
        m_host.Delay(m_host.pauseTime(10));
    }
}

void Iso15693Page::CheckBox6Click() {
    while (m_host.keepLooping(CheckBox6)) {
        Button38Click();
        m_host.Delay(m_host.pauseTime(10));
    }
}

void Iso15693Page::CheckBox7Click() {
    while (m_host.keepLooping(CheckBox7)) {
        Button39Click();
        m_host.Delay(m_host.pauseTime(10));
    }
}
