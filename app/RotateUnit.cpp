#include "RotateUnit.h"

#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QSpinBox>
#include <QVBoxLayout>

TRotateForm::TRotateForm(QWidget *parent) : QDialog(parent)
{
    setWindowTitle(QStringLiteral("任意の角度で回転"));
    auto *layout = new QVBoxLayout(this);
    auto *row = new QHBoxLayout;
    row->addWidget(new QLabel(QStringLiteral("回転角"), this));
    SpinEdit = new QSpinBox(this);
    SpinEdit->setRange(1, 359);
    SpinEdit->setSingleStep(1);
    row->addWidget(SpinEdit);
    row->addWidget(new QLabel(QStringLiteral("(1-359)"), this));
    layout->addLayout(row);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    auto *ok = new QPushButton(QStringLiteral("OK"), this);
    auto *cancel = new QPushButton(QStringLiteral("ｷｬﾝｾﾙ"), this);
    ok->setDefault(true);
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    layout->addLayout(buttons);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    setFixedSize(sizeHint());
    if (const QScreen *s = QGuiApplication::primaryScreen())
        move(s->availableGeometry().center() - rect().center());
}
