#include "errorhandling.h"

#include "errors.h"

#include <QMessageBox>
#include <exception>

namespace rfid {

namespace {
std::function<void(const QString&)>& sink() {
    static std::function<void(const QString&)> s;
    return s;
}

template <typename F> bool catchAndShow(F&& f) {
    try {
        f();
        return true;
    } catch (const RfidError& e) {
        showError(e.text());
    } catch (const std::exception& e) {
        showError(QString::fromLocal8Bit(e.what()));
    }
    return false;
}
} // namespace

void setErrorSink(std::function<void(const QString&)> s) {
    sink() = std::move(s);
}

void showError(const QString& text) {
    if (sink()) {
        sink()(text);
        return;
    }
    QMessageBox::critical(QApplication::activeWindow(), QStringLiteral("RFID"), text);
}

void runGuarded(const std::function<void()>& handler) {
    catchAndShow(handler);
}

RfidApplication::RfidApplication(int& argc, char** argv) : QApplication(argc, argv) {}

bool RfidApplication::notify(QObject* receiver, QEvent* event) {
    bool result = false;
    catchAndShow([&] { result = QApplication::notify(receiver, event); });
    return result;
}

} // namespace rfid
