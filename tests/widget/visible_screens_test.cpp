// The three visible pages as the operator sees them: no caption is cut off.
// With RFID_SCREENSHOT_DIR set, each page is also saved there as a PNG.
#include "harness.h"

#include <QDir>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QTabWidget>

namespace {

// The part of a caption that shows: its first line without trailing blanks.
QString visibleCaption(QString text) {
    text = text.section(QLatin1Char('\n'), 0, 0);
    while (!text.isEmpty() && text.back().isSpace())
        text.chop(1);
    return text;
}

// The width a control needs to show its visible caption whole.
int neededWidth(QWidget* w) {
    if (auto* label = qobject_cast<QLabel*>(w))
        return label->fontMetrics().horizontalAdvance(visibleCaption(label->text()));
    if (auto* push = qobject_cast<QPushButton*>(w))
        return push->fontMetrics().horizontalAdvance(visibleCaption(push->text())) + 8;
    if (auto* button = qobject_cast<QAbstractButton*>(w)) {
        const QString full = button->text();
        button->setText(visibleCaption(full));
        const int width = button->sizeHint().width();
        button->setText(full);
        return width;
    }
    if (auto* group = qobject_cast<QGroupBox*>(w))
        return group->fontMetrics().horizontalAdvance(group->title()) + 16;
    return 0;
}

class VisiblePages : public WindowTest {};

} // namespace

TEST_F(VisiblePages, ShowWholeCaptions) {
    form->show();
    // Some log lines with full-width punctuation and Chinese reasons to look at.
    click("Button63");
    rfidsim_set_fault(RFIDSIM_REFUSE, 0x83);
    click("Button57");
    click("Button25");
    const char* const pages[] = {"ReaderModePage", "LanguagePage", "OutputFormatPage"};
    const QString shots = qEnvironmentVariable("RFID_SCREENSHOT_DIR");
    for (const char* name : pages) {
        QWidget* page = find(name);
        form->PageControl1->setCurrentWidget(page);
        int checked = 0;
        for (QWidget* w : page->findChildren<QWidget*>()) {
            if (!w->isVisibleTo(page) || neededWidth(w) == 0)
                continue;
            ++checked;
            EXPECT_LE(neededWidth(w), w->width()) << name << " " << w->objectName().toStdString();
            // Every control stays inside the control that holds it.
            EXPECT_TRUE(w->parentWidget()->rect().contains(w->geometry())) << w->objectName().toStdString();
        }
        EXPECT_GT(checked, 10) << name;
        if (!shots.isEmpty())
            form->grab().save(QDir(shots).filePath(QString::fromLatin1(name) + ".png"));
    }
}
