// The continuous modes of the S50/S70 and Ultralight pages: repetition,
// stopping, their pauses, the page-change rule and nesting.
#include "hidden1_fixture.h"

#include <QTabWidget>

namespace {
QCheckBox* box(TForm1& form, const char* name) {
    return form.findChild<QCheckBox*>(QLatin1String(name));
}
} // namespace

// Frame times seen by polling can be late on a busy machine, so the pauses are
// checked by the loop's whole running time: every pass, the last one included,
// ends with a full pause (and, with a silent reader, the cycle's full wait).

TEST_F(HfWindowTest, ContinuousReadRepeatsUntilClearedThenFinishesItsPause) {
    setWait("300");
    QCheckBox* read = s50()->CheckBox2;
    FrameWatch watch([&](int count) {
        if (count >= 3 && read->isChecked())
            read->click(); // the operator clears the box during the third pass
    });
    click("CheckBox2");
    const qint64 ran = watch.now();

    EXPECT_FALSE(read->isChecked());
    // The current pass ran to the end of its pause; nothing was sent after it.
    EXPECT_EQ(commands(), QStringList({"20", "20", "20"}));
    EXPECT_GE(ran, 3 * 300);
    EXPECT_EQ(logT().size(), 12); // three reports of four lines
    EXPECT_TRUE(errors.isEmpty());
}

TEST_F(HfWindowTest, EachContinuousModePausesForTheWaitTimePlusItsOffset) {
    struct Mode {
        const char* box;
        bool silentReader; // a pause by Delay lasts its full time only without an answer
        int frames;        // cleared once this many frames were seen
        int perFrame;      // the cycle's wait when silent, plus the pause after the frame
    };
    // Wait time 150 ms.
    const Mode modes[] = {
        {"CheckBox2", false, 3, 150},      {"CheckBox1", false, 3, 160},
        {"CheckBox10", false, 3, 250},     {"CheckBox12", false, 4, 160},
        {"CheckBox4", true, 2, 300 + 160}, {"CheckBox8", true, 2, 300 + 160},
        {"CheckBox9", true, 2, 800 + 200},
    };
    setWait("150");
    for (const Mode& m : modes) {
        SCOPED_TRACE(m.box);
        rfidsim_clear_frames();
        rfidsim_set_fault(m.silentReader ? RFIDSIM_SILENT : RFIDSIM_OK, 0);
        QCheckBox* b = box(*form, m.box);
        FrameWatch watch([&](int count) {
            if (count >= m.frames && b->isChecked())
                b->click();
        });
        click(m.box);
        const qint64 ran = watch.now();
        const int sent = rfidsim_frame_count();
        EXPECT_GE(sent, m.frames);
        EXPECT_GE(ran, qint64(sent) * m.perFrame);
        EXPECT_LE(ran, qint64(sent) * m.perFrame + 2000);
    }
    EXPECT_TRUE(errors.isEmpty());
}

TEST_F(HfWindowTest, ReadLoopsPausedByDelayGoOnAsSoonAsAnAnswerIsHeld) {
    setWait("5000");
    for (const char* name : {"CheckBox4", "CheckBox8", "CheckBox9"}) {
        SCOPED_TRACE(name);
        rfidsim_clear_frames();
        QCheckBox* b = box(*form, name);
        FrameWatch watch([&](int count) {
            if (count >= 3 && b->isChecked())
                b->click();
        });
        click(name);
        EXPECT_GE(watch.seen.size(), 3u);
        EXPECT_LT(watch.now(), 4500); // less than one pause of 5 s
    }
}

TEST_F(HfWindowTest, WriteAndReadLoopAlternates) {
    setWait("0");
    QCheckBox* both = s50()->CheckBox12;
    FrameWatch watch([&](int count) {
        if (count >= 4 && both->isChecked())
            both->click();
    });
    click("CheckBox12");
    EXPECT_EQ(commands(), QStringList({"21", "20", "21", "20"}));
}

TEST_F(HfWindowTest, PageChangeClearsTheContinuousBoxesButNotWriteAndRead) {
    const char* cleared[] = {"CheckBox1", "CheckBox2", "CheckBox4", "CheckBox8", "CheckBox9", "CheckBox10"};
    for (const char* name : cleared)
        box(*form, name)->setChecked(true);
    s50()->CheckBox12->setChecked(true);
    form->PageControl1->setCurrentIndex(3);
    for (const char* name : cleared)
        EXPECT_FALSE(box(*form, name)->isChecked()) << name;
    EXPECT_TRUE(s50()->CheckBox12->isChecked());
    s50()->CheckBox12->setChecked(false);

    // A running read loop stops after the pass in which the page changed.
    setWait("20");
    int atChange = -1;
    FrameWatch readWatch([&](int count) {
        if (count >= 2 && atChange < 0) {
            atChange = count;
            form->PageControl1->setCurrentIndex(4);
        }
    });
    click("CheckBox9");
    EXPECT_FALSE(ultralight()->CheckBox9->isChecked());
    EXPECT_EQ(rfidsim_frame_count(), atChange);

    // The write-and-read loop goes on across a page change.
    rfidsim_clear_frames();
    bool checkedAfterChange = false;
    FrameWatch bothWatch([&](int count) {
        if (count >= 2 && form->PageControl1->currentIndex() != 2) {
            form->PageControl1->setCurrentIndex(2);
            checkedAfterChange = s50()->CheckBox12->isChecked();
        }
        if (count >= 5 && s50()->CheckBox12->isChecked())
            s50()->CheckBox12->click();
    });
    click("CheckBox12");
    EXPECT_TRUE(checkedAfterChange);
    EXPECT_GE(rfidsim_frame_count(), 5);
}

TEST_F(HfWindowTest, LoopStartedInAnotherLoopsPauseRunsToItsEndFirst) {
    setWait("200");
    QCheckBox* outer = s50()->CheckBox2; // reads blocks (20), pauses with Delayy
    QCheckBox* inner = s50()->CheckBox4; // reads card numbers (25)

    // The inner loop is cleared; the outer loop then resumes with its next pass.
    {
        int stage = 0;
        int innerCleared = 0;
        FrameWatch watch([&](int count) {
            if (stage == 0 && count >= 1) {
                stage = 1;
                QTimer::singleShot(0, inner, [inner] { inner->click(); });
            } else if (stage == 1 && count >= 4) {
                stage = 2;
                innerCleared = count;
                inner->click();
            } else if (stage == 2 && count > innerCleared) {
                stage = 3;
                outer->click();
            }
        });
        click("CheckBox2");
        QStringList expected{"20"};
        for (int i = 1; i < innerCleared; ++i)
            expected << "25";
        expected << "20";
        EXPECT_EQ(commands(), expected);
        EXPECT_GE(innerCleared, 4);
    }

    // Clearing the outer box while the inner loop runs takes effect once the
    // inner loop has ended: no further outer pass.
    rfidsim_clear_frames();
    {
        int stage = 0;
        FrameWatch watch([&](int count) {
            if (stage == 0 && count >= 1) {
                stage = 1;
                QTimer::singleShot(0, inner, [inner] { inner->click(); });
            } else if (stage == 1 && count >= 3) {
                stage = 2;
                outer->click();
            } else if (stage == 2 && count >= 5) {
                stage = 3;
                inner->click();
            }
        });
        click("CheckBox2");
        const QStringList sent = commands();
        ASSERT_GE(sent.size(), 5);
        EXPECT_EQ(sent.front(), "20");
        EXPECT_EQ(sent.mid(1), QStringList(sent.size() - 1, "25"));
    }
    EXPECT_FALSE(outer->isChecked());
    EXPECT_FALSE(inner->isChecked());
    EXPECT_TRUE(errors.isEmpty());
}
