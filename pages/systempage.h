// 13.56 MHz reader housekeeping: address, baud rate, serial number, LEDs, buzzer, reading mode.
#pragma once

#include <QWidget>

class QLineEdit;
class TForm1;

class SystemPage : public QWidget {
    Q_OBJECT
public:
    SystemPage(TForm1& form, QWidget* parent);

    // "程序等待时间": the pause, in milliseconds, of every continuous operation.
    QLineEdit* Edit22 = nullptr;
    // The pause read from Edit22 (raises EConvertError when it is not a number).
    int waitTime() const;

private:
    TForm1& m_form;
};
