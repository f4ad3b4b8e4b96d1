#include "messagelog.h"

#include "dialogs.h"
#include "errorhandling.h"

#include <QAbstractTextDocumentLayout>
#include <QMenu>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QTimer>

namespace rfid {

MessageLog::MessageLog(QWidget* parent) : QPlainTextEdit(parent) {
    setObjectName(QStringLiteral("RichEdit1"));
    setLineWrapMode(QPlainTextEdit::NoWrap);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    QFont f = font();
    f.setFamilies({QStringLiteral("DejaVu Sans"), QStringLiteral("WenQuanYi Zen Hei")});
    f.setPixelSize(13);
    setFont(f);
    // Keep the selection visible when the log loses the focus.
    QPalette p = palette();
    p.setColor(QPalette::Inactive, QPalette::Highlight, p.color(QPalette::Active, QPalette::Highlight));
    p.setColor(QPalette::Inactive, QPalette::HighlightedText,
               p.color(QPalette::Active, QPalette::HighlightedText));
    setPalette(p);

    m_popup = new QMenu(this);
    m_popup->setObjectName(QStringLiteral("PopupMenu1"));
    auto add = [this](const char* name, const QString& caption, void (MessageLog::*handler)()) {
        QAction* a = m_popup->addAction(caption);
        a->setObjectName(QLatin1String(name));
        connect(a, &QAction::triggered, this, [this, handler] { runGuarded([&] { (this->*handler)(); }); });
    };
    add("MenuItem1", QStringLiteral("Clear"), &MessageLog::MenuItem1Click);
    add("MenuItem2", QStringLiteral("Save"), &MessageLog::MenuItem2Click);
    m_popup->addSeparator();
    add("N15", QStringLiteral("Revoke"), &MessageLog::N15Click);
    add("N20", QStringLiteral("Select all"), &MessageLog::N20Click);
    m_popup->addSeparator();
    add("N17", QStringLiteral("Shear"), &MessageLog::N17Click);
    add("N18", QStringLiteral("Copy"), &MessageLog::N18Click);
    add("N19", QStringLiteral("Paste"), &MessageLog::N19Click);
    m_viewTimer = new QTimer(this);
    m_viewTimer->setSingleShot(true);
    m_viewTimer->setInterval(16); // about the screen's refresh rate
    connect(m_viewTimer, &QTimer::timeout, this, &MessageLog::releaseView);

    setContextMenuPolicy(Qt::CustomContextMenu);
    connect(this, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& pos) { m_popup->popup(viewport()->mapToGlobal(pos)); });
}

void MessageLog::addLine(const QString& text) {
    // Only "\r\n" starts a further line; a carriage return on its own is
    // dropped, so that a text of a lone "\r" is one empty line.
    QString t = text;
    t.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    t.remove(QLatin1Char('\r'));

    const bool shown = isVisible();
    if (shown)
        holdView();

    // The document always ends in an empty line that the next text fills, as a
    // caret line does. Programmatic lines are not part of the operator's undo
    // history, which keeps a long log from growing an undo stack.
    QTextDocument* doc = document();
    doc->setUndoRedoEnabled(false);
    QTextCursor cursor(doc);
    cursor.movePosition(QTextCursor::End);
    if (!cursor.block().text().isEmpty())
        cursor.insertBlock();
    cursor.insertText(t + QLatin1Char('\n'));
    doc->setUndoRedoEnabled(true);

    if (!shown)
        verticalScrollBar()->setValue(verticalScrollBar()->maximum());
}

void MessageLog::addFittedLine(const QString& text, const QString& end) {
    for (const QString& line : fitToWidth(text, end, kFitChars))
        addLine(line);
}

QStringList fitToWidth(const QString& text, const QString& end, int budget) {
    // The closing line break belongs to the last line and takes no width.
    QString tail = end;
    QString breaks;
    while (tail.endsWith(QLatin1String("\r\n"))) {
        tail.chop(2);
        breaks += QLatin1String("\r\n");
    }
    QStringList words = text.split(QLatin1Char(' '));
    words.last() += tail;
    QStringList out;
    QString line;
    bool started = false; // `line` holds at least one word
    for (const QString& word : words) {
        if (started && line.size() + 1 + word.size() > budget) {
            out << line;
            line = word;
        } else {
            line += started ? QLatin1Char(' ') + word : word;
        }
        started = true;
    }
    out << line + breaks;
    return out;
}

void MessageLog::holdView() {
    if (m_viewHeld)
        return;
    // The view learns of new text through the document layout's signals
    // (repaint and new size); while they are held the text goes in without a
    // repaint. The log itself stays enabled, so it paints whenever it is asked
    // to (an exposed window, a screenshot) with everything added so far.
    m_viewHeld = true;
    document()->documentLayout()->blockSignals(true);
    m_viewTimer->start();
}

void MessageLog::releaseView() {
    if (!m_viewHeld)
        return;
    m_viewHeld = false;
    QAbstractTextDocumentLayout* layout = document()->documentLayout();
    layout->blockSignals(false);
    // What the held signals would have said: the new size (scroll ranges) and
    // that everything may have changed.
    emit layout->documentSizeChanged(layout->documentSize());
    viewport()->update();
    QScrollBar* bar = verticalScrollBar();
    bar->setValue(bar->maximum());
}

QStringList MessageLog::lines() const {
    QStringList out = toPlainText().split(QLatin1Char('\n'));
    if (!out.isEmpty() && out.last().isEmpty())
        out.removeLast();
    return out;
}

QByteArray MessageLog::toRtf() const {
    return linesToRtf(lines(), QStringLiteral("WenQuanYi Zen Hei"), 10);
}

void MessageLog::MenuItem1Click() {
    clear();
}

void MessageLog::MenuItem2Click() {
    const QString name =
        askSaveFileName(this, QStringLiteral("保存接收数据！"), QStringLiteral("文本文件(.txt) (*.txt)"));
    if (name.isEmpty())
        return;
    writeWholeFile(name, toRtf());
}

void MessageLog::N15Click() {
    undo();
}

void MessageLog::N20Click() {
    selectAll();
}

void MessageLog::N17Click() {
    cut();
}

void MessageLog::N18Click() {
    copy();
}

void MessageLog::N19Click() {
    paste();
}

QByteArray linesToRtf(const QStringList& lines, const QString& fontFamily, int pointSize) {
    QByteArray out;
    out += "{\\rtf1\\ansi\\ansicpg936\\deff0\\uc1\r\n";
    out += "{\\fonttbl{\\f0\\fnil\\fcharset134 " + fontFamily.toUtf8() + ";}}\r\n";
    out += "\\viewkind4\\pard\\f0\\fs" + QByteArray::number(pointSize * 2) + " ";
    bool first = true;
    for (const QString& line : lines) {
        if (!first)
            out += "\\par\r\n";
        first = false;
        for (QChar c : line) {
            const ushort u = c.unicode();
            if (u == '\\' || u == '{' || u == '}') {
                out += '\\';
                out += char(u);
            } else if (u == '\t') {
                out += "\\tab ";
            } else if (u >= 0x20 && u < 0x80) {
                out += char(u);
            } else if (u < 0x20) {
                continue;
            } else {
                // Signed 16-bit code, then one fallback character for old readers.
                out += "\\u" + QByteArray::number(int(short(u))) + "?";
            }
        }
    }
    out += "\\par\r\n}\r\n";
    return out;
}

} // namespace rfid
