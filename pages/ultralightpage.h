// Ultralight card number, page read and page write.
#pragma once

#include <QWidget>

class TForm1;

class UltralightPage : public QWidget {
    Q_OBJECT
public:
    UltralightPage(TForm1& form, QWidget* parent);

private:
    TForm1& m_form;
};
