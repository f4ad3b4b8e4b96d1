// The application's general error handling: an error raised by a handler ends
// that handler and its text is shown in a message box.
#pragma once

#include <QApplication>
#include <QString>
#include <functional>

namespace rfid {

// Runs `handler`; an exception it raises is caught here and shown.
void runGuarded(const std::function<void()>& handler);

// Shows an error text: a message box titled "RFID",
// or whatever a test installed with setErrorSink.
void showError(const QString& text);

// Replaces the message box (tests record the texts instead). Pass {} to restore.
void setErrorSink(std::function<void(const QString&)> sink);

// Backstop for anything raised inside event delivery that no guard caught.
class RfidApplication : public QApplication {
public:
    RfidApplication(int& argc, char** argv);
    bool notify(QObject* receiver, QEvent* event) override;
};

} // namespace rfid
