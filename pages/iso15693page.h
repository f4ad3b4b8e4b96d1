// ISO 15693 vicinity cards: inventory, block read, write and lock, select,
// AFI and DSFID writes and locks, system information and block security
// status, each row with its own request flags, plus three continuous modes.
#pragma once

#include "answer.h"

#include <QString>
#include <QStringList>
#include <QWidget>
#include <functional>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class PageHost;

class Iso15693Page : public QWidget {
    Q_OBJECT
public:
    Iso15693Page(PageHost& host, QWidget* parent);

    // Inventory
    QPushButton* Button37 = nullptr;
    QCheckBox* CheckBox5 = nullptr;
    // Read blocks
    QComboBox* ComboBox10 = nullptr;
    QLineEdit* Edit14 = nullptr; // start block
    QLineEdit* Edit13 = nullptr; // block count
    QLineEdit* Edit55 = nullptr; // card UID
    QCheckBox* CheckBox6 = nullptr;
    QPushButton* Button38 = nullptr;
    // Write blocks
    QComboBox* ComboBox11 = nullptr;
    QLineEdit* Edit48 = nullptr; // start block
    QLineEdit* Edit49 = nullptr; // block count
    QLineEdit* Edit16 = nullptr; // data to write
    QLineEdit* Edit50 = nullptr; // card UID
    QCheckBox* CheckBox7 = nullptr;
    QPushButton* Button39 = nullptr;
    // Lock block
    QComboBox* ComboBox12 = nullptr;
    QLineEdit* Edit18 = nullptr; // block number
    QPushButton* Button40 = nullptr;
    // Select
    QComboBox* ComboBox13 = nullptr;
    QLineEdit* Edit19 = nullptr; // card UID
    QPushButton* Button42 = nullptr;
    // Write AFI, lock AFI
    QComboBox* ComboBox14 = nullptr;
    QLineEdit* Edit15 = nullptr; // AFI
    QLineEdit* Edit28 = nullptr; // card UID
    QPushButton* Button44 = nullptr;
    QComboBox* ComboBox15 = nullptr;
    QLineEdit* Edit32 = nullptr; // card UID
    QPushButton* Button45 = nullptr;
    // Write DSFID, lock DSFID
    QComboBox* ComboBox16 = nullptr;
    QLineEdit* Edit17 = nullptr; // DSFID
    QLineEdit* Edit36 = nullptr; // card UID
    QPushButton* Button46 = nullptr;
    QComboBox* ComboBox17 = nullptr;
    QLineEdit* Edit38 = nullptr; // card UID
    QPushButton* Button47 = nullptr;
    // System information
    QComboBox* ComboBox18 = nullptr;
    QLineEdit* Edit41 = nullptr; // card UID
    QPushButton* Button48 = nullptr;
    // Block security status
    QComboBox* ComboBox19 = nullptr;
    QLineEdit* Edit21 = nullptr; // first block
    QLineEdit* Edit20 = nullptr; // block count
    QLineEdit* Edit43 = nullptr; // card UID
    QPushButton* Button49 = nullptr;

    void Button37Click();
    void Button38Click();
    void Button39Click();
    void Button40Click();
    void Button42Click();
    void Button44Click();
    void Button45Click();
    void Button46Click();
    void Button47Click();
    void Button48Click();
    void Button49Click();
    void CheckBox5Click();
    void CheckBox6Click();
    void CheckBox7Click();

private:
    QComboBox* addFlags(const char* name, int y);
    QLineEdit* addField(const char* name, const QString& label, const QString& text, int x, int y,
                        int labelWidth, int width);
    QPushButton* addButton(const char* name, const QString& caption, int y);
    // One command cycle with the row's texts; `dataLines` follow the success line.
    void run(const QString& command, int waitMs, const QString& success, const QString& failure,
             const std::function<QStringList(const rfid::Answer&)>& dataLines);

    PageHost& m_host;
};

// The request flags of a row's drop-down text: "TI" 42, "Philips" 02, "uid" 22
// (addressed), "Other" 52; anything else gives empty text.
QString iso15693Flags(const QString& choice);

// The card list of an inventory answer (status 00): the reported count, the raw
// records, one line per whole 10-byte record with its UID most significant byte
// first, and the closing empty line.
QStringList inventoryLines(const rfid::Answer& answer);
