// The manual send panel: a whole reader frame typed as hex text, sent once or
// repeatedly, and kept in plain text files.
#pragma once

#include <QStringList>
#include <QWidget>

class QCheckBox;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class PageHost;

class SendPanel : public QWidget {
    Q_OBJECT
public:
    // Builds the controls into `box` (the group box "发送信息").
    SendPanel(PageHost& host, QWidget* box);

    QPlainTextEdit* Memo1 = nullptr;
    QLineEdit* Edit6 = nullptr;
    QPushButton* Button3 = nullptr;
    QCheckBox* CheckBox3 = nullptr;
    QPushButton* Button6 = nullptr;
    QPushButton* Button7 = nullptr;
    QPushButton* Button5 = nullptr;

    void Button3Click();
    void CheckBox3Click();
    void Button6Click();
    void Button7Click();
    void Button5Click();

    // The memo's lines; a last empty line (text ending in a line break) is not one.
    QStringList memoLines() const;
    // The memo's lines, each followed by "\r\n".
    QString memoText() const;
    // The lines of a text file's content: CR, LF and CR LF all end a line, and
    // a break at the very end starts no further line.
    static QStringList textLines(const QString& text);

private:
    PageHost& m_host;
};
