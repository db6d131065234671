#include "CAB32.h"

#include <QFileInfo>

TArcFamily &Cab32Family()
{
    static TArcFamily family{TArcLibrary("cab32.so"), "CAB 形式書庫を扱うには CAB32.DLL が 必要です。", "Cab",
                             "CabOpenArchive", "CabCloseArchive", "CabFindFirst", "CabFindNext"};
    return family;
}

TCmdOpt ZipCabBuild(const char *nSwitch, bool withN, const QString &archive, const QStringList *files,
                    const QString &folder, const TArchiverOptions &o)
{
    TCmdOpt opt;
    if (o.c == 1)
        opt.AddText(QStringLiteral("-o"));
    if (withN && o.n == 1)
        opt.AddText(QLatin1String(nSwitch));
    if (o.x == 0)
        opt.AddText(QStringLiteral("-j"));
    AddNamesTo(opt, archive, files, folder, o);
    return opt;
}

int32_t TCab32::Extract(uintptr_t wnd, const QString &archive, QString &output, const QStringList *files,
                        const QString &folder, const TArchiverOptions &options)
{
    const QString full = QFileInfo(archive).absoluteFilePath();
    return Run(Cab32Family(), wnd, QStringLiteral("-x") + ZipCabBuild("-i", true, full, files, folder, options).Text,
               output);
}

int32_t TCab32::Add(uintptr_t wnd, const QString &archive, QString &output, const QStringList *files,
                    const QString &folder, const TArchiverOptions &options)
{
    return Run(Cab32Family(), wnd, QStringLiteral("-a") + ZipCabBuild("-i", true, archive, files, folder, options).Text,
               output);
}

int32_t TCab32::MakeSfx(uintptr_t wnd, const QString &archive, QString &output, const TArchiverOptions &options)
{
    return Run(Cab32Family(), wnd,
               QStringLiteral("-f") + ZipCabBuild("-i", true, archive, nullptr, QString(), options).Text, output);
}
