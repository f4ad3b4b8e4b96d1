#include "tform2.h"

#include <QFrame>
#include <QLabel>

TForm2::TForm2(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("Form2"));
    setWindowTitle(QStringLiteral("RFID"));
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    setFixedSize(448, 261);

    auto* panel = new QFrame(this);
    panel->setObjectName(QStringLiteral("Panel1"));
    panel->setFrameShape(QFrame::NoFrame);
    panel->setGeometry(32, 18, 377, 170);

    Label1 = new QLabel(QStringLiteral("Output format setting          "), panel);
    Label1->setObjectName(QStringLiteral("Label1"));
    QFont f = Label1->font();
    f.setPixelSize(24);
    Label1->setFont(f);
    Label1->move(16, 38);
    Label1->adjustSize();
}
