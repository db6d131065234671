// Archives from outside through the archiver framework and the modules beside the program:
// any bytes listed and extracted as each archive family. ARJ archives are read by the 7-Zip
// program, left to its own fuzzing; what we parse of it, its listing, gets the same bytes.
#include "ARCHIVES.h"
#include "Families.h"
#include "FuzzTarget.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

QList<QByteArray> fuzzSeeds()
{
    QList<QByteArray> seeds;
    for (const char *name : {"view.lzh", "view.zip", "view.cab", "view.tar", "view.tgz", "view.rar", "evil.lzh",
                             "evil.tar", "view.arj.slt"}) {
        QFile f(QStringLiteral(ARCHIVE_FIXTURES "/") + QLatin1String(name));
        if (f.open(QIODevice::ReadOnly))
            seeds.append(f.readAll());
    }
    return seeds;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static QTemporaryDir scratch;
    const QString input = scratch.filePath(QStringLiteral("in/"));
    const QString out = scratch.filePath(QStringLiteral("out/"));
    QDir().mkpath(input);
    arcbackend::Listing listing;
    arcbackend::parse7zListing(std::string(reinterpret_cast<const char *>(data), size), listing);
    for (const arcbackend::Entry &e : listing.entries)
        if (e.name.empty())
            __builtin_trap(); // nameless entries are not listed
    for (const char *ext : {".lzh", ".zip", ".cab", ".tar", ".tgz", ".rar"}) {
        const QString path = input + QStringLiteral("x") + QLatin1String(ext);
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly) || f.write(reinterpret_cast<const char *>(data), qint64(size)) != qint64(size))
            __builtin_trap();
        f.close();
        TArchiveFile file;
        file.setFileName(path); // the module must be there: an exception here ends the run
        if (file.OpenArchive(0, 0)) {
            ArcIndividualInfo info;
            int n = 0;
            for (int r = file.FindFirst(QStringLiteral("*.*"), info); r == 0 && n < 100000; r = file.FindNext(info))
                if (info.szFileName[ARC_FNAME_MAX] != '\0')
                    __builtin_trap(); // names always end inside their field
            file.CloseArchive();
        }
        // Everything, with the stored folders: whatever the names, only the folder fills.
        QDir(out).removeRecursively();
        QDir().mkpath(out);
        file.Extract(0, out, nullptr);
        if (QDir(scratch.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot) !=
            QStringList{QStringLiteral("in"), QStringLiteral("out")})
            __builtin_trap();
        QFile::remove(path);
    }
    return 0;
}
