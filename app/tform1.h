// The main window: the pages, the message log, menus, status bar, and the
// reader link that every page uses (framing, exchange, waits, reports).
#pragma once

#include "formpagehost.h"
#include "readerlink.h"
#include "report.h"
#include "usblink.h"

#include <QMainWindow>
#include <QString>
#include <functional>

class QAbstractButton;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QMenu;
class QPushButton;
class QRadioButton;
class QStatusBar;
class QTabWidget;
class QTimer;
class ReaderConnection;
class TForm2;

class ReaderModePage;
class LanguagePage;
class SystemPage;
class S50Page;
class UltralightPage;
class Iso14443bPage;
class Iso15693Page;
class OutputFormatPage;
class TComm;
class SendPanel;
class SettingsMenu;

namespace rfid {
class MessageLog;
}

class TForm1 : public QMainWindow {
    Q_OBJECT
public:
    // usbLibrary: the USB library to load, by file name or full path (the
    // simulated reader's for rfid-demo --sim).
    explicit TForm1(QWidget* parent = nullptr,
                    const QString& usbLibrary = rfid::UsbLibrary::defaultFileName());
    ~TForm1() override;

    // --- The reader link, used by every page --------------------------------

    // The last answer as upper-case hex without separators; empty when none.
    // The text of answer(), kept with it wherever an answer is taken.
    QString lastResponse;
    // The last answer as it came, read by the one status rule.
    const rfid::Answer& answer() const { return m_answer; }

    // Frames a command-and-data hex text with the address of `setadd` and
    // exchanges it. A command that cannot be framed is not sent: one log line
    // says why and `lastResponse` stays empty.
    void Send(const QString& command);
    // Exchanges a whole frame given as hex text (other characters are ignored).
    void SendHex(const QString& frame);
    // The link every exchange of the window goes through; the Settings menu's
    // flows use it too and hand each reply to takeReply().
    rfid::ReaderLink& readerLink() { return m_link; }
    // Sets the link's address and debug choice from the window, and forgets the last answer.
    void prepareLink();
    // Holds `reply` as the last response and logs its lines; `exchanged` when a
    // frame went out (the connection indicator learns from it).
    void takeReply(const rfid::LinkReply& reply, bool exchanged);
    // Waits up to `ms` while processing events; returns early once an answer is held.
    void Delay(int ms);
    // Waits `ms` while processing events.
    void Delayy(int ms);

    // Adds one text to the log (line breaks inside it start further lines).
    void addLine(const QString& text);
    // Adds one of our own English messages broken to the log's width.
    void addFittedLine(const QString& text, const QString& end = {});
    // Writes the four-way result report of the last exchange with `texts`.
    // `successEntries`, when given, produces the entries for status 00.
    void report(const rfid::CycleTexts& texts, const std::function<QStringList()>& successEntries = {});
    // The same report for one step of a flow of several, with its answer read
    // as the flow reads it (readAnswer), so the log and the flow agree.
    void reportStep(const rfid::Answer& answer, const rfid::CycleTexts& texts,
                    const std::function<QStringList()>& successEntries = {});
    // Send, Delay, report: one whole command cycle.
    void cycle(const QString& command, int waitMs, const rfid::CycleTexts& texts,
               const std::function<QStringList()>& successEntries = {});

    // Connects a button's click to `handler` through the general error handling.
    void onClick(QAbstractButton* button, std::function<void()> handler);
    // True while a continuous operation driven by `box` should go on.
    bool keepLooping(const QCheckBox* box) const;

    rfid::UsbLibrary& usbLibrary() { return m_usb; }
    // The "Reader" menu, the connection indicator and the connection check.
    ReaderConnection* readerConnection() const { return m_connection; }
    // Puts a notice about the reader in the log: that a reader left switched by
    // a program that died was set back. For the link of every dialog that
    // takes the reader, as for the window's own.
    std::function<void(const QString&)> readerNotice();

    // --- Pages ------------------------------------------------------------
    // What the pages (and the manual send panel) use of the window.
    PageHost& pageHost() { return m_pageHost; }
    ReaderModePage* readerModePage() const { return m_readerMode; }
    LanguagePage* languagePage() const { return m_language; }
    SystemPage* systemPage() const { return m_system; }
    S50Page* s50Page() const { return m_s50; }
    UltralightPage* ultralightPage() const { return m_ultralight; }
    Iso14443bPage* iso14443bPage() const { return m_iso14443b; }
    Iso15693Page* iso15693Page() const { return m_iso15693; }
    OutputFormatPage* outputFormatPage() const { return m_outputFormat; }
    // The "Settings" menu (settingsmenu.cpp).
    SettingsMenu* settingsMenu() const { return m_settingsMenu; }

    // --- Controls of the window ---------------------------------------------
    QTabWidget* PageControl1 = nullptr;
    rfid::MessageLog* RichEdit1 = nullptr;
    QStatusBar* StatusBar1 = nullptr;
    QLabel* statusPanels[4] = {};
    QTimer* Timer1 = nullptr;
    QMenu* popupMenu1() const;

    // Hidden group boxes on the last page.
    QGroupBox* GroupBoxComm = nullptr;  // "通讯信息"
    QGroupBox* GroupBoxSend = nullptr;  // "发送信息"
    QGroupBox* GroupBoxState = nullptr; // "读卡状态切换"
    QComboBox* setadd = nullptr;
    QComboBox* ComboBox2 = nullptr;
    QRadioButton* RadioButton3 = nullptr;
    QRadioButton* RadioButton4 = nullptr;
    QRadioButton* RadioButton19 = nullptr;

    // Serial link, in the hidden group box "通讯信息" (see tform1_serial.cpp).
    TComm* Comm1 = nullptr;
    QComboBox* ComboBox1 = nullptr;
    QPushButton* Button1 = nullptr;
    QPushButton* Button2 = nullptr;
    void Button1Click();
    void Button2Click();
    void ComboBox1Change();
    void ComboBox2Change();
    void Comm1ReceiveData(const unsigned char* buffer, int length);
    void checkcard();
    // Refills the port list with the serial ports that can be opened now.
    // Nothing calls it at start, so the list starts empty.
    void GetCom();

    // Manual send panel, in the hidden group box "发送信息".
    SendPanel* sendPanel = nullptr;
    TForm2* Form2 = nullptr;

    // --- Handlers -----------------------------------------------------------
    void FormCreate();
    void Timer1Timer();
    void PageControl1Change();
    void N4Click();
    void N5Click();
    void N11Click();
    void N12Click();
    void N13Click();
    void N14Click();
    void N51Click();
    void N61Click();

    // What closing the window does after the serial port is closed; the
    // default ends the process at once. Tests replace it.
    void setExitAction(std::function<void()> action) { m_exitAction = std::move(action); }

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void buildMenus();
    void buildToolsMenu();
    void buildStatusBar();
    void buildHiddenGroups(QWidget* page);
    // Holds `answer` as the last answer and its hex text as lastResponse.
    void holdAnswer(rfid::Answer answer);
    // Serial link and manual send panel (their own source file).
    void setupSerial();
    void closeSerialPort();

    rfid::UsbLibrary m_usb;
    rfid::ReaderLink m_link{m_usb};
    rfid::Answer m_answer;
    FormPageHost m_pageHost{*this};
    ReaderConnection* m_connection = nullptr;
    bool m_quitting = false;
    std::function<void()> m_exitAction;

    ReaderModePage* m_readerMode = nullptr;
    LanguagePage* m_language = nullptr;
    SystemPage* m_system = nullptr;
    S50Page* m_s50 = nullptr;
    UltralightPage* m_ultralight = nullptr;
    Iso14443bPage* m_iso14443b = nullptr;
    Iso15693Page* m_iso15693 = nullptr;
    OutputFormatPage* m_outputFormat = nullptr;
    SettingsMenu* m_settingsMenu = nullptr;
};
