#include "RAR32.h"

TArcFamily &Rar32Family()
{
    static TArcFamily family{TArcLibrary("unrar32.so"), "この機能の使用には UNRAR32.DLL が 必要です。", "Unrar",
                             "UnrarOpenArchive", "UnrarCloseArchive", "UnrarFindFirst", "UnrarFindNext"};
    return family;
}

int32_t TRar32::Extract(uintptr_t wnd, const QString &archive, QString &output, const QStringList *files,
                        const QString &folder, const TArchiverOptions &o)
{
    TCmdOpt opt;
    if (o.c < 1)
        opt.AddText(QStringLiteral("-u"));
    if (o.m > 0)
        opt.AddText(QStringLiteral("-y"));
    if (o.p > 0)
        opt.AddText(QStringLiteral("-s"));
    AddNamesTo(opt, archive, files, folder, o);
    return Run(Rar32Family(), wnd, QLatin1String(o.x != 0 ? "-x" : "-e") + opt.Text, output);
}

int32_t TRar32::Add(uintptr_t, const QString &, QString &, const QStringList *, const QString &,
                    const TArchiverOptions &)
{
    throw EArchiver(QStringLiteral("RAR 形式の書庫は作成できません。"));
}
