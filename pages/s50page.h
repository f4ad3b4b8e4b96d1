// Mifare S50/S70 cards: block read and write, value blocks, card number, halt,
// their continuous modes, and the switch of the device address.
#pragma once

#include <QWidget>

class QCheckBox;
class QComboBox;
class QFrame;
class QGroupBox;
class QLineEdit;
class QPushButton;
class QRadioButton;
class PageHost;

class S50Page : public QWidget {
    Q_OBJECT
public:
    S50Page(PageHost& host, QWidget* parent);

    // The keys offered by every key list; the last is the default of every key field.
    static const QStringList& presetKeys();

    // Read blocks
    QGroupBox* GroupBox7 = nullptr;
    QRadioButton* reqi = nullptr;
    QRadioButton* reqa = nullptr;
    QGroupBox* GroupBox8 = nullptr;
    QRadioButton* keya = nullptr;
    QRadioButton* keyb = nullptr;
    QComboBox* ComboBox3 = nullptr; // start block
    QComboBox* ComboBox6 = nullptr; // number of blocks
    QComboBox* ComboBox4 = nullptr; // key
    QPushButton* Button8 = nullptr;
    QCheckBox* CheckBox2 = nullptr;

    // Write blocks
    QGroupBox* GroupBox9 = nullptr;
    QRadioButton* reqii = nullptr;
    QRadioButton* reqaa = nullptr;
    QGroupBox* GroupBox10 = nullptr;
    QRadioButton* keyaa = nullptr;
    QRadioButton* keybb = nullptr;
    QComboBox* ComboBox7 = nullptr; // start block
    QComboBox* ComboBox8 = nullptr; // number of blocks
    QComboBox* ComboBox9 = nullptr; // key
    QLineEdit* Edit3 = nullptr;     // data
    QPushButton* Button9 = nullptr;
    QCheckBox* CheckBox1 = nullptr;

    // Halt
    QPushButton* Button16 = nullptr;

    // Card number
    QFrame* Panel71 = nullptr;
    QRadioButton* reql5 = nullptr;
    QRadioButton* reqa5 = nullptr;
    QFrame* Panel72 = nullptr;
    QRadioButton* nohalt = nullptr;
    QRadioButton* yeshalt = nullptr;
    QPushButton* Button29 = nullptr;
    QCheckBox* CheckBox4 = nullptr;

    // Initialise value
    QLineEdit* Edit57 = nullptr; // sector
    QLineEdit* Edit59 = nullptr; // value
    QLineEdit* Edit58 = nullptr; // key
    QGroupBox* GroupBox12 = nullptr;
    QRadioButton* reqiii = nullptr;
    QRadioButton* reqaaa = nullptr;
    QGroupBox* GroupBox13 = nullptr;
    QRadioButton* keyaaa = nullptr;
    QRadioButton* keybbb = nullptr;
    QPushButton* Button26 = nullptr;

    // Add value
    QLineEdit* Edit1 = nullptr; // sector
    QLineEdit* Edit2 = nullptr; // value
    QLineEdit* Edit5 = nullptr; // key
    QGroupBox* GroupBox14 = nullptr;
    QRadioButton* reqiiii = nullptr;
    QRadioButton* reqaaaa = nullptr;
    QGroupBox* GroupBox15 = nullptr;
    QRadioButton* keyaaaa = nullptr;
    QRadioButton* keybbbb = nullptr;
    QPushButton* Button10 = nullptr;

    // Subtract value
    QLineEdit* Edit10 = nullptr; // sector
    QLineEdit* Edit8 = nullptr;  // value
    QLineEdit* Edit7 = nullptr;  // key
    QGroupBox* GroupBox16 = nullptr;
    QRadioButton* reqiiiii = nullptr;
    QRadioButton* reqaaaaa = nullptr;
    QGroupBox* GroupBox17 = nullptr;
    QRadioButton* keyaaaaa = nullptr;
    QRadioButton* keybbbbb = nullptr;
    QPushButton* Button15 = nullptr;

    // Device address and the write-and-read loop
    QGroupBox* GroupBox26 = nullptr;
    QRadioButton* RadioButton2 = nullptr; // "10"
    QRadioButton* RadioButton1 = nullptr; // "11"
    QCheckBox* CheckBox12 = nullptr;

    void Button8Click();
    void Button9Click();
    void Button16Click();
    void Button29Click();
    void Button26Click();
    void Button10Click();
    void Button15Click();
    void CheckBox2Click();
    void CheckBox1Click();
    void CheckBox4Click();
    void CheckBox12Click();
    void RadioButton2Click();
    void RadioButton1Click();

private:
    void valueCycle(const QString& command, QLineEdit* sector, QLineEdit* key, QLineEdit* value,
                    const QRadioButton* all, const QRadioButton* keyB, bool showsValue);
    void setAddress();

    PageHost& m_host;
};
