#include "MsgBox.h"

#include <QApplication>

namespace {
TMsgHook &hook()
{
    static TMsgHook h;
    return h;
}
} // namespace

void SetMessageHook(TMsgHook h)
{
    hook() = std::move(h);
}

QMessageBox::StandardButton MessageDlg(QWidget *parent, const QString &text, TMsgKind kind,
                                       QMessageBox::StandardButtons buttons, const QString &caption)
{
    const QString title = caption.isEmpty() ? QApplication::applicationDisplayName() : caption;
    if (hook())
        return hook()({text, title, kind, buttons});
    QMessageBox::Icon icon = QMessageBox::Information;
    switch (kind) {
    case TMsgKind::Information:
        icon = QMessageBox::Information;
        break;
    case TMsgKind::Warning:
        icon = QMessageBox::Warning;
        break;
    case TMsgKind::Error:
        icon = QMessageBox::Critical;
        break;
    case TMsgKind::Confirmation:
        icon = QMessageBox::Question;
        break;
    }
    QMessageBox box(icon, title, text, buttons, parent);
    return QMessageBox::StandardButton(box.exec());
}
