// The keys a reader types, as the card test and "Find the format" take them:
// the focused area that takes keystrokes, and the simulated reader's typing
// of a card into it.
#pragma once

#include "cardformat.h"

#include <QElapsedTimer>
#include <QFrame>
#include <optional>
#include <string>

class QTimer;

namespace rfid {

class UsbLibrary;

// The focused area that takes the keystrokes a reader types. Every key that
// types something, and Enter, Tab, Backspace, Escape and Delete, is passed on
// with its time; a paste is passed on as a whole.
class KeystrokeArea : public QFrame {
    Q_OBJECT
public:
    explicit KeystrokeArea(QWidget* parent);
    // The read in progress, shown in the area as it is typed.
    void setPending(const QString& visibleText);
    // The time of a key event: its own time stamp when it carries one, else
    // the area's clock.
    qint64 eventTime(qint64 timestamp) const;
    qint64 now() const { return m_clock.elapsed(); }

signals:
    void keystroke(char32_t ch, qint64 ms);
    void pasted(const QString& text, qint64 ms);

protected:
    bool event(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void inputMethodEvent(QInputMethodEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    QString m_pending;
    QElapsedTimer m_clock;
};

// Types a text into a widget as key events, one key at a reader's pace
// (kSimulatedKeyMs), each carrying the time the reader types it.
class KeyTyper : public QObject {
    Q_OBJECT
public:
    explicit KeyTyper(QObject* parent);
    // Starts typing `text` into `target`; the first key at `startMs`.
    void start(QWidget* target, std::u32string text, qint64 startMs);
    bool isTyping() const { return m_at < m_text.size(); }

signals:
    void finished();

private:
    void typeNext();

    QTimer* m_timer = nullptr;
    QWidget* m_target = nullptr;
    std::u32string m_text;
    std::size_t m_at = 0;
    qint64 m_start = 0;
};

// What the simulated reader types for `card` with the settings it holds;
// nullopt when `usb` is not the simulated reader or it types nothing.
std::optional<std::u32string> simulatedCardText(UsbLibrary& usb, const wedge::CardNumber& card);

// How long the simulated reader takes per key: a key press and release in two
// USB reports of a keyboard polled every 4 ms.
constexpr int kSimulatedKeyMs = 8;

} // namespace rfid
