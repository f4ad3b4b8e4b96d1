// ISO 14443 type B cards and the identity card.
#pragma once

#include <QWidget>

class TForm1;

class Iso14443bPage : public QWidget {
    Q_OBJECT
public:
    Iso14443bPage(TForm1& form, QWidget* parent);

private:
    TForm1& m_form;
};
