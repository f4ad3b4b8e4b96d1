#include "outputformatpage.h"

#include "tform1.h"

OutputFormatPage::OutputFormatPage(TForm1& form, QWidget* parent) : QWidget(parent), m_form(form) {
    setObjectName(QStringLiteral("OutputFormatPage"));
}
