// Reader mode page: reader mode, Bluetooth, sleep time, buzzer, factory settings, version.
#pragma once

#include "report.h"
#include <QByteArray>

#include <QString>
#include <QWidget>
#include <cstdint>

class QComboBox;
class QFrame;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class PageHost;

namespace rfid {
struct ReaderSettings;
}

class ReaderModePage : public QWidget {
    Q_OBJECT
public:
    ReaderModePage(PageHost& host, QWidget* parent);

    // "Reader mode switch"
    QGroupBox* GroupBox36 = nullptr;
    QRadioButton* RadioButton32 = nullptr; // "Key trigger mode         "
    QRadioButton* RadioButton54 = nullptr; // "Active read single     "
    QRadioButton* RadioButton55 = nullptr; // "Active read continuity  "
    QPushButton* Button69 = nullptr;

    // "Bluetooth mode switching"
    QGroupBox* GroupBox32 = nullptr;
    QRadioButton* RadioButton56 = nullptr; // "Hid mode"
    QRadioButton* RadioButton57 = nullptr; // "SPP mode"
    QRadioButton* RadioButton58 = nullptr; // "BLE mode"
    QPushButton* Button35 = nullptr;

    // Bluetooth name and sleep time
    QGroupBox* GroupBox35 = nullptr;
    QLineEdit* Edit29 = nullptr;
    QPushButton* Button41 = nullptr;
    QComboBox* ComboBox20 = nullptr;
    QPushButton* Button30 = nullptr;

    // Factory settings and version
    QGroupBox* GroupBox31 = nullptr;
    QPushButton* Button57 = nullptr;
    QPushButton* Button63 = nullptr;

    // "Buzzer control"
    QGroupBox* GroupBox34 = nullptr;
    QPushButton* Button50 = nullptr;
    QPushButton* Button51 = nullptr;

    // "Empty stored data"
    QGroupBox* GroupBox33 = nullptr;
    QPushButton* Button43 = nullptr;

    void Button69Click(); // set reader mode
    void Button35Click(); // set Bluetooth mode
    void Button41Click(); // set Bluetooth name
    void Button30Click(); // set sleep time
    // The report texts of each setting (Write all uses them too): a reader or
    // Bluetooth mode named as its report names it, the Bluetooth name, the sleep time.
    static rfid::CycleTexts modeTexts(const QString& name);
    static QStringList modeSuccess(const QString& name);
    static rfid::CycleTexts bluetoothNameTexts();
    static rfid::CycleTexts sleepTimeTexts();
    void Button57Click(); // factory settings
    void Button63Click(); // read version
    void Button50Click(); // buzzer on
    void Button51Click(); // buzzer off
    void Button43Click(); // clear stored data

    // The bytes the reader receives for a Bluetooth name: GBK on every platform
    // (see rfid::bluetoothNameBytes). Characters the
    // code page lacks become '?'.
    static QByteArray bluetoothNameBytes(const QString& name);

    // Puts the reader mode, Bluetooth mode and name and the sleep time into
    // `settings`. An empty or too long name is a fault: its text is returned
    // (and `settings` is to be dropped).
    QString collectSettings(rfid::ReaderSettings& settings) const;
    // Moves the controls to the settings held in `settings`; others stay.
    void showSettings(const rfid::ReaderSettings& settings);

private:
    struct ModeChoice;
    static const ModeChoice* readerModes();
    static const ModeChoice* bluetoothModes();
    void setMode(const QString& command, QString (*withCode)(std::uint8_t), const ModeChoice* choices,
                 int count);
    void simpleCommand(const QString& command, const QString& success, const QString& failure);

    PageHost& m_host;
};
