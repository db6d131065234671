#include "Application.h"

#include "Exceptions.h"
#include "MsgBox.h"

TApplication::TApplication(int &argc, char **argv) : QApplication(argc, argv)
{
    setApplicationName(QStringLiteral("Pictlane Type II"));
    setApplicationDisplayName(QStringLiteral("Pictlane Type II"));
    SetErrorReporter(&TApplication::ShowException);
}

bool TApplication::notify(QObject *receiver, QEvent *event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::bad_alloc &) {
        ShowException(QStringLiteral("メモリが不足しています"));
    } catch (const std::exception &e) {
        ShowException(QString::fromUtf8(e.what()));
    } catch (...) {
        ShowException(QStringLiteral("不明なｴﾗｰが発生しました"));
    }
    return false;
}

void TApplication::ShowException(const QString &message)
{
    MessageDlg(activeWindow(), message, TMsgKind::Error, QMessageBox::Ok, applicationDisplayName());
}
