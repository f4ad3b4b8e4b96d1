#include "systempage.h"

#include "cardpageparts.h"
#include "cardpayload.h"
#include "errors.h"
#include "pagehost.h"

#include <climits>

using namespace rfid::cardpage;

namespace {
// Data byte of the set-baud-rate command for each rate the reader knows.
QString baudCode(const QString& text) {
    static const char* const rates[] = {"9600", "19200", "38400", "57600", "115200"};
    for (int i = 0; i < 5; ++i) {
        if (text == QLatin1String(rates[i]))
            return hexByte(i);
    }
    return {}; // an unknown rate sends the command byte alone
}

// One row of the command group: caption, input controls, button.
constexpr int kRowTop = 24;
constexpr int kRowStep = 36;
constexpr int kInputX = 160;
constexpr int kButtonX = 420;
int rowY(int row) {
    return kRowTop + row * kRowStep;
}
} // namespace

SystemPage::SystemPage(PageHost& host, QWidget* parent) : QWidget(parent), m_host(host) {
    setObjectName(QStringLiteral("SystemPage"));

    GroupBox3 = group(this, "GroupBox3", QStringLiteral("系统命令"), 8, 8, 505, 316);
    QWidget* g = GroupBox3;
    auto rowLabel = [g](int row, const QString& text) { label(g, text, 16, rowY(row) + 4); };
    auto rowButton = [g](int row, const char* name, const QString& caption) {
        return button(g, name, caption, kButtonX, rowY(row));
    };

    rowLabel(0, QStringLiteral("设置波特率:      "));
    ComboBox5 = editableCombo(g, "ComboBox5",
                              {QStringLiteral("9600"), QStringLiteral("19200"), QStringLiteral("38400"),
                               QStringLiteral("57600"), QStringLiteral("115200")},
                              QStringLiteral("9600"), kInputX, rowY(0), 90);
    ComboBox5->setToolTip(QStringLiteral("待设置的波特率"));
    label(g, QStringLiteral("（要设置的波特率）              "), kInputX + 96, rowY(0) + 4);
    Button12 = rowButton(0, "Button12", QStringLiteral("设置"));

    rowLabel(1, QStringLiteral("读取机器ID号:         "));
    Button4 = rowButton(1, "Button4", QStringLiteral("读取"));

    rowLabel(2, QStringLiteral("重设置机器ID号：    "));
    Edit4 = edit(g, "Edit4", QStringLiteral("00"), kInputX, rowY(2), 60);
    Edit4->setToolTip(QStringLiteral("要设置的新地址 ,十六进制表示。"));
    label(g, QStringLiteral("（范围0~FF）  "), kInputX + 66, rowY(2) + 4);
    Button11 = rowButton(2, "Button11", QStringLiteral("设置"));

    rowLabel(3, QStringLiteral("读取机器的序列号：    "));
    Button14 = rowButton(3, "Button14", QStringLiteral("读取"));

    rowLabel(4, QStringLiteral("重设置机器序列号：     "));
    Edit9 = edit(g, "Edit9", QStringLiteral("FF FF FF FF FF FF FF FF"), kInputX, rowY(4), 180);
    label(g, QStringLiteral("8个字节     "), kInputX + 186, rowY(4) + 4);
    Button13 = rowButton(4, "Button13", QStringLiteral("设置"));

    // Period edit, its caption, count edit, its caption.
    auto signalRow = [&](int row, const QString& caption, const char* periodName, QLineEdit*& period,
                         const QString& periodCaption, const char* countName, QLineEdit*& count) {
        rowLabel(row, caption);
        period = edit(g, periodName, QStringLiteral("16"), kInputX, rowY(row), 40);
        label(g, periodCaption, kInputX + 46, rowY(row) + 4);
        count = edit(g, countName, QStringLiteral("03"), kInputX + 130, rowY(row), 40);
        label(g, QStringLiteral("次数     "), kInputX + 176, rowY(row) + 4);
    };
    signalRow(5, QStringLiteral("led的控制："), "Edit30", Edit30, QStringLiteral("  周期      "), "Edit31",
              Edit31);
    Button20 = rowButton(5, "Button20", QStringLiteral("设置"));
    signalRow(6, QStringLiteral("led-R 的控制："), "Edit11", Edit11, QStringLiteral("  周期      "), "Edit12",
              Edit12);
    Button23 = rowButton(6, "Button23", QStringLiteral("设置"));
    signalRow(7, QStringLiteral("buzzer的控制："), "Edit33", Edit33, QStringLiteral("  周期        "),
              "Edit34", Edit34);
    Button21 = rowButton(7, "Button21", QStringLiteral("设置"));

    GroupBox11 = group(this, "GroupBox11", QStringLiteral("读卡器硬件状态切换"), 8, 332, 505, 104);
    label(GroupBox11, QStringLiteral("读卡器硬件状态切换：      "), 16, 30);
    Button52 = button(GroupBox11, "Button52", QStringLiteral("主动读卡"), 200, 26, 90);
    Button53 = button(GroupBox11, "Button53", QStringLiteral("被动读卡"), 310, 26, 90);
    label(GroupBox11, QStringLiteral("程序等待时间：   "), 16, 70);
    Edit22 = edit(GroupBox11, "Edit22", QStringLiteral("100"), 200, 66, 80);
    label(GroupBox11, QStringLiteral("毫秒（ms）"), 290, 70);

    m_host.onClick(Button12, [this] { Button12Click(); });
    m_host.onClick(Button4, [this] { Button4Click(); });
    m_host.onClick(Button11, [this] { Button11Click(); });
    m_host.onClick(Button14, [this] { Button14Click(); });
    m_host.onClick(Button13, [this] { Button13Click(); });
    m_host.onClick(Button20, [this] { Button20Click(); });
    m_host.onClick(Button23, [this] { Button23Click(); });
    m_host.onClick(Button21, [this] { Button21Click(); });
    m_host.onClick(Button52, [this] { Button52Click(); });
    m_host.onClick(Button53, [this] { Button53Click(); });
    connect(Edit22, &QLineEdit::textChanged, this, [this] { m_host.runGuarded([this] { Edit22Change(); }); });
}

int SystemPage::waitTime() const {
    return rfid::StrToInt(Edit22->text());
}

int SystemPage::pauseTime(int offset) const {
    const int wait = waitTime();
    if (offset > 0 && wait > INT_MAX - offset)
        return INT_MAX;
    return wait + offset;
}

void SystemPage::Button12Click() {
    m_host.cycle(QStringLiteral("81") + baudCode(ComboBox5->currentText()), 300,
                 texts(QStringLiteral("波特率设置成功   "), QStringLiteral("波特率设置失败   ")));
}

void SystemPage::Button4Click() {
    m_host.cycle(QStringLiteral("83"), 300, texts(QString(), QStringLiteral("操作失败        ")), [this] {
        return QStringList{QStringLiteral("系统地址为 : ") + rfid::payloadByte(m_host.answer(), 4) +
                           QStringLiteral("   ") + rfid::timeStamp() + kCrLf};
    });
}

void SystemPage::Button11Click() {
    m_host.cycle(QStringLiteral("80") + Edit4->text(), 300,
                 texts(QStringLiteral("读写器地址设置成功   "), QStringLiteral("读写器地址设置失败   ")));
}

void SystemPage::Button14Click() {
    m_host.cycle(QStringLiteral("83"), 300, texts(QString(), QStringLiteral("读序列号失败   ")), [this] {
        const rfid::Answer r = m_host.answer();
        return QStringList{QStringLiteral("读序列号成功   ") + rfid::timeStamp(),
                           QStringLiteral("地址为：") + rfid::payloadByte(r, 4),
                           QStringLiteral("序列号为：") + rfid::payloadBytes(r, 5, 12) + kCrLf};
    });
}

void SystemPage::Button13Click() {
    m_host.cycle(QStringLiteral("82") + Edit9->text(), 300,
                 texts(QStringLiteral("机器序列号设置成功   "), QStringLiteral("机器序列号设置失败   ")));
}

void SystemPage::Button20Click() {
    m_host.cycle(QStringLiteral("88") + Edit30->text() + Edit31->text(), 300,
                 texts(QStringLiteral("设置LED操作成功   "), QStringLiteral("设置LED操作失败   ")));
}

void SystemPage::Button23Click() {
    m_host.cycle(QStringLiteral("87") + Edit11->text() + Edit12->text(), 300,
                 texts(QStringLiteral("设置LED-R操作成功   "), QStringLiteral("设置LED-R操作失败   ")));
}

void SystemPage::Button21Click() {
    m_host.cycle(QStringLiteral("89") + Edit33->text() + Edit34->text(), 300,
                 texts(QStringLiteral("设置BUZ操作成功   "), QStringLiteral("设置BUZ操作失败   ")));
}

// The reading-mode switches only send; they neither wait nor report.
void SystemPage::Button52Click() {
    m_host.Send(QStringLiteral("0f01"));
}

void SystemPage::Button53Click() {
    m_host.Send(QStringLiteral("0f02"));
}

// The field always holds a whole number of 0 or more: anything else is
// replaced by the default at once (which runs this handler again and stays).
void SystemPage::Edit22Change() {
    bool valid = true;
    int value = 0;
    try {
        value = rfid::StrToInt(Edit22->text());
    } catch (const rfid::EConvertError&) {
        valid = false;
    }
    if (!valid || value < 0)
        Edit22->setText(QStringLiteral("100"));
}
