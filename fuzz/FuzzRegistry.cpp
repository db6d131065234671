// A registry file from outside (edited by hand, damaged, written by another version): read all
// of it, change it, write it back, and read that again.
#include "FuzzTarget.h"
#include "Registry.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

namespace {
const QString &hive()
{
    static QTemporaryDir dir;
    static const QString file = [] {
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(dir.path()));
        return TRegistry::hiveFile(THive::CurrentUser);
    }();
    return file;
}

void walk(TRegistry &reg, const QString &path, int depth)
{
    if (depth > 16 || !reg.OpenKey(QLatin1Char('\\') + path, false))
        return;
    for (const QString &v : reg.GetValueNames())
        (void)reg.ReadString(v);
    for (const QString &k : reg.GetKeyNames()) {
        walk(reg, path.isEmpty() ? k : path + QLatin1Char('\\') + k, depth + 1);
        reg.OpenKey(QLatin1Char('\\') + path, false);
    }
}
} // namespace

static QByteArray seed()
{
    return QByteArray("; Korvane registry, version 1.\n\n[Software\\Korvane\\PLE\\Setting]\n@=default\n"
                      "IniDir=/home/a\\\\b\nMulti=one\\ntwo\nEq\\e=x\n\n[Software\\Korvane\\PLE\\Window]\nWidth=640\n");
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString &file = hive();
    {
        QFile f(file);
        QFile::remove(file + QStringLiteral(".bad"));
        if (!QDir().mkpath(QFileInfo(file).path()) || !f.open(QIODevice::WriteOnly))
            return 0;
        f.write(reinterpret_cast<const char *>(data), qint64(size));
    }
    TRegistry reg;
    walk(reg, QString(), 0);
    reg.OpenKey(QStringLiteral("\\Software\\Korvane\\PLE\\Setting"), true);
    reg.WriteString(QStringLiteral("Fuzz"), QStringLiteral("value=with\\odd\nbits"));
    reg.CloseKey();
    TRegistry back;
    if (!back.OpenKey(QStringLiteral("Software\\Korvane\\PLE\\Setting"), false) ||
        back.ReadString(QStringLiteral("Fuzz")) != QStringLiteral("value=with\\odd\nbits"))
        __builtin_trap();
    return 0;
}

QList<QByteArray> fuzzSeeds()
{
    return {seed()};
}
