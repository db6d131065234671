#include "PassUnit1.h"

#include "ShiftJIS.h"

#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

TPassForm::TPassForm(QWidget *parent) : QDialog(parent)
{
    setWindowTitle(QStringLiteral("パスフレーズを入力して下さい"));
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(QStringLiteral("パスフレーズを入力して下さい"), this));
    Edit1 = new QLineEdit(this);
    Edit1->setMinimumWidth(371);
    layout->addWidget(Edit1);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    OKButton = new QPushButton(QStringLiteral("OK"), this);
    CancelButton = new QPushButton(QStringLiteral("ｷｬﾝｾﾙ"), this);
    OKButton->setEnabled(false);
    // Enter is handled in keyPressEvent so that it does nothing while OK is disabled.
    OKButton->setAutoDefault(false);
    CancelButton->setAutoDefault(false);
    buttons->addWidget(OKButton);
    buttons->addWidget(CancelButton);
    layout->addLayout(buttons);
    connect(OKButton, &QPushButton::clicked, this, &QDialog::accept);
    connect(CancelButton, &QPushButton::clicked, this, &QDialog::reject);
    connect(Edit1, &QLineEdit::textChanged, this, [this] { Edit1Change(); });
    setFixedSize(sizeHint());
    if (const QScreen *s = QGuiApplication::primaryScreen())
        move(s->availableGeometry().center() - rect().center());
}

bool TPassForm::acceptable(const QString &text)
{
    QByteArray sjis;
    return ToShiftJIS(text, sjis) && sjis.size() >= 8 && sjis.size() <= 56;
}

QByteArray TPassForm::keyBytes() const
{
    QByteArray sjis;
    return ToShiftJIS(Edit1->text(), sjis) ? sjis : QByteArray();
}

void TPassForm::Edit1Change()
{
    OKButton->setEnabled(acceptable(Edit1->text()));
}

void TPassForm::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        if (OKButton->isEnabled())
            accept();
        return;
    }
    QDialog::keyPressEvent(event); // Escape rejects
}
