// The main window: layout, defaults, menus, status bar, help dialog, log.
#include "dialogs.h"
#include "harness.h"
#include "skins.h"
#include "tform2.h"

#include <QCloseEvent>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QScrollBar>
#include <QSet>
#include <QStatusBar>
#include <QTabBar>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTimer>

using Window = WindowTest;

TEST_F(Window, CaptionPagesAndHiddenTabs) {
    EXPECT_EQ(form->windowTitle(), " 134.2K Demo  V 1.3");
    EXPECT_FALSE(form->windowFlags() & Qt::WindowMaximizeButtonHint);
    QTabWidget* pages = find<QTabWidget>("PageControl1");
    ASSERT_EQ(pages->count(), 8);
    const char* captions[] = {"Switch of mode", "language settings", "系统命令", "S50/S70",
                              "Ultralight",     "ISO14443B",         "ISO15693", "125K usb reader setting  "};
    QStringList shown;
    for (int i = 0; i < 8; ++i) {
        EXPECT_EQ(pages->tabText(i), QString::fromUtf8(captions[i]));
        if (pages->isTabVisible(i))
            shown << pages->tabText(i);
    }
    EXPECT_EQ(shown, (QStringList{"Switch of mode", "language settings", "125K usb reader setting  "}));
    EXPECT_EQ(pages->geometry(), QRect(5, 4, 529, 561));
    EXPECT_EQ(form->RichEdit1->parentWidget()->geometry(), QRect(539, 2, 307, 564));
    EXPECT_EQ(form->RichEdit1->size(), QSize(297, 548));
    // Every visible tab shows its whole caption.
    for (int i : {0, 1, 7}) {
        const QRect r = pages->tabBar()->tabRect(i);
        EXPECT_GE(r.width(), pages->tabBar()->fontMetrics().horizontalAdvance(pages->tabText(i)) + 8);
        EXPECT_GE(r.width(), 131);
    }
}

// Handlers and tests find controls by name, so a name given twice would make
// one of the two controls unreachable.
TEST_F(Window, EveryNamedControlHasItsOwnName) {
    QMap<QString, int> seen;
    for (QObject* o : form->findChildren<QObject*>()) {
        const QString name = o->objectName();
        if (!name.isEmpty() && !name.startsWith(QLatin1String("qt_")))
            ++seen[name];
    }
    QStringList twice;
    for (auto it = seen.cbegin(); it != seen.cend(); ++it)
        if (it.value() > 1)
            twice << it.key();
    EXPECT_TRUE(twice.isEmpty()) << twice.join(' ').toStdString();
    for (const char* name : {"PageControl1", "RichEdit1", "StatusBar1", "setadd", "Timer1", "ComboBox2", "N4",
                             "N11", "GroupBox3", "RadioButton3", "RadioButton19"})
        EXPECT_EQ(seen.value(QString::fromLatin1(name)), 1) << name;
}

TEST_F(Window, FormCreateDefaults) {
    EXPECT_EQ(form->PageControl1->currentIndex(), 0);
    EXPECT_EQ(form->setadd->currentText(), "00");
    ASSERT_EQ(form->setadd->count(), 33);
    EXPECT_EQ(form->setadd->itemText(10), "0a");
    EXPECT_EQ(form->setadd->itemText(26), "1a");
    EXPECT_EQ(form->setadd->itemText(32), "20");
    EXPECT_EQ(form->ComboBox2->currentText(), "9600");
    EXPECT_TRUE(form->RadioButton3->isChecked());
    EXPECT_FALSE(form->RadioButton4->isChecked());
    EXPECT_FALSE(form->GroupBoxComm->isVisibleTo(form.get()));
    EXPECT_FALSE(form->GroupBoxSend->isVisibleTo(form.get()));
    EXPECT_FALSE(form->GroupBoxState->isVisibleTo(form.get()));
    EXPECT_EQ(rfid::currentSkin(), 2);
    EXPECT_EQ(form->Timer1->interval(), 1000);
    EXPECT_TRUE(form->Timer1->isActive());
    if (auto* sleep = form->findChild<QComboBox*>("ComboBox20")) {
        EXPECT_EQ(sleep->currentText(), "0.5 minute");
    }
    // The defaults reach controls of the hidden pages by name: a renamed
    // control would silently keep its own start value.
    const std::pair<const char*, const char*> flags[] = {
        {"ComboBox10", "Philips"}, {"ComboBox11", "TI"},      {"ComboBox12", "Philips"},
        {"ComboBox13", "uid"},     {"ComboBox14", "Philips"}, {"ComboBox15", "Philips"},
        {"ComboBox16", "Philips"}, {"ComboBox17", "Philips"}, {"ComboBox18", "Philips"},
        {"ComboBox19", "Philips"}};
    for (const auto& [name, text] : flags) {
        if (auto* box = find<QComboBox>(name)) {
            EXPECT_EQ(box->currentText(), text) << name;
        }
    }
    if (auto* list = find<QListWidget>("ListBox1")) {
        EXPECT_EQ(list->currentRow(), 0);
    }
    if (auto* list = find<QListWidget>("ListBox2")) {
        EXPECT_EQ(list->currentRow(), 4);
    }
}

TEST_F(Window, StatusBarPanelsAndClock) {
    const int widths[4] = {150, 30, 400, 200};
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(form->statusPanels[i]->width(), widths[i]);
    // Whatever the status bar holds besides the four panels, the window keeps
    // its width when shown.
    form->show();
    QCoreApplication::processEvents();
    EXPECT_EQ(form->width(), 850);
    EXPECT_EQ(form->grab().width(), 850);
    EXPECT_EQ(form->statusPanels[0]->text(), "  RFID");
    EXPECT_EQ(form->statusPanels[1]->text(), "");
    EXPECT_EQ(form->statusPanels[2]->text(), " Demo  V 1.2");
    form->Timer1Timer();
    static const QRegularExpression clock(
        QStringLiteral("^   \\d{4}\\.\\d\\d\\.\\d\\d   (0\\d|1[0-2]):\\d\\d:\\d\\d (AM|PM)   $"));
    EXPECT_TRUE(clock.match(form->statusPanels[3]->text()).hasMatch())
        << form->statusPanels[3]->text().toStdString();
    EXPECT_EQ(form->StatusBar1->height(), 27);
}

TEST_F(Window, MenusAndSkins) {
    QStringList names;
    for (QAction* a : form->findChildren<QAction*>())
        names << a->objectName();
    for (const char* n : {"N4", "N5", "N11", "N12", "N13", "N14", "N51", "N61"})
        EXPECT_TRUE(names.contains(QLatin1String(n))) << n;
    EXPECT_EQ(find<QAction>("N4")->text(), "Exit");
    EXPECT_EQ(find<QAction>("N61")->text(), "Stype six");
    EXPECT_EQ(find<QAction>("N5")->text(), "Help");
    const char* items[] = {"N11", "N12", "N13", "N14", "N51", "N61"};
    for (int i = 0; i < 6; ++i) {
        find<QAction>(items[i])->trigger();
        EXPECT_EQ(rfid::currentSkin(), i);
    }
    EXPECT_EQ(rfid::skinName(4), "Skin5");
    EXPECT_FALSE(rfid::applySkin(6));
    EXPECT_EQ(rfid::currentSkin(), 5);
    rfid::applySkin(2);
}

TEST_F(Window, HelpDialogCanBeOpenedAgainAndAgain) {
    for (int round = 0; round < 2; ++round) {
        QString label;
        QTimer::singleShot(0, [&] {
            auto* dialog = qobject_cast<TForm2*>(QApplication::activeModalWidget());
            ASSERT_NE(dialog, nullptr);
            label = dialog->Label1->text();
            EXPECT_EQ(dialog->windowTitle(), "RFID");
            // 448 x 261 with a frame of 4 and a caption of 30.
            EXPECT_EQ(dialog->size(), QSize(440, 227));
            // The label stands on the panel, counted from the panel's corner, and
            // its words fit on it.
            auto* panel = dialog->findChild<QWidget*>("Panel1");
            ASSERT_NE(panel, nullptr);
            EXPECT_EQ(panel->geometry(), QRect(32, 18, 377, 170));
            EXPECT_EQ(dialog->Label1->parentWidget(), panel);
            EXPECT_EQ(dialog->Label1->pos(), QPoint(48, 56));
            const QFontMetrics fm(dialog->Label1->font());
            EXPECT_LE(48 + fm.horizontalAdvance(label.trimmed()), panel->width());
            EXPECT_LE(56 + fm.height(), panel->height());
            EXPECT_TRUE(dialog->rect().contains(panel->geometry()));
            dialog->close();
        });
        form->N5Click();
        EXPECT_EQ(label, "Output format setting          ");
        EXPECT_EQ(form->Form2, nullptr);
    }
}

TEST_F(Window, PageChangeClearsTheFirstElevenContinuousBoxes) {
    // Continuous boxes are found by name wherever a page put them.
    auto* page = form->PageControl1->widget(2);
    auto makeBox = [&](const char* name) {
        QCheckBox* b = form->findChild<QCheckBox*>(QLatin1String(name));
        if (!b) {
            b = new QCheckBox(page);
            b->setObjectName(QLatin1String(name));
        }
        b->setChecked(true);
        return b;
    };
    QCheckBox* first = makeBox("CheckBox1");
    QCheckBox* eleventh = makeBox("CheckBox11");
    QCheckBox* twelfth = makeBox("CheckBox12");
    // Keep loops from starting: only the box states matter here.
    form->PageControl1->setCurrentIndex(1);
    EXPECT_FALSE(first->isChecked());
    EXPECT_FALSE(eleventh->isChecked());
    EXPECT_TRUE(twelfth->isChecked());
    twelfth->setChecked(false);
}

TEST_F(Window, ClosingEndsTheProgramThroughTheExitAction) {
    int exits = 0;
    form->setExitAction([&] { ++exits; });
    QCloseEvent ev;
    QApplication::sendEvent(form.get(), &ev);
    EXPECT_EQ(exits, 1);
}

// "Exit" only ends the message loop: the close handler (and with it the
// process exit) belongs to closing the window.
TEST_F(Window, ExitEndsTheMessageLoopWithoutTheCloseHandler) {
    int exits = 0;
    form->setExitAction([&] { ++exits; });
    form->show();
    QTimer::singleShot(0, [&] { find<QAction>("N4")->trigger(); });
    QTimer guard;
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, [] { QCoreApplication::exit(1); });
    guard.start(10000);
    EXPECT_EQ(QApplication::exec(), 0); // 1: the loop did not end
    EXPECT_EQ(exits, 0);
}

TEST_F(Window, ErrorsRaisedByHandlersReachTheGeneralHandling) {
    auto* button = new QPushButton(form.get());
    form->onClick(button, [] { throw rfid::EConvertError("'x' is not a valid integer value"); });
    bool after = false;
    form->onClick(button, [&] { after = true; });
    button->click();
    EXPECT_EQ(errors, QStringList{"'x' is not a valid integer value"});
    EXPECT_TRUE(after); // the error ended only its own handler
}

using Log = WindowTest;

TEST_F(Log, LineBreakSemantics) {
    auto* log = form->RichEdit1;
    log->addLine("A\r\n");
    EXPECT_EQ(log->lines(), (QStringList{"A", ""}));
    log->addLine("B");
    EXPECT_EQ(log->lines(), (QStringList{"A", "", "B"}));
    // A failure report: failure line without a break, then the reason with one.
    log->addLine("Restore factory settings False    01:00:00 PM");
    log->addLine("卡不存在....\r\n");
    EXPECT_EQ(log->lines(), (QStringList{"A", "", "B", "Restore factory settings False    01:00:00 PM",
                                         "卡不存在....", ""}));
    // Only "\r\n" starts a line: a carriage return on its own does not.
    log->addLine("x\r\ny\nz\r");
    EXPECT_EQ(log->lines().mid(6), (QStringList{"x", "y", "z"}));
    log->addLine("");
    EXPECT_EQ(log->lines().size(), 10);
    // A text of a lone carriage return is one empty line, after a line with or
    // without a break of its own.
    log->clear();
    log->addLine("done   01:00:00 PM");
    log->addLine("\r");
    log->addLine("next");
    EXPECT_EQ(log->lines(), (QStringList{"done   01:00:00 PM", "", "next"}));
    log->addLine("a\rb\r\n");
    log->addLine("\r");
    EXPECT_EQ(log->lines().mid(3), (QStringList{"ab", "", ""}));
}

TEST_F(Log, ShownLogHasItsLinesAtOnceAndFollowsTheNewestAfterItsViewUpdate) {
    form->show();
    auto* log = form->RichEdit1;
    QElapsedTimer clock;
    clock.start();
    while (!log->isVisible() && clock.elapsed() < 2000)
        QCoreApplication::processEvents();
    // Colours in a picture of the log's text area: one for an empty (or an
    // unpainted) area, several where text is drawn.
    auto colours = [log] {
        const QImage image = log->viewport()->grab().toImage();
        QSet<QRgb> seen;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                seen.insert(image.pixel(x, y));
        return seen.size();
    };
    EXPECT_EQ(colours(), 1);
    for (int i = 0; i < 300; ++i)
        log->addLine(QString::number(i) + "\r\n");
    // The text is there before any view update; only painting waits, and a
    // picture taken at once shows the lines.
    ASSERT_EQ(log->lines().size(), 600);
    EXPECT_EQ(log->lines().at(598), "299");
    EXPECT_GT(colours(), 2);
    QScrollBar* bar = log->verticalScrollBar();
    clock.restart();
    while ((bar->maximum() == 0 || bar->value() != bar->maximum()) && clock.elapsed() < 2000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    EXPECT_GT(bar->maximum(), 0);
    EXPECT_EQ(bar->value(), bar->maximum());
    EXPECT_TRUE(log->updatesEnabled());
    // Typing into the log still works as in any text field.
    log->moveCursor(QTextCursor::End);
    log->insertPlainText("typed");
    EXPECT_EQ(log->lines().last(), "typed");
}

TEST_F(Log, PopupMenuItemsAndClear) {
    QStringList captions;
    for (QAction* a : form->popupMenu1()->actions())
        captions << (a->isSeparator() ? QStringLiteral("-") : a->text());
    EXPECT_EQ(captions,
              (QStringList{"Clear", "Save", "-", "Revoke", "Select all", "-", "Shear", "Copy", "Paste"}));
    form->addLine("line");
    find<QAction>("MenuItem1")->trigger();
    EXPECT_TRUE(form->RichEdit1->toPlainText().isEmpty());
    form->addLine("one");
    find<QAction>("N20")->trigger();
    EXPECT_EQ(form->RichEdit1->textCursor().selectedText(), "one\u2029");
}

TEST_F(Log, SaveWritesRichTextAndCancelWritesNothing) {
    QTemporaryDir dir;
    const QString path = dir.filePath("log.txt");
    QString askedTitle, askedFilter;
    rfid::setFileDialogAnswers(
        [&](const QString& title, const QString& filter) {
            askedTitle = title;
            askedFilter = filter;
            return QString();
        },
        {});
    form->addLine("Set Up Success   01:02:03 PM\r\n");
    form->addLine("卡不存在....{x}\\");
    find<QAction>("MenuItem2")->trigger();
    EXPECT_EQ(askedTitle, "保存接收数据！");
    EXPECT_TRUE(askedFilter.contains("*.txt"));
    EXPECT_FALSE(QFile::exists(path));

    rfid::setFileDialogAnswers([&](const QString&, const QString&) { return path; }, {});
    find<QAction>("MenuItem2")->trigger();
    rfid::setFileDialogAnswers({}, {});
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray rtf = f.readAll();
    EXPECT_TRUE(rtf.startsWith("{\\rtf1"));
    EXPECT_TRUE(rtf.contains("{\\fonttbl"));
    EXPECT_TRUE(rtf.contains("Set Up Success   01:02:03 PM\\par"));
    // 卡 is U+5361 = 21345; braces and backslashes are escaped.
    EXPECT_TRUE(rtf.contains("\\u21345?"));
    EXPECT_TRUE(rtf.contains("\\{x\\}\\\\"));
    EXPECT_TRUE(rtf.trimmed().endsWith("}"));
    EXPECT_TRUE(errors.isEmpty());
}

TEST_F(Log, SaveToAnUnwritablePlaceIsReportedAndKeepsTheLog) {
    rfid::setFileDialogAnswers(
        [](const QString&, const QString&) { return QStringLiteral("/nonexistent/dir/x.txt"); }, {});
    form->addLine("keep me");
    find<QAction>("MenuItem2")->trigger();
    rfid::setFileDialogAnswers({}, {});
    ASSERT_EQ(errors.size(), 1);
    EXPECT_TRUE(errors[0].contains("/nonexistent/dir/x.txt"));
    EXPECT_EQ(form->RichEdit1->lines(), QStringList{"keep me"});
}
