// ifpng.spi: PNG for the plug-in host, on the program's own PNG codec.
#include "PNGImage.h"
#include "SpiSample.h"

#include <cstdlib>
#include <cstring>

namespace {
const unsigned char kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
uint32_t be32(const unsigned char *p)
{
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
}
} // namespace

SPI_EXPORT int32_t GetPluginInfo(int32_t infono, char *buf, int32_t buflen)
{
    return spisample::info(infono, buf, buflen, "ifpng for Pictlane Type II", "*.png", "Portable Network Graphics");
}

SPI_EXPORT int32_t IsSupported(const char *, const void *dw)
{
    return dw && std::memcmp(dw, kSignature, 8) == 0;
}

SPI_EXPORT int32_t GetPictureInfo(const char *buf, intptr_t len, uint32_t flag, SpiPictureInfo *info)
{
    const auto *p = reinterpret_cast<const unsigned char *>(buf);
    return spisample::getPictureInfo(flag, info,
                                     int16_t(len >= 26 && (p[25] == 2 || p[25] == 6) ? 24
                                             : len >= 26                             ? p[24]
                                                                                     : 0),
                                     [&](int32_t &w, int32_t &h) {
                                         if (len < 26 || std::memcmp(p, kSignature, 8) != 0 ||
                                             std::memcmp(p + 12, "IHDR", 4) != 0)
                                             return false;
                                         w = int32_t(be32(p + 16));
                                         h = int32_t(be32(p + 20));
                                         return true;
                                     });
}

SPI_EXPORT int32_t GetPicture(const char *buf, intptr_t len, uint32_t flag, void **pHBInfo, void **pHBm,
                              SpiProgressCallback progress, intptr_t lData)
{
    return spisample::getPicture(flag, progress, lData, [&] {
        TBitmap bitmap;
        try {
            PNGFunc::Read(QByteArray::fromRawData(buf, qsizetype(len)), bitmap, [&](int done, int total) {
                return !progress || progress(done, total, lData) == 0;
            });
        } catch (const EAbort &) {
            return int32_t(SPI_ABORT);
        }
        TPNGImage png;
        png.assign(bitmap);
        const QByteArray dib = png.SaveToClipboardFormat(); // header, colour table, rows bottom-up
        if (dib.size() < 40)
            return int32_t(SPI_OUT_OF_ORDER);
        uint32_t used = 0; // the colour-table entries in the block, as its header says
        std::memcpy(&used, dib.constData() + 32, 4);
        const size_t head = 40 + 4 * size_t(used);
        if (size_t(dib.size()) < head)
            return int32_t(SPI_OUT_OF_ORDER);
        void *h = std::malloc(head);
        void *b = std::malloc(size_t(dib.size()) - head + 1);
        if (!h || !b) {
            std::free(h);
            std::free(b);
            return int32_t(SPI_NO_MEMORY);
        }
        std::memcpy(h, dib.constData(), head);
        std::memcpy(b, dib.constData() + head, size_t(dib.size()) - head);
        *pHBInfo = h;
        *pHBm = b;
        return int32_t(SPI_ALL_RIGHT);
    });
}
