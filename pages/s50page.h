// Mifare S50/S70 block and value operations.
#pragma once

#include <QWidget>

class TForm1;

class S50Page : public QWidget {
    Q_OBJECT
public:
    S50Page(TForm1& form, QWidget* parent);

private:
    TForm1& m_form;
};
