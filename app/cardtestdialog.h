// "Card test": what the reader types when a card is presented, one row per
// read, each checked against the shape the reader's settings promise.
#pragma once

#include "cardtest.h"
#include "hostkeyboard.h"
#include "layouts.h"

#include <QDialog>
#include <QElapsedTimer>
#include <QFrame>
#include <QString>
#include <optional>

class QLabel;
class QPushButton;
class QTableWidget;
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

class CardTestDialog : public QDialog {
    Q_OBJECT
public:
    // Column of the reads table.
    enum Column { TimeColumn, TypedColumn, LengthColumn, TypingColumn, ShapeColumn, ColumnCount };

    CardTestDialog(UsbLibrary& usb, QWidget* parent);

    // The settings reads are checked against, and where they come from
    // ("the reader"); nullopt when they are not known.
    void setSettings(std::optional<wedge::OutputSettings> settings, std::optional<std::uint8_t> language);
    const std::optional<wedge::OutputSettings>& settings() const { return m_settings; }
    // Reads the reader's settings back (command 0x83); false when it did not answer.
    bool readSettingsFromReader();
    // The desktop's keyboard layout; nullopt when it cannot be found out.
    void setDesktopLayout(std::optional<wedge::KeyboardLayout> layout);

    // Whether the loaded USB library is the simulated reader, which can type a card.
    bool hasSimulatedReader() const;
    // Makes the simulated reader type `card` into the input area, one key
    // event at a time at a reader's pace. False when it cannot.
    bool presentCard(const wedge::CardNumber& card);
    bool isTyping() const { return m_typingAt < m_typing.size(); }
    // A key a reader or the operator typed, at `ms` on the area's clock.
    void takeKeystroke(char32_t ch, qint64 ms);

    // The rows as text: a header line, then one line per row, tab-separated.
    QString tableText(bool selectedOnly = false) const;
    void copyRows();
    void clearRows();

    QTableWidget* table() const { return m_table; }
    KeystrokeArea* inputArea() const { return m_area; }

private:
    void takePaste(const QString& text, qint64 ms);
    void addRow(const wedge::Read& read);
    void finishPending();
    void updateSettingsTexts();
    void updateLayoutTexts();
    void typeNext();

    UsbLibrary& m_usb;
    KeystrokeArea* m_area = nullptr;
    QTableWidget* m_table = nullptr;
    QLabel* m_settingsLabel = nullptr;
    QLabel* m_layoutLabel = nullptr;
    QLabel* m_layoutWarning = nullptr;
    QLabel* m_status = nullptr;
    QPushButton* m_present = nullptr;
    QTimer* m_idle = nullptr;
    QTimer* m_typeTimer = nullptr;

    wedge::ReadSplitter m_splitter;
    std::optional<wedge::OutputSettings> m_settings;
    std::optional<std::uint8_t> m_language;
    std::optional<wedge::KeyboardLayout> m_desktop;

    std::u32string m_typing; // what the simulated reader is typing
    std::size_t m_typingAt = 0;
    qint64 m_typingStart = 0;
    QString m_typingCard; // its number, for the status line
};

// Opens the window's card test (one per parent window), or brings it to the front.
CardTestDialog* showCardTest(UsbLibrary& usb, QWidget* parent);

// How long the simulated reader takes per key: a key press and release in two
// USB reports of a keyboard polled every 4 ms.
constexpr int kSimulatedKeyMs = 8;

} // namespace rfid
