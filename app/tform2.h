// The help dialog.
#pragma once

#include <QDialog>

class QLabel;

class TForm2 : public QDialog {
    Q_OBJECT
public:
    explicit TForm2(QWidget* parent = nullptr);
    QLabel* Label1;
};
