// The manual send panel: frames typed as hex text, sent once or repeatedly,
// loaded from and saved to plain text files.
#include "dialogs.h"
#include "harness.h"
#include "sendpanel.h"

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFile>
#include <QFileDialog>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTimer>

namespace {

class SendPanelTest : public WindowTest {
protected:
    void SetUp() override {
        WindowTest::SetUp();
        memo = find<QPlainTextEdit>("Memo1");
        setText("Edit6", QStringLiteral("0"));
    }
    void TearDown() override {
        rfid::setFileDialogAnswers({}, {});
        WindowTest::TearDown();
    }
    // Answers the file dialogs with `path` and records what they were asked.
    void answerDialogs(const QString& path) {
        auto answer = [this, path](const QString& title, const QString& filter) {
            asked << title << filter;
            return path;
        };
        rfid::setFileDialogAnswers(answer, answer);
    }
    static QByteArray readFile(const QString& path) {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    static void writeFile(const QString& path, const QByteArray& bytes) {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }

    QPlainTextEdit* memo = nullptr;
    QStringList asked;
    QTemporaryDir dir;
};

const QString kDefaultFrame = QStringLiteral("AA 00 03 85 01 78 FF BB");

} // namespace

TEST_F(SendPanelTest, TheDefaultTextSendsTheDefaultFrameAsItStands) {
    EXPECT_EQ(memo->toPlainText(), QStringLiteral("AA 00 03 85 01 78 ff BB"));
    EXPECT_EQ(find<QLineEdit>("Edit6")->text(), QStringLiteral("0"));
    click("Button3");
    EXPECT_TRUE(errors.isEmpty());
    EXPECT_EQ(frames(), std::vector<QString>{kDefaultFrame});
}

TEST_F(SendPanelTest, BlanksLineBreaksAndLowerCaseSendTheSameBytes) {
    for (const QString& text :
         {QStringLiteral("aa00038501 78ffbb"), QStringLiteral("AA 00\n03 85\r\n\n01 78 FF\nBB\n"),
          QStringLiteral("  aA,00;03-85\t01:78 fF bB  ")}) {
        rfidsim_clear_frames();
        memo->setPlainText(text);
        click("Button3");
        EXPECT_EQ(frames(), std::vector<QString>{kDefaultFrame}) << text.toStdString();
    }
    // An empty memo sends a frame of no bytes.
    rfidsim_clear_frames();
    click("Button7");
    EXPECT_TRUE(memo->toPlainText().isEmpty());
    click("Button3");
    EXPECT_EQ(frames(), std::vector<QString>{QString()});
    EXPECT_TRUE(errors.isEmpty());
}

TEST_F(SendPanelTest, ABadPeriodRaisesAfterTheFrameWasSent) {
    setText("Edit6", QStringLiteral("1 000"));
    click("Button3");
    EXPECT_EQ(frames(), std::vector<QString>{kDefaultFrame});
    ASSERT_EQ(errors.size(), 1);
    EXPECT_EQ(errors.first(), QStringLiteral("'1 000' is not a valid integer value"));

    // The automatic loop ends after its first send; the box stays checked.
    errors.clear();
    rfidsim_clear_frames();
    click("CheckBox3");
    EXPECT_EQ(frames().size(), 1u);
    EXPECT_EQ(errors.size(), 1);
    EXPECT_TRUE(find<QCheckBox>("CheckBox3")->isChecked());
}

TEST_F(SendPanelTest, AutomaticSendRepeatsUntilTheBoxIsCleared) {
    setText("Edit6", QStringLiteral("30"));
    auto* box = find<QCheckBox>("CheckBox3");
    QTimer watcher;
    watcher.setInterval(5);
    QObject::connect(&watcher, &QTimer::timeout, [&] {
        if (frames().size() >= 3)
            box->setChecked(false);
    });
    watcher.start();
    QElapsedTimer clock;
    clock.start();
    click("CheckBox3");
    const qint64 elapsed = clock.elapsed();
    watcher.stop();
    const auto sent = frames();
    ASSERT_GE(sent.size(), 3u);
    for (const QString& f : sent)
        EXPECT_EQ(f, kDefaultFrame);
    // Each repetition waits the whole period after sending.
    EXPECT_GE(elapsed, qint64(sent.size()) * 30);
    EXPECT_FALSE(box->isChecked());

    // A click that clears the box sends nothing.
    rfidsim_clear_frames();
    box->setChecked(true);
    click("CheckBox3");
    EXPECT_FALSE(box->isChecked());
    EXPECT_TRUE(frames().empty());
}

TEST_F(SendPanelTest, ChangingThePageEndsTheAutomaticSend) {
    setText("Edit6", QStringLiteral("10"));
    QTimer::singleShot(50, form.get(), [this] { form->PageControl1->setCurrentIndex(1); });
    click("CheckBox3");
    EXPECT_GE(frames().size(), 1u);
    EXPECT_FALSE(find<QCheckBox>("CheckBox3")->isChecked());
}

TEST_F(SendPanelTest, SaveAndLoadRoundTripChineseTextWithCrLfLineEnds) {
    const QString path = dir.filePath(QStringLiteral("frames"));
    memo->setPlainText(QStringLiteral("读卡 AA 00 03 85 01 78 FF BB\n\n第三行"));
    answerDialogs(path);
    click("Button5");
    EXPECT_EQ(asked,
              (QStringList{QStringLiteral("保存接收数据！"), QStringLiteral("文本文件(.txt) (*.txt)")}));
    // The name is used as chosen, with no extension added.
    EXPECT_EQ(readFile(path), QStringLiteral("读卡 AA 00 03 85 01 78 FF BB\r\n\r\n第三行\r\n").toUtf8());

    click("Button7");
    asked.clear();
    click("Button6");
    EXPECT_EQ(asked, (QStringList{QStringLiteral("载入数据！"), QString()}));
    EXPECT_TRUE(errors.isEmpty());
    click("Button5");
    EXPECT_EQ(readFile(path), QStringLiteral("读卡 AA 00 03 85 01 78 FF BB\r\n\r\n第三行\r\n").toUtf8());

    // Lines of a file may end in CR, LF or CR LF.
    writeFile(path, QByteArray("AA 00\r03 85\n01 78\r\nFF BB"));
    click("Button6");
    EXPECT_EQ(form->sendPanel->memoLines(), (QStringList{QStringLiteral("AA 00"), QStringLiteral("03 85"),
                                                         QStringLiteral("01 78"), QStringLiteral("FF BB")}));
    click("Button5");
    EXPECT_EQ(readFile(path), QByteArray("AA 00\r\n03 85\r\n01 78\r\nFF BB\r\n"));
    EXPECT_TRUE(errors.isEmpty());
}

TEST_F(SendPanelTest, CancelledDialogsAndFileErrorsChangeNothing) {
    const QString before = memo->toPlainText();
    answerDialogs(QString());
    click("Button6");
    click("Button5");
    EXPECT_EQ(memo->toPlainText(), before);
    EXPECT_TRUE(errors.isEmpty());

    answerDialogs(dir.filePath(QStringLiteral("missing.txt")));
    click("Button6");
    EXPECT_EQ(errors.size(), 1);
    EXPECT_EQ(memo->toPlainText(), before);

    const QString target = dir.filePath(QStringLiteral("no-such-dir/out.txt"));
    answerDialogs(target);
    click("Button5");
    EXPECT_EQ(errors.size(), 2);
    EXPECT_FALSE(QFile::exists(target));
    EXPECT_EQ(memo->toPlainText(), before);
}

// The real save dialog, driven as an operator would: choosing a file that
// exists replaces it without a question, and the filter is listed by its name.
TEST_F(SendPanelTest, TheSaveDialogReplacesAnExistingFileWithoutAsking) {
    const QString path = dir.filePath(QStringLiteral("frames.txt"));
    writeFile(path, QByteArray("older content"));
    bool questioned = false;
    int attempts = 0;
    QString filterShown;
    QTimer operatorHand;
    operatorHand.setInterval(20);
    QObject::connect(&operatorHand, &QTimer::timeout, [&] {
        const QWidgetList windows = QApplication::topLevelWidgets();
        for (QWidget* w : windows) {
            if (auto* question = qobject_cast<QMessageBox*>(w); question && question->isVisible()) {
                questioned = true;
                question->reject();
                return;
            }
        }
        for (QWidget* w : windows) {
            auto* dialog = qobject_cast<QFileDialog*>(w);
            if (!dialog || !dialog->isVisible())
                continue;
            // Give up after a question, or when the dialog will not close, rather than wait for ever.
            if (questioned || ++attempts > 100) {
                dialog->reject();
                return;
            }
            if (auto* filters = dialog->findChild<QComboBox*>(QStringLiteral("fileTypeCombo")))
                filterShown = filters->currentText();
            // The name typed into the dialog's name field, which has the focus.
            auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
            ASSERT_NE(name, nullptr);
            name->setText(path);
            // As the Save button does; queued, so that a question the dialog
            // asks runs its own loop outside this timer's call.
            QMetaObject::invokeMethod(
                dialog, [dialog] { static_cast<QDialog*>(dialog)->accept(); }, Qt::QueuedConnection);
            return;
        }
    });
    operatorHand.start();
    click("Button5");
    operatorHand.stop();
    EXPECT_FALSE(questioned);
    EXPECT_EQ(filterShown, QStringLiteral("文本文件(.txt)"));
    EXPECT_EQ(readFile(path), QByteArray("AA 00 03 85 01 78 ff BB\r\n"));
    EXPECT_TRUE(errors.isEmpty());
}
