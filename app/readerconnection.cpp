#include "readerconnection.h"

#include "doctorlibrary.h"
#include "errorhandling.h"
#include "hidnotices.h"

#include <QAction>
#include <QActionGroup>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFontDatabase>
#include <QLabel>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QSocketNotifier>
#include <QStatusBar>
#include <QTimer>
#include <QVBoxLayout>

namespace {

// The indicator fits the few pixels the four fixed panels leave at the window's
// first size, so it is a symbol; its text is in the tool tip. The shapes differ as
// well as the colours: a filled disc, an empty ring, a barred disc.
QPixmap stateIcon(ReaderConnection::State state, qreal ratio) {
    const int size = 14;
    QPixmap pixmap(QSize(size, size) * ratio);
    pixmap.setDevicePixelRatio(ratio);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF disc(1.5, 1.5, size - 3, size - 3);
    switch (state) {
    case ReaderConnection::State::Connected:
        p.setPen(QPen(QColor(0x1b, 0x6e, 0x20), 1));
        p.setBrush(QColor(0x3c, 0xb3, 0x44));
        p.drawEllipse(disc);
        break;
    case ReaderConnection::State::NoReader:
        p.setPen(QPen(QColor(0x70, 0x70, 0x70), 2));
        p.setBrush(Qt::NoBrush);
        p.drawEllipse(disc.adjusted(0.5, 0.5, -0.5, -0.5));
        break;
    case ReaderConnection::State::NoAccess:
    case ReaderConnection::State::Busy: {
        const QColor fill =
            state == ReaderConnection::State::NoAccess ? QColor(0xd3, 0x2f, 0x2f) : QColor(0xe6, 0x9a, 0x00);
        p.setPen(QPen(fill.darker(140), 1));
        p.setBrush(fill);
        p.drawEllipse(disc);
        p.setPen(QPen(Qt::white, 2));
        p.drawLine(QPointF(4, size / 2.0), QPointF(size - 4, size / 2.0));
        break;
    }
    case ReaderConnection::State::Unknown:
        p.setPen(QPen(QColor(0x90, 0x90, 0x90), 1, Qt::DotLine));
        p.setBrush(Qt::NoBrush);
        p.drawEllipse(disc);
        break;
    }
    return pixmap;
}

} // namespace

ReaderConnection::ReaderConnection(QMainWindow& window, QStatusBar& statusBar, rfid::UsbLibrary& library)
    : QObject(&window), m_window(window), m_library(library) {
    setObjectName(QStringLiteral("ReaderConnection"));
    m_menu = window.menuBar()->addMenu(QStringLiteral("Reader"));
    m_menu->setObjectName(QStringLiteral("ReaderMenu"));
    m_group = new QActionGroup(this);
    m_group->setExclusive(true);
    connect(m_menu, &QMenu::aboutToShow, this, [this] { rfid::runGuarded([this] { refresh(); }); });

    m_indicator = new QLabel(&statusBar);
    m_indicator->setObjectName(QStringLiteral("StatusPanel4"));
    m_indicator->setFixedWidth(20);
    m_indicator->setAlignment(Qt::AlignCenter);
    m_indicator->setFrameShape(QFrame::Panel);
    m_indicator->setFrameShadow(QFrame::Sunken);
    statusBar.addWidget(m_indicator);

    // Notices come in bursts (one per interface and node); the list is taken once
    // they have settled.
    m_settle = new QTimer(this);
    m_settle->setSingleShot(true);
    m_settle->setInterval(150);
    connect(m_settle, &QTimer::timeout, this, [this] { rfid::runGuarded([this] { refresh(); }); });

    const int fd = m_library.monitorFd();
    if (fd >= 0) {
        m_notifier = new QSocketNotifier(fd, QSocketNotifier::Read, this);
        connect(m_notifier, &QSocketNotifier::activated, this, [this] { monitorActivated(); });
    } else {
        rfid::watchHidDevices(this, [this] { m_settle->start(); });
    }
    refresh();
}

void ReaderConnection::monitorActivated() {
    m_library.monitorDrain();
    m_settle->start();
}

QString ReaderConnection::stateText() const {
    switch (m_state) {
    case State::Connected:
        return QStringLiteral("connected reader");
    case State::NoReader:
        return QStringLiteral("no reader");
    case State::NoAccess:
        return QStringLiteral("no access");
    case State::Busy:
        return QStringLiteral("busy");
    case State::Unknown:
        break;
    }
    return QStringLiteral("unknown");
}

void ReaderConnection::setState(State state, const QString& detail) {
    m_state = state;
    m_indicator->setPixmap(stateIcon(state, m_indicator->devicePixelRatioF()));
    QString tip;
    switch (state) {
    case State::Connected:
        tip = QStringLiteral("Connected: %1").arg(detail);
        break;
    case State::NoReader:
        tip = detail.isEmpty() ? QStringLiteral("No reader") : QStringLiteral("No reader: %1").arg(detail);
        break;
    case State::NoAccess:
        tip = QStringLiteral(
                  "No access: this user may not open %1 (Reader > Connection check… says what to do)")
                  .arg(detail);
        break;
    case State::Busy:
        tip = QStringLiteral("Busy: %1 is held by another program").arg(detail);
        break;
    case State::Unknown:
        tip = detail;
        break;
    }
    m_indicator->setToolTip(tip);
    m_indicator->setAccessibleName(stateText());
    m_indicator->setAccessibleDescription(tip);
}

void ReaderConnection::refresh() {
    const auto list = m_library.readers();
    m_listed = list.has_value();
    m_readers = list.value_or(QList<rfid::ReaderEntry>{});
    rebuildMenu();

    if (!m_listed) {
        setState(State::Unknown,
                 m_library.isLoaded()
                     ? QStringLiteral("The USB library %1 cannot list readers").arg(m_library.fileName())
                     : QStringLiteral("The USB library %1 was not found").arg(m_library.fileName()));
        return;
    }
    const rfid::ReaderEntry* current = nullptr;
    for (const rfid::ReaderEntry& e : m_readers)
        if (e.key() == m_chosen || e.path == m_chosen)
            current = &e;
    if (!current && m_chosen.isEmpty() && !m_readers.isEmpty())
        current = &m_readers.front();
    if (!current) {
        setState(State::NoReader, m_chosen.isEmpty()
                                      ? QString()
                                      : QStringLiteral("the chosen reader %1 is not attached").arg(m_chosen));
        return;
    }
    if (current->access == QLatin1String("denied"))
        setState(State::NoAccess, current->path);
    else if (current->access == QLatin1String("busy"))
        setState(State::Busy, current->label());
    else
        setState(State::Connected, current->label());
}

void ReaderConnection::afterExchange(bool answered) {
    if (answered) {
        if (m_state != State::Connected)
            refresh();
        return;
    }
    // Only a library that says why changes the indicator.
    const auto error = m_library.lastError();
    if (!error)
        return;
    switch (rfid::exchangeFailure(rfid::ExchangeOutcome::NoAnswer, error->kind)) {
    case rfid::ExchangeFailure::NoReader:
        if (m_state != State::NoReader)
            refresh();
        if (m_state == State::Connected) // listed, but gone by the time it was opened
            setState(State::NoReader, error->text);
        break;
    case rfid::ExchangeFailure::NoAccess:
        setState(State::NoAccess, error->text);
        break;
    case rfid::ExchangeFailure::Busy:
        setState(State::Busy, error->text);
        break;
    default:
        break; // the reader is there; it did not answer this time
    }
}

bool ReaderConnection::choose(const QString& key) {
    if (!m_library.selectReader(key)) {
        refresh();
        return false;
    }
    m_chosen = key;
    refresh();
    return true;
}

void ReaderConnection::rebuildMenu() {
    m_menu->clear();
    for (QAction* a : m_group->actions())
        m_group->removeAction(a);
    if (!m_listed) {
        QAction* none = m_menu->addAction(QStringLiteral("The USB library cannot list readers"));
        none->setObjectName(QStringLiteral("ReaderNone"));
        none->setEnabled(false);
    } else if (m_readers.isEmpty()) {
        QAction* none = m_menu->addAction(QStringLiteral("No reader attached"));
        none->setObjectName(QStringLiteral("ReaderNone"));
        none->setEnabled(false);
    }
    for (int i = 0; i < m_readers.size(); ++i) {
        const rfid::ReaderEntry& e = m_readers[i];
        QAction* a = m_menu->addAction(e.label());
        a->setObjectName(QStringLiteral("ReaderItem%1").arg(i));
        a->setCheckable(true);
        a->setData(e.key());
        a->setToolTip(e.path);
        m_group->addAction(a);
        const bool chosen = m_chosen.isEmpty() ? i == 0 : (e.key() == m_chosen || e.path == m_chosen);
        a->setChecked(chosen);
        const QString key = e.key();
        connect(a, &QAction::triggered, this,
                [this, key] { rfid::runGuarded([this, key] { choose(key); }); });
    }
    m_menu->addSeparator();
    QAction* check = m_menu->addAction(QStringLiteral("Connection check…"));
    check->setObjectName(QStringLiteral("ConnectionCheck"));
    connect(check, &QAction::triggered, this,
            [this] { rfid::runGuarded([this] { showConnectionCheck(); }); });
}

QString ReaderConnection::connectionCheckText() {
    const rfid::doctor::Report report = rfid::runConnectionCheck(m_library, m_chosen);
    afterExchange(report.answered());
    return QString::fromStdString(rfid::doctor::formatReport(report));
}

void ReaderConnection::showConnectionCheck() {
    const QString text = connectionCheckText();
    QDialog dialog(&m_window);
    dialog.setObjectName(QStringLiteral("ConnectionCheckDialog"));
    dialog.setWindowTitle(QStringLiteral("Connection check"));
    auto* layout = new QVBoxLayout(&dialog);
    auto* view = new QPlainTextEdit(&dialog);
    view->setObjectName(QStringLiteral("ConnectionCheckText"));
    view->setReadOnly(true);
    view->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    view->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    view->setPlainText(text);
    layout->addWidget(view);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, &dialog);
    connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    layout->addWidget(buttons);
    dialog.resize(680, 420);
    dialog.exec();
}
