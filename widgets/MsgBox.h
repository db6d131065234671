#pragma once
// Message boxes with the program's fixed texts. Tests install a hook that answers instead of a
// person, so no modal box blocks them.

#include <QMessageBox>
#include <functional>

enum class TMsgKind { Information, Warning, Error, Confirmation };

struct TMsgRequest {
    QString text;
    QString caption;
    TMsgKind kind;
    QMessageBox::StandardButtons buttons;
};

// Shows the box (or asks the hook) and returns the button pressed.
QMessageBox::StandardButton MessageDlg(QWidget *parent, const QString &text, TMsgKind kind,
                                       QMessageBox::StandardButtons buttons = QMessageBox::Ok,
                                       const QString &caption = QString());

using TMsgHook = std::function<QMessageBox::StandardButton(const TMsgRequest &)>;
void SetMessageHook(TMsgHook hook);
