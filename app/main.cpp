#include "errorhandling.h"
#include "tform1.h"
#include "tform2.h"

#include <QScreen>

int main(int argc, char** argv) {
    rfid::RfidApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("rfid-demo"));
    QApplication::setDesktopFileName(QStringLiteral("rfid-demo"));
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setFamilies({QStringLiteral("DejaVu Sans"), QStringLiteral("WenQuanYi Zen Hei")});
    font.setPixelSize(11);
    QApplication::setFont(font);

    TForm1 form;
    // The help dialog exists, hidden, from the start.
    form.Form2 = new TForm2(&form);
    // Centred on the screen when first shown.
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        form.move(area.center() - QPoint(858 / 2, 651 / 2));
    }
    form.show();
    return app.exec();
}
