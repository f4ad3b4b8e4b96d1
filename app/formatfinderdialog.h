// "Find the format": which output format types the number the operator expects
// for a card. The card is read once (the reader is switched to 14 hex digits
// for that card and set back), every format's rendering of it is listed with
// the matches marked; a chosen format can be tried on the reader and put into
// the output format page.
#pragma once

#include "cardtest.h"
#include "readersettings.h"
#include "switchjournal.h"

#include <QDialog>
#include <functional>
#include <optional>

class QLabel;
class QLineEdit;
class QPushButton;
class QSocketNotifier;
class QTableWidget;
class QTimer;

namespace rfid {

class KeystrokeArea;
class KeyTyper;
class UsbLibrary;

class FormatFinderDialog : public QDialog {
    Q_OBJECT
public:
    enum Column { CodeColumn, FormatColumn, NumberColumn, TypedColumn, MatchColumn, ColumnCount };
    // What the window waits for.
    enum class Waiting { Nothing, CardId, Trial };

    FormatFinderDialog(UsbLibrary& usb, QWidget* parent);

    // Puts a format into the output format page (nothing is sent).
    void setChooseFormat(std::function<void(std::uint8_t)> choose) { m_chooseFormat = std::move(choose); }
    void setCanChooseFormat(bool can);
    // Where the notice goes that a reader left switched was set back when this
    // dialog took it; standard error unless set.
    void setReaderNotice(std::function<void(const QString&)> notice) { m_notice = std::move(notice); }

    // Reads the reader's settings and switches it to 14 hex digits for the next
    // card; false (with the reason in the status line) when the reader does not take it.
    bool readCard();
    // The simulated reader types `card` into the window; false when it cannot.
    bool presentCard(const wedge::CardNumber& card);
    // Writes the chosen format (the rest as read back) and waits for the card again.
    bool tryFormat();
    // Puts the chosen format into the output format page.
    void useFormat();
    // Chooses the row of format `code`.
    void chooseFormat(std::uint8_t code);

    Waiting waiting() const { return m_waiting; }
    bool isTyping() const;
    const std::optional<wedge::CardNumber>& card() const { return m_card; }
    std::optional<std::uint8_t> chosenFormat() const;
    QTableWidget* table() const { return m_table; }
    QLineEdit* expectedEdit() const { return m_expected; }
    KeystrokeArea* inputArea() const { return m_area; }
    QString statusText() const;
    // How long the reader stays switched without a card (two minutes unless set).
    void setCardTimeLimit(int ms) { m_limitMs = ms; }

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void takeKeystroke(char32_t ch, qint64 ms);
    void takeRead(const wedge::Read& read);
    void takeCardId(const std::u32string& text);
    void takeTrial(const std::u32string& text);
    void fillTable();
    void updateButtons();
    bool writeOutput(const OutputSettings& settings, QString& why);
    void setBack();
    void showTimeLeft();
    // While the reader is switched, SIGTERM and SIGHUP set it back before the
    // program ends as they ask.
    void watchSignals(bool on);
    void setStatus(const QString& text, bool bad = false);

    UsbLibrary& m_usb;
    std::function<void(const QString&)> m_notice;
    QLineEdit* m_expected = nullptr;
    KeystrokeArea* m_area = nullptr;
    QTableWidget* m_table = nullptr;
    QLabel* m_alike = nullptr;
    QLabel* m_status = nullptr;
    QPushButton* m_read = nullptr;
    QPushButton* m_present = nullptr;
    QPushButton* m_try = nullptr;
    QPushButton* m_use = nullptr;
    QTimer* m_idle = nullptr;
    QTimer* m_clock = nullptr; // counts down the time left for the card
    QLabel* m_timeLeft = nullptr;
    QSocketNotifier* m_signals = nullptr;
    qint64 m_switchedUntil = 0; // when the reader is set back without a card (ms since the epoch)
    int m_limitMs = 2 * 60 * 1000;
    std::optional<SwitchNote> m_note; // the switch, noted, while the card is waited for
    QString m_leftAlone;              // why the set-back left the reader as another program set it
    KeyTyper* m_typer = nullptr;

    std::function<void(std::uint8_t)> m_chooseFormat;
    wedge::ReadSplitter m_splitter;
    Waiting m_waiting = Waiting::Nothing;
    std::optional<OutputSettings> m_original; // the reader's output settings when the card was read
    OutputSettings m_asked;                   // what the reader types with while it is waited for
    std::optional<wedge::CardNumber> m_card;
};

} // namespace rfid
