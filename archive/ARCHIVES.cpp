#include "ARCHIVES.h"

#include "AppPaths.h"
#include "CAB32.h"
#include "ARJ32.h"
#include "LHA32.h"
#include "RAR32.h"
#include "TAR32.h"
#include "ZIP32.h"

#include <QFileInfo>

#include <dlfcn.h>
#include <link.h>

const QString ArcNul = QString(QChar(0));

// ---- TCmdOpt --------------------------------------------------------------------------------

void TCmdOpt::AddText(const QString &s)
{
    Text += QLatin1Char(' ') + s;
}

void TCmdOpt::AddQuoted(const QString &prefix, const QString &value)
{
    if (IsArcNul(value))
        return;
    // The command line has no escape for a quote: one inside a name would end it there and let
    // the rest pass as switches (a TAR "-o" could send the extraction elsewhere).
    if (value.contains(QLatin1Char('"')))
        throw EArchiver(QStringLiteral("名前に \" を含むため書庫の命令に渡せません: %1").arg(value));
    if (prefix.isEmpty())
        AddText(QLatin1Char('"') + value + QLatin1Char('"'));
    else
        AddText(QLatin1String("\"-") + prefix + value + QLatin1Char('"'));
}

void TCmdOpt::AddNumber(const QString &name, int n)
{
    if (n == -1)
        return;
    AddText(QLatin1Char('-') + name + QString::number(n));
}

void TCmdOpt::AddFiles(const QString &prefix, const QStringList &list)
{
    for (const QString &item : list)
        AddFile(prefix, item);
}

void TCmdOpt::AddDir(const QString &prefix, const QString &folder)
{
    if (folder.isEmpty() || IsArcNul(folder))
        return;
    AddFile(prefix, folder.endsWith(QLatin1Char('/')) ? folder : folder + QLatin1Char('/'));
}

void AddNamesTo(TCmdOpt &opt, const QString &archive, const QStringList *files, const QString &folder,
                const TArchiverOptions &options)
{
    opt.AddText(options.UserOptions);
    opt.AddFile(QString(), archive);
    opt.AddDir(QString(), folder);
    if (files)
        opt.AddFiles(QString(), *files);
    opt.AddText(options.UserFileList);
}

// ---- modules --------------------------------------------------------------------------------

QStringList &ArchiverLibraryFolders()
{
    static QStringList folders{ProgramFolder()};
    return folders;
}

void *GetDllEntry(void *module, const char *name)
{
    if (void *p = dlsym(module, name))
        return p;
    QString file;
    struct link_map *map = nullptr;
    if (dlinfo(module, RTLD_DI_LINKMAP, &map) == 0 && map && map->l_name)
        file = QString::fromLocal8Bit(map->l_name).left(256);
    throw EArchiver(file + QStringLiteral(" に ") + QString::fromLatin1(name) +
                    QStringLiteral(" のエントリが見つかりません。"));
}

bool TArcLibrary::Load()
{
    if (m_module)
        return true;
    for (const QString &folder : std::as_const(ArchiverLibraryFolders())) {
        QString path = folder;
        if (!path.isEmpty() && !path.endsWith(QLatin1Char('/')))
            path += QLatin1Char('/');
        path += QLatin1String(m_fileName);
        if (!QFileInfo(path).isFile())
            continue;
        m_module.reset(dlopen(QFile::encodeName(path).constData(), RTLD_NOW | RTLD_LOCAL));
        if (m_module)
            return true;
    }
    return false;
}

void TArcLibrary::Unload()
{
    m_module.reset();
    m_entries.clear();
}

void *TArcLibrary::Entry(const char *name)
{
    const QByteArray key(name);
    auto it = m_entries.constFind(key);
    if (it != m_entries.constEnd())
        return it.value();
    void *p = GetDllEntry(m_module.get(), name);
    m_entries.insert(key, p);
    return p;
}

void TArcFamily::Load()
{
    if (!Library.Load())
        throw EArchiver(QString::fromUtf8(MissingMessage));
}

void *TArcFamily::Entry(const char *name)
{
    Load();
    return Library.Entry(name);
}

static QByteArray fullPath(const QString &name)
{
    return QFile::encodeName(QFileInfo(name).absoluteFilePath());
}

HARC TArcFamily::Open(uintptr_t wnd, const QString &archive, uint32_t mode)
{
    auto open = reinterpret_cast<ArcOpenProc>(Entry(OpenName));
    return open(wnd, fullPath(archive).constData(), mode);
}

int32_t TArcFamily::FindFirst(HARC arc, const QString &wild, ArcIndividualInfo &info)
{
    auto first = reinterpret_cast<ArcFindFirstProc>(Entry(FirstName));
    return first(arc, wild.toUtf8().constData(), &info);
}

int32_t TArcFamily::FindNext(HARC arc, ArcIndividualInfo &info)
{
    auto next = reinterpret_cast<ArcFindNextProc>(Entry(NextName));
    return next(arc, &info);
}

int32_t TArcFamily::CloseArchive(HARC arc)
{
    auto close = reinterpret_cast<ArcCloseProc>(Entry(CloseName));
    return close(arc);
}

int32_t RunArchiverCommand(void *proc, uintptr_t wnd, const QString &commandLine, QString &output)
{
    auto command = reinterpret_cast<ArcCommandProc>(proc);
    const QByteArray line = commandLine.toUtf8();
    if (output.isEmpty())
        return command(wnd, line.constData(), nullptr, 0);
    QByteArray buf(output.size(), '\0');
    const int32_t result = command(wnd, line.constData(), buf.data(), uint32_t(buf.size()));
    const int end = buf.indexOf('\0');
    QString text = QString::fromUtf8(buf.constData(), end < 0 ? buf.size() : end);
    text.resize(output.size(), QChar(0));
    output = text;
    return result;
}

// ---- TArchiver ------------------------------------------------------------------------------

HARC TArchiver::OpenArchive(uintptr_t wnd, const QString &archive, uint32_t mode)
{
    return m_listing ? m_listing->Open(wnd, archive, mode) : nullptr;
}

int32_t TArchiver::FindFirst(HARC arc, const QString &wild, ArcIndividualInfo &info)
{
    return m_listing ? m_listing->FindFirst(arc, wild, info) : -1;
}

int32_t TArchiver::FindNext(HARC arc, ArcIndividualInfo &info)
{
    return m_listing ? m_listing->FindNext(arc, info) : -1;
}

int32_t TArchiver::CloseArchive(HARC arc)
{
    return m_listing ? m_listing->CloseArchive(arc) : 0;
}

int32_t TArchiver::Run(TArcFamily &family, uintptr_t wnd, const QString &commandLine, QString &output)
{
    CommandLine = commandLine;
    void *proc = family.Entry(family.CommandName);
    return RunArchiverCommand(proc, wnd, commandLine, output);
}

int32_t TArchiver::Delete(uintptr_t, const QString &, QString &, const QStringList *, const QString &,
                          const TArchiverOptions &)
{
    throw EArchiver(QStringLiteral("この形式の書庫ではファイルの削除をサポートしておりません。"));
}

int32_t TArchiver::MakeSfx(uintptr_t, const QString &, QString &, const TArchiverOptions &)
{
    throw EArchiver(QStringLiteral("この形式の書庫では自己解凍書庫を作成できません。"));
}

// ---- type detection -------------------------------------------------------------------------

bool ProbeArchive(const QString &path, const std::function<HARC(uintptr_t, const QString &, uint32_t)> &open,
                  const std::function<void(HARC)> &close)
{
    try {
        HARC h = open(0, QFileInfo(path).absoluteFilePath(), 0x800002);
        if (!h)
            return false;
        close(h);
        return true;
    } catch (...) {
        return false; // the library or an entry missing: no vote
    }
}

bool TArcFamily::Probe(const QString &path)
{
    return ProbeArchive(
        path, [this](uintptr_t wnd, const QString &name, uint32_t mode) { return Open(wnd, name, mode); },
        [this](HARC h) { CloseArchive(h); });
}

TArchiverType GetArchiverType(const QString &fileName)
{
    const int slash = fileName.lastIndexOf(QLatin1Char('/'));
    const int dot = fileName.lastIndexOf(QLatin1Char('.'));
    const QString ext = dot > slash ? fileName.mid(dot).toLower() : QString();
    if (ext == QLatin1String(".z") || ext == QLatin1String(".gz") || ext == QLatin1String(".tgz") ||
        ext == QLatin1String(".taz"))
        return atTgz;
    if (ext == QLatin1String(".tar"))
        return atTar;
    if (ext == QLatin1String(".rar"))
        return atRar;
    if (ext == QLatin1String(".arj"))
        return atArj;
    if (ext == QLatin1String(".zip"))
        return atZip;
    if (ext == QLatin1String(".cab"))
        return atCab;
    if (ext == QLatin1String(".lzh"))
        return atLha;
    if (ext != QLatin1String(".exe"))
        return atNone;
    // A self-extracting archive: every family looks; a later one in this order wins.
    TArchiverType result = atNone;
    const struct {
        TArchiverType type;
        bool (*probe)(const QString &);
    } probes[] = {{atRar, TRar32::Probe}, {atArj, TArj32::Probe}, {atCab, TCab32::Probe}, {atZip, TZip32::Probe},
                  {atLha, TLha32::Probe}};
    for (const auto &p : probes)
        if (p.probe(fileName))
            result = p.type;
    return result;
}

std::unique_ptr<TArchiver> CreateArchiver(TArchiverType type)
{
    switch (type) {
    case atLha:
        return std::make_unique<TLha32>();
    case atArj:
        return std::make_unique<TArj32>();
    case atZip:
        return std::make_unique<TZip32>();
    case atCab:
        return std::make_unique<TCab32>();
    case atTar:
        return std::make_unique<TTar32>();
    case atTgz:
        return std::make_unique<TTgz32>();
    case atRar:
        return std::make_unique<TRar32>();
    case atNone:
    case atAutoDetect:
        break;
    }
    return nullptr;
}

// ---- TArchiveFile ---------------------------------------------------------------------------

TArchiveFile::TArchiveFile(QObject *owner) : QObject(owner) {}

TArchiveFile::~TArchiveFile() = default;

void TArchiveFile::setFileName(const QString &name)
{
    setArchiverType(GetArchiverType(name));
    m_fileName = name;
}

QString TArchiveFile::OutputBuff() const
{
    const int end = m_output.indexOf(QChar(0));
    return end < 0 ? m_output : m_output.left(end);
}

void TArchiveFile::setOutputSize(int size)
{
    m_output.resize(qMax(0, size), QChar(0));
}

void TArchiveFile::setArchiverType(TArchiverType type)
{
    if (type == atNone)
        return;
    if (type == atAutoDetect)
        throw EArchiver(QStringLiteral("現在のバージョンではこの形式の書庫をサポートしていません。"));
    std::unique_ptr<TArchiver> wrapper = CreateArchiver(type); // raises when its library is missing
    m_archiver = std::move(wrapper);
    m_type = type;
}

HARC TArchiveFile::OpenArchive(uintptr_t wnd, uint32_t mode)
{
    if (m_type == atAutoDetect)
        setArchiverType(GetArchiverType(m_fileName));
    if (!m_archiver)
        throw EArchiver(QStringLiteral("書庫の形式を判別できません。"));
    m_handle = m_archiver->OpenArchive(wnd, m_fileName, mode);
    return m_handle;
}

int32_t TArchiveFile::FindFirst(const QString &wild, ArcIndividualInfo &info)
{
    return m_archiver->FindFirst(m_handle, wild, info);
}

int32_t TArchiveFile::FindNext(ArcIndividualInfo &info)
{
    return m_archiver->FindNext(m_handle, info);
}

void TArchiveFile::CloseArchive()
{
    m_archiver->CloseArchive(m_handle);
    m_handle = nullptr;
}

int32_t TArchiveFile::Extract(uintptr_t wnd, const QString &folder, const QStringList *files)
{
    if (!m_archiver)
        throw EArchiver(QStringLiteral("書庫の形式を判別できません。"));
    const int32_t result = m_archiver->Extract(wnd, m_fileName, m_output, files, folder, m_options);
    m_commandLine = m_archiver->CommandLine;
    return result;
}
