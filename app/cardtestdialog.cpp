#include "cardtestdialog.h"

#include "formatfinder.h"
#include "formatfinderdialog.h"
#include "keymap.h"

#include "writeflow.h"

#include "hex.h"
#include "readersettings.h"
#include "readertables.h"
#include "usblink.h"

#include <QApplication>
#include <QClipboard>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QRandomGenerator>
#include <QTableWidget>
#include <QTime>
#include <QTimer>
#include <QVBoxLayout>

namespace rfid {

namespace {
QString fromStd(const std::string& utf8) {
    return QString::fromStdString(utf8);
}

QString hexBytes(const std::array<std::uint8_t, 4>& bytes) {
    QStringList out;
    for (std::uint8_t b : bytes)
        out << toHex(&b, 1);
    return out.join(QLatin1Char(' '));
}

QString languageName(std::uint8_t code) {
    const KeyboardLanguage* l = languageByCode(code);
    return l ? QString::fromUtf8(l->readName).trimmed()
             : QStringLiteral("code %1").arg(code, 2, 16, QLatin1Char('0')).toUpper();
}
} // namespace

CardTestDialog::CardTestDialog(UsbLibrary& usb, QWidget* parent) : QDialog(parent), m_usb(usb) {
    setObjectName(QStringLiteral("CardTestDialog"));
    setWindowTitle(tr("Card test"));
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    setAttribute(Qt::WA_DeleteOnClose, false);

    auto* top = new QVBoxLayout(this);
    auto* intro =
        new QLabel(tr("Each read of the reader becomes one row: the keys it typed (⏎ Enter, ⇥ Tab), how "
                      "many, how long the typing took, and whether the text has the shape the reader's "
                      "settings promise."),
                   this);
    intro->setWordWrap(true);
    top->addWidget(intro);

    m_area = new KeystrokeArea(this);
    top->addWidget(m_area);

    auto* settingsRow = new QHBoxLayout;
    m_settingsLabel = new QLabel(this);
    m_settingsLabel->setObjectName(QStringLiteral("SettingsLabel"));
    m_settingsLabel->setWordWrap(true);
    settingsRow->addWidget(m_settingsLabel, 1);
    auto* readButton = new QPushButton(tr("Read settings from reader"), this);
    readButton->setObjectName(QStringLiteral("ReadSettingsButton"));
    readButton->setAutoDefault(false);
    settingsRow->addWidget(readButton);
    top->addLayout(settingsRow);

    m_layoutLabel = new QLabel(this);
    m_layoutLabel->setObjectName(QStringLiteral("LayoutLabel"));
    m_layoutLabel->setWordWrap(true);
    top->addWidget(m_layoutLabel);
    m_layoutWarning = new QLabel(this);
    m_layoutWarning->setObjectName(QStringLiteral("LayoutWarning"));
    m_layoutWarning->setWordWrap(true);
    m_layoutWarning->setStyleSheet(QStringLiteral("color: #a04000; font-weight: bold;"));
    m_layoutWarning->hide();
    top->addWidget(m_layoutWarning);
    m_appearsLabel = new QLabel(this);
    m_appearsLabel->setObjectName(QStringLiteral("AppearsLabel"));
    m_appearsLabel->setWordWrap(true);
    m_appearsLabel->hide();
    top->addWidget(m_appearsLabel);
    auto* adviceRow = new QHBoxLayout;
    m_adviceLabel = new QLabel(this);
    m_adviceLabel->setObjectName(QStringLiteral("AdviceLabel"));
    m_adviceLabel->setWordWrap(true);
    m_adviceLabel->hide();
    adviceRow->addWidget(m_adviceLabel, 1);
    m_chooseLanguage = new QPushButton(this);
    m_chooseLanguage->setObjectName(QStringLiteral("ChooseLanguageButton"));
    m_chooseLanguage->setAutoDefault(false);
    m_chooseLanguage->setFocusPolicy(Qt::ClickFocus);
    m_chooseLanguage->setToolTip(tr("Chooses the language on the language page; press Set there (or "
                                    "Settings > Write all) to write it to the reader."));
    m_chooseLanguage->hide();
    adviceRow->addWidget(m_chooseLanguage);
    top->addLayout(adviceRow);

    m_table = new QTableWidget(0, ColumnCount, this);
    m_table->setObjectName(QStringLiteral("ReadsTable"));
    m_table->setHorizontalHeaderLabels({tr("Time"), tr("Typed"), tr("Length"), tr("Typing"), tr("Shape")});
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setFocusPolicy(Qt::ClickFocus);
    m_table->setWordWrap(true);
    m_table->verticalHeader()->hide();
    QHeaderView* h = m_table->horizontalHeader();
    h->setSectionResizeMode(TimeColumn, QHeaderView::ResizeToContents);
    h->setSectionResizeMode(TypedColumn, QHeaderView::Interactive);
    h->setSectionResizeMode(LengthColumn, QHeaderView::ResizeToContents);
    h->setSectionResizeMode(TypingColumn, QHeaderView::Interactive);
    h->setSectionResizeMode(ShapeColumn, QHeaderView::Stretch);
    m_table->setColumnWidth(TypedColumn, 170);
    m_table->setColumnWidth(TypingColumn, 240);
    top->addWidget(m_table, 1);

    m_status = new QLabel(this);
    m_status->setObjectName(QStringLiteral("StatusLabel"));
    m_status->setWordWrap(true);
    top->addWidget(m_status);

    auto* buttons = new QHBoxLayout;
    m_present = new QPushButton(tr("Present card"), this);
    m_present->setObjectName(QStringLiteral("PresentCardButton"));
    m_present->setToolTip(tr("The simulated reader types a card number with its current settings."));
    auto* find = new QPushButton(tr("Find the format…"), this);
    find->setObjectName(QStringLiteral("FindFormatButton"));
    find->setToolTip(tr("Which output format types the number you expect for a card."));
    auto* copy = new QPushButton(tr("Copy"), this);
    copy->setObjectName(QStringLiteral("CopyButton"));
    auto* clear = new QPushButton(tr("Clear"), this);
    clear->setObjectName(QStringLiteral("ClearButton"));
    auto* close = new QPushButton(tr("Close"), this);
    close->setObjectName(QStringLiteral("CloseButton"));
    for (QPushButton* b : {m_present, find, copy, clear, close}) {
        b->setAutoDefault(false);
        b->setFocusPolicy(Qt::ClickFocus);
    }
    buttons->addWidget(m_present);
    buttons->addWidget(find);
    buttons->addStretch(1);
    buttons->addWidget(copy);
    buttons->addWidget(clear);
    buttons->addWidget(close);
    top->addLayout(buttons);

    m_idle = new QTimer(this);
    m_idle->setSingleShot(true);
    m_idle->setInterval(m_splitter.options().pauseMs + 30);
    connect(m_idle, &QTimer::timeout, this, [this] {
        if (isTyping())
            m_idle->start();
        else
            finishPending();
    });
    m_typer = new KeyTyper(this);
    connect(m_typer, &KeyTyper::finished, this, [this] {
        m_idle->start();
        m_status->setText(tr("The simulated reader typed card %1.").arg(m_typingCard));
    });

    connect(m_area, &KeystrokeArea::keystroke, this, &CardTestDialog::takeKeystroke);
    connect(m_area, &KeystrokeArea::pasted, this, &CardTestDialog::takePaste);
    connect(readButton, &QPushButton::clicked, this, [this] {
        // The desktop's layout may have changed since as well.
        setDesktopLayout(desktopKeyboardLayout());
        readSettingsFromReader();
        m_area->setFocus();
    });
    connect(m_present, &QPushButton::clicked, this, [this] {
        wedge::CardNumber card{};
        // A 125 kHz card: five bytes; the first two of the seven stay zero.
        for (std::size_t i = 2; i < card.size(); ++i)
            card[i] = std::uint8_t(QRandomGenerator::global()->bounded(256));
        presentCard(card);
    });
    connect(find, &QPushButton::clicked, this, [this] { openFormatFinder(); });
    connect(m_chooseLanguage, &QPushButton::clicked, this, [this] {
        if (!m_suggested || !m_choices.chooseLanguage)
            return;
        m_choices.chooseLanguage(*m_suggested);
        m_status->setText(tr("%1 is chosen on the language page: press Set there (or Settings > Write all) "
                             "to write it to the reader.")
                              .arg(languageName(*m_suggested)));
        m_area->setFocus();
    });
    connect(copy, &QPushButton::clicked, this, &CardTestDialog::copyRows);
    connect(clear, &QPushButton::clicked, this, &CardTestDialog::clearRows);
    connect(close, &QPushButton::clicked, this, &QDialog::close);

    m_present->setVisible(hasSimulatedReader());
    resize(860, 520);
    updateSettingsTexts();
    updateLayoutTexts();
    m_area->setFocus();
}

void CardTestDialog::setSettings(std::optional<wedge::OutputSettings> settings,
                                 std::optional<std::uint8_t> language) {
    m_settings = settings;
    m_language = language;
    wedge::SplitOptions options = m_splitter.options();
    options.entersPerRead = settings ? wedge::entersPerRead(*settings) : 0;
    m_splitter.setOptions(options);
    updateSettingsTexts();
    updateLayoutTexts();
}

bool CardTestDialog::readSettingsFromReader() {
    ReaderLink link(m_usb);
    link.setNotice(m_notice);
    const ReadBack back = readBack(link);
    const std::optional<ReaderSettings>& read = back.settings;
    if (!read) {
        m_status->setText(
            back.failure() == LinkFailure::Refused
                ? tr("The reader refused to report its settings; rows are checked against the "
                     "settings read before, if any.")
                : tr("The reader did not report its settings; rows are checked against the settings "
                     "read before, if any."));
        return false;
    }
    setSettings(outputSettingsOf(*read), read->language);
    m_status->setText(tr("Settings read from the reader at %1.")
                          .arg(QTime::currentTime().toString(QStringLiteral("hh:mm:ss"))));
    return true;
}

void CardTestDialog::setDesktopLayout(std::optional<wedge::KeyboardLayout> layout) {
    m_desktop = std::move(layout);
    updateLayoutTexts();
}

bool CardTestDialog::event(QEvent* e) {
    // Where the platform says the keyboard layout changed (Windows, macOS), the
    // verdict follows. Qt passes on nothing when an X desktop's layout is switched.
    if (e->type() == QEvent::KeyboardLayoutChange)
        setDesktopLayout(desktopKeyboardLayout());
    return QDialog::event(e);
}

std::optional<CardTestDialog::Keymaps> CardTestDialog::keymaps() const {
    if (!m_language || !m_desktop)
        return std::nullopt;
    const std::optional<wedge::KeyboardLayout> readerLayout = wedge::readerLayout(*m_language);
    if (!readerLayout)
        return std::nullopt;
    Keymaps k{wedge::Keymap::load(*readerLayout), wedge::Keymap::load(*m_desktop)};
    if (!k.reader || !k.desktop)
        return std::nullopt;
    return k;
}

void CardTestDialog::updateSettingsTexts() {
    if (!m_settings) {
        m_settingsLabel->setText(
            tr("The reader's settings are not known: rows are not checked. Read them from "
               "the reader."));
        return;
    }
    const wedge::OutputSettings& s = *m_settings;
    const OutputFormat* f = outputFormatByCode(s.format);
    QStringList parts;
    parts << (f ? QString::fromUtf8(f->readName).trimmed()
                : tr("format %1").arg(s.format, 2, 16, QLatin1Char('0')).toUpper());
    QStringList extras;
    if (s.semicolon)
        extras << QStringLiteral(";");
    if (s.question)
        extras << QStringLiteral("?");
    if (s.comma)
        extras << tr("comma in the middle");
    if (s.enter)
        extras << tr("Enter");
    parts << (extras.isEmpty() ? tr("no separators, no Enter") : extras.join(QStringLiteral(", ")));
    const std::array<std::uint8_t, 4> none{};
    if (s.prefix != none)
        parts << tr("prefix %1").arg(hexBytes(s.prefix));
    if (s.suffix != none)
        parts << tr("suffix %1").arg(hexBytes(s.suffix));
    if (s.custom)
        parts << tr("custom byte %1").arg(s.custom, 2, 16, QLatin1Char('0')).toUpper();
    m_settingsLabel->setText(
        tr("Checked against the reader's settings: %1.").arg(parts.join(QStringLiteral("; "))));
}

void CardTestDialog::updateLayoutTexts() {
    QString reader;
    std::optional<wedge::KeyboardLayout> readerLayout;
    if (m_language) {
        readerLayout = wedge::readerLayout(*m_language);
        reader = readerLayout ? tr("%1 (%2)").arg(languageName(*m_language), fromStd(readerLayout->name()))
                              : tr("%1 (no one keyboard layout)").arg(languageName(*m_language));
    } else {
        reader = tr("not known");
    }
    const QString desktop = m_desktop ? fromStd(m_desktop->name()) : tr("not known");
    m_layoutLabel->setText(
        tr("The reader types for the keyboard layout: %1. The desktop's keyboard layout: %2.")
            .arg(reader, desktop));

    m_suggested.reset();
    m_layoutWarning->hide();
    m_appearsLabel->hide();
    m_adviceLabel->hide();
    m_chooseLanguage->hide();
    if (!readerLayout || !m_desktop)
        return;
    const QString warningHead =
        tr("The reader types for %1 but the desktop uses %2").arg(fromStd(readerLayout->name()), desktop);
    const auto readerKeys = wedge::Keymap::load(*readerLayout);
    const auto desktopKeys = wedge::Keymap::load(*m_desktop);
    if (!readerKeys || !desktopKeys) {
        // A layout the XKB data does not hold: only the names can be compared.
        if (!wedge::sameLayout(*readerLayout, *m_desktop)) {
            m_layoutWarning->setText(
                warningHead + tr(": letters, symbols and even digits may arrive as other characters. Set "
                                 "the reader's keyboard language to match, or switch the desktop's "
                                 "layout."));
            m_layoutWarning->show();
        }
        return;
    }
    // What the reader types for the example card, and what this computer makes of its keys.
    const wedge::OutputSettings settings = m_settings.value_or(wedge::OutputSettings{});
    const std::string typed = wedge::typedText(settings, m_example);
    if (typed.empty())
        return;
    const wedge::Translation t = wedge::translate(wedge::fromUtf8(typed), *readerKeys, *desktopKeys);
    const QString shown = fromStd(wedge::visibleText(t.shown()));
    const QString card = fromStd(wedge::cardIdText(m_example));
    if (t.right()) {
        m_appearsLabel->setText(
            tr("On this computer the card appears as %1, as the reader types it (card %2).")
                .arg(shown, card));
        m_appearsLabel->show();
        return;
    }
    m_layoutWarning->setText(warningHead +
                             tr(". On this computer the card appears as %1, not %2 (card %3).")
                                 .arg(shown, fromStd(wedge::visibleText(wedge::fromUtf8(typed))), card));
    m_layoutWarning->show();
    for (const wedge::LanguageFit& fit :
         wedge::fitLanguages(wedge::charactersTyped(settings), *desktopKeys)) {
        if (fit.right()) {
            m_suggested = fit.language->code;
            break;
        }
    }
    if (m_suggested) {
        m_adviceLabel->setText(tr("Set the reader's language to %1.").arg(languageName(*m_suggested)));
        m_chooseLanguage->setText(tr("Choose %1 on the language page").arg(languageName(*m_suggested)));
        m_chooseLanguage->setVisible(bool(m_choices.chooseLanguage));
    } else {
        m_adviceLabel->setText(tr("No reader language brings these settings out right on %1.").arg(desktop));
    }
    m_adviceLabel->show();
}

void CardTestDialog::setChoices(CardTestChoices choices) {
    m_choices = std::move(choices);
    updateLayoutTexts();
}

FormatFinderDialog* CardTestDialog::openFormatFinder() {
    if (!m_finder) {
        m_finder = new FormatFinderDialog(m_usb, this);
        m_finder->setReaderNotice(m_notice);
        m_finder->setChooseFormat([this](std::uint8_t code) {
            if (m_choices.chooseFormat)
                m_choices.chooseFormat(code);
        });
        m_finder->setCanChooseFormat(bool(m_choices.chooseFormat));
    }
    m_finder->show();
    m_finder->raise();
    m_finder->activateWindow();
    return m_finder;
}

bool CardTestDialog::hasSimulatedReader() const {
    return m_usb.rawSymbol("rfidsim_card_text") != nullptr;
}

bool CardTestDialog::isTyping() const {
    return m_typer->isTyping();
}

bool CardTestDialog::presentCard(const wedge::CardNumber& card) {
    if (!hasSimulatedReader() || isTyping())
        return false;
    const std::optional<std::u32string> text = simulatedCardText(m_usb, card);
    if (!text) {
        m_status->setText(tr("The simulated reader types nothing: its output format has no rendering."));
        return false;
    }
    m_area->setFocus();
    QStringList digits;
    for (std::uint8_t b : card)
        digits << toHex(&b, 1);
    m_typingCard = digits.join(QLatin1Char(' '));
    // The simulated reader presses the keys of its language's layout; what
    // arrives is what the desktop's layout makes of them, as with a real reader.
    std::u32string arrives = *text;
    if (const std::optional<Keymaps> k = keymaps())
        arrives = wedge::translate(*text, *k->reader, *k->desktop).shown();
    m_status->setText(tr("The simulated reader types card %1.").arg(m_typingCard));
    // The window shows how this card appears on this computer.
    m_example = card;
    updateLayoutTexts();
    m_typer->start(m_area, arrives, m_area->now());
    return true;
}

void CardTestDialog::takeKeystroke(char32_t ch, qint64 ms) {
    for (const wedge::Read& r : m_splitter.add({ms, ch}))
        addRow(r);
    // What has come so far of the read in progress.
    m_area->setPending(fromStd(wedge::visibleText(m_splitter.current().text())));
    m_idle->start();
}

void CardTestDialog::takePaste(const QString& text, qint64 ms) {
    for (const wedge::Read& r : m_splitter.addPaste(text.toStdU32String(), ms))
        addRow(r);
    m_area->setPending({});
}

void CardTestDialog::finishPending() {
    if (std::optional<wedge::Read> r = m_splitter.finish())
        addRow(*r);
    m_area->setPending({});
}

void CardTestDialog::addRow(const wedge::Read& read) {
    const std::u32string text = read.text();
    const int row = m_table->rowCount();
    m_table->insertRow(row);
    auto cell = [&](int column, const QString& value) {
        auto* item = new QTableWidgetItem(value);
        item->setToolTip(value);
        m_table->setItem(row, column, item);
        return item;
    };
    cell(TimeColumn, QTime::currentTime().toString(QStringLiteral("hh:mm:ss")));
    cell(TypedColumn, fromStd(wedge::visibleText(text)));
    cell(LengthColumn, QString::number(text.size()))->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
    QString typing = tr("%1 ms").arg(read.durationMs());
    const std::string note = wedge::originNote(read);
    if (!note.empty())
        typing += QStringLiteral(" — ") + fromStd(note);
    QTableWidgetItem* typingItem = cell(TypingColumn, typing);
    if (!note.empty())
        typingItem->setForeground(QColor(0x80, 0x50, 0x00));

    QString shape;
    QColor colour(0x00, 0x70, 0x00);
    if (!m_settings) {
        shape = tr("not checked: the reader's settings are not known");
        colour = palette().color(QPalette::PlaceholderText);
    } else {
        const wedge::ShapeCheck check = wedge::checkShape(text, *m_settings);
        shape = check.matches ? tr("matches") : fromStd(check.reason);
        if (!check.matches)
            colour = QColor(0xB0, 0x00, 0x00);
        // The layout warning above, come true: the right card through the wrong layout.
        const std::optional<Keymaps> k = check.matches ? std::nullopt : keymaps();
        const std::string number =
            k ? wedge::numberTypedForOtherLayout(text, *m_settings, *k->reader, *k->desktop) : std::string();
        if (!number.empty())
            shape = tr("this is %1 typed for %2, read on %3")
                        .arg(fromStd(number), fromStd(k->reader->layout().name()),
                             fromStd(k->desktop->layout().name()));
    }
    cell(ShapeColumn, shape)->setForeground(colour);
    m_table->resizeRowToContents(row);
    m_table->scrollToBottom();
}

QString CardTestDialog::tableText(bool selectedOnly) const {
    QStringList lines;
    QStringList header;
    for (int c = 0; c < ColumnCount; ++c)
        header << m_table->horizontalHeaderItem(c)->text();
    lines << header.join(QLatin1Char('\t'));
    for (int r = 0; r < m_table->rowCount(); ++r) {
        if (selectedOnly && !m_table->item(r, 0)->isSelected())
            continue;
        QStringList cells;
        for (int c = 0; c < ColumnCount; ++c)
            cells << m_table->item(r, c)->text();
        lines << cells.join(QLatin1Char('\t'));
    }
    return lines.join(QLatin1Char('\n')) + QLatin1Char('\n');
}

void CardTestDialog::copyRows() {
    const bool selected = !m_table->selectedItems().isEmpty();
    if (QClipboard* clip = QGuiApplication::clipboard())
        clip->setText(tableText(selected));
    m_area->setFocus();
}

void CardTestDialog::clearRows() {
    m_table->setRowCount(0);
    m_area->setFocus();
}

} // namespace rfid
