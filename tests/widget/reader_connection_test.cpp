// The "Reader" menu, the connection indicator and the connection check, against
// several simulated readers plugged in and out. With RFID_SCREENSHOT_DIR set, the
// status bar is saved there in each of the indicator's states.
#include "harness.h"
#include "readerconnection.h"

#include <QDialog>
#include <QDir>
#include <QElapsedTimer>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QPlainTextEdit>
#include <QStatusBar>
#include <QTimer>

namespace {

class ReaderChoice : public WindowTest {
protected:
    ReaderConnection* connection() const { return form->readerConnection(); }

    // Processes events until `done` or `ms` have passed; true when done.
    static bool waitFor(const std::function<bool()>& done, int ms) {
        QElapsedTimer t;
        t.start();
        while (!done() && t.elapsed() < ms)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 20);
        return done();
    }

    QStringList menuTexts() const {
        QStringList out;
        for (QAction* a : connection()->menu()->actions())
            if (!a->isSeparator())
                out << a->text() + (a->isChecked() ? QStringLiteral(" *") : QString());
        return out;
    }

    // The version command through the window's own exchange.
    QString version() const {
        form->Send(QStringLiteral("C0"));
        return form->lastResponse;
    }
};

} // namespace

TEST_F(ReaderChoice, IndicatorIsAFifthPanelAndNothingElseMoves) {
    form->show();
    QStatusBar* bar = form->StatusBar1;
    QLabel* indicator = connection()->indicator();
    ASSERT_EQ(indicator, find<QLabel>("StatusPanel4"));
    EXPECT_EQ(indicator->parentWidget(), bar);

    auto layoutNow = [&] {
        QList<QRect> rects{form->PageControl1->geometry(), form->RichEdit1->parentWidget()->geometry(),
                           bar->geometry(), form->geometry()};
        for (QLabel* p : form->statusPanels)
            rects << p->geometry();
        return rects;
    };
    const QList<QRect> with = layoutNow();
    // At the window's first size the indicator stands whole after the fourth panel.
    EXPECT_GT(indicator->x(), form->statusPanels[3]->geometry().right());
    EXPECT_LE(indicator->geometry().right(), bar->width());
    EXPECT_TRUE(indicator->isVisible());
    EXPECT_EQ(form->width(), 850);

    // The same window without it: every other control in the same place.
    bar->removeWidget(indicator);
    QCoreApplication::processEvents();
    EXPECT_EQ(layoutNow(), with);
    bar->addWidget(indicator);

    // The menus before it keep their places too: "Reader" follows "Settings".
    const QList<QAction*> menus = form->menuBar()->actions();
    ASSERT_GE(menus.size(), 5);
    EXPECT_EQ(menus[0]->text(), "System");
    EXPECT_EQ(menus[4]->text(), "Reader");
}

TEST_F(ReaderChoice, ListsReadersFirstChosenAndAnotherOneTakesTheCommands) {
    rfidsim_set_reader_count(3);
    connection()->refresh();
    EXPECT_EQ(menuTexts(),
              (QStringList{"Simulated RFID reader (SIM-0000) *", "Simulated RFID reader (SIM-0001)",
                           "Simulated RFID reader (SIM-0002)", "Connection check…"}));
    EXPECT_EQ(connection()->state(), ReaderConnection::State::Connected);
    EXPECT_EQ(connection()->indicator()->toolTip(), "Connected: Simulated RFID reader (SIM-0000)");

    find<QAction>("ReaderItem2")->trigger();
    EXPECT_EQ(connection()->chosenKey(), "SIM-0002");
    EXPECT_TRUE(find<QAction>("ReaderItem2")->isChecked());
    EXPECT_EQ(version(), "AA00050056312E307CBB");
    EXPECT_EQ(rfidsim_current(), 2);
    EXPECT_EQ(rfidsim_frame_count(), 1); // reader 2's own frames
}

TEST_F(ReaderChoice, NoticesPlugAndUnplugWithinASecondAndTheFirstCommandAfterWorks) {
    rfidsim_set_reader_count(2);
    connection()->refresh();
    find<QAction>("ReaderItem1")->trigger();
    ASSERT_FALSE(version().isEmpty());

    QElapsedTimer t;
    t.start();
    rfidsim_plug(1, 0);
    ASSERT_TRUE(waitFor([&] { return connection()->state() == ReaderConnection::State::NoReader; }, 1000))
        << connection()->stateText().toStdString();
    EXPECT_LT(t.elapsed(), 1000);
    EXPECT_EQ(connection()->indicator()->accessibleName(), "no reader");
    EXPECT_EQ(menuTexts(), (QStringList{"Simulated RFID reader (SIM-0000)", "Connection check…"}));
    // Commands go nowhere while the chosen reader is out; the other one is not used instead.
    EXPECT_TRUE(version().isEmpty());
    EXPECT_TRUE(form->RichEdit1->toPlainText().contains("Non data receiving,Please check the equipment...."));

    t.restart();
    rfidsim_plug(1, 1);
    ASSERT_TRUE(waitFor([&] { return connection()->state() == ReaderConnection::State::Connected; }, 1000));
    EXPECT_LT(t.elapsed(), 1000);
    EXPECT_EQ(version(), "AA00050056312E307CBB");
    EXPECT_EQ(rfidsim_current(), 1);
}

TEST_F(ReaderChoice, NoAccessAndTheConnectionCheck) {
    rfidsim_set_access(0, RFIDSIM_ACCESS_DENIED);
    connection()->refresh();
    EXPECT_EQ(connection()->state(), ReaderConnection::State::NoAccess);
    EXPECT_EQ(connection()->stateText(), "no access");
    const QString denied = connection()->connectionCheckText();
    EXPECT_TRUE(denied.contains("PROBLEM: A reader is attached, but this user may not open it."))
        << denied.toStdString();
    EXPECT_TRUE(denied.contains("sim:0 cannot be opened: Permission denied")) << denied.toStdString();

    rfidsim_set_access(0, RFIDSIM_ACCESS_OK);
    connection()->refresh();
    // The check runs from the menu and shows its findings in a dialog.
    QString shown;
    QTimer::singleShot(0, [&] {
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        EXPECT_EQ(dialog->windowTitle(), "Connection check");
        shown = dialog->findChild<QPlainTextEdit*>("ConnectionCheckText")->toPlainText();
        dialog->reject();
    });
    find<QAction>("ConnectionCheck")->trigger();
    EXPECT_TRUE(shown.contains("OK: The reader answers: Simulated RFID reader (SIM-0000), version \"V1.0\"."))
        << shown.toStdString();
    EXPECT_EQ(connection()->state(), ReaderConnection::State::Connected);
}

TEST_F(ReaderChoice, IndicatorStatesLookDifferent) {
    form->show();
    QLabel* indicator = connection()->indicator();
    QList<QImage> looks;
    const QString shots = qEnvironmentVariable("RFID_SCREENSHOT_DIR");
    const char* names[] = {"connected", "no-reader", "no-access"};
    for (int i = 0; i < 3; ++i) {
        rfidsim_plug(0, i == 1 ? 0 : 1);
        rfidsim_set_access(0, i == 2 ? RFIDSIM_ACCESS_DENIED : RFIDSIM_ACCESS_OK);
        connection()->refresh();
        EXPECT_EQ(connection()->stateText(),
                  QString::fromLatin1(names[i]).replace('-', ' ').replace("connected", "connected reader"));
        looks << indicator->grab().toImage();
        if (!shots.isEmpty()) {
            // The right end of the status bar, enlarged, with the tool tip's text under it.
            const QRect area(form->statusPanels[3]->x() - 60, 0,
                             form->StatusBar1->width() - form->statusPanels[3]->x() + 60,
                             form->StatusBar1->height());
            const QImage strip = form->StatusBar1->grab(area).toImage().scaled(area.size() * 3);
            QImage out(strip.width(), strip.height() + 30, QImage::Format_ARGB32);
            out.fill(Qt::white);
            QPainter p(&out);
            p.drawImage(0, 0, strip);
            p.drawText(QRect(4, strip.height(), out.width() - 8, 30), Qt::AlignVCenter, indicator->toolTip());
            p.end();
            out.save(QDir(shots).filePath(QStringLiteral("indicator-%1.png").arg(QLatin1String(names[i]))));
        }
    }
    EXPECT_NE(looks[0], looks[1]);
    EXPECT_NE(looks[1], looks[2]);
    EXPECT_NE(looks[0], looks[2]);
}
