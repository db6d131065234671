// Pictures from outside through the plug-in host and the plug-ins we ship beside the program:
// any bytes under any of their extensions.
#include "FuzzTarget.h"
#include "PNGImage.h"
#include "SPIBmp.h"
#include "SPIs.h"

#include <QBuffer>
#include <QFile>

#include <dlfcn.h>

namespace {
TSPIs &host()
{
    static TSPIs spis;
    static bool searched = false;
    if (!searched) {
        searched = true;
        Dl_info self{};
        dladdr(reinterpret_cast<void *>(&host), &self);
        const QString exe = QString::fromLocal8Bit(self.dli_fname);
        spis.Search(exe.left(exe.lastIndexOf('/') + 1) + "*.spi");
    }
    return spis;
}
} // namespace

QList<QByteArray> fuzzSeeds()
{
    // A PNG of our own plus the small GIF, TIFF and WebP the plug-in tests read.
    QList<QByteArray> seeds;
    TBitmap b(9, 7, TPixelFormat::pf24bit);
    for (int y = 0; y < b.height(); ++y)
        for (int x = 0; x < b.width() * 3; ++x)
            b.scanLine(y)[x] = uint8_t(x * 11 + y * 5);
    TPNGImage png;
    png.assign(b);
    seeds.append(png.saveToBytes());
    for (const char *name : {"quad.gif", "quad.tif", "quad.webp"}) {
        QFile f(QStringLiteral(PLUGIN_FIXTURES "/") + QLatin1String(name));
        if (f.open(QIODevice::ReadOnly))
            seeds.append(f.readAll());
    }
    return seeds;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (host().Count() < 4)
        __builtin_trap(); // the shipped plug-ins belong beside this program
    static const char *const names[] = {"x.png", "x.gif", "x.tif", "x.webp", "x.bmp", "x"};
    for (const char *name : names) {
        QBuffer buf;
        buf.setData(reinterpret_cast<const char *>(data), qsizetype(size));
        buf.open(QIODevice::ReadOnly);
        TSPIBitmap bmp;
        try {
            bmp.LoadFromStreamNamed(buf, QString::fromLatin1(name));
        } catch (const Exception &) {
        }
    }
    return 0;
}
