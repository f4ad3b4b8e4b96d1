#include "systempage.h"

#include "tform1.h"

SystemPage::SystemPage(TForm1& form, QWidget* parent) : QWidget(parent), m_form(form) {
    setObjectName(QStringLiteral("SystemPage"));
}
