#include "readermodepage.h"

#include "tform1.h"

ReaderModePage::ReaderModePage(TForm1& form, QWidget* parent) : QWidget(parent), m_form(form) {
    setObjectName(QStringLiteral("ReaderModePage"));
}
