// 13.56 MHz reader housekeeping: address, baud rate, serial number, LEDs, buzzer,
// reading mode, and the pause of every continuous operation.
#pragma once

#include <QWidget>

class QComboBox;
class QGroupBox;
class QLineEdit;
class QPushButton;
class PageHost;

class SystemPage : public QWidget {
    Q_OBJECT
public:
    SystemPage(PageHost& host, QWidget* parent);

    // "程序等待时间": the pause, in milliseconds, of every continuous operation.
    QLineEdit* Edit22 = nullptr;
    // The pause read from Edit22 (raises EConvertError when it is not a number).
    int waitTime() const;
    // The pause plus a continuous operation's own `offset` (0 or more), held at
    // the largest int instead of overflowing.
    int pauseTime(int offset) const;

    // "系统命令"
    QGroupBox* GroupBox3 = nullptr;
    QComboBox* ComboBox5 = nullptr; // baud rate
    QPushButton* Button12 = nullptr;
    QPushButton* Button4 = nullptr; // read address
    QLineEdit* Edit4 = nullptr;     // new address
    QPushButton* Button11 = nullptr;
    QPushButton* Button14 = nullptr; // read serial number
    QLineEdit* Edit9 = nullptr;      // new serial number
    QPushButton* Button13 = nullptr;
    QLineEdit* Edit30 = nullptr; // LED period
    QLineEdit* Edit31 = nullptr; // LED count
    QPushButton* Button20 = nullptr;
    QLineEdit* Edit11 = nullptr; // LED-R period
    QLineEdit* Edit12 = nullptr; // LED-R count
    QPushButton* Button23 = nullptr;
    QLineEdit* Edit33 = nullptr; // buzzer period
    QLineEdit* Edit34 = nullptr; // buzzer count
    QPushButton* Button21 = nullptr;

    // "读卡器硬件状态切换"
    QGroupBox* GroupBox11 = nullptr;
    QPushButton* Button52 = nullptr; // active reading
    QPushButton* Button53 = nullptr; // passive reading

    void Button12Click();
    void Button4Click();
    void Button11Click();
    void Button14Click();
    void Button13Click();
    void Button20Click();
    void Button23Click();
    void Button21Click();
    void Button52Click();
    void Button53Click();
    void Edit22Change();

private:
    PageHost& m_host;
};
