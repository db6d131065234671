#include "FileKind.h"

#include "AppPaths.h"

QString AsciiUpper(const QString &s)
{
    QString r = s;
    for (QChar &c : r)
        if (c >= QLatin1Char('a') && c <= QLatin1Char('z'))
            c = QChar(c.unicode() - 32);
    return r;
}

TExtKind ExtensionKind(const QString &path)
{
    const QString ext = AsciiUpper(ExtractFileExt(path));
    if (ext == QLatin1String(".JPG") || ext == QLatin1String(".JPEG"))
        return TExtKind::Jpeg;
    if (ext == QLatin1String(".JPZ"))
        return TExtKind::Jpz;
    if (ext == QLatin1String(".LZH"))
        return TExtKind::Archive;
    return TExtKind::Other;
}
