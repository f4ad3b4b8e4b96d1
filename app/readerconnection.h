// The window's view of the readers: the "Reader" menu that lists them and chooses
// one, the connection indicator at the right end of the status bar, kept up to
// date from the USB library's monitor descriptor, and the connection check.
#pragma once

#include "usblink.h"

#include <QList>
#include <QObject>
#include <QString>

class QActionGroup;
class QLabel;
class QMainWindow;
class QMenu;
class QSocketNotifier;
class QStatusBar;
class QTimer;

class ReaderConnection : public QObject {
    Q_OBJECT
public:
    enum class State { Unknown, Connected, NoReader, NoAccess, Busy };

    // Adds the menu to the window's menu bar and the indicator to `statusBar`,
    // after what is there already.
    ReaderConnection(QMainWindow& window, QStatusBar& statusBar, rfid::UsbLibrary& library);

    State state() const { return m_state; }
    // "connected reader", "no reader", "no access", "busy", "unknown".
    QString stateText() const;
    QLabel* indicator() const { return m_indicator; }
    QMenu* menu() const { return m_menu; }
    const QList<rfid::ReaderEntry>& readers() const { return m_readers; }
    // The reader the exchanges go to: its key, empty while the choice is automatic.
    QString chosenKey() const { return m_chosen; }

    // Chooses a reader by key (serial or path; empty: the first one).
    bool choose(const QString& key);
    // Lists the readers again and updates the menu and the indicator.
    void refresh();
    // After an exchange: what the library said about it updates the indicator.
    void afterExchange(bool answered);
    // Runs the connection check and returns its findings as text.
    QString connectionCheckText();
    // "Connection check…": the findings in a dialog.
    void showConnectionCheck();

private:
    void rebuildMenu();
    void setState(State state, const QString& detail);
    void monitorActivated();

    QMainWindow& m_window;
    rfid::UsbLibrary& m_library;
    QMenu* m_menu = nullptr;
    QActionGroup* m_group = nullptr;
    QLabel* m_indicator = nullptr;
    QSocketNotifier* m_notifier = nullptr;
    QTimer* m_settle = nullptr;
    QList<rfid::ReaderEntry> m_readers;
    bool m_listed = false; // the library can list readers
    QString m_chosen;
    State m_state = State::Unknown;
};
