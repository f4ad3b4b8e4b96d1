// Keyboard language and the prefix/suffix bytes.
#pragma once

#include <QWidget>

class TForm1;

class LanguagePage : public QWidget {
    Q_OBJECT
public:
    LanguagePage(TForm1& form, QWidget* parent);

private:
    TForm1& m_form;
};
