// The serial link and the manual send panel of the main window.
#include "tform1.h"

#include "errorhandling.h"
#include "errors.h"
#include "hex.h"
#include "sendpanel.h"
#include "tcomm.h"

#include <QComboBox>
#include <QGroupBox>
#include <QPushButton>
#include <QRadioButton>
#include <algorithm>
#include <cstdint>
#include <vector>

namespace {

// The last answer holds at most this many received bytes (32 KiB). Readers of
// it only look near its start: a card report at bytes 1-9, a USB answer within
// its first 250. Once the limit is reached further serial bytes are not kept
// (they still show in the debugging line), so nothing any reader could reach
// is ever moved or cut, and a device that keeps sending what no card report
// consumes cannot grow it without bound.
constexpr std::size_t kMaxResponseBytes = 32 * 1024;

struct CardType {
    std::uint8_t code; // byte 1
    const char* name;
    const char* numberLabel;
    std::size_t bytes; // the number's, from byte 2
};

const CardType kCardTypes[] = {
    {0x01, "检测到S50/S70卡", "卡的ID号码为： ", 4},
    {0x02, "检测到Ultralight/desfire卡", "卡的ID号码为： ", 7},
    {0x03, "检测到ISO 14443 B卡", "卡的ID号码为： ", 4},
    {0x04, "中华人民共和国第二代身份证..", "身份证卡的ID号码为： ", 8},
    {0x05, "检测到ISO 15693卡", "卡的ID号码为： ", 8},
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
    // Received bytes are appended to the last answer, which is read again as a
    // whole; its text grows by the bytes kept.
    std::vector<std::uint8_t> bytes = std::move(m_answer.bytes);
    const std::size_t kept = bytes.size();
    QString display;
    for (int i = 0; i < length; ++i) {
        display += QLatin1Char(' ') + rfid::toHex(buffer + i, 1);
        if (bytes.size() < kMaxResponseBytes)
            bytes.push_back(buffer[i]);
    }
    lastResponse += rfid::toHex(bytes.data() + kept, int(bytes.size() - kept));
    m_answer = rfid::readAnswer(std::move(bytes));
    if (RadioButton4->isChecked())
        addLine(display);
    if (RadioButton19->isChecked())
        checkcard();
}

void TForm1::checkcard() {
    const std::vector<std::uint8_t>& got = m_answer.bytes;
    for (const CardType& card : kCardTypes) {
        if (m_answer.byte(1) != card.code)
            continue;
        // As many bytes of the number as have come.
        const std::size_t count = std::min(card.bytes, got.size() - 2);
        addLine(QString::fromUtf8(card.name));
        addLine(QString::fromUtf8(card.numberLabel) + rfid::toHex(got.data() + 2, int(count)) +
                QStringLiteral("\r\n"));
        m_answer = {};
        lastResponse.clear();
        return;
    }
}
