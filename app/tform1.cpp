#include "tform1.h"

#include "cardtestdialog.h"
#include "errorhandling.h"
#include "hex.h"
#include "messagelog.h"
#include "readerconnection.h"
#include "readerlock.h"
#include "skins.h"
#include "stationdialog.h"
#include "tform2.h"
#include "wait.h"

#include "iso14443bpage.h"
#include "iso15693page.h"
#include "languagepage.h"
#include "outputformatpage.h"
#include "readermodepage.h"
#include "s50page.h"
#include "settingsmenu.h"
#include "systempage.h"
#include "ultralightpage.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QDateTime>
#include <QGroupBox>
#include <QIcon>
#include <QLabel>
#include <QListWidget>
#include <QMenuBar>
#include <QPointer>
#include <QRadioButton>
#include <QStatusBar>
#include <QStyleOptionTab>
#include <QTabBar>
#include <QTabWidget>
#include <QTimer>
#include <cstdio>
#include <cstdlib>

namespace {
// Tabs of one width, wide enough for the longest caption.
class PageTabBar : public QTabBar {
public:
    using QTabBar::QTabBar;
    int fixedWidth = 0;

protected:
    QSize tabSizeHint(int index) const override {
        QSize s = QTabBar::tabSizeHint(index);
        int widest = fixedWidth;
        for (int i = 0; i < count(); ++i) {
            if (isTabVisible(i))
                widest = qMax(widest, fontMetrics().horizontalAdvance(tabText(i)) + 24);
        }
        s.setWidth(widest);
        return s;
    }
    // A hidden page can still be the current one when code selects it; the tab
    // bar then draws that tab on top of the others at the bar's left end.
    // Drawn with nothing in it, a hidden tab leaves no trace.
    void initStyleOption(QStyleOptionTab* option, int tabIndex) const override {
        QTabBar::initStyleOption(option, tabIndex);
        if (!isTabVisible(tabIndex)) {
            option->text.clear();
            option->icon = QIcon();
            option->rect = QRect();
        }
    }
};

class PageControl : public QTabWidget {
public:
    explicit PageControl(QWidget* parent) : QTabWidget(parent), bar(new PageTabBar(this)) { setTabBar(bar); }
    PageTabBar* bar;
};

const char* const kPageCaptions[8] = {
    "Switch of mode", "language settings", "系统命令", "S50/S70",
    "Ultralight",     "ISO14443B",         "ISO15693", "125K usb reader setting  "};
const bool kTabShown[8] = {true, true, false, false, false, false, false, true};
} // namespace

TForm1::TForm1(QWidget* parent, const QString& usbLibrary) : QMainWindow(parent), m_usb(usbLibrary) {
    // The start-up skin goes in before any control exists: changing the style
    // and palette afterwards would polish every control of every page twice.
    rfid::applySkin(2);
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral(" 134.2K Demo  V 1.3"));
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    m_exitAction = [] {
        std::fflush(nullptr);
        std::_Exit(0);
    };
    // While another program holds the reader the window keeps painting; clicks
    // wait until the command under way is done.
    m_link.setLockWait(rfid::kReaderLockWaitMs,
                       [] { QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents, 20); });
    // A reader left switched by a program of ours that died is set back when
    // the window next takes it; the log says so.
    m_link.setNotice(readerNotice());

    auto* central = new QWidget(this);
    central->setObjectName(QStringLiteral("ClientArea"));
    setCentralWidget(central);

    auto* pages = new PageControl(central);
    PageControl1 = pages;
    PageControl1->setObjectName(QStringLiteral("PageControl1"));
    PageControl1->setGeometry(5, 4, 529, 561);
    PageControl1->setUsesScrollButtons(false);

    m_readerMode = new ReaderModePage(m_pageHost, nullptr);
    m_language = new LanguagePage(m_pageHost, nullptr);
    m_system = new SystemPage(m_pageHost, nullptr);
    m_s50 = new S50Page(m_pageHost, nullptr);
    m_ultralight = new UltralightPage(m_pageHost, nullptr);
    m_iso14443b = new Iso14443bPage(m_pageHost, nullptr);
    m_iso15693 = new Iso15693Page(m_pageHost, nullptr);
    m_outputFormat = new OutputFormatPage(m_pageHost, nullptr);
    QWidget* const ordered[8] = {m_readerMode, m_language,  m_system,   m_s50,
                                 m_ultralight, m_iso14443b, m_iso15693, m_outputFormat};
    for (int i = 0; i < 8; ++i) {
        PageControl1->addTab(ordered[i], QString::fromUtf8(kPageCaptions[i]));
        PageControl1->setTabVisible(i, kTabShown[i]);
    }

    auto* logBox = new QGroupBox(central);
    logBox->setObjectName(QStringLiteral("GroupBox4"));
    logBox->setGeometry(539, 2, 307, 564);
    RichEdit1 = new rfid::MessageLog(logBox);
    RichEdit1->setGeometry(5, 10, 297, 548);

    buildHiddenGroups(m_outputFormat);
    buildMenus();
    m_settingsMenu = new SettingsMenu(*this);
    buildStatusBar();
    m_connection = new ReaderConnection(*this, *StatusBar1, m_usb);
    buildToolsMenu();

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(1000);
    connect(Timer1, &QTimer::timeout, this, [this] { rfid::runGuarded([this] { Timer1Timer(); }); });
    Timer1->start();

    connect(PageControl1, &QTabWidget::currentChanged, this,
            [this] { rfid::runGuarded([this] { PageControl1Change(); }); });

    setupSerial();

    // Outer size 858 x 651 with a frame of about 4 pixels and a caption of about
    // 30: the client area is the page area and the log plus menu and status bar.
    resize(850, menuBar()->sizeHint().height() + 566 + 27);
    FormCreate();
    Timer1Timer();
}

// A station still open puts the window's reader choice back as it goes: it
// goes while the window is whole, not among the children Qt deletes after the
// window's members are gone.
TForm1::~TForm1() {
    qDeleteAll(findChildren<rfid::StationDialog*>(Qt::FindDirectChildrenOnly));
}

void TForm1::buildMenus() {
    QMenuBar* bar = menuBar();
    bar->setObjectName(QStringLiteral("MainMenu1"));
    auto item = [this](QMenu* menu, const char* name, const QString& caption, void (TForm1::*handler)()) {
        QAction* a = menu->addAction(caption);
        a->setObjectName(QLatin1String(name));
        connect(a, &QAction::triggered, this,
                [this, handler] { rfid::runGuarded([&] { (this->*handler)(); }); });
    };
    QMenu* system = bar->addMenu(QStringLiteral("System"));
    system->setObjectName(QStringLiteral("N1"));
    item(system, "N4", QStringLiteral("Exit"), &TForm1::N4Click);
    QMenu* stype = bar->addMenu(QStringLiteral("Stype"));
    stype->setObjectName(QStringLiteral("N2"));
    item(stype, "N11", QStringLiteral("Stype one"), &TForm1::N11Click);
    item(stype, "N12", QStringLiteral("Stype two"), &TForm1::N12Click);
    item(stype, "N13", QStringLiteral("Stype three"), &TForm1::N13Click);
    item(stype, "N14", QStringLiteral("Stype four"), &TForm1::N14Click);
    item(stype, "N51", QStringLiteral("Stype five"), &TForm1::N51Click);
    item(stype, "N61", QStringLiteral("Stype six"), &TForm1::N61Click);
    QMenu* about = bar->addMenu(QStringLiteral("About"));
    about->setObjectName(QStringLiteral("N3"));
    item(about, "N5", QStringLiteral("Help"), &TForm1::N5Click);
}

// "Tools" comes last, after the menus the window always had and the Settings
// and Reader menus, so that none of those moves.
void TForm1::buildToolsMenu() {
    QMenu* tools = menuBar()->addMenu(QStringLiteral("Tools"));
    tools->setObjectName(QStringLiteral("MenuTools"));
    QAction* cardTest = tools->addAction(QStringLiteral("Card test…"));
    cardTest->setObjectName(QStringLiteral("MenuCardTest"));
    connect(cardTest, &QAction::triggered, this,
            [this] { rfid::runGuarded([this] { rfid::showCardTest(m_usb, this); }); });
    QAction* station = tools->addAction(QStringLiteral("Set up readers from file…"));
    station->setObjectName(QStringLiteral("MenuStation"));
    connect(station, &QAction::triggered, this, [this] {
        rfid::runGuarded([this] {
            rfid::showStationSetup(
                m_usb, this,
                [this] {
                    if (m_connection)
                        m_connection->choose(m_connection->chosenKey());
                },
                readerNotice());
        });
    });
}

void TForm1::buildStatusBar() {
    StatusBar1 = new QStatusBar(this);
    StatusBar1->setObjectName(QStringLiteral("StatusBar1"));
    StatusBar1->setFixedHeight(27);
    setStatusBar(StatusBar1);
    const int widths[4] = {150, 30, 400, 200};
    const QString texts[4] = {QStringLiteral("  RFID"), QString(), QStringLiteral(" Demo  V 1.2"), QString()};
    for (int i = 0; i < 4; ++i) {
        statusPanels[i] = new QLabel(texts[i], StatusBar1);
        statusPanels[i]->setObjectName(QStringLiteral("StatusPanel%1").arg(i));
        statusPanels[i]->setFixedWidth(widths[i]);
        statusPanels[i]->setFrameShape(QFrame::Panel);
        statusPanels[i]->setFrameShadow(QFrame::Sunken);
        StatusBar1->addWidget(statusPanels[i]);
    }
}

void TForm1::buildHiddenGroups(QWidget* page) {
    GroupBoxComm = new QGroupBox(QStringLiteral("通讯信息"), page);
    GroupBoxComm->setObjectName(QStringLiteral("GroupBox1"));
    GroupBoxComm->setGeometry(8, 8, 240, 120);
    auto* addressLabel = new QLabel(QStringLiteral("地址："), GroupBoxComm);
    addressLabel->setObjectName(QStringLiteral("Label2"));
    addressLabel->setGeometry(8, 84, 40, 17);
    setadd = new QComboBox(GroupBoxComm);
    setadd->setObjectName(QStringLiteral("setadd"));
    setadd->setGeometry(56, 80, 60, 21);
    for (int i = 0; i <= 0x20; ++i)
        setadd->addItem(QStringLiteral("%1").arg(i, 2, 16, QLatin1Char('0')));
    ComboBox2 = new QComboBox(GroupBoxComm);
    ComboBox2->setObjectName(QStringLiteral("ComboBox2"));
    ComboBox2->setGeometry(128, 48, 100, 21);
    ComboBox2->addItems({QStringLiteral("9600"), QStringLiteral("19200"), QStringLiteral("38400"),
                         QStringLiteral("57600"), QStringLiteral("115200")});
    GroupBoxComm->hide();

    GroupBoxSend = new QGroupBox(QStringLiteral("发送信息"), page);
    GroupBoxSend->setObjectName(QStringLiteral("GroupBox2"));
    GroupBoxSend->setGeometry(8, 136, 489, 200);
    GroupBoxSend->hide();

    GroupBoxState = new QGroupBox(QStringLiteral("读卡状态切换"), page);
    GroupBoxState->setObjectName(QStringLiteral("GroupBox5"));
    GroupBoxState->setGeometry(256, 8, 241, 120);
    RadioButton3 = new QRadioButton(QStringLiteral("读写状态"), GroupBoxState);
    RadioButton3->setObjectName(QStringLiteral("RadioButton3"));
    RadioButton3->setGeometry(8, 20, 220, 17);
    RadioButton3->setChecked(true);
    RadioButton4 = new QRadioButton(QStringLiteral("USB数据调试状态状态            "), GroupBoxState);
    RadioButton4->setObjectName(QStringLiteral("RadioButton4"));
    RadioButton4->setGeometry(8, 50, 220, 17);
    RadioButton19 = new QRadioButton(QStringLiteral("自动检测卡状态"), GroupBoxState);
    RadioButton19->setObjectName(QStringLiteral("RadioButton19"));
    RadioButton19->setGeometry(8, 80, 220, 17);
    GroupBoxState->hide();
}

QMenu* TForm1::popupMenu1() const {
    return RichEdit1->popupMenu();
}

// --- Reader link -------------------------------------------------------------

void TForm1::Send(const QString& command) {
    prepareLink();
    const rfid::LinkReply reply = m_link.send(command);
    // A command that cannot be framed never reaches the reader.
    takeReply(reply, reply.failure != rfid::LinkFailure::BadCommand);
}

void TForm1::SendHex(const QString& frame) {
    prepareLink();
    takeReply(m_link.sendFrame(frame), true);
}

void TForm1::prepareLink() {
    holdAnswer({});
    m_link.setAddress(setadd->currentText());
    m_link.setDebug(RadioButton4->isChecked());
}

std::function<void(const QString&)> TForm1::readerNotice() {
    return [window = QPointer<TForm1>(this)](const QString& text) {
        if (window)
            window->addFittedLine(text);
    };
}

void TForm1::holdAnswer(rfid::Answer answer) {
    m_answer = std::move(answer);
    lastResponse = rfid::toHex(m_answer.bytes.data(), int(m_answer.bytes.size()));
}

void TForm1::takeReply(const rfid::LinkReply& reply, bool exchanged) {
    holdAnswer(reply.answer);
    for (const QString& line : reply.log)
        addLine(line);
    if (exchanged && reply.failure != rfid::LinkFailure::InUse)
        m_connection->afterExchange(!lastResponse.isEmpty());
}

void TForm1::Delay(int ms) {
    rfid::Delay(ms, [this] { return !lastResponse.isEmpty(); });
}

void TForm1::Delayy(int ms) {
    rfid::Delayy(ms);
}

void TForm1::addLine(const QString& text) {
    RichEdit1->addLine(text);
}

void TForm1::addFittedLine(const QString& text, const QString& end) {
    RichEdit1->addFittedLine(text, end);
}

void TForm1::report(const rfid::CycleTexts& texts, const std::function<QStringList()>& successEntries) {
    for (const QString& entry :
         rfid::cycleReport(rfid::pageReading(m_answer), m_answer, texts, rfid::timeStamp(), successEntries))
        addLine(entry);
}

void TForm1::reportStep(const rfid::Answer& answer, const rfid::CycleTexts& texts,
                        const std::function<QStringList()>& successEntries) {
    for (const QString& entry :
         rfid::cycleReport(answer.status, answer, texts, rfid::timeStamp(), successEntries))
        addLine(entry);
}

void TForm1::cycle(const QString& command, int waitMs, const rfid::CycleTexts& texts,
                   const std::function<QStringList()>& successEntries) {
    Send(command);
    Delay(waitMs);
    report(texts, successEntries);
}

void TForm1::onClick(QAbstractButton* button, std::function<void()> handler) {
    connect(button, &QAbstractButton::clicked, this, [h = std::move(handler)] { rfid::runGuarded(h); });
}

bool TForm1::keepLooping(const QCheckBox* box) const {
    return box && box->isChecked() && !m_quitting;
}

// --- Window handlers ---------------------------------------------------------

void TForm1::FormCreate() {
    auto* bar = static_cast<PageControl*>(PageControl1);
    bar->bar->fixedWidth = PageControl1->width() / 4 - 1;
    setadd->setCurrentIndex(0);
    ComboBox2->setCurrentIndex(0);
    const std::pair<const char*, int> iso15693Lists[] = {
        {"ComboBox10", 1}, {"ComboBox11", 0}, {"ComboBox12", 1}, {"ComboBox13", 2}, {"ComboBox14", 1},
        {"ComboBox15", 1}, {"ComboBox16", 1}, {"ComboBox17", 1}, {"ComboBox18", 1}, {"ComboBox19", 1}};
    for (const auto& [name, index] : iso15693Lists) {
        if (auto* box = findChild<QComboBox*>(QLatin1String(name)))
            box->setCurrentIndex(index);
    }
    if (auto* sleep = findChild<QComboBox*>(QStringLiteral("ComboBox20")))
        sleep->setCurrentIndex(1);
    PageControl1->setCurrentIndex(0);
    if (auto* list = findChild<QListWidget*>(QStringLiteral("ListBox1")))
        list->setCurrentRow(0);
    if (auto* list = findChild<QListWidget*>(QStringLiteral("ListBox2")))
        list->setCurrentRow(4);
    rfid::applySkin(2);
}

void TForm1::Timer1Timer() {
    statusPanels[3]->setText(rfid::clockText(QDateTime::currentDateTime()));
}

void TForm1::PageControl1Change() {
    // Clearing a box ends its continuous loop at the loop's next test.
    for (int i = 1; i <= 11; ++i) {
        if (auto* box = findChild<QCheckBox*>(QStringLiteral("CheckBox%1").arg(i)))
            box->setChecked(false);
    }
}

void TForm1::N4Click() {
    m_quitting = true;
    QCoreApplication::quit();
}

void TForm1::N5Click() {
    if (!Form2)
        Form2 = new TForm2(this);
    Form2->exec();
    delete Form2;
    Form2 = nullptr;
}

void TForm1::N11Click() {
    rfid::applySkin(0);
}
void TForm1::N12Click() {
    rfid::applySkin(1);
}
void TForm1::N13Click() {
    rfid::applySkin(2);
}
void TForm1::N14Click() {
    rfid::applySkin(3);
}
void TForm1::N51Click() {
    rfid::applySkin(4);
}
void TForm1::N61Click() {
    rfid::applySkin(5);
}

void TForm1::closeEvent(QCloseEvent* event) {
    // "Exit" ends the message loop, and Qt closes the windows on its way out:
    // that close is not the operator's, so the port and the process are left to
    // the normal end of the program.
    if (m_quitting) {
        event->accept();
        return;
    }
    // Errors while closing the port are of no use to anyone now.
    try {
        closeSerialPort();
    } catch (...) {
    }
    m_quitting = true;
    event->accept();
    if (m_exitAction)
        m_exitAction();
}
