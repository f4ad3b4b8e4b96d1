// ISO 15693 cards.
#pragma once

#include <QWidget>

class TForm1;

class Iso15693Page : public QWidget {
    Q_OBJECT
public:
    Iso15693Page(TForm1& form, QWidget* parent);

private:
    TForm1& m_form;
};
