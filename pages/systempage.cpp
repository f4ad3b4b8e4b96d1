#include "systempage.h"

#include "errors.h"
#include "tform1.h"

#include <QLineEdit>

SystemPage::SystemPage(TForm1& form, QWidget* parent) : QWidget(parent), m_form(form) {
    setObjectName(QStringLiteral("SystemPage"));
    Edit22 = new QLineEdit(QStringLiteral("100"), this);
    Edit22->setObjectName(QStringLiteral("Edit22"));
}

int SystemPage::waitTime() const {
    return rfid::StrToInt(Edit22->text());
}
