#include "settingsmenu.h"

#include "dialogs.h"
#include "errorhandling.h"
#include "languagepage.h"
#include "outputformatpage.h"
#include "readermodepage.h"
#include "readersettings.h"
#include "settingsfile.h"
#include "status.h"
#include "tform1.h"

#include <QAction>
#include <QMenu>
#include <QMenuBar>

namespace {

constexpr int kWaitMs = 300;

const QString kFileFilter = QStringLiteral("Settings files (*.json);;All files (*)");

// The settings the reader does not report, as the log names them.
const QString kNotReported = QStringLiteral("reader mode, Bluetooth mode, Bluetooth name, sleep time");

// The blanks, time stamp and line break that end a log line.
QString lineEnd() {
    return QStringLiteral("   ") + rfid::timeStamp() + QStringLiteral("\r\n");
}

// Why an answer is not a success, for the write-all and read-back lines.
QString failureText(const rfid::Answer& a) {
    switch (a.status) {
    case rfid::AnswerStatus::NoAnswer:
        return QStringLiteral("no answer from the reader");
    case rfid::AnswerStatus::Refused:
        return QStringLiteral("the reader refused it");
    default:
        return QStringLiteral("the reader's answer was damaged");
    }
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
        const QString path =
            rfid::askSaveFileName(&m_form, QStringLiteral("Save settings to file"), kFileFilter);
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

void SettingsMenu::log(const QString& text) {
    m_form.addLine(text);
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
    log(QStringLiteral("Settings saved to ") + path + lineEnd());
}

void SettingsMenu::loadSettings(const QString& path) {
    rfid::ReaderSettings s;
    QString error;
    if (!rfid::loadSettingsFile(path, s, error)) {
        rfid::showError(error);
        return;
    }
    showSettings(s);
    log(QStringLiteral("Settings loaded from ") + path + QStringLiteral(" (not sent yet)") + lineEnd());
}

void SettingsMenu::writeAllToReader() {
    rfid::ReaderSettings s;
    const QString fault = windowSettings(s);
    if (!fault.isEmpty()) {
        log(fault + lineEnd());
        return;
    }
    // The pages' own buttons, in the order settings files are written, each
    // with its own report lines.
    struct Step {
        QString what;
        std::function<void()> click;
    };
    ReaderModePage* mode = m_form.readerModePage();
    const Step steps[] = {
        {QStringLiteral("keyboard language"), [this] { m_form.languagePage()->Button27Click(); }},
        {QStringLiteral("output settings"), [this] { m_form.outputFormatPage()->Button24Click(); }},
        {QStringLiteral("reader mode"), [mode] { mode->Button69Click(); }},
        {QStringLiteral("Bluetooth mode"), [mode] { mode->Button35Click(); }},
        {QStringLiteral("Bluetooth name"), [mode] { mode->Button41Click(); }},
        {QStringLiteral("sleep time"), [mode] { mode->Button30Click(); }},
    };
    QStringList names;
    for (const Step& step : steps)
        names << step.what;
    for (int i = 0; i < names.size(); ++i) {
        steps[i].click();
        const rfid::Answer a = rfid::parseAnswer(m_form.lastResponse);
        if (a.status != rfid::AnswerStatus::Success) {
            log(rfid::writeStoppedText(names, i, failureText(a)) + lineEnd());
            return;
        }
    }
    log(QStringLiteral("Write all: ") + names.join(QStringLiteral(", ")) + QStringLiteral(" written") +
        lineEnd());
    compareWithWindow(s);
}

bool SettingsMenu::readBack(rfid::ReaderSettings& settings, const QString& action) {
    m_form.Send(rfid::readSettingsCommand());
    m_form.Delay(kWaitMs);
    const rfid::Answer a = rfid::parseAnswer(m_form.lastResponse);
    std::optional<rfid::ReaderSettings> got;
    if (a.status == rfid::AnswerStatus::Success)
        got = rfid::decodeReadBack(a.payload);
    if (!got) {
        const QString why = a.status == rfid::AnswerStatus::Success
                                ? QStringLiteral("the reader's answer was too short to hold its settings")
                                : failureText(a);
        if (a.status == rfid::AnswerStatus::Refused) {
            log(action + QStringLiteral(": ") + why + QStringLiteral("   ") + rfid::timeStamp());
            const QString code = QStringLiteral("%1").arg(a.errorCode, 2, 16, QLatin1Char('0')).toUpper();
            log(rfid::falsereason(code) + QStringLiteral("\r\n"));
        } else {
            log(action + QStringLiteral(": ") + why + lineEnd());
        }
        return false;
    }
    settings = *got;
    return true;
}

void SettingsMenu::readAllFromReader() {
    rfid::ReaderSettings reader;
    if (!readBack(reader, QStringLiteral("Read all")))
        return;
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
        kNotReported + lineEnd());
}

void SettingsMenu::checkReader() {
    rfid::ReaderSettings window;
    const QString fault = windowSettings(window);
    if (!fault.isEmpty()) {
        log(fault + lineEnd());
        return;
    }
    compareWithWindow(window);
}

void SettingsMenu::compareWithWindow(const rfid::ReaderSettings& window) {
    rfid::ReaderSettings reader;
    if (!readBack(reader, QStringLiteral("Check")))
        return;
    const QStringList differences = rfid::compareSettings(reader, window, QStringLiteral("the window"));
    for (const QString& line : differences)
        log(line);
    if (differences.isEmpty())
        log(QStringLiteral("Check: the reader agrees with the window"));
    log(QStringLiteral("Not checked (the reader does not report them): ") + kNotReported + lineEnd());
}
