#include "iso15693page.h"

#include "tform1.h"

Iso15693Page::Iso15693Page(TForm1& form, QWidget* parent) : QWidget(parent), m_form(form) {
    setObjectName(QStringLiteral("Iso15693Page"));
}
