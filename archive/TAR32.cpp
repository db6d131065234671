#include "TAR32.h"

#include <QGuiApplication>
#include <QWindow>

TArcFamily &Tar32Family()
{
    static TArcFamily family{TArcLibrary("tar32.so"), "この機能の使用には tar32.dll が 必要です。", "Tar",
                             "TarOpenArchive", "TarCloseArchive", "TarFindFirst", "TarFindNext"};
    return family;
}

TCmdOpt TTar32::Build(const QString &archive, const QStringList *files, const QString &folder,
                      const TArchiverOptions &o) const
{
    TCmdOpt opt;
    if (o.a > 0)
        opt.AddText(QStringLiteral("-AH"));
    else if (o.a == 0)
        opt.AddText(QStringLiteral("-I"));
    if (o.n > 0)
        opt.AddText(QStringLiteral("--display-dialog=0"));
    if (o.o > 0)
        opt.AddText(QStringLiteral("-g"));
    opt.AddNumber(QStringLiteral("-check-all-path="), o.p);
    opt.AddNumber(QStringLiteral("-use-directory="), o.x);
    if (Compressed()) {
        if (o.jm >= 1)
            opt.AddNumber(QStringLiteral("z"), o.jm);
        else
            opt.AddText(QStringLiteral("-z"));
    }
    opt.AddText(o.UserOptions);
    if (!archive.isEmpty()) {
        opt.AddText(QStringLiteral("-f"));
        opt.AddFile(QString(), archive);
    }
    if (!folder.isEmpty()) {
        opt.AddText(QStringLiteral("-o"));
        opt.AddDir(QString(), folder);
    }
    if (files)
        opt.AddFiles(QString(), *files);
    opt.AddText(o.UserFileList);
    return opt;
}

int32_t TTar32::RunWord(const char *word, uintptr_t wnd, const TCmdOpt &opt, QString &output)
{
    const int32_t result = Run(Tar32Family(), wnd, QLatin1String(word) + opt.Text, output);
    if (wnd != 0)
        for (QWindow *w : QGuiApplication::topLevelWindows())
            if (w->winId() == wnd)
                w->requestActivate();
    return result;
}

int32_t TTar32::Extract(uintptr_t wnd, const QString &archive, QString &output, const QStringList *files,
                        const QString &folder, const TArchiverOptions &options)
{
    return RunWord("x", wnd, Build(archive, files, folder, options), output);
}

int32_t TTar32::Add(uintptr_t wnd, const QString &archive, QString &output, const QStringList *files,
                    const QString &folder, const TArchiverOptions &options)
{
    return RunWord("c", wnd, Build(archive, files, folder, options), output);
}
