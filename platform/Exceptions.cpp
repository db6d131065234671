#include "Exceptions.h"

#include <QtDebug>

namespace {
std::function<void(const QString &)> &reporter()
{
    static std::function<void(const QString &)> r;
    return r;
}
} // namespace

void ReportError(const QString &message)
{
    if (reporter())
        reporter()(message);
    else
        qWarning().noquote() << message;
}

void SetErrorReporter(std::function<void(const QString &)> r)
{
    reporter() = std::move(r);
}

QString ioErrorMessage(const QString &action, const QString &path, const QString &reason)
{
    return QStringLiteral("%1できません: %2\n%3").arg(action, path, reason);
}
