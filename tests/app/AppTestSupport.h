#pragma once
// What the window tests share: answers for message boxes and a catcher for files handed to the
// desktop, so no test blocks on a box or starts another program.

#include "MsgBox.h"

#include <QList>
#include <QObject>
#include <QUrl>

// Answers every message box and remembers what it said.
struct MessageRecorder {
    QList<TMsgRequest> seen;
    MessageRecorder()
    {
        SetMessageHook([this](const TMsgRequest &r) {
            seen.append(r);
            return QMessageBox::Ok;
        });
    }
    ~MessageRecorder() { SetMessageHook(nullptr); }
};

// Installed as the handler of file URLs: remembers what the desktop was asked to open.
class ShellOpenCatcher : public QObject {
    Q_OBJECT
public:
    QList<QUrl> urls;
public slots:
    void open(const QUrl &url) { urls.append(url); }
};
