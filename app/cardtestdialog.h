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
#include <functional>
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

// What the card test may change in the window, handed in by whoever opens it:
// the language page's and the output format page's choice (nothing is sent).
struct CardTestChoices {
    std::function<void(std::uint8_t language)> chooseLanguage;
    std::function<void(std::uint8_t format)> chooseFormat;
};

class FormatFinderDialog;

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
    // The language page's and output format page's choices the window offers to set.
    void setChoices(CardTestChoices choices);
    // The card whose appearance on this computer the window shows (the last one
    // the simulated reader typed, else 5D00452C14).
    const wedge::CardNumber& exampleCard() const { return m_example; }
    // The reader language that brings the settings out right on this computer,
    // when they come out wrong now.
    std::optional<std::uint8_t> suggestedLanguage() const { return m_suggested; }
    // Opens "Find the format" (one per window), or brings it to the front.
    FormatFinderDialog* openFormatFinder();

    // Whether the loaded USB library is the simulated reader, which can type a card.
    bool hasSimulatedReader() const;
    // Makes the simulated reader type `card` into the input area, one key
    // event at a time at a reader's pace. False when it cannot.
    bool presentCard(const wedge::CardNumber& card);
    bool isTyping() const;
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

    UsbLibrary& m_usb;
    KeystrokeArea* m_area = nullptr;
    QTableWidget* m_table = nullptr;
    QLabel* m_settingsLabel = nullptr;
    QLabel* m_layoutLabel = nullptr;
    QLabel* m_layoutWarning = nullptr;
    QLabel* m_appearsLabel = nullptr;
    QLabel* m_adviceLabel = nullptr;
    QPushButton* m_chooseLanguage = nullptr;
    QLabel* m_status = nullptr;
    QPushButton* m_present = nullptr;
    QTimer* m_idle = nullptr;
    KeyTyper* m_typer = nullptr;

    wedge::ReadSplitter m_splitter;
    std::optional<wedge::OutputSettings> m_settings;
    std::optional<std::uint8_t> m_language;
    std::optional<wedge::KeyboardLayout> m_desktop;
    CardTestChoices m_choices;
    wedge::CardNumber m_example{0, 0, 0x5D, 0x00, 0x45, 0x2C, 0x14};
    std::optional<std::uint8_t> m_suggested;
    FormatFinderDialog* m_finder = nullptr;

    QString m_typingCard; // the number the simulated reader types, for the status line
};

// Opens the window's card test (one per parent window), or brings it to the front.
CardTestDialog* showCardTest(UsbLibrary& usb, QWidget* parent);

// How long the simulated reader takes per key: a key press and release in two
// USB reports of a keyboard polled every 4 ms.
constexpr int kSimulatedKeyMs = 8;

} // namespace rfid
