#include "keystrokes.h"

#include "cardtest.h"
#include "usblink.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QPainter>
#include <QTimer>

namespace rfid {

namespace {
using CardTextFn = int (*)(const unsigned char* card, int count, char* buffer, int capacity);

// Qt's key code for a character a reader types.
int qtKeyFor(char32_t c) {
    switch (c) {
    case U'\r':
        return Qt::Key_Return;
    case U'\t':
        return Qt::Key_Tab;
    case 0x08:
        return Qt::Key_Backspace;
    case 0x1B:
        return Qt::Key_Escape;
    case 0x7F:
        return Qt::Key_Delete;
    default:
        if (c >= U'a' && c <= U'z')
            return int(c - U'a' + U'A');
        return int(c);
    }
}
} // namespace

// ---------------------------------------------------------------------------

KeyTyper::KeyTyper(QObject* parent) : QObject(parent) {
    m_timer = new QTimer(this);
    m_timer->setTimerType(Qt::PreciseTimer);
    connect(m_timer, &QTimer::timeout, this, &KeyTyper::typeNext);
}

void KeyTyper::start(QWidget* target, std::u32string text, qint64 startMs) {
    m_target = target;
    m_text = std::move(text);
    m_at = 0;
    m_start = startMs;
    m_timer->start(kSimulatedKeyMs);
    typeNext();
}

void KeyTyper::typeNext() {
    if (!isTyping() || !m_target) {
        m_timer->stop();
        return;
    }
    const char32_t c = m_text[m_at];
    // Each key carries the time the reader types it, so that a busy event
    // loop does not make the typing look faster or slower than it was.
    const qint64 ms = m_start + qint64(m_at) * kSimulatedKeyMs;
    ++m_at;
    const int key = qtKeyFor(c);
    const QString text = QString::fromStdU32String(std::u32string(1, c));
    const Qt::KeyboardModifiers mods =
        (c >= U'A' && c <= U'Z') || QStringLiteral("!@#$%^&*()_+{}|:\"<>?~").contains(text)
            ? Qt::ShiftModifier
            : Qt::NoModifier;
    QKeyEvent press(QEvent::KeyPress, key, mods, text);
    press.setTimestamp(ulong(ms));
    QCoreApplication::sendEvent(m_target, &press);
    QKeyEvent release(QEvent::KeyRelease, key, mods, text);
    release.setTimestamp(ulong(ms + kSimulatedKeyMs / 2));
    QCoreApplication::sendEvent(m_target, &release);
    if (!isTyping()) {
        m_timer->stop();
        m_text.clear();
        m_at = 0;
        emit finished();
    }
}

std::optional<std::u32string> simulatedCardText(UsbLibrary& usb, const wedge::CardNumber& card) {
    const auto fn = reinterpret_cast<CardTextFn>(usb.rawSymbol("rfidsim_card_text"));
    if (!fn)
        return std::nullopt;
    char buffer[256];
    const int n = fn(card.data(), int(card.size()), buffer, int(sizeof buffer));
    if (n <= 0 || n >= int(sizeof buffer))
        return std::nullopt;
    return wedge::fromUtf8(std::string(buffer, std::size_t(n)));
}

// ---------------------------------------------------------------------------

KeystrokeArea::KeystrokeArea(QWidget* parent) : QFrame(parent) {
    setObjectName(QStringLiteral("KeystrokeArea"));
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_InputMethodEnabled);
    setFrameShape(QFrame::StyledPanel);
    setFrameShadow(QFrame::Sunken);
    setMinimumHeight(44);
    setAutoFillBackground(true);
    setBackgroundRole(QPalette::Base);
    m_clock.start();
}

void KeystrokeArea::setPending(const QString& visibleText) {
    m_pending = visibleText;
    update();
}

qint64 KeystrokeArea::eventTime(qint64 timestamp) const {
    return timestamp != 0 ? timestamp : m_clock.elapsed();
}

bool KeystrokeArea::event(QEvent* e) {
    // Tab and Shift+Tab are keys the reader types, not a move to the next control.
    if (e->type() == QEvent::KeyPress) {
        auto* k = static_cast<QKeyEvent*>(e);
        if (k->key() == Qt::Key_Tab || k->key() == Qt::Key_Backtab) {
            keyPressEvent(k);
            return true;
        }
    }
    if (e->type() == QEvent::ShortcutOverride) {
        // Every key comes here first, not to a shortcut of the window.
        e->accept();
        return true;
    }
    return QFrame::event(e);
}

void KeystrokeArea::keyPressEvent(QKeyEvent* e) {
    const qint64 ms = eventTime(qint64(e->timestamp()));
    if (e->matches(QKeySequence::Paste)) {
        if (const QClipboard* clip = QGuiApplication::clipboard())
            emit pasted(clip->text(), ms);
        e->accept();
        return;
    }
    char32_t control = 0;
    switch (e->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        control = U'\r';
        break;
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
        control = U'\t';
        break;
    case Qt::Key_Backspace:
        control = 0x08;
        break;
    case Qt::Key_Escape:
        control = 0x1B;
        break;
    case Qt::Key_Delete:
        control = 0x7F;
        break;
    default:
        break;
    }
    if (control) {
        emit keystroke(control, ms);
    } else if (!e->text().isEmpty()) {
        for (char32_t c : e->text().toStdU32String())
            emit keystroke(c, ms);
    } else {
        // Modifiers alone, arrows, function keys: nothing a reader types.
        QFrame::keyPressEvent(e);
        return;
    }
    e->accept();
}

void KeystrokeArea::inputMethodEvent(QInputMethodEvent* e) {
    // Text an input method commits arrives at once, like a paste.
    if (!e->commitString().isEmpty())
        emit pasted(e->commitString(), m_clock.elapsed());
    e->accept();
}

void KeystrokeArea::mousePressEvent(QMouseEvent* e) {
    setFocus(Qt::MouseFocusReason);
    QFrame::mousePressEvent(e);
}

void KeystrokeArea::focusInEvent(QFocusEvent* e) {
    QFrame::focusInEvent(e);
    update();
}

void KeystrokeArea::focusOutEvent(QFocusEvent* e) {
    QFrame::focusOutEvent(e);
    update();
}

void KeystrokeArea::paintEvent(QPaintEvent* e) {
    QFrame::paintEvent(e);
    QPainter p(this);
    const QRect r = contentsRect().adjusted(8, 0, -8, 0);
    if (hasFocus()) {
        p.setPen(QPen(palette().color(QPalette::Highlight), 2));
        p.drawRect(rect().adjusted(1, 1, -1, -1));
    }
    if (!m_pending.isEmpty()) {
        p.setPen(palette().color(QPalette::Text));
        p.drawText(r, Qt::AlignVCenter | Qt::AlignLeft, m_pending);
    } else {
        p.setPen(palette().color(QPalette::PlaceholderText));
        p.drawText(r, Qt::AlignVCenter | Qt::AlignLeft,
                   hasFocus() ? tr("Present a card to the reader: what it types appears here.")
                              : tr("Click here, then present a card to the reader."));
    }
}

} // namespace rfid
