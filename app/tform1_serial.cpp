// The serial link and the manual send panel of the main window.
#include "tform1.h"

#include "errorhandling.h"
#include "errors.h"
#include "response.h"
#include "sendpanel.h"
#include "tcomm.h"

#include <QComboBox>
#include <QGroupBox>
#include <QPushButton>
#include <QRadioButton>

namespace {

// `lastResponse` holds at most this many hex digits (32 KiB of received bytes).
// Readers of the text only look near its start: a card report at characters
// 3-20, a USB answer within its first 500. Once the limit is reached further
// serial bytes are not appended (they still show in the debugging line), so
// nothing any reader could reach is ever moved or cut, and a device that keeps
// sending what no card report consumes cannot grow it without bound.
constexpr qsizetype kMaxResponseDigits = 64 * 1024;

struct CardType {
    const char* code;
    const char* name;
    const char* numberLabel;
    int digits; // characters of the number, from character 5
};

const CardType kCardTypes[] = {
    {"01", "检测到S50/S70卡", "卡的ID号码为： ", 8},
    {"02", "检测到Ultralight/desfire卡", "卡的ID号码为： ", 14},
    {"03", "检测到ISO 14443 B卡", "卡的ID号码为： ", 8},
    {"04", "中华人民共和国第二代身份证..", "身份证卡的ID号码为： ", 16},
    {"05", "检测到ISO 15693卡", "卡的ID号码为： ", 16},
};

} // namespace

void TForm1::setupSerial() {
    Comm1 = new TComm(this);
    Comm1->setObjectName(QStringLiteral("Comm1"));
#ifdef _WIN32
    Comm1->setCommName(QStringLiteral("COM1"));
#else
    Comm1->setCommName(QStringLiteral("/dev/ttyS0"));
#endif
    Comm1->setBaudRate(9600);
    Comm1->setParityCheck(true);
    Comm1->setTxContinueOnXoff(false);
    Comm1->setOutx_XonXoffFlow(false);
    Comm1->setInx_XonXoffFlow(false);
    Comm1->OnReceiveData = [this](TComm*, const unsigned char* buffer, quint16 length) {
        Comm1ReceiveData(buffer, length);
    };

    Button1 = new QPushButton(QStringLiteral("COM打开"), GroupBoxComm);
    Button1->setObjectName(QStringLiteral("Button1"));
    Button1->setGeometry(8, 16, 100, 25);
    Button2 = new QPushButton(QStringLiteral("COM关闭"), GroupBoxComm);
    Button2->setObjectName(QStringLiteral("Button2"));
    Button2->setGeometry(128, 16, 100, 25);
    ComboBox1 = new QComboBox(GroupBoxComm);
    ComboBox1->setObjectName(QStringLiteral("ComboBox1"));
    ComboBox1->setGeometry(8, 48, 100, 21);

    onClick(Button1, [this] { Button1Click(); });
    onClick(Button2, [this] { Button2Click(); });
    // Only the operator's choice counts as a change, not a selection made by the program.
    connect(ComboBox1, &QComboBox::activated, this,
            [this] { rfid::runGuarded([this] { ComboBox1Change(); }); });
    connect(ComboBox2, &QComboBox::activated, this,
            [this] { rfid::runGuarded([this] { ComboBox2Change(); }); });

    sendPanel = new SendPanel(m_pageHost, GroupBoxSend);
}

void TForm1::closeSerialPort() {
    if (Comm1)
        Comm1->ClosePort();
}

void TForm1::Button1Click() {
    Comm1->OpenPort();
    Button1->setEnabled(false);
    Button2->setEnabled(true);
}

void TForm1::Button2Click() {
    Comm1->ClosePort();
    Button2->setEnabled(false);
    Button1->setEnabled(true);
}

void TForm1::GetCom() {
    ComboBox1->clear();
    ComboBox1->addItems(TComm::GetCom());
}

void TForm1::ComboBox1Change() {
#ifdef _WIN32
    Comm1->setCommName(QStringLiteral("\\\\.\\") + ComboBox1->currentText());
#else
    Comm1->setCommName(QStringLiteral("/dev/") + ComboBox1->currentText());
#endif
    Button2Click();
    Button1Click();
}

void TForm1::ComboBox2Change() {
    Comm1->setBaudRate(quint32(rfid::StrToInt(ComboBox2->currentText())));
    Button2Click();
    Button1Click();
}

void TForm1::Comm1ReceiveData(const unsigned char* buffer, int length) {
    QString display;
    for (int i = 0; i < length; ++i) {
        const QString digits = QStringLiteral("%1").arg(buffer[i], 2, 16, QLatin1Char('0')).toUpper();
        display += QLatin1Char(' ') + digits;
        if (lastResponse.size() + 2 <= kMaxResponseDigits)
            lastResponse += digits;
    }
    if (RadioButton4->isChecked())
        addLine(display);
    if (RadioButton19->isChecked())
        checkcard();
}

void TForm1::checkcard() {
    const QString type = rfid::chars(lastResponse, 3, 2);
    for (const CardType& card : kCardTypes) {
        if (type != QLatin1String(card.code))
            continue;
        addLine(QString::fromUtf8(card.name));
        addLine(QString::fromUtf8(card.numberLabel) + rfid::chars(lastResponse, 5, card.digits) +
                QStringLiteral("\r\n"));
        lastResponse.clear();
        return;
    }
}
