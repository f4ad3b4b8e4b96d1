// How the reader types card numbers: format, separators, buzzer, custom byte.
#pragma once

#include "report.h"

#include <QString>
#include <QWidget>

class QCheckBox;
class QGroupBox;
class QLineEdit;
class QPushButton;
class QRadioButton;
class PageHost;

namespace rfid {
struct ReaderSettings;
}

class OutputFormatPage : public QWidget {
    Q_OBJECT
public:
    OutputFormatPage(PageHost& host, QWidget* parent);

    // "Output format setting ": the format radio buttons and separator boxes.
    QGroupBox* GroupBox27 = nullptr;
    QRadioButton* RadioButton5 = nullptr;
    QRadioButton* RadioButton6 = nullptr;
    QRadioButton* RadioButton7 = nullptr;
    QRadioButton* RadioButton8 = nullptr;
    QRadioButton* RadioButton9 = nullptr;
    QRadioButton* RadioButton10 = nullptr;
    QRadioButton* RadioButton11 = nullptr;
    QRadioButton* RadioButton12 = nullptr;
    QRadioButton* RadioButton13 = nullptr;
    QRadioButton* RadioButton14 = nullptr;
    QRadioButton* RadioButton15 = nullptr;
    QRadioButton* RadioButton16 = nullptr;
    QRadioButton* RadioButton17 = nullptr;
    QRadioButton* RadioButton21 = nullptr;
    QRadioButton* RadioButton22 = nullptr;
    QCheckBox* CheckBox16 = nullptr; // ;
    QCheckBox* CheckBox17 = nullptr; // ?
    QCheckBox* CheckBox18 = nullptr; // , in the middle
    QCheckBox* CheckBox15 = nullptr; // Enter

    // "Buzzer" and the custom byte.
    QGroupBox* GroupBox30 = nullptr;
    QRadioButton* RadioButton29 = nullptr; // big
    QRadioButton* RadioButton30 = nullptr; // small
    QLineEdit* Edit23 = nullptr;
    QCheckBox* CheckBox19 = nullptr;

    QPushButton* Button25 = nullptr; // "Read"
    QPushButton* Button24 = nullptr; // "Set"

    void Button24Click(); // write output settings
    // The report texts of writing the output settings (Write all uses them too).
    static rfid::CycleTexts setTexts();
    void Button25Click(); // read settings back

    // The text a read-back shows for the format code `code` (two upper-case hex
    // digits); empty for a code that names no format.
    static QString formatName(const QString& code);

    // Puts the page's settings into `settings`: format, separators, buzzer,
    // custom byte. A ticked custom byte that is not two hex digits is a fault:
    // its text is returned (and `settings` is to be dropped). An unticked one
    // that is not two hex digits is left out.
    QString collectSettings(rfid::ReaderSettings& settings) const;
    // Moves the controls to the settings held in `settings`; others stay.
    void showSettings(const rfid::ReaderSettings& settings);

private:
    struct Format;
    static const Format* formats();

    PageHost& m_host;
};
