#include "SPIBmp.h"

#include "AppPaths.h"

#include <QFile>
#include <QIODevice>

#include <cstdlib>
#include <cstring>
#include <exception>

#include <malloc.h>
#include <sys/mman.h>

namespace {

const QString kUnknown = QStringLiteral("認識できない画像形式です");

// The loading context a plug-in's progress callback gets back.
struct TInSPIAble {
    TSPIBitmap *Owner;
    std::exception_ptr Failure; // thrown once the plug-in has returned
};

extern "C" int32_t progressCallback(int32_t num, int32_t denom, intptr_t data)
{
    auto *ctx = reinterpret_cast<TInSPIAble *>(data);
    try {
        ctx->Owner->pluginProgress(num, denom);
        return 0;
    } catch (...) {
        // Not across the plug-in's C frames: stop it, and throw once it has returned.
        ctx->Failure = std::current_exception();
        return 1;
    }
}

uint32_t le32(const uint8_t *p)
{
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

// A whole file in memory. A large one goes into its own mapping with transparent huge pages
// asked for: faulting in a fresh buffer page by page costs more than reading the file.
class FileBytes {
public:
    explicit FileBytes(QFile &f)
    {
        const qint64 size = f.size();
        if (size < kHugeFrom || f.isSequential()) {
            m_small = f.readAll();
            return;
        }
        m_length = size_t(size);
        void *p = mmap(nullptr, m_length, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (p == MAP_FAILED) {
            m_length = 0;
            m_small = f.readAll();
            return;
        }
        m_map = static_cast<char *>(p);
        madvise(m_map, m_length, MADV_HUGEPAGE);
        size_t got = 0;
        while (got < m_length) {
            const qint64 n = f.read(m_map + got, qint64(m_length - got));
            if (n <= 0)
                break;
            got += size_t(n);
        }
        m_used = got; // a file that shrank meanwhile is read as it is now
    }
    ~FileBytes()
    {
        if (m_map)
            munmap(m_map, m_length);
    }
    FileBytes(const FileBytes &) = delete;
    FileBytes &operator=(const FileBytes &) = delete;

    QByteArray bytes() const { return m_map ? QByteArray::fromRawData(m_map, qsizetype(m_used)) : m_small; }

private:
    static constexpr qint64 kHugeFrom = 8 << 20;
    QByteArray m_small;
    char *m_map = nullptr;
    size_t m_length = 0, m_used = 0;
};

} // namespace

std::unique_ptr<TGraphic> TSPIBitmap::clone() const
{
    auto c = std::make_unique<TSPIBitmap>();
    c->assign(*this);
    return c;
}

void TSPIBitmap::assign(const TGraphic &source)
{
    if (auto *s = dynamic_cast<const TSPIBitmap *>(&source))
        SkipMacBinary = s->SkipMacBinary;
    TBitmap::assign(source);
}

void TSPIBitmap::loadFromFile(const QString &fileName)
{
    QFile f(fileName);
    if (!f.open(QIODevice::ReadOnly))
        throw EInOutError(ioErrorMessage(QStringLiteral("ﾌｧｲﾙを開く"), fileName, f.errorString()));
    const FileBytes data(f);
    load(data.bytes(), fileName);
}

void TSPIBitmap::loadFromStream(QIODevice &stream)
{
    load(stream.readAll(), QString());
}

void TSPIBitmap::LoadFromStreamNamed(QIODevice &stream, const QString &fileName)
{
    load(stream.readAll(), fileName);
}

void TSPIBitmap::load(const QByteArray &data, const QString &name)
{
    const QString ext = ExtractFileExt(name).mid(1);
    const bool pluginsFirst = !ext.isEmpty() && ext.compare(QLatin1String("BMP"), Qt::CaseInsensitive) != 0;
    const bool ok =
        pluginsFirst ? (tryPlugins(data, name) || tryNative(data)) : (tryNative(data) || tryPlugins(data, name));
    if (!ok)
        throw EInvalidGraphic(kUnknown);
}

bool TSPIBitmap::tryNative(const QByteArray &data)
{
    try {
        TBitmap::loadFromBytes(data.constData(), data.size());
        return true;
    } catch (const Exception &) {
        return false;
    }
}

bool TSPIBitmap::tryPlugins(const QByteArray &data, const QString &name)
{
    const TSPIs *spis = TSPIs::ActiveSPIs();
    if (!spis)
        return false;
    for (TInSPI *spi : spis->FindSPIs(name)) {
        if (tryOne(*spi, data.constData(), data.size(), name))
            return true;
        // A MacBinary header of 128 bytes may stand before the picture.
        if (SkipMacBinary && data.size() >= 129 && tryOne(*spi, data.constData() + 128, data.size() - 128, name))
            return true;
    }
    return false;
}

bool TSPIBitmap::tryOne(TInSPI &spi, const char *data, qsizetype size, const QString &name)
{
    // Plug-ins look at 2048 bytes of the head whatever the file's size.
    QByteArray padded;
    if (size < 2048) {
        padded = QByteArray(data, size);
        padded.append(QByteArray(2048 - size, '\0'));
        data = padded.constData();
    }
    const QByteArray fileName = QFile::encodeName(name);
    if (spi.IsSupported(fileName.constData(), data) == 0)
        return false;
    LastInfo = TPictureInfoRec();
    SpiPictureInfo info{};
    if (spi.GetPictureInfo(data, size, 1, &info) == SPI_ALL_RIGHT) {
        LastInfo = {info.left,      info.top,        info.width, info.height, info.x_density,
                    info.y_density, info.colorDepth, QString(),  true};
        if (info.hInfo) {
            LastInfo.Info =
                QString::fromLocal8Bit(info.hInfo, qsizetype(strnlen(info.hInfo, malloc_usable_size(info.hInfo))));
            std::free(info.hInfo);
        }
    }
    void *hInfo = nullptr, *hBits = nullptr;
    TInSPIAble ctx{this, nullptr};
    const int32_t r = spi.GetPicture(data, size, 1, &hInfo, &hBits, progressCallback, reinterpret_cast<intptr_t>(&ctx));
    struct Free {
        void *a, *b;
        ~Free()
        {
            std::free(a);
            std::free(b);
        }
    } release{hInfo, hBits};
    if (ctx.Failure)
        std::rethrow_exception(ctx.Failure);
    if (r != SPI_ALL_RIGHT || !hInfo || !hBits)
        return false;
    // The pixel block becomes the bitmap's own where its rows fit.
    const size_t bitsSize = malloc_usable_size(hBits);
    release.b = nullptr;
    return dibToBitmap(static_cast<const uint8_t *>(hInfo), malloc_usable_size(hInfo), static_cast<uint8_t *>(hBits),
                       bitsSize, static_cast<uint8_t *>(hBits));
}

bool TSPIBitmap::DibToBitmap(const uint8_t *info, size_t infoSize, const uint8_t *bits, size_t bitsSize)
{
    return dibToBitmap(info, infoSize, bits, bitsSize, nullptr);
}

bool TSPIBitmap::dibToBitmap(const uint8_t *info, size_t infoSize, const uint8_t *bits, size_t bitsSize,
                             uint8_t *ownedBits)
{
    std::unique_ptr<uint8_t, decltype(&std::free)> owned(ownedBits, &std::free);
    const QString bad = QStringLiteral("ﾌﾟﾗｸﾞｲﾝの画像が正しくありません");
    if (infoSize < 40)
        throw EInvalidGraphic(bad);
    const int32_t width = int32_t(le32(info + 4));
    const int32_t height = int32_t(le32(info + 8));
    const int bpp = info[14] | info[15] << 8;
    uint32_t colours = le32(info + 32);
    if (width <= 0 || height == 0 || height == INT32_MIN ||
        (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 16 && bpp != 24 && bpp != 32) || colours > 256 ||
        qint64(width) * std::abs(qint64(height)) > kMaxBitmapPixels)
        throw EInvalidGraphic(bad);
    const quint64 rowSize = ((quint64(width) * quint64(bpp) + 31) / 32) * 4;
    const quint64 imageSize = rowSize * quint64(std::abs(qint64(height)));
    if (colours == 0)
        colours = bpp == 1 ? 2 : bpp == 4 ? 16 : bpp == 8 ? 256 : 0;
    if (infoSize < 40 + 4 * size_t(colours) || bitsSize < imageSize)
        throw EInvalidGraphic(bad);
    // Straight from the plug-in's blocks, no BMP stream in between.
    if (owned)
        TBitmap::loadFromDibOwned(info, qint64(40 + 4 * colours), owned.release(), qint64(imageSize));
    else
        TBitmap::loadFromDib(info, qint64(40 + 4 * colours), bits, qint64(imageSize));
    return true;
}

void TSPIBitmap::pluginProgress(int32_t num, int32_t denom)
{
    if (num == 0)
        progress(TProgressStage::psStarting, 0, false, QRect(), QString());
    else if (num == denom)
        progress(TProgressStage::psEnding, 100, true, QRect(), QString());
    else if (denom > 0)
        progress(TProgressStage::psRunning, int((qint64(num) * 100 + denom / 2) / denom), false, QRect(), QString());
}
