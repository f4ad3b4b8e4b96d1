#include "stationdialog.h"

#include "dialogs.h"
#include "errorhandling.h"
#include "hidnotices.h"
#include "settingsfile.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QSocketNotifier>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>

namespace rfid {

StationDialog::StationDialog(UsbLibrary& usb, QWidget* parent) : QDialog(parent), m_usb(usb) {
    setObjectName(QStringLiteral("StationDialog"));
    setWindowTitle(tr("Set up readers from file"));
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);

    auto* top = new QVBoxLayout(this);
    m_files = new QLabel(this);
    m_files->setObjectName(QStringLiteral("StationFiles"));
    m_files->setWordWrap(true);
    m_files->setTextInteractionFlags(Qt::TextSelectableByMouse);
    top->addWidget(m_files);
    m_progress = new QLabel(this);
    m_progress->setObjectName(QStringLiteral("StationProgress"));
    m_progress->setWordWrap(true);
    QFont bold = m_progress->font();
    bold.setBold(true);
    m_progress->setFont(bold);
    top->addWidget(m_progress);

    m_table = new QTableWidget(0, ColumnCount, this);
    m_table->setObjectName(QStringLiteral("StationTable"));
    m_table->setHorizontalHeaderLabels(
        {tr("Time"), tr("Device"), tr("Serial"), tr("Version"), tr("Result"), tr("Differences")});
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setWordWrap(true);
    m_table->verticalHeader()->hide();
    QHeaderView* h = m_table->horizontalHeader();
    for (int c : {TimeColumn, DeviceColumn, SerialColumn, VersionColumn})
        h->setSectionResizeMode(c, QHeaderView::ResizeToContents);
    h->setSectionResizeMode(ResultColumn, QHeaderView::Interactive);
    m_table->setColumnWidth(ResultColumn, 260);
    h->setSectionResizeMode(DifferencesColumn, QHeaderView::Stretch);
    top->addWidget(m_table, 1);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    m_stop = new QPushButton(tr("Stop"), this);
    m_stop->setObjectName(QStringLiteral("StationStopButton"));
    m_stop->setAutoDefault(false);
    buttons->addWidget(m_stop);
    auto* close = new QPushButton(tr("Close"), this);
    close->setObjectName(QStringLiteral("StationCloseButton"));
    close->setAutoDefault(false);
    buttons->addWidget(close);
    top->addLayout(buttons);

    connect(m_stop, &QPushButton::clicked, this, &StationDialog::stop);
    connect(close, &QPushButton::clicked, this, &QDialog::close);

    // Readers coming and going are noticed through the library's monitor
    // descriptor; a look every two seconds covers a library without one and
    // any notice that got lost.
    m_rescan = new QTimer(this);
    m_rescan->setInterval(2000);
    connect(m_rescan, &QTimer::timeout, this, &StationDialog::lookNow);
    resize(900, 420);
    updateProgress();
}

StationDialog::~StationDialog() {
    if (m_station) {
        m_station->finish();
        if (m_restoreChoice)
            m_restoreChoice();
    }
}

bool StationDialog::start(const QString& settingsPath, const QString& csvPath, QString& error) {
    if (m_station) {
        error = tr("The station is running already.");
        return false;
    }
    ReaderSettings wanted;
    if (!loadSettingsFile(settingsPath, wanted, error)) {
        error += tr("; no reader was touched");
        return false;
    }
    if (wanted.isEmpty()) {
        error = tr("%1 holds no settings; no reader was touched").arg(settingsPath);
        return false;
    }
    StationLog log;
    if (!log.open(csvPath, error, settingsPath)) {
        error += tr("; no reader was touched");
        return false;
    }
    auto station = std::make_unique<Station>(m_usb, wanted, &m_log);
    station->setNotice(m_notice);
    if (!station->canListReaders(error))
        return false;
    m_log = std::move(log);
    m_station = std::move(station);
    m_station->setStepObserver([this](const ReaderEntry& r, const QString& step) {
        updateProgress(tr("Now: %1, %2.").arg(r.label(), step));
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    });
    m_station->setRowObserver([this](const StationRow& row) { addRow(row); });
    m_files->setText(
        tr("Settings from %1. Results to %2.")
            .arg(QFileInfo(settingsPath).absoluteFilePath(), QFileInfo(csvPath).absoluteFilePath()));

    const int fd = m_usb.monitorFd();
    if (fd >= 0) {
        m_notifier = new QSocketNotifier(qintptr(fd), QSocketNotifier::Read, this);
        connect(m_notifier, &QSocketNotifier::activated, this, [this] {
            m_usb.monitorDrain();
            lookNow();
        });
    } else {
        rfid::watchHidDevices(this, [this] { lookNow(); });
    }
    m_rescan->start();
    m_stop->setEnabled(true);
    QTimer::singleShot(0, this, &StationDialog::lookNow);
    updateProgress();
    return true;
}

void StationDialog::lookNow() {
    // A look runs exchanges that let events through (the progress line); one at a time.
    if (!m_station || m_looking)
        return;
    m_looking = true;
    // One reader per look: between readers the window takes clicks (Stop).
    const QList<StationRow> rows = m_station->poll([this] { return m_stopRequested; }, 1);
    m_looking = false;
    if (m_stopRequested) {
        stop();
        return;
    }
    if (!rows.isEmpty())
        QTimer::singleShot(0, this, &StationDialog::lookNow);
    if (m_station && m_station->stoppedByLogError()) {
        const QString why = m_station->logError();
        stop();
        showError(tr("The station stopped: %1").arg(why));
        return;
    }
    updateProgress();
}

void StationDialog::stop() {
    if (!m_station)
        return;
    m_stopRequested = true;
    if (m_looking)
        return; // the reader in progress is finished first; the look then stops
    m_stopRequested = false;
    delete m_notifier;
    m_notifier = nullptr;
    rfid::watchHidDevices(this, {});
    m_rescan->stop();
    m_station->finish();
    if (m_restoreChoice)
        m_restoreChoice();
    const QString last = m_station->progressLine();
    m_station.reset();
    m_log = StationLog();
    m_stop->setEnabled(false);
    m_progress->setText(tr("Stopped. %1").arg(last));
}

QString StationDialog::progressText() const {
    return m_progress->text();
}

void StationDialog::updateProgress(const QString& activity) {
    if (!m_station) {
        if (m_progress->text().isEmpty())
            m_progress->setText(tr("Not started."));
        return;
    }
    m_progress->setText(m_station->progressLine() + QLatin1Char(' ') +
                        (activity.isEmpty() ? tr("Waiting for the next reader.") : activity));
}

void StationDialog::addRow(const StationRow& row) {
    const int r = m_table->rowCount();
    m_table->insertRow(r);
    const QString texts[ColumnCount] = {
        row.time.toString(QStringLiteral("hh:mm:ss")), row.path, row.serial, row.version, row.result,
        row.differences.join(QLatin1Char('\n'))};
    for (int c = 0; c < ColumnCount; ++c) {
        auto* item = new QTableWidgetItem(texts[c]);
        item->setToolTip(texts[c]);
        if (c == ResultColumn)
            item->setForeground(row.success ? QColor(0x00, 0x70, 0x00) : QColor(0xB0, 0x00, 0x00));
        m_table->setItem(r, c, item);
    }
    m_table->resizeRowToContents(r);
    m_table->scrollToBottom();
    updateProgress();
}

void StationDialog::closeEvent(QCloseEvent* event) {
    if (m_looking) {
        // Not in the middle of a reader: close once it is done.
        m_stopRequested = true;
        event->ignore();
        QTimer::singleShot(0, this, &QDialog::close);
        return;
    }
    stop();
    QDialog::closeEvent(event);
}

StationDialog* showStationSetup(UsbLibrary& usb, QWidget* parent, std::function<void()> restoreChoice,
                                std::function<void(const QString&)> notice) {
    const QString settings = askOpenFileName(parent, QObject::tr("Set up readers from file"),
                                             QObject::tr("Settings files (*.json);;All files (*)"));
    if (settings.isEmpty())
        return nullptr;
    const QString csv = askSaveFileName(parent, QObject::tr("Results of the set-up station"),
                                        QObject::tr("CSV files (*.csv);;All files (*)"));
    if (csv.isEmpty())
        return nullptr;
    auto* dialog = new StationDialog(usb, parent);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setRestoreChoice(std::move(restoreChoice));
    dialog->setReaderNotice(std::move(notice));
    QString error;
    if (!dialog->start(settings, csv, error)) {
        delete dialog;
        showError(error);
        return nullptr;
    }
    dialog->show();
    dialog->raise();
    return dialog;
}

} // namespace rfid
