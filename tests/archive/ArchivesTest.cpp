#include "ARCHIVES.h"
#include "ARJ32.h"
#include "CAB32.h"
#include "LHA32.h"
#include "RAR32.h"
#include "TAR32.h"
#include "TestSupport.h"
#include "ZIP32.h"

#include "AppPaths.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

using namespace testing_support;

namespace {

const QString Fixtures = QStringLiteral(ARCHIVE_FIXTURES "/");

QString fixture(const char *name)
{
    return Fixtures + QLatin1String(name);
}

// Entry names of an archive, in the library's order.
QStringList listNames(const QString &archive)
{
    TArchiveFile file;
    file.setFileName(archive);
    QStringList names;
    if (!file.OpenArchive(0, 0))
        return names;
    ArcIndividualInfo info;
    for (int r = file.FindFirst(QStringLiteral("*.*"), info); r == 0; r = file.FindNext(info))
        names << QString::fromUtf8(info.szFileName);
    file.CloseArchive();
    return names;
}

QString message(const std::function<void()> &f)
{
    try {
        f();
    } catch (const EArchiver &e) {
        return e.message();
    }
    return QString();
}

// Points the module search at a folder for one test, and unloads every family around it so
// that what a test loads does not leak into the next.
class ModuleFolder {
public:
    explicit ModuleFolder(const QString &folder) : m_saved(ArchiverLibraryFolders())
    {
        unloadAll();
        ArchiverLibraryFolders() = QStringList{folder};
    }
    ~ModuleFolder()
    {
        unloadAll();
        ArchiverLibraryFolders() = m_saved;
    }
    static void unloadAll()
    {
        for (TArcFamily *f : {&Lha32Family(), &Arj32Family(), &Cab32Family(), &Tar32Family(), &Rar32Family()})
            f->Unload();
        TZip32::Unzip32().Unload();
        TZip32::Lmzip32().Unload();
        TZip32::Zip32j().Unload();
    }

private:
    QStringList m_saved;
};

} // namespace

TEST(ArchiverType, ByExtension)
{
    const struct {
        const char *name;
        TArchiverType type;
    } cases[] = {{"a.lzh", atLha}, {"A.LZH", atLha}, {"a.zip", atZip},     {"a.cab", atCab}, {"a.arj", atArj},
                 {"a.tar", atTar}, {"a.tgz", atTgz}, {"a.tar.gz", atTgz},  {"a.Z", atTgz},   {"a.taz", atTgz},
                 {"a.rar", atRar}, {"a.jpg", atNone}, {"noext", atNone},   {"dir.lzh/file", atNone}};
    for (const auto &c : cases)
        EXPECT_EQ(GetArchiverType(QLatin1String(c.name)), c.type) << c.name;
}

TEST(ArchiverType, SelfExtractingProbes)
{
    // Both the LHA and the ZIP library open it: LHA, the later probe, wins.
    EXPECT_EQ(GetArchiverType(fixture("both.exe")), atLha);
    EXPECT_EQ(GetArchiverType(fixture("zip.exe")), atZip);
    const QString plain = freshDir() + QStringLiteral("/plain.exe");
    writeFile(plain, QByteArray(4096, 'M'));
    EXPECT_EQ(GetArchiverType(plain), atNone);
    // Without any module every probe fails quietly.
    ModuleFolder none(freshDir());
    EXPECT_EQ(GetArchiverType(fixture("both.exe")), atNone);
}

TEST(ArchiveFile, WrapperFollowsTheName)
{
    TArchiveFile file;
    EXPECT_EQ(file.ArchiverType(), atAutoDetect);
    EXPECT_TRUE(IsArcNul(file.FileName()));
    file.setFileName(QStringLiteral("x.zip"));
    TArchiver *zip = file.Archiver();
    ASSERT_NE(dynamic_cast<TZip32 *>(zip), nullptr);
    // An unknown extension changes nothing but the name.
    file.setFileName(QStringLiteral("x.dat"));
    EXPECT_EQ(file.Archiver(), zip);
    EXPECT_EQ(file.ArchiverType(), atZip);
    EXPECT_EQ(file.FileName(), QStringLiteral("x.dat"));
    EXPECT_EQ(message([&] { file.setArchiverType(atAutoDetect); }),
              QStringLiteral("現在のバージョンではこの形式の書庫をサポートしていません。"));

    TArchiveFile fresh;
    fresh.setFileName(QStringLiteral("photo.jpg"));
    EXPECT_EQ(fresh.Archiver(), nullptr);
    EXPECT_EQ(message([&] { fresh.OpenArchive(0, 0); }), QStringLiteral("書庫の形式を判別できません。"));
    EXPECT_EQ(message([&] { fresh.Extract(0, QStringLiteral("/tmp/"), nullptr); }),
              QStringLiteral("書庫の形式を判別できません。"));

    fresh.setOutputSize(8);
    EXPECT_EQ(fresh.OutputSize(), 8);
    EXPECT_EQ(fresh.OutputBuff(), QString());
}

TEST(CmdOpt, Appends)
{
    const struct {
        std::function<void(TCmdOpt &)> op;
        const char *text;
    } cases[] = {
        {[](TCmdOpt &o) { o.AddNumber(QStringLiteral("n"), 0); }, " -n0"},
        {[](TCmdOpt &o) { o.AddNumber(QStringLiteral("n"), -1); }, ""},
        {[](TCmdOpt &o) { o.AddQuoted(QStringLiteral("jo"), QString()); }, " \"-jo\""},
        {[](TCmdOpt &o) { o.AddQuoted(QStringLiteral("jo"), ArcNul); }, ""},
        {[](TCmdOpt &o) { o.AddQuoted(QString(), QStringLiteral("a b")); }, " \"a b\""},
        {[](TCmdOpt &o) { o.AddDir(QString(), QStringLiteral("/tmp")); }, " \"/tmp/\""},
        {[](TCmdOpt &o) { o.AddDir(QString(), QStringLiteral("/tmp/")); }, " \"/tmp/\""},
        {[](TCmdOpt &o) { o.AddDir(QString(), QString()); }, ""},
        {[](TCmdOpt &o) { o.AddDir(QStringLiteral("w"), ArcNul); }, ""},
        {[](TCmdOpt &o) { o.AddText(QString()); }, " "},
        {[](TCmdOpt &o) { o.AddFiles(QStringLiteral("jx"), {QStringLiteral("*.bak"), QStringLiteral("*.tmp")}); },
         " \"-jx*.bak\" \"-jx*.tmp\""},
    };
    for (const auto &c : cases) {
        TCmdOpt opt;
        c.op(opt);
        EXPECT_EQ(opt.Text, QString::fromUtf8(c.text));
    }
}

TEST(Wrappers, LhaBuilderUsesEverySwitch)
{
    TArchiverOptions o;
    o.a = 1;
    o.w = QStringLiteral("/work");
    o.jo = QStringLiteral("20240102");
    o.jx = QStringList{QStringLiteral("*.bak")};
    o.gw = 3;
    o.UserOptions = QStringLiteral("-extra");
    o.UserFileList = QStringLiteral("more");
    const QStringList files{QStringLiteral("f")};
    EXPECT_EQ(TLha32::Build(QStringLiteral("A"), &files, QStringLiteral("T"), o).Text,
              QStringLiteral(" -+ -a1 \"-w/work/\" \"-jo20240102\" \"-jx*.bak\" -gw3 -extra \"A\" \"T/\" \"f\" more"));
    TArchiverOptions zip;
    zip.jo = QStringLiteral("20240102");
    zip.x = 0;
    zip.jm = 9;
    EXPECT_EQ(TZip32::BuildZip32j(QStringLiteral("A"), nullptr, QString(), zip).Text,
              QStringLiteral(" -j -#9 \"-jo01022024\"  \"A\" "));
}

// Extracts entry of archive into a fresh folder the way the viewer does; returns the folder.
static QString extractLikeTheViewer(TArchiveFile &file, const QString &archive, const QString &entry, int32_t &result)
{
    const QString folder = freshDir() + QLatin1Char('/');
    file.setFileName(archive);
    file.Options().x = 0;
    file.Options().n = 0;
    const QStringList files{entry};
    result = file.Extract(0, folder, &files);
    return folder;
}

TEST(Wrappers, ViewerExtractionCommandLines)
{
    const struct {
        const char *archive;
        const char *entry;
        const char *line; // A, T and E stand for the archive, the folder and the entry
        const char *flat;
    } cases[] = {
        {"view.lzh", "sub/c.png", "x -+ -n0 -x0  \"A\" \"T\" \"E\" ", "c.png"},
        {"view.arj", "sub/c.png", "x -+ -n0 -x0  \"A\" \"T\" \"E\" ", "c.png"},
        {"view.zip", "sub/c.png", "-x -j  \"A\" \"T\" \"E\" ", "c.png"},
        {"view.cab", "sub/c.png", "-x -j  \"A\" \"T\" \"E\" ", "c.png"},
        {"view.rar", "testdir/test.txt", "-e -u  \"A\" \"T\" \"E\" ", "test.txt"},
        {"view.tar", "sub/c.png", "x --use-directory=0  -f \"A\" -o \"T\" \"E\" ", "c.png"},
        {"view.tgz", "sub/c.png", "x --use-directory=0 -z  -f \"A\" -o \"T\" \"E\" ", "c.png"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.archive);
        TArchiveFile file;
        int32_t result = -1;
        const QString archive = fixture(c.archive);
        const QString folder = extractLikeTheViewer(file, archive, QString::fromUtf8(c.entry), result);
        QString expected = QString::fromUtf8(c.line);
        expected.replace(QLatin1String("\"A\""), QLatin1Char('"') + QFileInfo(archive).absoluteFilePath() + QLatin1Char('"'));
        expected.replace(QLatin1String("\"T\""), QLatin1Char('"') + folder + QLatin1Char('"'));
        expected.replace(QLatin1String("\"E\""), QLatin1Char('"') + QString::fromUtf8(c.entry) + QLatin1Char('"'));
        EXPECT_EQ(file.LastCommandLine(), expected);
        EXPECT_EQ(result, 0);
        EXPECT_TRUE(QFileInfo(folder + QLatin1String(c.flat)).isFile());
        EXPECT_EQ(QDir(folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden).size(), 1)
            << "only the entry, flat, and no leftovers";
    }
    // Kept folders when x is not 0: RAR then uses -x.
    TArchiveFile rar;
    rar.setFileName(fixture("view.rar"));
    const QString folder = freshDir() + QLatin1Char('/');
    const QStringList files{QStringLiteral("testdir/test.txt")};
    EXPECT_EQ(rar.Extract(0, folder, &files), 0);
    EXPECT_TRUE(rar.LastCommandLine().startsWith(QLatin1String("-x -u ")));
    EXPECT_TRUE(QFileInfo(folder + QLatin1String("testdir/test.txt")).isFile());
}

TEST(Wrappers, ANameWithAQuoteIsRefusedByEveryFamily)
{
    for (const char *name : {"view.lzh", "view.arj", "view.zip", "view.cab", "view.rar", "view.tar", "view.tgz"}) {
        SCOPED_TRACE(name);
        const QString outside = freshDir(), folder = freshDir() + QLatin1Char('/');
        // What the quote would do unrefused: end the name and pass "-o" with a folder of its own.
        const QString entry = QStringLiteral("sub/c.png\" -o \"") + outside + QLatin1Char('/');
        const QStringList files{entry};
        TArchiveFile file;
        file.setFileName(fixture(name));
        file.Options().x = 0;
        try {
            file.Extract(0, folder, &files);
            ADD_FAILURE() << "extracted";
        } catch (const EArchiver &e) {
            EXPECT_TRUE(e.message().contains(entry)) << e.message().toStdString();
        }
        EXPECT_TRUE(QDir(outside).isEmpty());
        EXPECT_TRUE(QDir(folder).isEmpty());
    }
    // The archive's own name too.
    const QString odd = freshDir() + QStringLiteral("/a\"b.tar");
    ASSERT_TRUE(QFile::copy(fixture("view.tar"), odd));
    TArchiveFile file;
    file.setFileName(odd);
    const QStringList files{QStringLiteral("a.jpg")};
    EXPECT_THROW(file.Extract(0, freshDir() + QLatin1Char('/'), &files), EArchiver);
}

TEST(Wrappers, ExtractedBytesMatchTheArchive)
{
    // The tools made these from the same a.jpg; every back end must give it back unchanged.
    QByteArray reference;
    for (const char *name : {"view.lzh", "view.arj", "view.zip", "view.cab", "view.tar", "view.tgz"}) {
        SCOPED_TRACE(name);
        TArchiveFile file;
        int32_t result = -1;
        const QString folder = extractLikeTheViewer(file, fixture(name), QStringLiteral("a.jpg"), result);
        ASSERT_EQ(result, 0);
        const QByteArray bytes = readFile(folder + QStringLiteral("a.jpg"));
        ASSERT_EQ(bytes.left(2), QByteArray("\xFF\xD8", 2));
        if (reference.isEmpty())
            reference = bytes;
        EXPECT_EQ(bytes, reference);
    }
}

TEST(Wrappers, ListingsOfRealArchives)
{
    const QStringList three{QStringLiteral("a.jpg"), QStringLiteral("b.txt"), QStringLiteral("sub/c.png")};
    for (const char *name : {"view.zip", "view.cab", "view.tar", "view.tgz", "view.arj"})
        EXPECT_EQ(listNames(fixture(name)), three) << name;
    // Shift-JIS names come out as Japanese; a nested archive is an entry like any other.
    EXPECT_EQ(listNames(fixture("view.lzh")),
              (QStringList{QStringLiteral("a.jpg"), QStringLiteral("b.txt"), QStringLiteral("sub/c.png"),
                           QStringLiteral("日本語.jpg"), QStringLiteral("inner.lzh")}));
    // Folders and links are not entries to open.
    EXPECT_EQ(listNames(fixture("view.rar")), (QStringList{QStringLiteral("test.txt"), QStringLiteral("testdir/test.txt")}));
    // Not an archive of the family: no handle, an empty list.
    EXPECT_TRUE(listNames(fixture("view.zip")).size() == 3);
    const QString fake = freshDir() + QStringLiteral("/fake.lzh");
    writeFile(fake, QByteArray("this is no archive at all"));
    EXPECT_TRUE(listNames(fake).isEmpty());
}

TEST(Wrappers, JapaneseNameExtracts)
{
    TArchiveFile file;
    int32_t result = -1;
    const QString folder = extractLikeTheViewer(file, fixture("view.lzh"), QStringLiteral("日本語.jpg"), result);
    EXPECT_EQ(result, 0);
    EXPECT_TRUE(QFileInfo(folder + QStringLiteral("日本語.jpg")).isFile());
}

TEST(Wrappers, DamagedArchiveListsWhatItCan)
{
    const QStringList names = listNames(fixture("truncated.tar"));
    ASSERT_FALSE(names.isEmpty());
    EXPECT_EQ(names.first(), QStringLiteral("a.jpg"));
    TArchiveFile file;
    int32_t result = 0;
    const QString folder = extractLikeTheViewer(file, fixture("truncated.tar"), QStringLiteral("sub/c.png"), result);
    EXPECT_NE(result, 0);
    EXPECT_FALSE(QFileInfo::exists(folder + QStringLiteral("c.png")));
    EXPECT_TRUE(QDir(folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden).isEmpty());
    // A missing entry is no success either.
    extractLikeTheViewer(file, fixture("view.zip"), QStringLiteral("none.jpg"), result);
    EXPECT_NE(result, 0);
}

TEST(Wrappers, HostileNamesStayInside)
{
    for (const char *name : {"evil.lzh", "evil.zip", "evil.tar"}) {
        SCOPED_TRACE(name);
        const QString outer = freshDir();
        const QString folder = outer + QStringLiteral("/dest/");
        QDir().mkpath(folder);
        TArchiveFile file;
        file.setFileName(fixture(name));
        // All entries, stored folders kept: the dangerous case.
        const int32_t result = file.Extract(0, folder, nullptr);
        EXPECT_NE(result, 0) << "refusals are reported";
        EXPECT_TRUE(QFileInfo(folder + QStringLiteral("ok.txt")).isFile());
        EXPECT_EQ(QDir(outer).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList{QStringLiteral("dest")});
        EXPECT_FALSE(QFileInfo(folder + QStringLiteral("link")).isSymLink());
        EXPECT_FALSE(QFileInfo::exists(QStringLiteral("/tmp/planted.txt")));
    }
    // Flat, the same names land inside under their last part.
    TArchiveFile file;
    int32_t result = -1;
    const QString folder = extractLikeTheViewer(file, fixture("evil.zip"), QStringLiteral("../../evil.txt"), result);
    EXPECT_EQ(result, 0);
    EXPECT_TRUE(QFileInfo(folder + QStringLiteral("evil.txt")).isFile());
}

TEST(Modules, MissingLibraryMessages)
{
    ModuleFolder empty(freshDir());
    const struct {
        std::function<void()> create;
        const char *message;
    } cases[] = {
        {[] { TLha32 w; }, "この機能の使用には UNLHA32.DLL が 必要です。"},
        {[] { TArj32 w; }, "この機能の使用には UNARJ32J.DLL が 必要です。"},
        {[] { TCab32 w; }, "CAB 形式書庫を扱うには CAB32.DLL が 必要です。"},
        {[] { TTar32 w; }, "この機能の使用には tar32.dll が 必要です。"},
        {[] { TTgz32 w; }, "この機能の使用には tar32.dll が 必要です。"},
        {[] { TRar32 w; }, "この機能の使用には UNRAR32.DLL が 必要です。"},
        {[] { TZip32 w; }, "ZIP 形式書庫を解凍するには UNZIP32.DLL が、作成するには ZIP32J.DLL が必要です。"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(message(c.create), QString::fromUtf8(c.message));
    // The wrapper and type stay when the new one cannot be made.
    TArchiveFile file;
    EXPECT_EQ(message([&] { file.setFileName(QStringLiteral("a.lzh")); }),
              QStringLiteral("この機能の使用には UNLHA32.DLL が 必要です。"));
    EXPECT_EQ(file.ArchiverType(), atAutoDetect);
    EXPECT_TRUE(IsArcNul(file.FileName()));
}

TEST(Modules, MissingEntryNamesModuleAndEntry)
{
    // A module of the right name without the entry.
    const QString dir = freshDir();
    ASSERT_TRUE(QFile::copy(ProgramFolder() + QStringLiteral("zip32j.so"), dir + QStringLiteral("/unlha32.so")));
    ModuleFolder folder(dir);
    TLha32 lha; // loading alone needs no entry
    QString out;
    EXPECT_EQ(message([&] { lha.Extract(0, QStringLiteral("a.lzh"), out, nullptr, QString(), TArchiverOptions()); }),
              dir + QStringLiteral("/unlha32.so に Unlha のエントリが見つかりません。"));
}

TEST(Modules, ZipLibrarySelection)
{
    const QString a = fixture("view.zip");
    auto only = [](const char *module) {
        const QString dir = freshDir();
        QFile::copy(ProgramFolder() + QLatin1String(module), dir + QLatin1Char('/') + QLatin1String(module));
        return dir;
    };
    {
        ModuleFolder f(only("unzip32.so"));
        EXPECT_EQ(listNames(a).size(), 3);
        TArchiveFile file;
        int32_t result = -1;
        extractLikeTheViewer(file, a, QStringLiteral("b.txt"), result);
        EXPECT_EQ(result, 0);
        // Creation needs the other libraries.
        TZip32 zip;
        QString out;
        EXPECT_EQ(message([&] { zip.Delete(0, a, out, nullptr, QString(), TArchiverOptions()); }),
                  QStringLiteral("ZIP 形式書庫の作成には ZIP32J.DLL または LMZIP32.DLL が必要です。"));
    }
    {
        ModuleFolder f(only("lmzip32.so")); // its names are spelt with a lower-case z
        EXPECT_EQ(listNames(a).size(), 3);
        TArchiveFile file;
        int32_t result = -1;
        extractLikeTheViewer(file, a, QStringLiteral("b.txt"), result);
        EXPECT_EQ(result, 0);
    }
    {
        ModuleFolder f(only("zip32j.so"));
        EXPECT_EQ(message([] { TZip32 z; }),
                  QStringLiteral("ZIP 形式書庫を扱うには UNZIP32.DLL または LMZIP32.DLL が 必要です。"));
    }
}

// A folder with two files to archive: one.txt and pics/two.bin.
static QString sourceFolder()
{
    const QString dir = freshDir() + QLatin1Char('/');
    QDir().mkpath(dir + QStringLiteral("pics"));
    writeFile(dir + QStringLiteral("one.txt"), QByteArray("one\n"));
    writeFile(dir + QStringLiteral("pics/two.bin"), QByteArray(5000, '2'));
    return dir;
}

TEST(Modules, CreatingArchives)
{
    const QString src = sourceFolder();
    const QString out = freshDir() + QLatin1Char('/');
    QString output;
    const QStringList files{QStringLiteral("one.txt"), QStringLiteral("pics")};
    const QStringList both{QStringLiteral("one.txt"), QStringLiteral("pics/two.bin")};

    TTgz32 tgz;
    EXPECT_EQ(tgz.Add(0, out + QStringLiteral("new.tgz"), output, &files, src, TArchiverOptions()), 0);
    EXPECT_TRUE(tgz.CommandLine.startsWith(QLatin1String("c -z ")));
    EXPECT_EQ(listNames(out + QStringLiteral("new.tgz")), both);
    EXPECT_EQ(readFile(out + QStringLiteral("new.tgz")).left(2), QByteArray("\x1f\x8b"));

    TZip32 zip;
    const QString zipPath = out + QStringLiteral("new.zip");
    const QStringList first{QStringLiteral("one.txt")}, second{QStringLiteral("pics/two.bin")};
    EXPECT_EQ(zip.Add(0, zipPath, output, &first, src, TArchiverOptions()), 0);
    EXPECT_EQ(zip.Add(0, zipPath, output, &second, src, TArchiverOptions()), 0); // the first stays
    EXPECT_EQ(listNames(zipPath), both);
    EXPECT_EQ(zip.Delete(0, zipPath, output, &first, QString(), TArchiverOptions()), 0);
    EXPECT_EQ(listNames(zipPath), QStringList{QStringLiteral("pics/two.bin")});

    // Failures leave the archive as it was and nothing beside it.
    const QByteArray before = readFile(zipPath);
    const QStringList missing{QStringLiteral("nowhere.txt")};
    EXPECT_NE(zip.Add(0, zipPath, output, &missing, src, TArchiverOptions()), 0);
    EXPECT_NE(zip.Delete(0, zipPath, output, &missing, QString(), TArchiverOptions()), 0);
    EXPECT_EQ(readFile(zipPath), before);
    EXPECT_EQ(QDir(out).entryList(QDir::Files | QDir::Hidden), (QStringList{QStringLiteral("new.tgz"), QStringLiteral("new.zip")}));

    // The three formats libarchive cannot write say so.
    TCab32 cab;
    EXPECT_NE(cab.Add(0, out + QStringLiteral("x.cab"), output, &files, src, TArchiverOptions()), 0);
    TLha32 lha;
    EXPECT_NE(lha.Add(0, out + QStringLiteral("x.lzh"), output, &files, src, TArchiverOptions()), 0);
    EXPECT_FALSE(QFileInfo::exists(out + QStringLiteral("x.cab")) || QFileInfo::exists(out + QStringLiteral("x.lzh")));
}

TEST(Modules, SecondZipLibraryMakesArchivesAnew)
{
    // With only the second ZIP library, adding makes the archive anew from the listed files;
    // the old one is set aside and comes back when that fails.
    const QString src = sourceFolder();
    const QString zipPath = freshDir() + QStringLiteral("/keep.zip");
    QFile::copy(fixture("view.zip"), zipPath);
    const QString lmOnly = freshDir();
    QFile::copy(ProgramFolder() + QStringLiteral("lmzip32.so"), lmOnly + QStringLiteral("/lmzip32.so"));
    ModuleFolder f(lmOnly);
    TZip32 zip;
    QString out;
    const QStringList missing{src + QStringLiteral("nowhere.txt")};
    EXPECT_NE(zip.Add(0, zipPath, out, &missing, QString(), TArchiverOptions()), 0);
    EXPECT_EQ(readFile(zipPath), readFile(fixture("view.zip")));
    EXPECT_FALSE(QFileInfo::exists(zipPath + QStringLiteral(".old")));
    const QStringList one{src + QStringLiteral("one.txt")};
    TArchiverOptions flat;
    flat.x = 0;
    EXPECT_EQ(zip.Add(0, zipPath, out, &one, QString(), flat), 0);
    EXPECT_TRUE(zip.CommandLine.startsWith(QLatin1String("-ru -j ")));
    EXPECT_EQ(listNames(zipPath), QStringList{QStringLiteral("one.txt")});
    EXPECT_FALSE(QFileInfo::exists(zipPath + QStringLiteral(".old")));
}

TEST(Modules, DeleteAndSfxWhereTheFormatHasNone)
{
    QString out;
    TTar32 tar;
    EXPECT_EQ(message([&] { tar.Delete(0, QStringLiteral("a.tar"), out, nullptr, QString(), TArchiverOptions()); }),
              QStringLiteral("この形式の書庫ではファイルの削除をサポートしておりません。"));
    EXPECT_FALSE(message([&] { tar.MakeSfx(0, QStringLiteral("a.tar"), out, TArchiverOptions()); }).isEmpty());
    TArj32 arj;
    EXPECT_EQ(message([&] { arj.Add(0, QStringLiteral("a.arj"), out, nullptr, QString(), TArchiverOptions()); }),
              QStringLiteral("お使いの UNARJ32J.DLL は書庫の作成機能をサポートしていません。"));
    EXPECT_EQ(message([&] { arj.MakeSfx(0, QStringLiteral("a.arj"), out, TArchiverOptions()); }),
              QStringLiteral("お使いの UNARJ32J.DLL は自己解凍書庫の作成機能をサポートしていません。"));
}
