// 13.56 MHz reader housekeeping: address, baud rate, serial number, LEDs, buzzer, reading mode.
#pragma once

#include <QWidget>

class TForm1;

class SystemPage : public QWidget {
    Q_OBJECT
public:
    SystemPage(TForm1& form, QWidget* parent);

private:
    TForm1& m_form;
};
