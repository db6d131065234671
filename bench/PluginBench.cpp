#include "BenchSupport.h"
#include "JPEG.h"
#include "PNGImage.h"
#include "SPIBmp.h"
#include "SPIs.h"

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <tiffio.h>
#include <webp/encode.h>

#include <cstdlib>

namespace {

QTemporaryDir &dir()
{
    static QTemporaryDir d;
    return d;
}

// The 24 MP photo as PNG, TIFF and WebP files; index 0, 1, 2.
QString picture(int kind)
{
    static QString files[3];
    if (!files[kind].isEmpty())
        return files[kind];
    const TBitmap &b = benchPhoto24();
    const QString path = dir().filePath(kind == 0 ? "p.png" : kind == 1 ? "p.tif" : "p.webp");
    if (kind == 0) {
        TPNGImage png;
        png.assign(b);
        png.DeflateLevel = 1;
        png.saveToFile(path);
    } else if (kind == 1) {
        TIFF *t = TIFFOpen(QFile::encodeName(path).constData(), "w");
        TIFFSetField(t, TIFFTAG_IMAGEWIDTH, uint32_t(b.width()));
        TIFFSetField(t, TIFFTAG_IMAGELENGTH, uint32_t(b.height()));
        TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, 3);
        TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, 8);
        TIFFSetField(t, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
        TIFFSetField(t, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
        TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, 64);
        std::vector<uint8_t> row(size_t(b.width()) * 3);
        for (int y = 0; y < b.height(); ++y) {
            const uint8_t *s = b.constScanLine(y);
            for (int x = 0; x < b.width(); ++x) {
                row[3 * size_t(x)] = s[3 * x + 2];
                row[3 * size_t(x) + 1] = s[3 * x + 1];
                row[3 * size_t(x) + 2] = s[3 * x];
            }
            TIFFWriteScanline(t, row.data(), uint32_t(y), 0);
        }
        TIFFClose(t);
    } else {
        uint8_t *out = nullptr;
        const size_t n = WebPEncodeBGR(b.constScanLine(0), b.width(), b.height(), int(b.bytesPerLine()), 75, &out);
        QFile f(path);
        f.open(QIODevice::WriteOnly);
        f.write(reinterpret_cast<const char *>(out), qint64(n));
        WebPFree(out);
    }
    files[kind] = path;
    return path;
}

TSPIs &host()
{
    static TSPIs spis;
    static bool searched = false;
    if (!searched) {
        spis.Search(QCoreApplication::applicationDirPath() + "/*.spi");
        searched = true;
    }
    return spis;
}

} // namespace

// Through the host: TSPIBitmap over the file, then into the picture the view holds.
static void PluginOpenThroughHost(benchmark::State &state)
{
    host();
    const QString path = picture(int(state.range(0)));
    for (auto _ : state) {
        TSPIBitmap bmp;
        bmp.loadFromFile(path);
        TJPEGImage jpeg;
        jpeg.assign(bmp);
        benchmark::DoNotOptimize(jpeg.width());
    }
}
BENCHMARK(PluginOpenThroughHost)->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);

// The reference: the same plug-in's decode alone on the file's bytes.
static void PluginDecodeAlone(benchmark::State &state)
{
    const QString path = picture(int(state.range(0)));
    QFile f(path);
    f.open(QIODevice::ReadOnly);
    const QByteArray data = f.readAll();
    TInSPI *spi = nullptr; // the plug-in that claims the data
    QByteArray head = data.left(2048);
    head.append(QByteArray(2048 - head.size(), '\0'));
    for (TInSPI *s : host().FindSPIs(path))
        if (!spi && s->IsSupported(nullptr, head.constData()))
            spi = s;
    for (auto _ : state) {
        void *h = nullptr, *b = nullptr;
        spi->GetPicture(data.constData(), data.size(), 1, &h, &b, nullptr, 0);
        benchmark::DoNotOptimize(b);
        std::free(h);
        std::free(b);
    }
}
BENCHMARK(PluginDecodeAlone)->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);
