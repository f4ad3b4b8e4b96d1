// A reader left switched by a program that died is set back by whichever of
// the window's dialogs takes it first, and the window's log says so, as it does
// when the window's own command takes it.
#include "cardtestdialog.h"
#include "dialogs.h"
#include "formatfinderdialog.h"
#include "harness.h"
#include "switchjournal.h"
#include "writeflow.h"

#include <QAction>
#include <QElapsedTimer>
#include <QTemporaryDir>

namespace {

class SwitchNotice : public WindowTest {
protected:
    QTemporaryDir state;

    void SetUp() override {
        WindowTest::SetUp();
        qputenv("STATE_DIRECTORY", QFile::encodeName(state.path()));
    }
    void TearDown() override {
        rfid::setFileDialogAnswers({}, {});
        WindowTest::TearDown();
        qunsetenv("STATE_DIRECTORY");
    }

    // Switches the reader to 14 hex digits and notes it as Find the format
    // does, for a process that is gone.
    void leaveSwitched() {
        rfid::ReaderLink link(form->usbLibrary());
        const rfid::ReadBack before = rfid::readBack(link);
        ASSERT_TRUE(before.settings);
        const auto held = *rfid::outputSettingsBytes(*before.settings);
        auto written = held;
        written[0] = 0x01;
        ASSERT_TRUE(link.send(rfid::outputSettingsCommand(written)).ok());
        const rfid::SwitchNote note{"Find the format", "sim:0", QDateTime::currentDateTimeUtc(), held,
                                    written};
        QString error;
        ASSERT_TRUE(rfid::noteSwitch(link, note, error)) << error.toStdString();
    }
    // The window's log as one line (fitted lines are broken at blanks).
    QString logText() const {
        return form->RichEdit1->toPlainText().replace(QLatin1Char('\n'), QLatin1Char(' '));
    }
    bool waitForNotice() const {
        QElapsedTimer t;
        t.start();
        while (!logText().contains(QStringLiteral("Find the format switched reader sim:0 at ")) &&
               t.elapsed() < 10000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        return logText().contains(QStringLiteral("; it was set back to"));
    }
};

} // namespace

TEST_F(SwitchNotice, EveryDialogThatTakesTheReaderTellsTheWindowsLog) {
    const QString settings = state.filePath(QStringLiteral("reader.json"));
    {
        QFile f(settings);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(R"({"version": 1, "language": "German"})");
    }
    rfid::setFileDialogAnswers([this](const QString&, const QString&) { return state.filePath("rows.csv"); },
                               [settings](const QString&, const QString&) { return settings; });
    const struct {
        const char* dialog;
        std::function<void()> open;
    } cases[] = {
        {"card test", [this] { find<QAction>("MenuCardTest")->trigger(); }},
        {"Find the format",
         [this] {
             auto* d = form->findChild<rfid::CardTestDialog*>(QStringLiteral("CardTestDialog"));
             ASSERT_NE(d, nullptr);
             rfid::FormatFinderDialog* f = d->openFormatFinder();
             // Taking the reader sets back what was left; then it switches the
             // reader itself, and closing sets that back too.
             EXPECT_TRUE(f->readCard());
             f->close();
         }},
        {"station", [this] { find<QAction>("MenuStation")->trigger(); }},
    };
    for (const auto& c : cases) {
        leaveSwitched();
        form->RichEdit1->clear();
        c.open();
        EXPECT_TRUE(waitForNotice()) << c.dialog << ": " << logText().toStdString();
        EXPECT_TRUE(QDir(state.path()).entryList({"switched-*"}).isEmpty()) << c.dialog;
    }
}
