// Keyboard language and the prefix/suffix bytes.
#pragma once

#include "report.h"

#include <QString>
#include <QStringList>
#include <QWidget>

class QGroupBox;
class QLineEdit;
class QPushButton;
class QRadioButton;
class PageHost;

namespace rfid {
struct ReaderSettings;
}

class LanguagePage : public QWidget {
    Q_OBJECT
public:
    LanguagePage(PageHost& host, QWidget* parent);

    // "Prefix and suffix settings": the bytes the output format page sends.
    QGroupBox* GroupBox29 = nullptr;
    QLineEdit* Edit24 = nullptr; // prefix bytes 1-4
    QLineEdit* Edit25 = nullptr;
    QLineEdit* Edit26 = nullptr;
    QLineEdit* Edit27 = nullptr;
    QLineEdit* Edit44 = nullptr; // suffix bytes 1-4
    QLineEdit* Edit45 = nullptr;
    QLineEdit* Edit46 = nullptr;
    QLineEdit* Edit47 = nullptr;
    QPushButton* Button27 = nullptr; // "Set"
    QPushButton* Button28 = nullptr; // "Read"

    // "language settings ": one radio button per keyboard language.
    QGroupBox* GroupBox28 = nullptr;
    QRadioButton* RadioButton18 = nullptr; // American style, 0x00
    QRadioButton* RadioButton24 = nullptr;
    QRadioButton* RadioButton25 = nullptr;
    QRadioButton* RadioButton26 = nullptr;
    QRadioButton* RadioButton53 = nullptr;
    QRadioButton* RadioButton52 = nullptr;
    QRadioButton* RadioButton51 = nullptr;
    QRadioButton* RadioButton50 = nullptr;
    QRadioButton* RadioButton49 = nullptr;
    QRadioButton* RadioButton39 = nullptr;
    QRadioButton* RadioButton38 = nullptr; // German, 0x0A
    QRadioButton* RadioButton20 = nullptr;
    QRadioButton* RadioButton47 = nullptr;
    QRadioButton* RadioButton45 = nullptr;
    QRadioButton* RadioButton31 = nullptr;
    QRadioButton* RadioButton27 = nullptr;
    QRadioButton* RadioButton43 = nullptr;
    QRadioButton* RadioButton41 = nullptr;
    QRadioButton* RadioButton37 = nullptr;
    QRadioButton* RadioButton36 = nullptr;
    QRadioButton* RadioButton35 = nullptr;
    QRadioButton* RadioButton23 = nullptr;
    QRadioButton* RadioButton48 = nullptr;
    QRadioButton* RadioButton46 = nullptr;
    QRadioButton* RadioButton44 = nullptr;
    QRadioButton* RadioButton28 = nullptr;
    QRadioButton* RadioButton42 = nullptr;
    QRadioButton* RadioButton40 = nullptr;
    QRadioButton* RadioButton34 = nullptr;
    QRadioButton* RadioButton33 = nullptr; // Romania, 0x1D

    void Button27Click(); // set keyboard language
    // The report texts of setting the keyboard language (Write all uses them too).
    static rfid::CycleTexts setTexts();
    void Button28Click(); // read keyboard language

    // The texts of the eight prefix/suffix fields, prefix first, as typed.
    QStringList prefixSuffixTexts() const;

    // Puts the language and the prefix/suffix bytes into `settings`. A byte
    // field that is not two hex digits is a fault: its text is returned (and
    // `settings` is to be dropped).
    QString collectSettings(rfid::ReaderSettings& settings) const;
    // Moves the controls to the settings held in `settings`; others stay.
    void showSettings(const rfid::ReaderSettings& settings);

    // The name a read-back gives the language code `code` (two upper-case hex
    // digits); empty for a code that names no language.
    static QString languageName(const QString& code);

private:
    struct Language;
    static const Language* languages();

    PageHost& m_host;
};
