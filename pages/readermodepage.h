// Reader mode page: reader mode, Bluetooth, sleep time, buzzer, factory settings, version.
#pragma once

#include <QWidget>

class TForm1;

class ReaderModePage : public QWidget {
    Q_OBJECT
public:
    ReaderModePage(TForm1& form, QWidget* parent);

private:
    TForm1& m_form;
};
