#include "settingsmenu.h"

#include "dialogs.h"
#include "errorhandling.h"
#include "hex.h"
#include "languagepage.h"
#include "outputformatpage.h"
#include "readermodepage.h"
#include "readersettings.h"
#include "readertables.h"
#include "settingsfile.h"
#include "status.h"
#include "tform1.h"
#include "writeflow.h"

#include <QAction>
#include <QFileInfo>
#include <QMenu>
#include <QMenuBar>

namespace {

const QString kFileFilter = QStringLiteral("Settings files (*.json);;All files (*)");

// The settings the reader does not report, as the log names them.
const QString kNotReported = QStringLiteral("reader mode, Bluetooth mode, Bluetooth name, sleep time");

// The blanks, time stamp and line break that end a log line.
QString lineEnd() {
    return QStringLiteral("   ") + rfid::timeStamp() + QStringLiteral("\r\n");
}

// Why a command did not succeed, in the window's words, for the write-all and
// read-back lines (the reader's reason follows on a line of its own).
QString failureText(rfid::LinkFailure failure) {
    switch (failure) {
    case rfid::LinkFailure::Refused:
        return QStringLiteral("the reader refused it");
    case rfid::LinkFailure::Damaged:
        return QStringLiteral("the reader's answer was damaged");
    default:
        return QStringLiteral("no answer from the reader");
    }
}

// Why a write stopped, with a refusal's reason in the window's words (the
// reader's own, as falsereason gives it) rather than core's English.
QString windowWhy(const rfid::WriteOutcome& w) {
    if (w.reply.failure != rfid::LinkFailure::Refused)
        return w.why;
    const QString code =
        QStringLiteral("%1").arg(w.reply.answer.errorCode, 2, 16, QLatin1Char('0')).toUpper();
    const QString reason = rfid::falsereason(code);
    return QStringLiteral("the reader refused it (error %1%2)")
        .arg(code, reason.isEmpty() ? QString() : QStringLiteral(": ") + reason);
}

} // namespace

SettingsMenu::SettingsMenu(TForm1& form) : QObject(&form), m_form(form) {
    setObjectName(QStringLiteral("SettingsMenu"));
    menu = form.menuBar()->addMenu(QStringLiteral("Settings"));
    menu->setObjectName(QStringLiteral("NSettings"));
    auto item = [this](const char* name, const QString& caption, void (SettingsMenu::*handler)()) {
        QAction* a = menu->addAction(caption);
        a->setObjectName(QLatin1String(name));
        connect(a, &QAction::triggered, this,
                [this, handler] { rfid::runGuarded([&] { (this->*handler)(); }); });
        return a;
    };
    auto askSave = [this] {
        QString path = rfid::askSaveFileName(&m_form, QStringLiteral("Save settings to file"), kFileFilter);
        // A new name without a suffix gets the settings files' one; an existing
        // file is taken as it was chosen.
        if (!path.isEmpty() && QFileInfo(path).suffix().isEmpty() && !QFileInfo::exists(path))
            path += QStringLiteral(".json");
        if (!path.isEmpty())
            saveSettings(path);
    };
    auto askLoad = [this] {
        const QString path =
            rfid::askOpenFileName(&m_form, QStringLiteral("Load settings from file"), kFileFilter);
        if (!path.isEmpty())
            loadSettings(path);
    };
    saveToFile = menu->addAction(QStringLiteral("Save settings to file…"));
    saveToFile->setObjectName(QStringLiteral("NSettingsSave"));
    connect(saveToFile, &QAction::triggered, this, [askSave] { rfid::runGuarded(askSave); });
    loadFromFile = menu->addAction(QStringLiteral("Load settings from file…"));
    loadFromFile->setObjectName(QStringLiteral("NSettingsLoad"));
    connect(loadFromFile, &QAction::triggered, this, [askLoad] { rfid::runGuarded(askLoad); });
    menu->addSeparator();
    writeAll =
        item("NSettingsWriteAll", QStringLiteral("Write all to reader"), &SettingsMenu::writeAllToReader);
    readAll =
        item("NSettingsReadAll", QStringLiteral("Read all from reader"), &SettingsMenu::readAllFromReader);
    check =
        item("NSettingsCheck", QStringLiteral("Check reader against settings"), &SettingsMenu::checkReader);
}

void SettingsMenu::log(const QString& text, const QString& end) {
    m_form.addFittedLine(text, end);
}

QString SettingsMenu::windowSettings(rfid::ReaderSettings& s) const {
    rfid::ReaderSettings collected;
    for (const QString& fault : {m_form.outputFormatPage()->collectSettings(collected),
                                 m_form.languagePage()->collectSettings(collected),
                                 m_form.readerModePage()->collectSettings(collected)}) {
        if (!fault.isEmpty())
            return fault;
    }
    s = collected;
    return {};
}

void SettingsMenu::showSettings(const rfid::ReaderSettings& s) {
    m_form.outputFormatPage()->showSettings(s);
    m_form.languagePage()->showSettings(s);
    m_form.readerModePage()->showSettings(s);
}

void SettingsMenu::saveSettings(const QString& path) {
    rfid::ReaderSettings s;
    QString fault = windowSettings(s);
    if (!fault.isEmpty()) {
        // The page's texts say what was not sent; here nothing is saved.
        const QString sent = QStringLiteral("; nothing was sent.");
        if (fault.endsWith(sent))
            fault.chop(sent.size());
        else if (fault.endsWith(QLatin1Char('.')))
            fault.chop(1);
        rfid::showError(fault + QStringLiteral("; the settings were not saved."));
        return;
    }
    QString error;
    if (!rfid::saveSettingsFile(path, s, error)) {
        rfid::showError(error);
        return;
    }
    log(QStringLiteral("Settings saved to ") + path, lineEnd());
}

void SettingsMenu::loadSettings(const QString& path) {
    rfid::ReaderSettings s;
    QString error;
    if (!rfid::loadSettingsFile(path, s, error)) {
        rfid::showError(error);
        return;
    }
    showSettings(s);
    log(QStringLiteral("Settings loaded from ") + path + QStringLiteral(" (not sent yet)"), lineEnd());
}

void SettingsMenu::writeAllToReader() {
    rfid::ReaderSettings s;
    const QString fault = windowSettings(s);
    if (!fault.isEmpty()) {
        log(fault, lineEnd());
        return;
    }
    // Each step is reported with its page's own texts, as the page's button
    // reports it.
    rfid::WriteObserver observer;
    observer.after = [this, &s](int, const rfid::WriteStep& step, const rfid::LinkReply& reply) {
        m_form.takeReply(reply, true);
        const rfid::Answer& answer = reply.answer;
        QString mode;
        switch (step.kind) {
        case rfid::WriteStep::Language:
            m_form.reportStep(answer, LanguagePage::setTexts());
            break;
        case rfid::WriteStep::OutputSettings:
            m_form.reportStep(answer, OutputFormatPage::setTexts());
            break;
        case rfid::WriteStep::ReaderMode:
        case rfid::WriteStep::BluetoothMode: {
            const rfid::ModeChoice* choice = step.kind == rfid::WriteStep::ReaderMode
                                                 ? rfid::readerModeByCode(s.readerMode.value_or(0))
                                                 : rfid::bluetoothModeByCode(s.bluetoothMode.value_or(0xFF));
            mode = choice ? QString::fromUtf8(choice->reportName) : QString();
            m_form.reportStep(answer, ReaderModePage::modeTexts(mode),
                              [mode] { return ReaderModePage::modeSuccess(mode); });
            break;
        }
        case rfid::WriteStep::BluetoothName:
            m_form.reportStep(answer, ReaderModePage::bluetoothNameTexts());
            break;
        case rfid::WriteStep::SleepTime:
            m_form.reportStep(answer, ReaderModePage::sleepTimeTexts());
            break;
        }
    };
    m_form.prepareLink();
    rfid::WriteOptions options;
    options.verify = false; // the check below says it in the window's words
    const rfid::WriteOutcome w = rfid::writeSettings(m_form.readerLink(), s, options, observer);
    if (w.stoppedIn == rfid::WriteStage::Prepare) {
        log(windowWhy(w), lineEnd());
        return;
    }
    if (w.stoppedIn != rfid::WriteStage::Done) {
        log(rfid::writeStoppedText(w.steps, w.written, failureText(w.reply.failure)), lineEnd());
        return;
    }
    log(QStringLiteral("Write all: ") + w.steps.join(QStringLiteral(", ")) + QStringLiteral(" written"),
        lineEnd());
    compareWithWindow(s);
}

bool SettingsMenu::readBack(const rfid::ReadBack& read, const QString& action) {
    m_form.takeReply(read.reply, true);
    if (read.settings)
        return true;
    const QString why = read.reply.ok()
                            ? QStringLiteral("the reader's answer was too short to hold its settings")
                            : failureText(read.failure());
    if (read.failure() == rfid::LinkFailure::Refused) {
        log(action + QStringLiteral(": ") + why, QStringLiteral("   ") + rfid::timeStamp());
        const std::uint8_t code = read.reply.answer.errorCode;
        m_form.addLine(rfid::falsereason(rfid::toHex(&code, 1)) + QStringLiteral("\r\n")); // fixed text
    } else {
        log(action + QStringLiteral(": ") + why, lineEnd());
    }
    return false;
}

void SettingsMenu::readAllFromReader() {
    m_form.prepareLink();
    const rfid::ReadBack read = rfid::readBack(m_form.readerLink());
    if (!readBack(read, QStringLiteral("Read all")))
        return;
    rfid::ReaderSettings reader = *read.settings;
    // A code the window has no control for is left alone and named.
    for (rfid::SettingKey key : rfid::allSettingKeys()) {
        if (rfid::holds(reader, key) && !rfid::hasNamedValue(reader, key)) {
            log(rfid::keyName(key) + QStringLiteral(": the reader has ") + rfid::valueText(reader, key) +
                QStringLiteral(", which the window cannot show; left as it is"));
            rfid::clear(reader, key);
        }
    }
    showSettings(reader);
    log(QStringLiteral(
            "Read all: the keyboard language and output settings now show what the reader holds. Not "
            "read (the reader does not report them): ") +
            kNotReported,
        lineEnd());
}

void SettingsMenu::checkReader() {
    rfid::ReaderSettings window;
    const QString fault = windowSettings(window);
    if (!fault.isEmpty()) {
        log(fault, lineEnd());
        return;
    }
    compareWithWindow(window);
}

void SettingsMenu::compareWithWindow(const rfid::ReaderSettings& window) {
    m_form.prepareLink();
    const rfid::CheckOutcome check =
        rfid::checkSettings(m_form.readerLink(), window, QStringLiteral("the window"));
    if (!readBack(check.read, QStringLiteral("Check")))
        return;
    for (const QString& line : check.differences)
        log(line);
    if (check.differences.isEmpty())
        log(QStringLiteral("Check: the reader agrees with the window"));
    log(QStringLiteral("Not checked (the reader does not report them): ") + kNotReported, lineEnd());
}
