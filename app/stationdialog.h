// "Set up readers from file": the set-up station in a window. Each reader
// plugged in is written from a settings file, checked, and logged as one CSV
// row; a progress line counts them; Stop ends it.
#pragma once

#include "station.h"

#include <QDialog>
#include <functional>
#include <memory>

class QLabel;
class QPushButton;
class QSocketNotifier;
class QTableWidget;
class QTimer;

namespace rfid {

class StationDialog : public QDialog {
    Q_OBJECT
public:
    enum Column {
        TimeColumn,
        DeviceColumn,
        SerialColumn,
        VersionColumn,
        ResultColumn,
        DifferencesColumn,
        ColumnCount
    };

    StationDialog(UsbLibrary& usb, QWidget* parent);
    ~StationDialog() override;

    // Starts the station. Refuses, before any reader is touched, a settings
    // file that cannot be read or holds nothing, a results file that cannot be
    // written, and a USB library that cannot list readers: false with `error`.
    bool start(const QString& settingsPath, const QString& csvPath, QString& error);
    // Stops after the reader in progress; the results file holds every reader done.
    void stop();
    bool isRunning() const { return m_station != nullptr; }
    // One look at the readers now (what a plug notice triggers): sets up the
    // next reader not done yet, and looks again at once when there was one.
    void lookNow();

    QTableWidget* table() const { return m_table; }
    QString progressText() const;
    // Called when the station stops: the station chooses each reader in turn,
    // so the window puts its own choice back.
    void setRestoreChoice(std::function<void()> restore) { m_restoreChoice = std::move(restore); }
    // Where the notice goes that a reader left switched was set back as the
    // station took it; standard error unless set. Set before start().
    void setReaderNotice(std::function<void(const QString&)> notice) { m_notice = std::move(notice); }

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void addRow(const StationRow& row);
    void updateProgress(const QString& activity = {});

    UsbLibrary& m_usb;
    StationLog m_log;
    std::unique_ptr<Station> m_station;
    QLabel* m_files = nullptr;
    QLabel* m_progress = nullptr;
    QTableWidget* m_table = nullptr;
    QPushButton* m_stop = nullptr;
    QSocketNotifier* m_notifier = nullptr;
    QTimer* m_rescan = nullptr;
    bool m_looking = false;
    bool m_stopRequested = false;
    std::function<void()> m_restoreChoice;
    std::function<void(const QString&)> m_notice;
};

// Asks for the settings file and the results file, then opens the station;
// a refusal is shown as an error and touches no reader.
// `restoreChoice` puts the window's reader choice back when the station stops;
// `notice` takes the notice that a reader left switched was set back.
StationDialog* showStationSetup(UsbLibrary& usb, QWidget* parent, std::function<void()> restoreChoice = {},
                                std::function<void(const QString&)> notice = {});

} // namespace rfid
