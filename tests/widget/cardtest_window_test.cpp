// The card test window against the simulated reader: the reader's settings read
// back, a card typed through synthesized key events, rows and their checks,
// pastes and impossible timing, the keyboard-layout warning.
// With RFID_SCREENSHOT_DIR set, the window with a few rows is saved there.
#include "cardtestdialog.h"
#include "formatfinderdialog.h"
#include "harness.h"

#include <QClipboard>
#include <QDir>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QThread>
#include <csignal>

namespace {

class CardTest : public WindowTest {
protected:
    rfid::CardTestDialog* open() {
        find<QAction>("MenuCardTest")->trigger();
        auto* d = form->findChild<rfid::CardTestDialog*>(QStringLiteral("CardTestDialog"));
        EXPECT_NE(d, nullptr);
        return d;
    }
    // Sets the reader's output settings through the output format page.
    void setOutput(const char* formatRadio, bool enter, const QString& prefix1 = QStringLiteral("00")) {
        select(formatRadio);
        if (auto* c = find<QCheckBox>("CheckBox15"))
            c->setChecked(enter);
        setText("Edit24", prefix1);
        click("Button24");
        ASSERT_TRUE(form->RichEdit1->toPlainText().contains(QStringLiteral("Set Up Success")));
    }
    // Waits until `rows` rows stand in the table (the pause after the last key included).
    static bool waitRows(rfid::CardTestDialog* d, int rows) {
        QElapsedTimer t;
        t.start();
        while (d->table()->rowCount() < rows && t.elapsed() < 5000) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
            QThread::msleep(2);
        }
        return d->table()->rowCount() == rows;
    }
    // The frame of a write-output-settings command with these 16 data bytes (spaced hex).
    static QString outputFrame(const QString& data) { return answerFrame("82 " + data).toUpper(); }
    static QString cell(rfid::CardTestDialog* d, int row, int column) {
        const QTableWidgetItem* item = d->table()->item(row, column);
        return item ? item->text() : QString();
    }
    static void key(QWidget* w, int key, const QString& text, qint64 ms,
                    Qt::KeyboardModifiers mods = Qt::NoModifier) {
        QKeyEvent e(QEvent::KeyPress, key, mods, text);
        e.setTimestamp(ulong(ms));
        QCoreApplication::sendEvent(w, &e);
    }
};

const rfid::wedge::CardNumber kCard = {0, 0, 0x01, 0x23, 0x45, 0x67, 0x89};

} // namespace

TEST_F(CardTest, SimulatedReaderTypesACardThatMatchesItsSettings) {
    setOutput("RadioButton6", true, QStringLiteral("41")); // 8 no. in HEX, Enter, prefix "A"
    rfid::CardTestDialog* d = open();
    ASSERT_TRUE(d);
    EXPECT_TRUE(d->isVisible());
    EXPECT_TRUE(d->hasSimulatedReader());
    EXPECT_TRUE(d->findChild<QPushButton*>(QStringLiteral("PresentCardButton"))->isVisibleTo(d));
    EXPECT_TRUE(d->findChild<QLabel*>(QStringLiteral("SettingsLabel"))
                    ->text()
                    .contains("8 no. in HEX; Enter; prefix 41 00 00 00"))
        << d->findChild<QLabel*>(QStringLiteral("SettingsLabel"))->text().toStdString();
    EXPECT_TRUE(d->findChild<QLabel*>(QStringLiteral("LayoutLabel"))->text().contains("American style (us)"));

    ASSERT_TRUE(d->presentCard(kCard));
    EXPECT_TRUE(d->isTyping()) << "keys go out one at a time";
    ASSERT_TRUE(waitRows(d, 1));
    EXPECT_FALSE(d->isTyping());
    EXPECT_EQ(cell(d, 0, rfid::CardTestDialog::TypedColumn), "A23456789⏎");
    EXPECT_EQ(cell(d, 0, rfid::CardTestDialog::LengthColumn), "10");
    EXPECT_EQ(cell(d, 0, rfid::CardTestDialog::TypingColumn),
              QString("%1 ms").arg(9 * rfid::kSimulatedKeyMs));
    EXPECT_EQ(cell(d, 0, rfid::CardTestDialog::ShapeColumn), "matches");

    // The reader now types 10 decimal digits; the window still holds the old
    // settings until it reads them again.
    setOutput("RadioButton16", true, QStringLiteral("41"));
    ASSERT_TRUE(d->presentCard(kCard));
    ASSERT_TRUE(waitRows(d, 2));
    EXPECT_EQ(cell(d, 1, rfid::CardTestDialog::TypedColumn), "A0591751049⏎");
    EXPECT_EQ(cell(d, 1, rfid::CardTestDialog::ShapeColumn), "expected 8 hex digits, got 10 decimal digits");
    d->findChild<QPushButton*>(QStringLiteral("ReadSettingsButton"))->click();
    ASSERT_TRUE(d->presentCard(kCard));
    ASSERT_TRUE(waitRows(d, 3));
    EXPECT_EQ(cell(d, 2, rfid::CardTestDialog::ShapeColumn), "matches");

    // The menu brings the same window back; Copy puts every row on the clipboard.
    EXPECT_EQ(open(), d);
    d->findChild<QPushButton*>(QStringLiteral("CopyButton"))->click();
    const QStringList lines = QGuiApplication::clipboard()->text().split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 4);
    EXPECT_EQ(lines[0], "Time\tTyped\tLength\tTyping\tShape");
    EXPECT_TRUE(lines[2].endsWith("\tA0591751049⏎\t12\t88 ms\texpected 8 hex digits, got 10 decimal digits"))
        << lines[2].toStdString();
    d->findChild<QPushButton*>(QStringLiteral("ClearButton"))->click();
    EXPECT_EQ(d->table()->rowCount(), 0);
}

TEST_F(CardTest, KeysPastesAndTimingThatNoReaderHas) {
    setOutput("RadioButton16", true); // 10 decimal digits, Enter
    rfid::CardTestDialog* d = open();
    ASSERT_TRUE(d);
    QWidget* area = d->inputArea();

    // Typed at 10 ms a key: one read, ended by Enter.
    const QString digits = QStringLiteral("0591751049");
    qint64 t = 100000;
    for (QChar c : digits)
        key(area, c.unicode(), c, t += 10);
    key(area, Qt::Key_Return, "\r", t += 10);
    ASSERT_EQ(d->table()->rowCount(), 1) << "Enter ends the read at once";
    EXPECT_EQ(cell(d, 0, rfid::CardTestDialog::ShapeColumn), "matches");
    EXPECT_EQ(cell(d, 0, rfid::CardTestDialog::TypingColumn), "100 ms");

    // The same keys all at one instant: shown and checked, but not from a reader.
    for (QChar c : digits)
        key(area, c.unicode(), c, t + 1000);
    key(area, Qt::Key_Return, "\r", t + 1000);
    ASSERT_EQ(d->table()->rowCount(), 2);
    EXPECT_EQ(cell(d, 1, rfid::CardTestDialog::TypingColumn),
              "0 ms — 11 keys in 0 ms: faster than a reader types, not from a reader");

    // A paste is one read of its own, marked as such.
    QGuiApplication::clipboard()->setText(QStringLiteral("12345678\r"));
    key(area, Qt::Key_V, "\x16", t + 2000, Qt::ControlModifier);
    ASSERT_EQ(d->table()->rowCount(), 3);
    EXPECT_EQ(cell(d, 2, rfid::CardTestDialog::TypedColumn), "12345678⏎");
    EXPECT_EQ(cell(d, 2, rfid::CardTestDialog::TypingColumn), "0 ms — pasted, not from a reader");
    EXPECT_EQ(cell(d, 2, rfid::CardTestDialog::ShapeColumn),
              "expected 10 decimal digits, got 8 decimal digits");

    // Tab and Escape are keys the reader typed: shown, not a focus move or a closed window.
    key(area, Qt::Key_Tab, "\t", t + 3000);
    key(area, Qt::Key_Escape, "\x1b", t + 3010);
    key(area, Qt::Key_Return, "\r", t + 3020);
    ASSERT_EQ(d->table()->rowCount(), 4);
    EXPECT_EQ(cell(d, 3, rfid::CardTestDialog::TypedColumn), "⇥⎋⏎");
    EXPECT_TRUE(d->isVisible());

    // Without Enter at the end, a pause ends the read.
    key(area, '1', "1", t + 4000);
    EXPECT_EQ(d->table()->rowCount(), 4);
    ASSERT_TRUE(waitRows(d, 5));
    EXPECT_EQ(cell(d, 4, rfid::CardTestDialog::ShapeColumn),
              "expected Enter at the end; expected 10 decimal digits, got 1 decimal digit");
}

TEST_F(CardTest, KeyboardLayoutOfTheReaderAgainstTheDesktop) {
    select("RadioButton38"); // German
    click("Button27");
    rfid::CardTestDialog* d = open();
    ASSERT_TRUE(d);
    auto* label = d->findChild<QLabel*>(QStringLiteral("LayoutLabel"));
    auto* warning = d->findChild<QLabel*>(QStringLiteral("LayoutWarning"));
    d->setDesktopLayout(rfid::wedge::KeyboardLayout{"de", "nodeadkeys"});
    EXPECT_TRUE(label->text().contains("German (de)")) << label->text().toStdString();
    EXPECT_TRUE(label->text().contains("de(nodeadkeys)"));
    EXPECT_FALSE(warning->isVisibleTo(d));
    d->setDesktopLayout(rfid::wedge::KeyboardLayout{"fr", ""});
    EXPECT_TRUE(warning->isVisibleTo(d));
    EXPECT_TRUE(warning->text().startsWith("The reader types for de but the desktop uses fr"))
        << warning->text().toStdString();
    d->setDesktopLayout(std::nullopt);
    EXPECT_FALSE(warning->isVisibleTo(d)) << "no warning when the desktop's layout is not known";
    EXPECT_TRUE(label->text().endsWith("The desktop's keyboard layout: not known."));
}

TEST_F(CardTest, WithoutTheSimulatedReaderOrItsAnswer) {
    rfid::UsbLibrary missing(QStringLiteral("librfidusb-missing.so"));
    rfid::CardTestDialog d(missing, nullptr);
    EXPECT_FALSE(d.hasSimulatedReader());
    EXPECT_FALSE(d.findChild<QPushButton*>(QStringLiteral("PresentCardButton"))->isVisibleTo(&d));
    EXPECT_FALSE(d.presentCard(kCard));
    EXPECT_FALSE(d.readSettingsFromReader());
    EXPECT_TRUE(d.findChild<QLabel*>(QStringLiteral("SettingsLabel"))->text().contains("not known"));
    // Rows still come, unchecked.
    key(d.inputArea(), '1', "1", 10);
    d.inputArea()->setFocus();
    ASSERT_TRUE(waitRows(&d, 1));
    EXPECT_EQ(cell(&d, 0, rfid::CardTestDialog::ShapeColumn),
              "not checked: the reader's settings are not known");

    // A reader that refuses the read-back keeps the settings unknown.
    rfid::CardTestDialog sim(form->usbLibrary(), nullptr);
    rfidsim_set_fault(RFIDSIM_REFUSE, 0x85);
    EXPECT_FALSE(sim.readSettingsFromReader());
    rfidsim_set_fault(RFIDSIM_OK, 0);
    // A format code without a rendering: the simulated reader types nothing.
    form->Send(QStringLiteral("8204000000010100000000000000000000"));
    EXPECT_FALSE(sim.presentCard(kCard));
    EXPECT_FALSE(sim.isTyping());
    EXPECT_TRUE(sim.findChild<QLabel*>(QStringLiteral("StatusLabel"))->text().contains("types nothing"));
}

TEST_F(CardTest, Screenshot) {
    setOutput("RadioButton16", true, QStringLiteral("3B")); // 10 decimal digits, Enter, prefix ";"
    rfid::CardTestDialog* d = open();
    ASSERT_TRUE(d);
    // A desktop on which the American reader's keys come out as meant (the
    // simulated keys arrive through its layout).
    d->setDesktopLayout(rfid::wedge::KeyboardLayout{"gb", ""});
    ASSERT_TRUE(d->presentCard(kCard));
    ASSERT_TRUE(waitRows(d, 1));
    ASSERT_TRUE(d->presentCard({0, 0, 0x0A, 0xBC, 0xDE, 0xF0, 0x07}));
    ASSERT_TRUE(waitRows(d, 2));
    // The reader switched to hexadecimal behind the window's back.
    setOutput("RadioButton6", true, QStringLiteral("3B"));
    ASSERT_TRUE(d->presentCard({0, 0, 0x0A, 0xBC, 0xDE, 0xF0, 0x07}));
    ASSERT_TRUE(waitRows(d, 3));
    QGuiApplication::clipboard()->setText(QStringLiteral(";0591751049\r"));
    key(d->inputArea(), Qt::Key_V, "\x16", 5, Qt::ControlModifier);
    ASSERT_TRUE(waitRows(d, 4));
    EXPECT_EQ(cell(d, 2, rfid::CardTestDialog::ShapeColumn).toStdString(),
              "expected 10 decimal digits, got 8 hex digits");
    const QString shots = qEnvironmentVariable("RFID_SCREENSHOT_DIR");
    if (!shots.isEmpty()) {
        QDir().mkpath(shots);
        d->grab().save(QDir(shots).filePath(QStringLiteral("cardtest.png")));
    }
}

// The keymap model: what the card looks like on this computer, and the one
// button that chooses the language that brings it out right (nothing is sent).
TEST_F(CardTest, HowTheCardAppearsOnThisComputer) {
    rfid::CardTestDialog* d = open();
    ASSERT_TRUE(d);
    auto* warning = d->findChild<QLabel*>(QStringLiteral("LayoutWarning"));
    auto* appears = d->findChild<QLabel*>(QStringLiteral("AppearsLabel"));
    auto* advice = d->findChild<QLabel*>(QStringLiteral("AdviceLabel"));
    auto* choose = d->findChild<QPushButton*>(QStringLiteral("ChooseLanguageButton"));
    // An American reader (10 no.in D) on a Belgian computer: the digits need Shift there.
    d->setDesktopLayout(rfid::wedge::KeyboardLayout{"be", ""});
    EXPECT_TRUE(warning->isVisibleTo(d));
    EXPECT_EQ(warning->text().toStdString(),
              "The reader types for us but the desktop uses be. On this computer the "
              "card appears as ààà'(\"\"é§!, not 0004533268 (card 5D00452C14).");
    EXPECT_FALSE(appears->isVisibleTo(d));
    EXPECT_EQ(advice->text(), "Set the reader's language to Belgium.");
    ASSERT_TRUE(choose->isVisibleTo(d));
    EXPECT_EQ(choose->text(), "Choose Belgium on the language page");
    const int sent = rfidsim_frame_count();
    choose->click();
    EXPECT_TRUE(find<QRadioButton>("RadioButton24")->isChecked()) << "Belgium on the language page";
    EXPECT_EQ(rfidsim_frame_count(), sent) << "only the page's choice changes";
    EXPECT_TRUE(d->findChild<QLabel*>(QStringLiteral("StatusLabel"))->text().startsWith("Belgium is chosen"));

    // A British computer: the digits agree.
    d->setDesktopLayout(rfid::wedge::KeyboardLayout{"gb", ""});
    EXPECT_FALSE(warning->isVisibleTo(d));
    EXPECT_FALSE(advice->isVisibleTo(d));
    EXPECT_TRUE(appears->isVisibleTo(d));
    EXPECT_EQ(appears->text(),
              "On this computer the card appears as 0004533268, as the reader types it (card 5D00452C14).");
    // The card the simulated reader typed becomes the example.
    ASSERT_TRUE(d->presentCard({0, 0, 0x00, 0x00, 0xD1, 0xCA, 0xAF}));
    ASSERT_TRUE(waitRows(d, 1));
    d->setDesktopLayout(rfid::wedge::KeyboardLayout{"fr", ""});
    EXPECT_EQ(warning->text().toStdString(),
              "The reader types for us but the desktop uses fr. On this computer the "
              "card appears as àà&\"è'_ç&&, not 0013748911 (card 0000D1CAAF).");
    // No language brings a prefix "@" out on a Russian computer.
    setOutput("RadioButton16", false, QStringLiteral("40"));
    d->findChild<QPushButton*>(QStringLiteral("ReadSettingsButton"))->click();
    d->setDesktopLayout(rfid::wedge::KeyboardLayout{"ru", ""});
    EXPECT_EQ(advice->text(), "No reader language brings these settings out right on ru.");
    EXPECT_FALSE(choose->isVisibleTo(d));
    EXPECT_FALSE(d->suggestedLanguage());
}

// The simulated reader's keys arrive through the desktop's layout, as a real
// reader's do, and the row ties the garbled read to the warning above it.
TEST_F(CardTest, PresentedCardArrivesThroughTheDesktopsLayout) {
    rfid::CardTestDialog* d = open();
    ASSERT_TRUE(d);
    d->setDesktopLayout(rfid::wedge::KeyboardLayout{"be", ""});
    ASSERT_TRUE(d->presentCard({0, 0, 0x5D, 0x00, 0x45, 0x2C, 0x14}));
    ASSERT_TRUE(waitRows(d, 1));
    EXPECT_EQ(cell(d, 0, rfid::CardTestDialog::TypedColumn), "ààà'(\"\"é§!");
    EXPECT_EQ(cell(d, 0, rfid::CardTestDialog::ShapeColumn), "this is 0004533268 typed for us, read on be");
}

namespace {
// Waits until the finder has taken a card and waits for nothing more.
bool waitFinder(rfid::FormatFinderDialog* f) {
    QElapsedTimer t;
    t.start();
    while ((f->isTyping() || f->waiting() != rfid::FormatFinderDialog::Waiting::Nothing) &&
           t.elapsed() < 5000) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(2);
    }
    return f->waiting() == rfid::FormatFinderDialog::Waiting::Nothing;
}
} // namespace

// Find the format, end to end with the simulated reader: the card read once,
// every format's rendering listed with the matches marked, a format tried on
// the reader (also one the reader types otherwise than the model says), and
// one put into the output format page.
TEST_F(CardTest, FindTheFormat) {
    setOutput("RadioButton16", true); // 10 no.in D, Enter
    rfid::CardTestDialog* d = open();
    ASSERT_TRUE(d);
    d->findChild<QPushButton*>(QStringLiteral("FindFormatButton"))->click();
    auto* f = d->findChild<rfid::FormatFinderDialog*>(QStringLiteral("FormatFinderDialog"));
    ASSERT_TRUE(f);
    EXPECT_TRUE(f->isVisible());
    EXPECT_EQ(d->openFormatFinder(), f) << "one per window";

    const rfid::wedge::CardNumber em{0, 0, 0x5D, 0x00, 0x45, 0x2C, 0x14};
    f->expectedEdit()->setText(QStringLiteral("0004533268"));
    f->findChild<QPushButton*>(QStringLiteral("ReadCardButton"))->click();
    EXPECT_EQ(f->waiting(), rfid::FormatFinderDialog::Waiting::CardId);
    // The reader reports its settings and types the whole number for this card.
    const auto sent = frames();
    ASSERT_GE(sent.size(), 2u);
    EXPECT_EQ(sent[sent.size() - 2], "AA 00 01 83 82 BB");
    EXPECT_EQ(sent.back(), outputFrame("01 00 00 00 01 01 01 00 00 00 00 00 00 00 00 00"));
    ASSERT_TRUE(f->presentCard(em));
    ASSERT_TRUE(waitFinder(f));
    // ... and is set back at once.
    EXPECT_EQ(lastFrame(), outputFrame("0F 00 00 00 01 01 01 00 00 00 00 00 00 00 00 00"));
    ASSERT_TRUE(f->card());
    EXPECT_EQ(*f->card(), em);

    QTableWidget* t = f->table();
    ASSERT_EQ(t->rowCount(), 15);
    QStringList marked;
    for (int row = 0; row < 15; ++row) {
        if (t->item(row, rfid::FormatFinderDialog::MatchColumn)->text() == "matches")
            marked << t->item(row, rfid::FormatFinderDialog::CodeColumn)->text();
    }
    EXPECT_EQ(marked, (QStringList{"0D", "0F"}));
    EXPECT_EQ(t->item(13, rfid::FormatFinderDialog::NumberColumn)->text(), "06911284");
    EXPECT_EQ(t->item(13, rfid::FormatFinderDialog::TypedColumn)->text(), "06911284⏎");
    EXPECT_EQ(
        f->findChild<QLabel*>(QStringLiteral("AlikeLabel"))->text(),
        "Card 5D00452C14 cannot tell these 2 formats apart: 00+8 no. in D (last 3 bytes), 10 no.in D type "
        "it alike. A card whose other bytes differ can.");
    EXPECT_EQ(f->chosenFormat(), 0x0F) << "the reader's own format, which already matches, is chosen";

    // Tried on the reader: it types what the model says.
    f->chooseFormat(0x0F);
    f->findChild<QPushButton*>(QStringLiteral("TryFormatButton"))->click();
    EXPECT_EQ(lastFrame(), outputFrame("0F 00 00 00 01 01 01 00 00 00 00 00 00 00 00 00"));
    EXPECT_EQ(f->waiting(), rfid::FormatFinderDialog::Waiting::Trial);
    ASSERT_TRUE(f->presentCard(em));
    ASSERT_TRUE(waitFinder(f));
    EXPECT_EQ(f->statusText(), "The reader typed 0004533268⏎ in 10 no.in D: the number you expect.");

    // A reader that types "3 + 5 digits" as the model's "8 digits": the model is wrong for it.
    qputenv("RFIDSIM_FORMAT_AS", "0E=0B");
    f->chooseFormat(0x0E);
    const bool tried = f->tryFormat();
    const QString triedFrame = lastFrame();
    const bool presented = tried && f->presentCard(em);
    const bool taken = presented && waitFinder(f);
    qunsetenv("RFIDSIM_FORMAT_AS");
    ASSERT_TRUE(taken);
    EXPECT_EQ(triedFrame, outputFrame("0E 00 00 00 01 01 01 00 00 00 00 00 00 00 00 00"));
    EXPECT_EQ(f->statusText(),
              "The reader typed 04533268⏎, but the model says 06911284⏎ for 8 no. in D (The card "
              "last 3bytes): the model is wrong for this reader in this format. The reader keeps "
              "8 no. in D (The card last 3bytes); try another format, or set it back on the output "
              "format page.");

    // Use this format: the output format page's choice, nothing sent.
    f->chooseFormat(0x0C);
    const int before = rfidsim_frame_count();
    f->findChild<QPushButton*>(QStringLiteral("UseFormatButton"))->click();
    EXPECT_TRUE(find<QRadioButton>("RadioButton6")->isChecked()) << "8 no. in HEX";
    EXPECT_TRUE(find<QCheckBox>("CheckBox15")->isChecked()) << "the rest of the page stays";
    EXPECT_EQ(rfidsim_frame_count(), before);

    const QString shots = qEnvironmentVariable("RFID_SCREENSHOT_DIR");
    if (!shots.isEmpty()) {
        QDir().mkpath(shots);
        f->grab().save(QDir(shots).filePath(QStringLiteral("formatfinder.png")));
    }
}

TEST_F(CardTest, FindTheFormatWhenTheReaderDoesNotPlay) {
    rfid::CardTestDialog* d = open();
    ASSERT_TRUE(d);
    rfid::FormatFinderDialog* f = d->openFormatFinder();
    // Nothing to try before a card was read.
    EXPECT_FALSE(f->tryFormat());
    EXPECT_EQ(f->statusText(), "Read the card and choose a format in the list first.");
    // A reader that refuses the read-back: nothing is changed on it.
    rfidsim_set_fault(RFIDSIM_REFUSE, 0x85);
    rfidsim_clear_frames();
    EXPECT_FALSE(f->readCard());
    rfidsim_set_fault(RFIDSIM_OK, 0);
    EXPECT_EQ(frames().size(), 1u) << "only the read-back was sent";
    EXPECT_TRUE(f->statusText().startsWith("The reader did not report its settings"))
        << f->statusText().toStdString();
    // Keys that are not the card's number in 14 hex digits: said plainly, and the reader set back.
    ASSERT_TRUE(f->readCard());
    QWidget* area = reinterpret_cast<QWidget*>(f->inputArea());
    for (QChar c : QStringLiteral("12345"))
        key(area, c.unicode(), c, 1000 + c.unicode());
    ASSERT_TRUE(waitFinder(f));
    EXPECT_TRUE(f->statusText().startsWith("The reader typed 12345, not the card's number in 14 hex digits"))
        << f->statusText().toStdString();
    EXPECT_EQ(lastFrame(), outputFrame("0F 00 00 00 00 01 01 00 00 00 00 00 00 00 00 00"));
    EXPECT_FALSE(f->card());
    // Closing the window while it waits for the card sets the reader back.
    ASSERT_TRUE(f->readCard());
    f->close();
    EXPECT_EQ(lastFrame(), outputFrame("0F 00 00 00 00 01 01 00 00 00 00 00 00 00 00 00"));
}

TEST_F(CardTest, ScreenshotOfTheLanguageAdvice) {
    const QString shots = qEnvironmentVariable("RFID_SCREENSHOT_DIR");
    if (shots.isEmpty())
        GTEST_SKIP() << "RFID_SCREENSHOT_DIR not set";
    setOutput("RadioButton16", true, QStringLiteral("3B"));
    rfid::CardTestDialog* d = open();
    ASSERT_TRUE(d);
    d->setDesktopLayout(rfid::wedge::KeyboardLayout{"be", ""});
    ASSERT_TRUE(d->presentCard({0, 0, 0x00, 0x00, 0xD1, 0xCA, 0xAF}));
    ASSERT_TRUE(waitRows(d, 1));
    QDir().mkpath(shots);
    d->grab().save(QDir(shots).filePath(QStringLiteral("cardtest-advice.png")));
}

#ifndef _WIN32 // ended by POSIX signals (SIGKILL, SIGTERM, SIGHUP), which Windows has not
// Run by the next test as a process of its own: the window switches the reader
// for a card and waits, until it is killed.
TEST_F(CardTest, FinderWaitsUntilKilled) {
    if (qEnvironmentVariable("RFID_FINDER_CHILD") != QLatin1String("1"))
        GTEST_SKIP() << "run by FinderKilledWhileSwitchedIsSetBackByTheNextProgram";
    rfid::CardTestDialog* d = open();
    ASSERT_TRUE(d);
    rfid::FormatFinderDialog* f = d->openFormatFinder();
    ASSERT_TRUE(f->readCard());
    std::printf("waiting\n");
    std::fflush(stdout);
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < 60000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
}

// Killed, the window leaves the reader switched and the next program sets it
// back and says so; ended by SIGTERM or SIGHUP, the window sets it back itself.
TEST(FormatFinderProcess, FinderKilledWhileSwitchedIsSetBackByTheNextProgram) {
    const struct {
        int signal;
        bool leftSwitched;
    } cases[] = {{SIGKILL, true}, {SIGTERM, false}, {SIGHUP, false}};
    for (const auto& c : cases) {
        QTemporaryDir dir;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("RFIDSIM_STATE", dir.filePath("reader.state"));
        env.insert("STATE_DIRECTORY", dir.filePath("state"));
        QProcess window;
        QProcessEnvironment child = env;
        child.insert("RFID_FINDER_CHILD", "1");
        window.setProcessEnvironment(child);
        window.start(QCoreApplication::applicationFilePath(),
                     {"--gtest_filter=CardTest.FinderWaitsUntilKilled"});
        ASSERT_TRUE(window.waitForStarted());
        while (!window.readAllStandardOutput().contains("waiting") && window.waitForReadyRead(30000)) {
        }
        ASSERT_EQ(window.state(), QProcess::Running);
        ::kill(pid_t(window.processId()), c.signal);
        window.waitForFinished();
        EXPECT_EQ(window.exitStatus(), QProcess::CrashExit) << "ended by the signal";
        EXPECT_EQ(QDir(dir.filePath("state")).entryList({"switched-*"}).size(), c.leftSwitched ? 1 : 0);

        QStringList said;
        for (int i = 0; i < 2; ++i) {
            QProcess rfidctl;
            rfidctl.setProcessEnvironment(env);
            rfidctl.start(QStringLiteral(RFIDCTL_PATH), {"--sim", "read"});
            rfidctl.waitForFinished(30000);
            said << QString::fromUtf8(rfidctl.readAllStandardError());
            EXPECT_TRUE(rfidctl.readAllStandardOutput().contains("10 no.in D"))
                << "the reader types as before";
        }
        EXPECT_EQ(said[0].contains("rfidctl: Find the format switched reader sim:0 at "), c.leftSwitched)
            << said[0].toStdString();
        EXPECT_EQ(said[0].contains("; it was set back to 10 no.in D"), c.leftSwitched);
        EXPECT_FALSE(said[1].contains("Find the format")) << "set back once";
        EXPECT_TRUE(QDir(dir.filePath("state")).entryList({"switched-*"}).isEmpty());
    }
}
#endif

TEST_F(CardTest, FinderSetsTheReaderBackWhenNoCardComesInTime) {
    rfid::CardTestDialog* d = open();
    ASSERT_TRUE(d);
    rfid::FormatFinderDialog* f = d->openFormatFinder();
    f->setCardTimeLimit(1000);
    ASSERT_TRUE(f->readCard());
    EXPECT_EQ(f->findChild<QLabel*>(QStringLiteral("FinderTimeLeft"))->text(),
              "Time left for the card: 0:01");
    QElapsedTimer t;
    t.start();
    while (f->waiting() != rfid::FormatFinderDialog::Waiting::Nothing && t.elapsed() < 5000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    EXPECT_EQ(lastFrame(), outputFrame("0F 00 00 00 00 01 01 00 00 00 00 00 00 00 00 00"));
    EXPECT_TRUE(f->statusText().startsWith("No card came in 1 seconds; the reader was set back."))
        << f->statusText().toStdString();
}
