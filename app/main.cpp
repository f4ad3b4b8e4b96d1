#include "errorhandling.h"
#include "simlibrary.h"
#include "tform1.h"
#include "tform2.h"

#include <QMessageBox>
#include <QScreen>

int main(int argc, char** argv) {
    rfid::RfidApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("rfid-demo"));
    QApplication::setDesktopFileName(QStringLiteral("rfid-demo"));
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setFamilies({QStringLiteral("DejaVu Sans"), QStringLiteral("WenQuanYi Zen Hei")});
    font.setPixelSize(11);
    QApplication::setFont(font);

    // --sim: the simulated reader instead of a USB reader (the Start menu's
    // "RFID (simulated reader)"). Loaded by its full path; when it is missing the
    // window does not start, rather than talk to a real reader unasked.
    QString usbLibrary = rfid::UsbLibrary::defaultFileName();
    if (QApplication::arguments().contains(QStringLiteral("--sim"))) {
        usbLibrary = rfid::simulatedReaderLibrary(QApplication::applicationDirPath());
        if (usbLibrary.isEmpty()) {
            QMessageBox::critical(
                nullptr, QStringLiteral("rfid-demo"),
                QStringLiteral("The simulated reader's library was not found beside the program."));
            return 1;
        }
    }
    TForm1 form(nullptr, usbLibrary);
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
