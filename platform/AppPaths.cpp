#include "AppPaths.h"

#include <QCoreApplication>
#include <QFileInfo>

QString ProgramFolder()
{
    // Without an application object (tools, fuzz targets) Qt cannot tell; the kernel can.
    QString dir = QCoreApplication::instance() ? QCoreApplication::applicationDirPath()
                                               : QFileInfo(QStringLiteral("/proc/self/exe")).canonicalPath();
    if (!dir.endsWith(QLatin1Char('/')))
        dir += QLatin1Char('/');
    return dir;
}

QString FolderOf(const QString &path)
{
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    if (slash < 0)
        return QString();
    if (slash == 0)
        return QStringLiteral("/");
    return path.left(slash);
}

QString ExtractFileExt(const QString &path)
{
    const qsizetype dot = path.lastIndexOf(QLatin1Char('.'));
    // A dot inside a folder name is no extension.
    if (dot < 0 || path.indexOf(QLatin1Char('/'), dot) >= 0)
        return QString();
    return path.mid(dot);
}
