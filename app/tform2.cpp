#include "tform2.h"

#include <QFrame>
#include <QLabel>

namespace {
// The dialog measures 448 x 261 with its frame; as on the main window, the
// frame takes about 4 pixels on each side and the caption about 30.
constexpr int kOuterWidth = 448;
constexpr int kOuterHeight = 261;
constexpr int kFrame = 4;
constexpr int kCaption = 30;
} // namespace

TForm2::TForm2(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("Form2"));
    setWindowTitle(QStringLiteral("RFID"));
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    setFixedSize(kOuterWidth - 2 * kFrame, kOuterHeight - kCaption - kFrame);

    auto* panel = new QFrame(this);
    panel->setObjectName(QStringLiteral("Panel1"));
    panel->setFrameShape(QFrame::NoFrame);
    panel->setGeometry(32, 18, 377, 170);

    // The label lives on the panel; its place is counted from the panel's corner.
    Label1 = new QLabel(QStringLiteral("Output format setting          "), panel);
    Label1->setObjectName(QStringLiteral("Label1"));
    QFont f = Label1->font();
    f.setPixelSize(24);
    Label1->setFont(f);
    Label1->move(48, 56);
    Label1->adjustSize();
}
