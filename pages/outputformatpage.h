// How the reader types card numbers: format, separators, buzzer, custom byte.
#pragma once

#include <QWidget>

class TForm1;

class OutputFormatPage : public QWidget {
    Q_OBJECT
public:
    OutputFormatPage(TForm1& form, QWidget* parent);

private:
    TForm1& m_form;
};
