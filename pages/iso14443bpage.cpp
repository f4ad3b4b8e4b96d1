#include "iso14443bpage.h"

#include "cardpayload.h"
#include "frame.h"
#include "hex.h"
#include "pagehost.h"
#include "report.h"
#include "typebstatus.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <cstdint>
#include <optional>

namespace {

const QString kCrLf = QStringLiteral("\r\n");

// The report texts shared by the card request, Attrib and reset.
rfid::CycleTexts cycleTexts(const QString& success, const QString& failure) {
    return {QStringLiteral("通讯错误，没有接收到数据..   "), success, failure,
            QStringLiteral("数据丢包，流水校验出错   ")};
}

template <typename T> T* named(T* widget, const char* name) {
    widget->setObjectName(QLatin1String(name));
    return widget;
}

} // namespace

Iso14443bPage::Iso14443bPage(PageHost& host, QWidget* parent) : QWidget(parent), m_host(host) {
    setObjectName(QStringLiteral("Iso14443bPage"));

    GroupBox21 = named(new QGroupBox(QStringLiteral("ISO14443 Type-B Commands"), this), "GroupBox21");
    GroupBox21->setGeometry(8, 8, 505, 200);

    Button31 = named(new QPushButton(QStringLiteral("卡请求"), GroupBox21), "Button31");
    Button31->setGeometry(16, 28, 75, 25);
    CheckBox11 = named(new QCheckBox(QStringLiteral("连续读      "), GroupBox21), "CheckBox11");
    CheckBox11->setGeometry(104, 32, 100, 17);
    Button32 = named(new QPushButton(QStringLiteral("防冲突"), GroupBox21), "Button32");
    Button32->setGeometry(216, 28, 75, 25);
    Button32->setEnabled(false);

    LabelCardId = named(new QLabel(QStringLiteral("请输入卡ID号码：         "), GroupBox21), "LabelCardId");
    LabelCardId->setGeometry(16, 72, 150, 17);
    Edit76 = named(new QLineEdit(QStringLiteral("41 30 0A 10"), GroupBox21), "Edit76");
    Edit76->setGeometry(168, 70, 170, 21);
    Edit76->setToolTip(QStringLiteral("insert card number"));
    Button33 = named(new QPushButton(QStringLiteral("Attrib"), GroupBox21), "Button33");
    Button33->setGeometry(352, 68, 75, 25);

    Button34 = named(new QPushButton(QStringLiteral("复位卡"), GroupBox21), "Button34");
    Button34->setGeometry(16, 112, 75, 25);
    Button34->setEnabled(false);

    LabelData = named(new QLabel(QStringLiteral("数据：    "), GroupBox21), "LabelData");
    LabelData->setGeometry(16, 158, 60, 17);
    Edit77 = named(new QLineEdit(QStringLiteral("05 00 00"), GroupBox21), "Edit77");
    Edit77->setGeometry(80, 156, 258, 21);
    Edit77->setToolTip(QStringLiteral("data"));
    Button36 = named(new QPushButton(QStringLiteral("发送数据"), GroupBox21), "Button36");
    Button36->setGeometry(352, 154, 75, 25);

    GroupBox22 = named(new QGroupBox(QStringLiteral("第二代居民身份证"), this), "GroupBox22");
    GroupBox22->setGeometry(8, 220, 505, 110);

    LabelIdNumber = named(new QLabel(QStringLiteral("读身份证ID号：     "), GroupBox22), "LabelIdNumber");
    LabelIdNumber->setGeometry(16, 30, 150, 17);
    Button19 = named(new QPushButton(QStringLiteral("读取"), GroupBox22), "Button19");
    Button19->setGeometry(168, 28, 75, 25);
    CheckBox13 = named(new QCheckBox(QStringLiteral("连续读      "), GroupBox22), "CheckBox13");
    CheckBox13->setGeometry(256, 32, 100, 17);

    LabelFileId = named(new QLabel(QStringLiteral("读身份证文件ID号：   "), GroupBox22), "LabelFileId");
    LabelFileId->setGeometry(16, 70, 150, 17);
    Button22 = named(new QPushButton(QStringLiteral("读取"), GroupBox22), "Button22");
    Button22->setGeometry(168, 68, 75, 25);
    CheckBox14 = named(new QCheckBox(QStringLiteral("连续读      "), GroupBox22), "CheckBox14");
    CheckBox14->setGeometry(256, 72, 100, 17);

    m_host.onClick(Button31, [this] { Button31Click(); });
    m_host.onClick(Button32, [this] { Button32Click(); });
    m_host.onClick(Button33, [this] { Button33Click(); });
    m_host.onClick(Button34, [this] { Button34Click(); });
    m_host.onClick(Button36, [this] { Button36Click(); });
    m_host.onClick(Button19, [this] { Button19Click(); });
    m_host.onClick(Button22, [this] { Button22Click(); });
    m_host.onClick(CheckBox11, [this] { CheckBox11Click(); });
    m_host.onClick(CheckBox13, [this] { CheckBox13Click(); });
    m_host.onClick(CheckBox14, [this] { CheckBox14Click(); });
}

// Card request and anti-collision send the same command: the card's answer
// data (its length, then the data) is shown.
void Iso14443bPage::cardRequest() {
    m_host.cycle(QStringLiteral("09"), 500,
                 cycleTexts(QStringLiteral("操作成功   "), QStringLiteral("操作失败   ")), [this] {
                     const rfid::Answer r = m_host.answer();
                     return QStringList{QStringLiteral("操作成功   ") + rfid::timeStamp() + kCrLf,
                                        QStringLiteral("卡片复位数据的长度为:") + rfid::payloadByte(r, 4),
                                        QStringLiteral("返回操作后的数据为:") + rfid::payloadFrom(r, 5) +
                                            kCrLf};
                 });
}

void Iso14443bPage::Button31Click() {
    cardRequest();
}

void Iso14443bPage::Button32Click() {
    cardRequest();
}

void Iso14443bPage::Button33Click() {
    m_host.cycle(QStringLiteral("0B") + Edit76->text(), 500,
                 cycleTexts(QStringLiteral("操作成功、复位成功   "), QStringLiteral("操作失败   ")));
}

// The serial number of the reset card is shown and becomes the card ID that
// the next Attrib sends.
void Iso14443bPage::Button34Click() {
    m_host.cycle(QStringLiteral("0C"), 500,
                 cycleTexts(QStringLiteral("操作成功   "), QStringLiteral("操作失败   ")), [this] {
                     const QString serial = rfid::payloadBytes(m_host.answer(), 4, 7);
                     Edit76->setText(serial);
                     return QStringList{QStringLiteral("操作成功   ") + rfid::timeStamp() + kCrLf,
                                        QStringLiteral("卡的序列号为：") + serial + kCrLf};
                 });
}

// Sends the data field to the card: command 0D with a count byte and the data
// bytes. The answer is judged by the exchange's own reason table rather than
// the common report.
void Iso14443bPage::Button36Click() {
    const QString digits = rfid::hexDigits(Edit77->text());
    const auto count = static_cast<std::uint8_t>(digits.size() / 2);
    // A field with a lone digit, or too long for one frame, is refused as the
    // other commands are: a stray digit would shift every following byte.
    m_host.Send(QStringLiteral("0D") + rfid::toHex(&count, 1) + digits);
    m_host.Delay(600);

    const rfid::Answer r = m_host.answer();
    if (r.byte(3) == rfid::protocol::kStatusSuccess) {
        m_host.addLine(QStringLiteral("操作成功   ") + rfid::timeStamp());
        m_host.addLine(QStringLiteral("操作后的数据串为：") + rfid::payloadFrom(r, 4) + kCrLf);
        return;
    }
    m_host.addLine(QStringLiteral("操作失败   ") + rfid::timeStamp());
    if (r.bytes.empty()) {
        m_host.addLine(QStringLiteral("无数据接收..\r\n"));
        return;
    }
    const std::optional<std::uint8_t> code = r.byte(4);
    const QString reason = rfid::typeBExchangeReason(code ? rfid::toHex(&*code, 1) : QString());
    if (!reason.isEmpty())
        m_host.addLine(reason);
}

// The identity-card reads show the eight bytes 5 to 12 of the answer.
void Iso14443bPage::identityRead(const char* command) {
    m_host.cycle(QLatin1String(command), 1000,
                 cycleTexts(QStringLiteral("操作成功   "), QStringLiteral("读卡号操作失败   ")), [this] {
                     return QStringList{QStringLiteral("操作成功   ") + rfid::timeStamp(),
                                        QStringLiteral("返回卡号为:") +
                                            rfid::payloadBytes(m_host.answer(), 5, 12) + kCrLf};
                 });
}

void Iso14443bPage::Button19Click() {
    identityRead("26");
}

void Iso14443bPage::Button22Click() {
    identityRead("27");
}

// Continuous modes: one pass per turn while the box stays checked. The card
// request pauses with Delay (ends early once an answer is held), the identity
// reads always pause the full time.
void Iso14443bPage::CheckBox11Click() {
    while (m_host.keepLooping(CheckBox11)) {
        Button31Click();
        m_host.Delay(m_host.pauseTime(10));
    }
}

void Iso14443bPage::CheckBox13Click() {
    while (m_host.keepLooping(CheckBox13)) {
        Button19Click();
        m_host.Delayy(m_host.pauseTime(0));
    }
}

void Iso14443bPage::CheckBox14Click() {
    while (m_host.keepLooping(CheckBox14)) {
        Button22Click();
        m_host.Delayy(m_host.pauseTime(0));
    }
}
