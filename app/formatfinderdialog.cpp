#include "formatfinderdialog.h"

#include "formatfinder.h"
#include "keystrokes.h"
#include "readerlink.h"
#include "writeflow.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QDateTime>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRandomGenerator>
#include <QSocketNotifier>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>

#ifndef _WIN32
#include <csignal>
#include <fcntl.h>
#include <unistd.h>
#endif

namespace rfid {

namespace {
// The format the card's whole number is read in: all seven bytes in hex.
constexpr std::uint8_t kWholeNumberFormat = 0x01;

QString fromStd(const std::string& s) {
    return QString::fromStdString(s);
}

QString visible(const std::string& ascii) {
    return fromStd(wedge::visibleText(wedge::fromUtf8(ascii)));
}

QString formatName(std::uint8_t code) {
    const OutputFormat* f = outputFormatByCode(code);
    return f ? QString::fromUtf8(f->readName).simplified()
             : QStringLiteral("code %1").arg(code, 2, 16, QLatin1Char('0')).toUpper();
}

QString codeText(std::uint8_t code) {
    return QStringLiteral("%1").arg(code, 2, 16, QLatin1Char('0')).toUpper();
}

#ifndef _WIN32
// SIGTERM and SIGHUP reach the event loop through a pipe: the handler only
// writes the signal's number.
int g_signalPipe[2] = {-1, -1};
constexpr int kSetBackSignals[] = {SIGTERM, SIGHUP};
struct sigaction g_previous[2] = {};

void onSignal(int sig) {
    const unsigned char c = static_cast<unsigned char>(sig);
    (void)!::write(g_signalPipe[1], &c, 1);
}
#endif
} // namespace

FormatFinderDialog::FormatFinderDialog(UsbLibrary& usb, QWidget* parent) : QDialog(parent), m_usb(usb) {
    setObjectName(QStringLiteral("FormatFinderDialog"));
    setWindowTitle(tr("Find the format"));
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);

    auto* top = new QVBoxLayout(this);
    auto* intro = new QLabel(
        tr("Type the number the card should give (as printed on it, or as your system expects it), or leave "
           "it empty. Then press Read the card and present the card once: the reader types its whole number "
           "in 14 hex digits for that card and is set back. The list shows what the reader types for the "
           "card in every output format; the formats that type your number are marked."),
        this);
    intro->setWordWrap(true);
    top->addWidget(intro);

    auto* expectedRow = new QHBoxLayout;
    auto* expectedLabel = new QLabel(tr("Expected number:"), this);
    expectedRow->addWidget(expectedLabel);
    m_expected = new QLineEdit(this);
    m_expected->setObjectName(QStringLiteral("ExpectedEdit"));
    m_expected->setPlaceholderText(tr("e.g. 0004533268 (blanks are ignored)"));
    expectedLabel->setBuddy(m_expected);
    expectedRow->addWidget(m_expected, 1);
    m_read = new QPushButton(tr("Read the card"), this);
    m_read->setObjectName(QStringLiteral("ReadCardButton"));
    expectedRow->addWidget(m_read);
    m_present = new QPushButton(tr("Present card"), this);
    m_present->setObjectName(QStringLiteral("FinderPresentButton"));
    m_present->setToolTip(tr("The simulated reader types a card number with its current settings."));
    expectedRow->addWidget(m_present);
    top->addLayout(expectedRow);

    m_area = new KeystrokeArea(this);
    m_area->setObjectName(QStringLiteral("FinderKeystrokeArea"));
    top->addWidget(m_area);

    m_table = new QTableWidget(0, ColumnCount, this);
    m_table->setObjectName(QStringLiteral("FormatsTable"));
    m_table->setHorizontalHeaderLabels({tr("Code"), tr("Format"), tr("Number"), tr("Typed"), tr("Match")});
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setSelectionMode(QAbstractItemView::SingleSelection);
    m_table->verticalHeader()->hide();
    // One line per format, so that all fifteen fit.
    m_table->verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
    QHeaderView* h = m_table->horizontalHeader();
    h->setSectionResizeMode(CodeColumn, QHeaderView::ResizeToContents);
    h->setSectionResizeMode(FormatColumn, QHeaderView::ResizeToContents);
    h->setSectionResizeMode(NumberColumn, QHeaderView::ResizeToContents);
    h->setSectionResizeMode(TypedColumn, QHeaderView::Stretch);
    h->setSectionResizeMode(MatchColumn, QHeaderView::ResizeToContents);
    top->addWidget(m_table, 1);

    m_alike = new QLabel(this);
    m_alike->setObjectName(QStringLiteral("AlikeLabel"));
    m_alike->setWordWrap(true);
    top->addWidget(m_alike);
    m_status = new QLabel(this);
    m_status->setObjectName(QStringLiteral("FinderStatus"));
    m_status->setWordWrap(true);
    top->addWidget(m_status);

    auto* buttons = new QHBoxLayout;
    m_try = new QPushButton(tr("Try it on the reader"), this);
    m_try->setObjectName(QStringLiteral("TryFormatButton"));
    m_try->setToolTip(tr("Sets the chosen format on the reader (the other output settings as read back) "
                         "and checks what it types for the card."));
    m_use = new QPushButton(tr("Use this format"), this);
    m_use->setObjectName(QStringLiteral("UseFormatButton"));
    m_use->setToolTip(tr("Chooses the format on the output format page; press Set there (or Settings > "
                         "Write all) to write it."));
    auto* close = new QPushButton(tr("Close"), this);
    close->setObjectName(QStringLiteral("FinderCloseButton"));
    buttons->addWidget(m_try);
    buttons->addWidget(m_use);
    buttons->addStretch(1);
    buttons->addWidget(close);
    top->addLayout(buttons);
    for (QPushButton* b : {m_read, m_present, m_try, m_use, close}) {
        b->setAutoDefault(false);
        b->setFocusPolicy(Qt::ClickFocus);
    }

    m_idle = new QTimer(this);
    m_idle->setSingleShot(true);
    m_idle->setInterval(m_splitter.options().pauseMs + 30);
    connect(m_idle, &QTimer::timeout, this, [this] {
        if (isTyping()) {
            m_idle->start();
        } else if (std::optional<wedge::Read> r = m_splitter.finish()) {
            m_area->setPending({});
            takeRead(*r);
        }
    });
    m_typer = new KeyTyper(this);
    connect(m_typer, &KeyTyper::finished, this, [this] { m_idle->start(); });
    connect(m_area, &KeystrokeArea::keystroke, this, &FormatFinderDialog::takeKeystroke);
    connect(m_read, &QPushButton::clicked, this, [this] { readCard(); });
    connect(m_present, &QPushButton::clicked, this, [this] {
        wedge::CardNumber card{};
        // A 125 kHz card: five bytes; the first two of the seven stay zero.
        for (std::size_t i = 2; i < card.size(); ++i)
            card[i] = std::uint8_t(QRandomGenerator::global()->bounded(256));
        presentCard(card);
    });
    connect(m_try, &QPushButton::clicked, this, [this] { tryFormat(); });
    connect(m_use, &QPushButton::clicked, this, [this] { useFormat(); });
    connect(close, &QPushButton::clicked, this, &QDialog::close);
    connect(m_expected, &QLineEdit::textChanged, this, [this] {
        if (m_card)
            fillTable();
    });
    connect(m_table, &QTableWidget::itemSelectionChanged, this, &FormatFinderDialog::updateButtons);

    m_timeLeft = new QLabel(this);
    m_timeLeft->setObjectName(QStringLiteral("FinderTimeLeft"));
    top->insertWidget(top->indexOf(m_status) + 1, m_timeLeft);
    m_clock = new QTimer(this);
    m_clock->setInterval(250);
    connect(m_clock, &QTimer::timeout, this, &FormatFinderDialog::showTimeLeft);
#ifndef _WIN32
    if (g_signalPipe[0] >= 0 || ::pipe2(g_signalPipe, O_CLOEXEC | O_NONBLOCK) == 0) {
        m_signals = new QSocketNotifier(g_signalPipe[0], QSocketNotifier::Read, this);
        m_signals->setEnabled(false);
        connect(m_signals, &QSocketNotifier::activated, this, [this] {
            unsigned char sig = 0;
            if (::read(g_signalPipe[0], &sig, 1) != 1)
                return;
            setBack();
            watchSignals(false);
            ::raise(sig); // ends the program as the signal asks, now that the reader is set back
        });
    }
#endif

    m_present->setVisible(usb.rawSymbol("rfidsim_card_text") != nullptr);
    resize(820, 600);
    setStatus(tr("Type the number you expect, then press Read the card."));
    updateButtons();
}

void FormatFinderDialog::setCanChooseFormat(bool can) {
    m_use->setVisible(can);
}

bool FormatFinderDialog::isTyping() const {
    return m_typer->isTyping();
}

QString FormatFinderDialog::statusText() const {
    return m_status->text();
}

void FormatFinderDialog::setStatus(const QString& text, bool bad) {
    m_status->setText(text);
    m_status->setStyleSheet(bad ? QStringLiteral("color: #b00000; font-weight: bold;") : QString());
}

bool FormatFinderDialog::writeOutput(const OutputSettings& settings, QString& why) {
    ReaderLink link(m_usb);
    link.setNotice(m_notice);
    const LinkReply r = link.send(outputSettingsCommand(settings.toBytes()));
    why = r.problem;
    return r.ok();
}

// Puts the reader's output settings back when it was switched to read a card,
// only when it still holds what was written for the card.
void FormatFinderDialog::setBack() {
    if (m_waiting != Waiting::CardId || !m_note)
        return;
    m_waiting = Waiting::Nothing;
    m_clock->stop();
    m_timeLeft->clear();
    ReaderLink link(m_usb);
    link.setNotice(m_notice);
    const SetBack back = setBackSwitch(link, *m_note);
    watchSignals(false);
    m_note.reset();
    m_leftAlone.clear();
    if (back.result == SetBackResult::Left) {
        m_leftAlone = tr("The reader was not set back: another program changed its output settings "
                         "meanwhile (%1).")
                          .arg(back.text);
        setStatus(m_leftAlone, true);
    } else if (back.result == SetBackResult::Failed) {
        setStatus(tr("The reader could not be set back to %1: %2. It types %3 now.")
                      .arg(formatName(m_original->format), back.text, formatName(kWholeNumberFormat)),
                  true);
    }
}

void FormatFinderDialog::watchSignals(bool on) {
#ifndef _WIN32
    if (!m_signals || m_signals->isEnabled() == on)
        return;
    m_signals->setEnabled(on);
    for (int i = 0; i < 2; ++i) {
        if (on) {
            struct sigaction act {};
            act.sa_handler = onSignal;
            sigemptyset(&act.sa_mask);
            ::sigaction(kSetBackSignals[i], &act, &g_previous[i]);
        } else {
            ::sigaction(kSetBackSignals[i], &g_previous[i], nullptr);
        }
    }
#else
    (void)on;
#endif
}

void FormatFinderDialog::showTimeLeft() {
    const qint64 left = m_switchedUntil - QDateTime::currentMSecsSinceEpoch();
    if (left <= 0) {
        setBack();
        setStatus(tr("No card came in %1 seconds; the reader was set back. Press Read the card to try "
                     "again.")
                      .arg(m_limitMs / 1000));
        updateButtons();
        return;
    }
    const qint64 s = (left + 999) / 1000;
    m_timeLeft->setText(tr("Time left for the card: %1:%2").arg(s / 60).arg(s % 60, 2, 10, QLatin1Char('0')));
}

bool FormatFinderDialog::readCard() {
    setBack();
    // The reader is held from the read to the switch: no other program's write
    // falls between them.
    ReaderLink link(m_usb);
    link.setNotice(m_notice);
    LinkOperation hold(link);
    if (!hold.held()) {
        setStatus(tr("The reader is in use: %1; nothing was changed.").arg(hold.error()), true);
        return false;
    }
    const ReadBack back = readBack(link);
    const std::optional<OutputSettings> output =
        back.settings ? outputSettingsOf(*back.settings) : std::nullopt;
    if (!output) {
        setStatus(tr("The reader did not report its settings (%1); nothing was changed.").arg(back.problem),
                  true);
        return false;
    }
    m_original = *output;
    m_asked = *output;
    m_asked.format = kWholeNumberFormat;
    const std::optional<ReaderEntry> reader = readerInUse(m_usb);
    const SwitchNote note{QStringLiteral("Find the format"),
                          reader ? reader->path : QString(),
                          QDateTime::currentDateTimeUtc(),
                          m_original->toBytes(),
                          m_asked.toBytes(),
                          QCoreApplication::applicationPid()};
    QString why;
    if (!noteSwitch(link, note, why)) {
        setStatus(tr("The reader was not switched: the switch could not be noted, so it could not be set "
                     "back after a crash (%1).")
                      .arg(why),
                  true);
        return false;
    }
    m_note = note;
    m_waiting = Waiting::CardId;
    watchSignals(true);
    const LinkReply r = link.send(outputSettingsCommand(m_asked.toBytes()));
    if (!r.ok()) {
        setBack();
        setStatus(tr("The reader did not take the output settings for reading the card: %1.").arg(r.problem),
                  true);
        return false;
    }
    m_switchedUntil = QDateTime::currentMSecsSinceEpoch() + m_limitMs;
    m_clock->start();
    showTimeLeft();
    m_splitter.finish();
    m_splitter.setOptions({m_splitter.options().pauseMs, wedge::entersPerRead(m_asked)});
    setStatus(tr("Present the card to the reader once."));
    m_area->setFocus();
    updateButtons();
    return true;
}

bool FormatFinderDialog::presentCard(const wedge::CardNumber& card) {
    if (isTyping())
        return false;
    const std::optional<std::u32string> text = simulatedCardText(m_usb, card);
    if (!text)
        return false;
    m_area->setFocus();
    m_typer->start(m_area, *text, m_area->now());
    return true;
}

void FormatFinderDialog::takeKeystroke(char32_t ch, qint64 ms) {
    for (const wedge::Read& r : m_splitter.add({ms, ch}))
        takeRead(r);
    m_area->setPending(fromStd(wedge::visibleText(m_splitter.current().text())));
    m_idle->start();
}

void FormatFinderDialog::takeRead(const wedge::Read& read) {
    m_area->setPending({});
    const std::u32string text = read.text();
    switch (m_waiting) {
    case Waiting::CardId:
        takeCardId(text);
        break;
    case Waiting::Trial:
        takeTrial(text);
        break;
    case Waiting::Nothing:
        setStatus(
            tr("The reader typed %1; press Read the card first.").arg(fromStd(wedge::visibleText(text))));
        break;
    }
    updateButtons();
}

void FormatFinderDialog::takeCardId(const std::u32string& text) {
    setBack();
    const wedge::ShapeCheck check = wedge::checkShape(text, m_asked);
    if (!check.matches) {
        setStatus(
            tr("The reader typed %1, not the card's number in 14 hex digits (%2). Press Read the card and "
               "present the card again.")
                .arg(fromStd(wedge::visibleText(text)), fromStd(check.reason)),
            true);
        return;
    }
    // The number stands after the prefix and ";", 14 digits with the comma when it is on.
    const wedge::TypedLayout layout = wedge::typedLayout(m_asked);
    const std::size_t at = layout.prefix.size() + (layout.semicolon ? 1 : 0);
    std::string digits;
    for (char32_t c : text.substr(at, std::size_t(layout.number->length() + (layout.comma ? 1 : 0)))) {
        if (c != U',')
            digits += char(c);
    }
    std::string error;
    m_card = wedge::parseCardId(digits, &error);
    if (!m_card) {
        setStatus(fromStd(error), true);
        return;
    }
    fillTable();
}

void FormatFinderDialog::takeTrial(const std::u32string& text) {
    m_waiting = Waiting::Nothing;
    const std::string model = wedge::typedText(m_asked, *m_card);
    const QString name = formatName(m_asked.format);
    const QString got = fromStd(wedge::visibleText(text));
    if (text != wedge::fromUtf8(model)) {
        setStatus(
            tr("The reader typed %1, but the model says %2 for %3: the model is wrong for this reader in "
               "this format. The reader keeps %3; try another format, or set it back on the output format "
               "page.")
                .arg(got, visible(model), name),
            true);
        return;
    }
    const std::string expected = wedge::normalizedNumber(m_expected->text().toStdString());
    const bool asExpected =
        !expected.empty() && wedge::renderNumber(*wedge::formatModel(m_asked.format), *m_card) == expected;
    setStatus(asExpected ? tr("The reader typed %1 in %2: the number you expect.").arg(got, name)
                         : tr("The reader typed %1 in %2, as the model says.").arg(got, name));
}

void FormatFinderDialog::fillTable() {
    const std::string expected = wedge::normalizedNumber(m_expected->text().toStdString());
    const std::vector<wedge::Rendering> all = wedge::renderAll(*m_card);
    const std::vector<wedge::Rendering> matches = wedge::formatsTyping(*m_card, expected);
    const std::optional<std::uint8_t> chosen = chosenFormat();
    m_table->setRowCount(0);
    int firstMatch = -1;
    for (const wedge::Rendering& r : all) {
        const int row = m_table->rowCount();
        m_table->insertRow(row);
        const bool match = !expected.empty() && r.number == expected;
        OutputSettings s = m_original.value_or(OutputSettings{});
        s.format = r.format->code;
        const QString cells[ColumnCount] = {
            codeText(r.format->code), QString::fromUtf8(r.format->readName).simplified(), fromStd(r.number),
            visible(wedge::typedText(s, *m_card)), match ? tr("matches") : QString()};
        for (int c = 0; c < ColumnCount; ++c) {
            auto* item = new QTableWidgetItem(cells[c]);
            item->setData(Qt::UserRole, int(r.format->code));
            if (match) {
                QFont f = item->font();
                f.setBold(true);
                item->setFont(f);
                item->setForeground(QColor(0x00, 0x70, 0x00));
            }
            m_table->setItem(row, c, item);
        }
        // The reader's own format comes first when it already types the number.
        if (match && (firstMatch < 0 || (m_original && r.format->code == m_original->format)))
            firstMatch = row;
    }
    if (firstMatch >= 0)
        m_table->selectRow(firstMatch);
    else if (chosen)
        chooseFormat(*chosen);

    const QString id = fromStd(wedge::cardIdText(*m_card));
    QStringList codes;
    for (const wedge::Rendering& r : matches)
        codes << formatName(r.format->code);
    if (expected.empty())
        m_alike->setText(tr("No expected number: choose the format in the list."));
    else if (matches.empty())
        m_alike->setText(tr("No format types card %1 as %2.").arg(id, QString::fromStdString(expected)));
    else if (matches.size() == 1)
        m_alike->setText(tr("One format types card %1 as %2: %3.")
                             .arg(id, QString::fromStdString(expected), codes.front()));
    else
        m_alike->setText(
            tr("Card %1 cannot tell these %2 formats apart: %3 type it alike. A card whose other "
               "bytes differ can.")
                .arg(id)
                .arg(matches.size())
                .arg(codes.join(QStringLiteral(", "))));
    if (m_leftAlone.isEmpty())
        setStatus(tr("Card %1 read. Choose a format, then Try it on the reader or Use this format.").arg(id));
}

std::optional<std::uint8_t> FormatFinderDialog::chosenFormat() const {
    const QList<QTableWidgetItem*> selected = m_table->selectedItems();
    if (selected.isEmpty())
        return std::nullopt;
    return std::uint8_t(selected.front()->data(Qt::UserRole).toInt());
}

void FormatFinderDialog::chooseFormat(std::uint8_t code) {
    for (int row = 0; row < m_table->rowCount(); ++row) {
        if (m_table->item(row, CodeColumn)->data(Qt::UserRole).toInt() == code)
            m_table->selectRow(row);
    }
}

bool FormatFinderDialog::tryFormat() {
    const std::optional<std::uint8_t> code = chosenFormat();
    if (!m_card || !m_original || !code) {
        setStatus(tr("Read the card and choose a format in the list first."), true);
        return false;
    }
    OutputSettings s = *m_original;
    s.format = *code;
    QString why;
    if (!writeOutput(s, why)) {
        setStatus(tr("The reader did not take %1: %2.").arg(formatName(*code), why), true);
        return false;
    }
    m_asked = s;
    m_waiting = Waiting::Trial;
    m_splitter.finish();
    m_splitter.setOptions({m_splitter.options().pauseMs, wedge::entersPerRead(m_asked)});
    setStatus(tr("The reader now types %1. Present the card again.").arg(formatName(*code)));
    m_area->setFocus();
    updateButtons();
    return true;
}

void FormatFinderDialog::useFormat() {
    const std::optional<std::uint8_t> code = chosenFormat();
    if (!code || !m_chooseFormat)
        return;
    m_chooseFormat(*code);
    setStatus(
        tr("%1 is chosen on the output format page: press Set there (or Settings > Write all) to write it "
           "to the reader.")
            .arg(formatName(*code)));
}

void FormatFinderDialog::updateButtons() {
    const bool chosen = chosenFormat().has_value();
    m_try->setEnabled(chosen && m_waiting == Waiting::Nothing);
    m_use->setEnabled(chosen);
}

void FormatFinderDialog::closeEvent(QCloseEvent* event) {
    setBack();
    QDialog::closeEvent(event);
}

} // namespace rfid
