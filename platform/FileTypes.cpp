#include "FileTypes.h"

#include "SafeFile.h"

#include "Exceptions.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>

namespace {

QString escapeXml(QString s)
{
    s.replace(QLatin1Char('&'), QLatin1String("&amp;"));
    s.replace(QLatin1Char('<'), QLatin1String("&lt;"));
    s.replace(QLatin1Char('>'), QLatin1String("&gt;"));
    s.replace(QLatin1Char('"'), QLatin1String("&quot;"));
    return s;
}

// An Exec= argument. Plain paths stay as they are (some launchers, xdg-open's own fallback
// among them, trip over quotes); others are quoted, with the reserved characters escaped.
QString quoteExec(const QString &path)
{
    static const QRegularExpression plain(QStringLiteral("^[A-Za-z0-9/._+-]+$"));
    if (plain.match(path).hasMatch())
        return path;
    QString q;
    for (QChar c : path) {
        if (c == QLatin1Char('"') || c == QLatin1Char('`') || c == QLatin1Char('$') || c == QLatin1Char('\\'))
            q += QLatin1Char('\\');
        q += c;
    }
    q.replace(QLatin1Char('%'), QLatin1String("%%"));
    // The desktop entry format escapes backslashes once more at the string level.
    q.replace(QLatin1Char('\\'), QLatin1String("\\\\"));
    return QLatin1Char('"') + q + QLatin1Char('"');
}

bool writeIfDifferent(const QString &path, const QByteArray &content)
{
    QFile current(path);
    if (current.open(QIODevice::ReadOnly) && current.readAll() == content)
        return false;
    current.close();
    QDir().mkpath(QFileInfo(path).path());
    const QString action = QStringLiteral("ﾌｧｲﾙの種類を登録");
    TSafeFile f(path, TSafeFile::Access::Shared, action, action);
    f.writeAll(content);
    f.commit();
    return true;
}

bool removeIfThere(const QString &path)
{
    return QFile::exists(path) && QFile::remove(path);
}

// The database tools are optional: without them the files still say what they say.
void runTool(const char *tool, const QString &dir)
{
    const QString exe = QStandardPaths::findExecutable(QString::fromLatin1(tool));
    if (exe.isEmpty() || !QDir(dir).exists())
        return;
    QProcess p;
    p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    p.setStandardOutputFile(QProcess::nullDevice());
    p.start(exe, {dir});
    p.waitForFinished(10000);
}

} // namespace

bool RegisterDesktopFileType(const TDesktopFileType &t, bool on)
{
    const QString data = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    const QString mimeDir = data + QStringLiteral("/mime");
    const QString package = mimeDir + QStringLiteral("/packages/") + t.packageName + QStringLiteral(".xml");
    const QString appsDir = data + QStringLiteral("/applications");
    const QString entry = appsDir + QLatin1Char('/') + t.desktopId;
    bool mimeChanged = false, appsChanged = false;
    if (on) {
        const QString xml =
            QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                           "<mime-info xmlns=\"http://www.freedesktop.org/standards/shared-mime-info\">\n"
                           "  <mime-type type=\"%1\">\n"
                           "    <comment>%2</comment>\n"
                           "    <glob pattern=\"%3\"/>\n"
                           "  </mime-type>\n"
                           "</mime-info>\n")
                .arg(escapeXml(t.mimeType), escapeXml(t.comment), escapeXml(t.glob));
        const QString desktop = QStringLiteral("[Desktop Entry]\n"
                                               "Type=Application\n"
                                               "Name=%1\n"
                                               "Exec=%2 %f\n"
                                               "MimeType=%3;image/jpeg;\n"
                                               "Terminal=false\n"
                                               "NoDisplay=false\n"
                                               "Categories=Graphics;Viewer;\n")
                                    .arg(t.appName, quoteExec(t.exe), t.mimeType);
        mimeChanged = writeIfDifferent(package, xml.toUtf8());
        appsChanged = writeIfDifferent(entry, desktop.toUtf8());
    } else {
        mimeChanged = removeIfThere(package);
        appsChanged = removeIfThere(entry);
    }
    if (mimeChanged)
        runTool("update-mime-database", mimeDir);
    if (appsChanged)
        runTool("update-desktop-database", appsDir);
    return mimeChanged || appsChanged;
}
