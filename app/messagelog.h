// The message log: every result, error and debugging line of the program.
#pragma once

#include <QPlainTextEdit>
#include <QStringList>

class QMenu;
class QTimer;

namespace rfid {

class MessageLog : public QPlainTextEdit {
    Q_OBJECT
public:
    explicit MessageLog(QWidget* parent = nullptr);

    // Appends `text` as a new line. Line breaks ("\r\n") inside it start further
    // lines, so a text ending in "\r\n" leaves one empty line after it; a lone
    // "\r" starts none (the text "\r" alone is one empty line). The text is in
    // the document at once; a shown log paints it and scrolls to it with its
    // next view update.
    void addLine(const QString& text);

    // Appends one of the program's own English messages broken at spaces into
    // lines no longer than kFitChars characters, so that it can be read without
    // scrolling sideways. `end` (the time stamp and line break that close a
    // report) stays whole on the last line. Fixed texts and debug lines go
    // through addLine and are never broken.
    void addFittedLine(const QString& text, const QString& end = {});

    // The log's lines as the operator sees them.
    QStringList lines() const;

    // The content as a Rich Text Format document with a font table.
    QByteArray toRtf() const;

    QMenu* popupMenu() const { return m_popup; }

    // Popup menu handlers.
    void MenuItem1Click(); // Clear
    void MenuItem2Click(); // Save
    void N15Click();       // Revoke
    void N20Click();       // Select all
    void N17Click();       // Shear
    void N18Click();       // Copy
    void N19Click();       // Paste

private:
    // Repainting and following the newest line wait for the next view update,
    // at most about 60 a second, so that a burst of lines costs one repaint.
    void holdView();
    void releaseView();

    QMenu* m_popup = nullptr;
    QTimer* m_viewTimer = nullptr;
    bool m_viewHeld = false;
};

// The characters of English text that fit the log's visible width: the view is
// 297 pixels wide less its frame and the vertical scroll bar (about 278 pixels),
// and DejaVu Sans at 13 pixels takes up to 6.9 pixels a character over English
// words and capitals (the widest of our own messages, measured).
inline constexpr int kFitChars = 40;

// `text` broken greedily at single spaces into lines of at most `budget`
// characters; `end` is glued to the last word. A word longer than the budget
// (a file path) stands alone on its line, unbroken.
QStringList fitToWidth(const QString& text, const QString& end, int budget);

// Rich Text Format for plain lines: a font table with a CJK-capable font and
// every non-ASCII character as a Unicode escape.
QByteArray linesToRtf(const QStringList& lines, const QString& fontFamily, int pointSize);

} // namespace rfid
