#include "iso14443bpage.h"

#include "tform1.h"

Iso14443bPage::Iso14443bPage(TForm1& form, QWidget* parent) : QWidget(parent), m_form(form) {
    setObjectName(QStringLiteral("Iso14443bPage"));
}
