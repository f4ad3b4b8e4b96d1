// ISO 14443 type B cards and the second-generation resident identity card:
// card request, Attrib, reset, a free data exchange, the identity number and
// file identifier reads, and three continuous reads.
#pragma once

#include <QWidget>

class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class PageHost;

class Iso14443bPage : public QWidget {
    Q_OBJECT
public:
    Iso14443bPage(PageHost& host, QWidget* parent);

    // "ISO14443 Type-B Commands"
    QGroupBox* GroupBox21 = nullptr;
    QPushButton* Button31 = nullptr; // card request
    QCheckBox* CheckBox11 = nullptr; // repeats the card request
    QPushButton* Button32 = nullptr; // anti-collision (disabled)
    QPushButton* Button33 = nullptr; // Attrib
    QLabel* LabelCardId = nullptr;
    QLineEdit* Edit76 = nullptr;     // card ID
    QPushButton* Button34 = nullptr; // reset (disabled)
    QPushButton* Button36 = nullptr; // send data
    QLabel* LabelData = nullptr;
    QLineEdit* Edit77 = nullptr; // data to send

    // "第二代居民身份证"
    QGroupBox* GroupBox22 = nullptr;
    QLabel* LabelIdNumber = nullptr;
    QPushButton* Button19 = nullptr; // identity number
    QCheckBox* CheckBox13 = nullptr;
    QLabel* LabelFileId = nullptr;
    QPushButton* Button22 = nullptr; // file identifier
    QCheckBox* CheckBox14 = nullptr;

    void Button31Click();
    void Button32Click();
    void Button33Click();
    void Button34Click();
    void Button36Click();
    void Button19Click();
    void Button22Click();
    void CheckBox11Click();
    void CheckBox13Click();
    void CheckBox14Click();

private:
    void cardRequest();
    void identityRead(const char* command);

    PageHost& m_host;
};
