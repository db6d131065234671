#include "UiPost.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QObject>

namespace {

QObject *mailbox()
{
    // Never deleted: a post may come at any time until the program ends.
    static QObject *const box = new QObject;
    return box;
}

} // namespace

void InitUiPost()
{
    mailbox();
}

void PostToUi(std::function<void()> fn)
{
    QMetaObject::invokeMethod(mailbox(), std::move(fn), Qt::QueuedConnection);
}
