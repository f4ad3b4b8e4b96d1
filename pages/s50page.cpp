#include "s50page.h"

#include "tform1.h"

S50Page::S50Page(TForm1& form, QWidget* parent) : QWidget(parent), m_form(form) {
    setObjectName(QStringLiteral("S50Page"));
}
