#include "ultralightpage.h"

#include "cardpageparts.h"
#include "cardpayload.h"
#include "errors.h"
#include "pagehost.h"

#include <QListWidget>

using namespace rfid::cardpage;

namespace {
// Mode byte: 00 for idle cards only, 01 for all cards.
QString modeByte(const QRadioButton* all) {
    return all->isChecked() ? QStringLiteral("01") : QStringLiteral("00");
}

// The selected item is a decimal page number and goes out as one byte. The
// current item alone does not count: the operator can deselect it (Ctrl+click)
// and it stays current, but then no page is chosen.
QString pageByte(const QListWidget* list) {
    const QList<QListWidgetItem*> selected = list->selectedItems();
    if (selected.isEmpty())
        throw rfid::RfidError(QStringLiteral("List index out of bounds (-1)"));
    return hexByte(rfid::StrToInt(selected.first()->text()));
}

QListWidget* pageList(QWidget* parent, const char* name, int x, int y) {
    auto* list = placed(new QListWidget(parent), name, x, y, 60, 150);
    list->addItems(numberItems(16, 10));
    list->setSelectionMode(QAbstractItemView::SingleSelection);
    return list;
}
} // namespace

UltralightPage::UltralightPage(PageHost& host, QWidget* parent) : QWidget(parent), m_host(host) {
    setObjectName(QStringLiteral("UltralightPage"));

    GroupBox6 = group(this, "GroupBox6", QString(), 8, 8, 505, 100);
    label(GroupBox6, QStringLiteral("Read  Card series number:  "), 12, 26);
    GroupBox23 = group(GroupBox6, "GroupBox23", QString(), 180, 14, 110, 34);
    Uli = radio(GroupBox23, "Uli", QStringLiteral("Idle"), true, 6, 10, 50);
    Ula = radio(GroupBox23, "Ula", QStringLiteral("All"), false, 58, 10, 46);
    CheckBox8 = checkBox(GroupBox6, "CheckBox8", QStringLiteral("连续读      "), 300, 24, 96);
    Button55 = button(GroupBox6, "Button55", QStringLiteral("Read"), 410, 20);
    label(GroupBox6, QStringLiteral("Halt:"), 12, 68);
    Button17 = button(GroupBox6, "Button17", QStringLiteral("Halt"), 410, 62);

    GroupBox18 = group(this, "GroupBox18", QStringLiteral("Ultralight 卡读写"), 8, 116, 505, 260);

    GroupBox19 = group(GroupBox18, "GroupBox19", QStringLiteral(" 读卡 "), 10, 20, 236, 230);
    label(GroupBox19, QStringLiteral("扇区："), 10, 24);
    ListBox1 = pageList(GroupBox19, "ListBox1", 10, 44);
    GroupBox24 = group(GroupBox19, "GroupBox24", QString(), 80, 40, 110, 34);
    Ulii = radio(GroupBox24, "Ulii", QStringLiteral("Idle"), true, 6, 10, 50);
    Ulaa = radio(GroupBox24, "Ulaa", QStringLiteral("All"), false, 58, 10, 46);
    Button18 = button(GroupBox19, "Button18", QStringLiteral("读卡"), 80, 150);
    CheckBox9 = checkBox(GroupBox19, "CheckBox9", QStringLiteral("连续读      "), 80, 184, 96);

    GroupBox20 = group(GroupBox18, "GroupBox20", QStringLiteral(" 写卡 "), 258, 20, 236, 230);
    label(GroupBox20, QStringLiteral("扇区："), 10, 24);
    ListBox2 = pageList(GroupBox20, "ListBox2", 10, 44);
    Edit56 = edit(GroupBox20, "Edit56", QStringLiteral("00 00 00 00"), 80, 84, 140);
    GroupBox25 = group(GroupBox20, "GroupBox25", QString(), 80, 40, 110, 34);
    Uliii = radio(GroupBox25, "Uliii", QStringLiteral("Idle"), true, 6, 10, 50);
    Ulaaa = radio(GroupBox25, "Ulaaa", QStringLiteral("All"), false, 58, 10, 46);
    Button54 = button(GroupBox20, "Button54", QStringLiteral("Write"), 80, 150);
    CheckBox10 = checkBox(GroupBox20, "CheckBox10", QStringLiteral("连续写      "), 80, 184, 96);

    m_host.onClick(Button55, [this] { Button55Click(); });
    m_host.onClick(Button17, [this] { Button17Click(); });
    m_host.onClick(Button18, [this] { Button18Click(); });
    m_host.onClick(Button54, [this] { Button54Click(); });
    m_host.onClick(CheckBox8, [this] { CheckBox8Click(); });
    m_host.onClick(CheckBox9, [this] { CheckBox9Click(); });
    m_host.onClick(CheckBox10, [this] { CheckBox10Click(); });
}

void UltralightPage::Button55Click() {
    const QString done = QStringLiteral("读卡号 操作成功   ");
    m_host.cycle(QStringLiteral("E3") + modeByte(Ula), 300,
                 texts(done, QStringLiteral("读卡ID号操作失败   ")), [this, done] {
                     return QStringList{done + rfid::timeStamp(),
                                        QStringLiteral("卡号为:") +
                                            rfid::payloadBytes(m_host.answer(), 4, 10) + kCrLf};
                 });
}

void UltralightPage::Button17Click() {
    m_host.cycle(QStringLiteral("06"), 300,
                 texts(QStringLiteral("HALT操作成功   "), QStringLiteral("HALT操作失败   ")));
}

// Four pages from the chosen one, then the card number. Like every report of
// this page, it copies only the answer's payload: a short answer gives shorter
// runs, never its checksum and end marker as data.
void UltralightPage::Button18Click() {
    const QString done = QStringLiteral("读卡 操作成功   ");
    m_host.cycle(QStringLiteral("E0") + modeByte(Ulaa) + pageByte(ListBox1), 800,
                 texts(done, QStringLiteral("读卡失败   ")), [this, done] {
                     const rfid::Answer r = m_host.answer();
                     return QStringList{done + rfid::timeStamp(),
                                        QStringLiteral("读卡返回数据为: ") + rfid::payloadBytes(r, 4, 19),
                                        QStringLiteral("卡ID号为:") + rfid::payloadBytes(r, 20, 26) + kCrLf};
                 });
}

// Mode, the fixed 01 (one page), the page, four data bytes.
void UltralightPage::Button54Click() {
    const QString done = QStringLiteral("写卡操作成功   ");
    m_host.cycle(QStringLiteral("E1") + modeByte(Ulaaa) + QStringLiteral("01") + pageByte(ListBox2) +
                     Edit56->text(),
                 500, texts(done, QStringLiteral("写卡操作失败   ")), [this, done] {
                     return QStringList{done + rfid::timeStamp(),
                                        QStringLiteral("卡号为:") +
                                            rfid::payloadBytes(m_host.answer(), 4, 10) + kCrLf};
                 });
}

// Continuous modes: one pass, a pause of the wait time plus the mode's offset,
// again while the box stays checked.
void UltralightPage::CheckBox8Click() {
    while (m_host.keepLooping(CheckBox8)) {
        Button55Click();
        m_host.Delay(m_host.pauseTime(10));
    }
}

void UltralightPage::CheckBox9Click() {
    while (m_host.keepLooping(CheckBox9)) {
        Button18Click();
        m_host.Delay(m_host.pauseTime(50));
    }
}

void UltralightPage::CheckBox10Click() {
    while (m_host.keepLooping(CheckBox10)) {
        Button54Click();
        m_host.Delayy(m_host.pauseTime(100));
    }
}
