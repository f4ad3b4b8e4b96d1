#include "ultralightpage.h"

#include "tform1.h"

UltralightPage::UltralightPage(TForm1& form, QWidget* parent) : QWidget(parent), m_form(form) {
    setObjectName(QStringLiteral("UltralightPage"));
}
