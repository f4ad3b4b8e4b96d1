#include "sendpanel.h"

#include "dialogs.h"
#include "errors.h"
#include "pagehost.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>

namespace {
const QString kCrLf = QStringLiteral("\r\n");
}

SendPanel::SendPanel(PageHost& host, QWidget* box) : QWidget(box), m_host(host) {
    setObjectName(QStringLiteral("SendPanel"));
    setGeometry(0, 0, box->width(), box->height());

    Memo1 = new QPlainTextEdit(this);
    Memo1->setObjectName(QStringLiteral("Memo1"));
    Memo1->setGeometry(8, 18, 300, 174);
    Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Memo1->setPlainText(QStringLiteral("AA 00 03 85 01 78 ff BB"));

    auto* periodLabel = new QLabel(QStringLiteral("周期："), this);
    periodLabel->setObjectName(QStringLiteral("Edit6Label"));
    periodLabel->setGeometry(318, 22, 40, 17);
    Edit6 = new QLineEdit(QStringLiteral("1000"), this);
    Edit6->setObjectName(QStringLiteral("Edit6"));
    Edit6->setGeometry(358, 18, 56, 21);
    auto* unitLabel = new QLabel(QStringLiteral("毫秒      "), this);
    unitLabel->setObjectName(QStringLiteral("Edit6Unit"));
    unitLabel->setGeometry(420, 22, 64, 17);

    auto button = [this](const char* name, const QString& caption, int x, int y) {
        auto* b = new QPushButton(caption, this);
        b->setObjectName(QLatin1String(name));
        b->setGeometry(x, y, 80, 25);
        return b;
    };
    Button3 = button("Button3", QStringLiteral("发送数据"), 318, 52);
    CheckBox3 = new QCheckBox(QStringLiteral("自动发送"), this);
    CheckBox3->setObjectName(QStringLiteral("CheckBox3"));
    CheckBox3->setGeometry(406, 56, 80, 17);
    Button6 = button("Button6", QStringLiteral("载入数据"), 318, 92);
    Button7 = button("Button7", QStringLiteral("清空发送框"), 404, 92);
    Button5 = button("Button5", QStringLiteral("另存为"), 318, 132);

    m_host.onClick(Button3, [this] { Button3Click(); });
    m_host.onClick(CheckBox3, [this] { CheckBox3Click(); });
    m_host.onClick(Button6, [this] { Button6Click(); });
    m_host.onClick(Button7, [this] { Button7Click(); });
    m_host.onClick(Button5, [this] { Button5Click(); });
}

QStringList SendPanel::textLines(const QString& text) {
    QStringList lines;
    QString line;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c == QLatin1Char('\r') || c == QLatin1Char('\n')) {
            lines << line;
            line.clear();
            if (c == QLatin1Char('\r') && i + 1 < text.size() && text.at(i + 1) == QLatin1Char('\n'))
                ++i;
        } else {
            line += c;
        }
    }
    if (!line.isEmpty())
        lines << line;
    return lines;
}

QStringList SendPanel::memoLines() const {
    return textLines(Memo1->toPlainText());
}

QString SendPanel::memoText() const {
    QString text;
    for (const QString& line : memoLines())
        text += line + kCrLf;
    return text;
}

void SendPanel::Button3Click() {
    // The frame goes first; the period is read only after it was sent.
    m_host.SendHex(memoText());
    m_host.Delayy(rfid::StrToInt(Edit6->text()));
}

void SendPanel::CheckBox3Click() {
    if (!CheckBox3->isChecked())
        return;
    do {
        Button3Click();
        m_host.Delay(rfid::StrToInt(Edit6->text()));
    } while (m_host.keepLooping(CheckBox3));
}

void SendPanel::Button6Click() {
    const QString path = rfid::askOpenFileName(window(), QStringLiteral("载入数据！"), QString());
    if (path.isEmpty())
        return;
    // Files are UTF-8, as the panel saves them; a byte-order mark is not text.
    QString text = QString::fromUtf8(rfid::readWholeFile(path));
    if (text.startsWith(QChar(0xFEFF)))
        text.remove(0, 1);
    Memo1->setPlainText(textLines(text).join(QLatin1Char('\n')));
}

void SendPanel::Button7Click() {
    Memo1->clear();
}

void SendPanel::Button5Click() {
    const QString path = rfid::askSaveFileName(window(), QStringLiteral("保存接收数据！"),
                                               QStringLiteral("文本文件(.txt) (*.txt)"));
    if (path.isEmpty())
        return;
    rfid::writeWholeFile(path, memoText().toUtf8());
}
