#pragma once
// The rotation dialog: an angle from 1 to 359 degrees. Enter is OK, Escape is Cancel.

#include <QDialog>

class QSpinBox;

class TRotateForm : public QDialog {
public:
    explicit TRotateForm(QWidget *parent = nullptr);

    QSpinBox *SpinEdit;
};
