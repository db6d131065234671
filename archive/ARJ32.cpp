#include "ARJ32.h"

TArcFamily &Arj32Family()
{
    static TArcFamily family{TArcLibrary("unarj32j.so"), "この機能の使用には UNARJ32J.DLL が 必要です。", "Unarj",
                             "UnarjOpenArchive", "UnarjCloseArchive", "UnarjFindFirst", "UnarjFindNext"};
    return family;
}

int32_t TArj32::Add(uintptr_t, const QString &, QString &, const QStringList *, const QString &,
                    const TArchiverOptions &)
{
    throw EArchiver(QStringLiteral("お使いの UNARJ32J.DLL は書庫の作成機能をサポートしていません。"));
}

int32_t TArj32::Delete(uintptr_t wnd, const QString &archive, QString &output, const QStringList *files,
                       const QString &folder, const TArchiverOptions &options)
{
    // The engine behind the module cannot change an ARJ archive.
    return TArchiver::Delete(wnd, archive, output, files, folder, options);
}

int32_t TArj32::MakeSfx(uintptr_t, const QString &, QString &, const TArchiverOptions &)
{
    throw EArchiver(QStringLiteral("お使いの UNARJ32J.DLL は自己解凍書庫の作成機能をサポートしていません。"));
}
