#include "ZIP32.h"

#include "CAB32.h"

#include <QFile>
#include <QFileInfo>

TArcLibrary &TZip32::Unzip32()
{
    static TArcLibrary lib("unzip32.so");
    return lib;
}

TArcLibrary &TZip32::Lmzip32()
{
    static TArcLibrary lib("lmzip32.so");
    return lib;
}

TArcLibrary &TZip32::Zip32j()
{
    static TArcLibrary lib("zip32j.so");
    return lib;
}

void TZip32::LoadFamily()
{
    // Runs every time and keeps whatever loads.
    const bool a = Unzip32().Load(), b = Lmzip32().Load(), c = Zip32j().Load();
    if (!a && !b && !c)
        throw EArchiver(QStringLiteral("ZIP 形式書庫を解凍するには UNZIP32.DLL が、作成するには ZIP32J.DLL が必要です。"));
}

void *TZip32::Entry(const char *name, TArcLibrary &preferred, TArcLibrary &second)
{
    LoadFamily();
    TArcLibrary *lib = preferred.IsLoaded() ? &preferred : second.IsLoaded() ? &second : nullptr;
    if (!lib)
        throw EArchiver(QString::fromLatin1(name) + QStringLiteral(" のエントリが見つかりません。"));
    QByteArray actual(name);
    if (lib == &Lmzip32())
        for (int i : {0, 2})
            if (actual.size() > i && actual[i] == 'Z')
                actual[i] = 'z';
    return lib->Entry(actual.constData());
}

TZip32::TZip32()
{
    LoadDll();
}

void TZip32::LoadDll()
{
    LoadFamily();
    if (!Unzip32().IsLoaded() && !Lmzip32().IsLoaded())
        throw EArchiver(QStringLiteral("ZIP 形式書庫を扱うには UNZIP32.DLL または LMZIP32.DLL が 必要です。"));
}

void TZip32::UnloadDll()
{
    Unzip32().Unload();
    Lmzip32().Unload();
    Zip32j().Unload();
}

static HARC zipOpen(uintptr_t wnd, const QString &archive, uint32_t mode)
{
    auto open = reinterpret_cast<ArcOpenProc>(TZip32::Entry("UnZipOpenArchive", TZip32::Lmzip32(), TZip32::Unzip32()));
    return open(wnd, QFile::encodeName(QFileInfo(archive).absoluteFilePath()).constData(), mode);
}

static int32_t zipClose(HARC arc)
{
    auto close = reinterpret_cast<ArcCloseProc>(TZip32::Entry("UnZipCloseArchive", TZip32::Lmzip32(), TZip32::Unzip32()));
    return close(arc);
}

bool TZip32::Probe(const QString &path)
{
    return ProbeArchive(path, zipOpen, zipClose);
}

HARC TZip32::OpenArchive(uintptr_t wnd, const QString &archive, uint32_t mode)
{
    return zipOpen(wnd, archive, mode);
}

int32_t TZip32::FindFirst(HARC arc, const QString &wild, ArcIndividualInfo &info)
{
    auto first = reinterpret_cast<ArcFindFirstProc>(Entry("UnZipFindFirst", Lmzip32(), Unzip32()));
    return first(arc, wild.toUtf8().constData(), &info);
}

int32_t TZip32::FindNext(HARC arc, ArcIndividualInfo &info)
{
    auto next = reinterpret_cast<ArcFindNextProc>(Entry("UnZipFindNext", Lmzip32(), Unzip32()));
    return next(arc, &info);
}

int32_t TZip32::CloseArchive(HARC arc)
{
    return zipClose(arc);
}

int32_t TZip32::Extract(uintptr_t wnd, const QString &archive, QString &output, const QStringList *files,
                        const QString &folder, const TArchiverOptions &options)
{
    CommandLine = QStringLiteral("-x") + ZipCabBuild("--i", true, archive, files, folder, options).Text;
    LoadFamily();
    if (!Unzip32().IsLoaded() && !Lmzip32().IsLoaded())
        throw EArchiver(QStringLiteral("ZIP 形式書庫の解凍には UNZIP32.DLL または LMZIP32.DLL が必要です。"));
    return RunArchiverCommand(Entry("UnZip", Unzip32(), Lmzip32()), wnd, CommandLine, output);
}

int32_t TZip32::RunZip(uintptr_t wnd, const QString &commandLine, QString &output)
{
    CommandLine = commandLine;
    LoadFamily();
    if (!Zip32j().IsLoaded() && !Lmzip32().IsLoaded())
        throw EArchiver(QStringLiteral("ZIP 形式書庫の作成には ZIP32J.DLL または LMZIP32.DLL が必要です。"));
    return RunArchiverCommand(Entry("Zip", Zip32j(), Lmzip32()), wnd, commandLine, output);
}

static QString mmddyyyy(const QString &date)
{
    return IsArcNul(date) ? date : date.mid(4, 4) + date.left(4);
}

TCmdOpt TZip32::BuildZip32j(const QString &archive, const QStringList *files, const QString &folder,
                            const TArchiverOptions &o)
{
    TCmdOpt opt;
    const std::pair<bool, const char *> flags[] = {{o.a > 0, "-S"}, {o.n > 0, "-q"}, {o.r > 0, "-R"},
                                                   {o.n > 0, "-o"}, {o.u > 0, "-u"}, {o.x == 0, "-j"},
                                                   {o.jc > 0, "-FF"}, {o.ji > 0, "-k"}};
    for (const auto &[on, text] : flags)
        if (on)
            opt.AddText(QLatin1String(text));
    opt.AddNumber(QStringLiteral("#"), o.jm);
    opt.AddQuoted(QStringLiteral("jo"), mmddyyyy(o.jo));
    opt.AddQuoted(QStringLiteral("job"), mmddyyyy(o.job));
    if (o.gd > 0)
        opt.AddText(QStringLiteral("-J"));
    AddNamesTo(opt, archive, files, folder, o);
    return opt;
}

int32_t TZip32::Add(uintptr_t wnd, const QString &archive, QString &output, const QStringList *files,
                    const QString &folder, const TArchiverOptions &options)
{
    if (Zip32j().IsLoaded())
        return RunZip(wnd, BuildZip32j(archive, files, folder, options).Text, output);
    if (Lmzip32().IsLoaded()) {
        // This library only makes archives anew from the listed files.
        // This library only makes archives anew from the listed files. The old archive is set
        // aside rather than deleted, and comes back when the library fails.
        const QString line = QStringLiteral("-ru") + ZipCabBuild("", false, archive, files, QString(), options).Text;
        const QString aside = archive + QStringLiteral(".old");
        const bool moved = QFileInfo::exists(archive) && !QFileInfo::exists(aside) && QFile::rename(archive, aside);
        int32_t result = -1;
        try {
            result = RunZip(wnd, line, output);
        } catch (...) {
            if (moved) {
                QFile::remove(archive);
                QFile::rename(aside, archive);
            }
            throw;
        }
        if (moved) {
            if (result == 0) {
                QFile::remove(aside);
            } else {
                QFile::remove(archive);
                QFile::rename(aside, archive);
            }
        }
        return result;
    }
    return 0;
}

int32_t TZip32::Delete(uintptr_t wnd, const QString &archive, QString &output, const QStringList *files,
                       const QString &, const TArchiverOptions &options)
{
    return RunZip(wnd, QStringLiteral("-d") + BuildZip32j(archive, files, QString(), options).Text, output);
}
