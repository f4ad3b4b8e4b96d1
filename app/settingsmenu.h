// The "Settings" menu: every setting of the three keyboard-reader pages saved to
// and loaded from a settings file, written to the reader in one go, read back
// into the controls, and checked against the reader.
#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

class QAction;
class QMenu;
class TForm1;

namespace rfid {
struct ReaderSettings;
struct ReadBack;
} // namespace rfid

class SettingsMenu : public QObject {
    Q_OBJECT
public:
    explicit SettingsMenu(TForm1& form);

    QMenu* menu = nullptr;           // "Settings"
    QAction* saveToFile = nullptr;   // "Save settings to file…"
    QAction* loadFromFile = nullptr; // "Load settings from file…"
    QAction* writeAll = nullptr;     // "Write all to reader"
    QAction* readAll = nullptr;      // "Read all from reader"
    QAction* check = nullptr;        // "Check reader against settings"

    // What the items do once a file is chosen (tests call these directly).
    void saveSettings(const QString& path);
    void loadSettings(const QString& path);
    void writeAllToReader();
    void readAllFromReader();
    void checkReader();

    // The settings the three pages hold; a byte field or name the reader
    // cannot be given is returned as a fault (then `settings` is to be dropped).
    QString windowSettings(rfid::ReaderSettings& settings) const;
    // Moves the pages' controls to the settings held; others stay.
    void showSettings(const rfid::ReaderSettings& settings);

private:
    // Holds the read-back's reply as the last response; true when the reader
    // reported its settings, otherwise the log says why.
    bool readBack(const rfid::ReadBack& read, const QString& action);
    void compareWithWindow(const rfid::ReaderSettings& window);
    // Our own English lines, broken to the log's width; `end` closes the last.
    void log(const QString& text, const QString& end = {});

    TForm1& m_form;
};
