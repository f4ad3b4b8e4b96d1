// Ultralight cards: card number, halt, four-page read, one-page write, and
// their continuous modes.
#pragma once

#include <QWidget>

class QCheckBox;
class QGroupBox;
class QLineEdit;
class QListWidget;
class QPushButton;
class QRadioButton;
class PageHost;

class UltralightPage : public QWidget {
    Q_OBJECT
public:
    UltralightPage(PageHost& host, QWidget* parent);

    // Card number and halt
    QGroupBox* GroupBox6 = nullptr;
    QGroupBox* GroupBox23 = nullptr;
    QRadioButton* Uli = nullptr;
    QRadioButton* Ula = nullptr;
    QCheckBox* CheckBox8 = nullptr;
    QPushButton* Button55 = nullptr;
    QPushButton* Button17 = nullptr;

    // "Ultralight 卡读写"
    QGroupBox* GroupBox18 = nullptr;
    QGroupBox* GroupBox19 = nullptr; // read
    QListWidget* ListBox1 = nullptr;
    QGroupBox* GroupBox24 = nullptr;
    QRadioButton* Ulii = nullptr;
    QRadioButton* Ulaa = nullptr;
    QPushButton* Button18 = nullptr;
    QCheckBox* CheckBox9 = nullptr;
    QGroupBox* GroupBox20 = nullptr; // write
    QListWidget* ListBox2 = nullptr;
    QLineEdit* Edit56 = nullptr;
    QGroupBox* GroupBox25 = nullptr;
    QRadioButton* Uliii = nullptr;
    QRadioButton* Ulaaa = nullptr;
    QPushButton* Button54 = nullptr;
    QCheckBox* CheckBox10 = nullptr;

    void Button55Click();
    void Button17Click();
    void Button18Click();
    void Button54Click();
    void CheckBox8Click();
    void CheckBox9Click();
    void CheckBox10Click();

private:
    PageHost& m_host;
};
