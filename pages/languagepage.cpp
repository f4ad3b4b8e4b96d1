#include "languagepage.h"

#include "tform1.h"

LanguagePage::LanguagePage(TForm1& form, QWidget* parent) : QWidget(parent), m_form(form) {
    setObjectName(QStringLiteral("LanguagePage"));
}
