#include "SPIs.h"

#include "AppPaths.h"
#include "Picture.h"
#include "Registry.h"
#include "SPIBmp.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <dlfcn.h>
#include <link.h>
#include <sys/stat.h>

namespace {
TSPIs *g_active = nullptr;

QString text(const char *buffer, int32_t written)
{
    if (written <= 0)
        return QString();
    return QString::fromLocal8Bit(buffer, qsizetype(qstrnlen(buffer, size_t(written))));
}
} // namespace

ESPIFOpenErrorSPI::ESPIFOpenErrorSPI(const QString &path)
    : Exception(QStringLiteral("%1:Susie Pluginがロードできませんでした").arg(path))
{
}
ESPIInvalidSPI::ESPIInvalidSPI(const QString &fileName)
    : Exception(QStringLiteral("%1:認識できないSusie Pluginです").arg(fileName))
{
}
ESPIInvalidAPI::ESPIInvalidAPI(const QString &function, const QString &fileName)
    : Exception(QStringLiteral("%1は[%2]では使えないSusie Plugin APIです").arg(function, fileName))
{
}
ESPIDupCreateSPIs::ESPIDupCreateSPIs() : Exception(QStringLiteral("TSPIs は複数生成できません")) {}

TSPI::TSPI(const QString &fileName)
{
    // RTLD_LOCAL: every plug-in exports the same names, and each must keep its own.
    Handle.reset(dlopen(QFile::encodeName(fileName).constData(), RTLD_NOW | RTLD_LOCAL));
    if (!Handle)
        throw ESPIFOpenErrorSPI(fileName);
    // A failure below unloads the library with Handle.
    link_map *map = nullptr;
    FileName = dlinfo(Handle.get(), RTLD_DI_LINKMAP, &map) == 0 && map && map->l_name && *map->l_name
                   ? QFile::decodeName(map->l_name)
                   : fileName;
    m_getPluginInfo = reinterpret_cast<decltype(m_getPluginInfo)>(resolve("GetPluginInfo"));
    if (!m_getPluginInfo)
        throw ESPIInvalidSPI(FileName);
    char buf[256] = {};
    APIVersion = text(buf, GetPluginInfo(0, buf, 255));
    std::fill(std::begin(buf), std::end(buf), '\0');
    PluginInfo = text(buf, GetPluginInfo(1, buf, 255));
    // Pairs of pattern and description, taken only whole.
    for (int32_t n = 2;; n += 2) {
        char ext[256] = {}, desc[256] = {};
        const int32_t a = GetPluginInfo(n, ext, 255);
        const int32_t b = GetPluginInfo(n + 1, desc, 255);
        if (a <= 0 || b <= 0)
            break;
        Extensions.append(text(ext, a));
        Descriptions.append(text(desc, b));
    }
}

TSPI::~TSPI() = default;

void *TSPI::resolve(const char *name) const
{
    return Handle ? dlsym(Handle.get(), name) : nullptr;
}

int32_t TSPI::GetPluginInfo(int32_t number, char *buffer, int32_t size) const
{
    if (!m_getPluginInfo)
        throw ESPIInvalidAPI(QStringLiteral("GetPluginInfo"), FileName);
    return m_getPluginInfo(number, buffer, size);
}

TInSPI::TInSPI(const QString &fileName) : TSPI(fileName)
{
    IsSupported = reinterpret_cast<decltype(IsSupported)>(resolve("IsSupported"));
    GetPictureInfo = reinterpret_cast<decltype(GetPictureInfo)>(resolve("GetPictureInfo"));
    GetPicture = reinterpret_cast<decltype(GetPicture)>(resolve("GetPicture"));
    if (!IsSupported || !GetPictureInfo || !GetPicture)
        throw ESPIInvalidSPI(FileName); // the base destructor unloads the library
}

std::unique_ptr<TSPI> CreateSPI(const QString &path)
{
    try {
        QString version;
        {
            const TSPI probe(path);
            version = probe.APIVersion;
        }
        if (version == QLatin1String("00IN"))
            return std::make_unique<TInSPI>(path);
        if (version == QLatin1String("00AM"))
            return std::make_unique<TAmSPI>(path);
        if (version == QLatin1String("00XN"))
            return std::make_unique<TXnSPI>(path);
        return std::make_unique<TSPI>(path);
    } catch (const ESPIInvalidSPI &) {
        return nullptr;
    } catch (const ESPIFOpenErrorSPI &) {
        return nullptr;
    }
}

TSPIs::TSPIs(QObject *owner) : QObject(owner)
{
    if (g_active)
        throw ESPIDupCreateSPIs();
    g_active = this;
}

TSPIs::~TSPIs()
{
    if (g_active == this)
        g_active = nullptr;
    Clear();
}

TSPIs *TSPIs::ActiveSPIs()
{
    return g_active;
}

void TSPIs::Loaded()
{
    if (AutoSearch)
        Search(QStringLiteral("*.spi"));
}

int TSPIs::IndexOf(const QString &fileName) const
{
    for (size_t i = 0; i < m_list.size(); ++i)
        if (m_list[i]->FileName == fileName)
            return int(i);
    return -1;
}

void TSPIs::Insert(int index, std::unique_ptr<TSPI> spi)
{
    TSPI *raw = spi.get();
    m_list.insert(m_list.begin() + qBound(0, index, Count()), std::move(spi));
    auto *in = dynamic_cast<TInSPI *>(raw);
    if (!in)
        return;
    for (qsizetype i = 0; i < in->Extensions.size(); ++i) {
        // The last extension of a pattern such as "*.pi1;*.pi2", without its dot.
        const QString &pattern = in->Extensions[i];
        const qsizetype dot = pattern.lastIndexOf(QLatin1Char('.'));
        const qsizetype sep = std::max(pattern.lastIndexOf(QLatin1Char('\\')), pattern.lastIndexOf(QLatin1Char(':')));
        const QString ext = dot > sep ? pattern.mid(dot + 1) : QString();
        const QString description = in->Descriptions.value(i);
        QString graphicClass = QStringLiteral("TSPIBitmap");
        if (OnPictureRegister)
            OnPictureRegister(*this, *in, ext, description, graphicClass);
        if (!graphicClass.isEmpty() && !ext.isEmpty())
            TPicture::registerFileFormat(ext, description, graphicClass, [] { return std::make_unique<TSPIBitmap>(); });
    }
}

std::vector<TInSPI *> TSPIs::FindSPIs(const QString &fileName) const
{
    const QString e = ExtractFileExt(fileName);
    std::vector<TInSPI *> found;
    for (const auto &spi : m_list) {
        auto *in = dynamic_cast<TInSPI *>(spi.get());
        if (!in)
            continue;
        bool claims = false;
        for (const QString &pattern : std::as_const(in->Extensions)) {
            const qsizetype dot = pattern.lastIndexOf(QLatin1Char('.'));
            if (!e.isEmpty() && dot >= 0 && pattern.mid(dot).compare(e, Qt::CaseInsensitive) == 0)
                claims = true;
        }
        if (claims) {
            found.insert(found.begin(), in);
        } else {
            found.push_back(in);
        }
    }
    return found;
}

void TSPIs::Delete(int index)
{
    m_list.erase(m_list.begin() + index);
}

void TSPIs::Clear()
{
    while (!m_list.empty())
        Delete(0);
}

QString TSPIs::SusieFolder()
{
    TRegistry reg;
    if (!reg.OpenKey(QStringLiteral("\\Software\\Kelvaro\\Susie\\Plug-in"), false))
        return QString();
    return reg.ReadString(QStringLiteral("Path"));
}

QString TSPIs::SystemFolder()
{
    return QStringLiteral(PICTLANE_SYSTEM_SPI_DIR);
}

void TSPIs::Search(const QString &mask)
{
    const qsizetype slash = mask.lastIndexOf(QLatin1Char('/'));
    if (slash >= 0) {
        searchFolder(mask.left(slash + 1), mask.mid(slash + 1));
        return;
    }
    const auto has = [this](TSPISearchOption o) {
        return std::find(SearchOptions.begin(), SearchOptions.end(), o) != SearchOptions.end();
    };
    if (has(TSPISearchOption::spsSusieDir))
        searchFolder(SusieFolder(), mask);
    if (has(TSPISearchOption::spsAppDir))
        searchFolder(ProgramFolder(), mask);
    if (has(TSPISearchOption::spsCurrentDir))
        searchFolder(QDir::currentPath(), mask);
    if (has(TSPISearchOption::spsSystemDir))
        searchFolder(SystemFolder(), mask);
}

void TSPIs::searchFolder(const QString &folder, const QString &pattern)
{
    if (folder.isEmpty())
        return;
    const QString dir = folder.endsWith(QLatin1Char('/')) ? folder : folder + QLatin1Char('/');
    // Regular files only (or links to them): hidden ones, folders, and above all FIFOs and
    // devices are passed over; dlopen would wait on a FIFO for ever.
    QStringList paths;
    for (const QString &name : QDir(dir).entryList({pattern}, QDir::Files, QDir::Name)) {
        struct stat st {};
        if (::stat(QFile::encodeName(dir + name).constData(), &st) == 0 && S_ISREG(st.st_mode) &&
            IndexOf(dir + name) < 0)
            paths.append(dir + name);
    }
    for (const QString &path : std::as_const(paths)) {
        std::unique_ptr<TSPI> spi = CreateSPI(path);
        if (!spi || IndexOf(spi->FileName) >= 0)
            continue;
        bool accept = true;
        if (OnSearch)
            OnSearch(*this, *spi, accept);
        if (accept)
            Add(std::move(spi));
    }
}
