// "Card test": what the reader types when a card is presented, one row per
// read, each checked against the shape the reader's settings promise.
#pragma once

#include "cardtest.h"
#include "hostkeyboard.h"
#include "keymap.h"
#include "keystrokes.h"
#include "layouts.h"

#include <QDialog>
#include <QString>
#include <functional>
#include <optional>

class QLabel;
class QPushButton;
class QTableWidget;

namespace rfid {

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
    // The desktop's keyboard layout; nullopt when it cannot be found out. Read
    // again each time the card test opens, on "Read settings from reader", and
    // when the platform says the layout changed.
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
    // Where the notice goes that a reader left switched was set back when this
    // dialog (or its Find the format) took it; standard error unless set.
    void setReaderNotice(std::function<void(const QString&)> notice) { m_notice = std::move(notice); }

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

protected:
    bool event(QEvent* event) override;

private:
    // The reader's and the desktop's keymaps, when both are known and compile.
    struct Keymaps {
        std::shared_ptr<const wedge::Keymap> reader;
        std::shared_ptr<const wedge::Keymap> desktop;
    };
    std::optional<Keymaps> keymaps() const;
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
    std::function<void(const QString&)> m_notice;

    QString m_typingCard; // the number the simulated reader types, for the status line
};

// Opens the window's card test (one per parent window), or brings it to the front.
CardTestDialog* showCardTest(UsbLibrary& usb, QWidget* parent);

} // namespace rfid
