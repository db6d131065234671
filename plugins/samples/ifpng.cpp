// ifpng.spi: PNG for the plug-in host, on the program's own PNG codec.
#include "PNGImage.h"
#include "spi.h"

#include <cstdlib>
#include <cstring>

namespace {

const unsigned char kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};

int32_t put(char *buf, int32_t len, const char *s)
{
    if (!buf || len <= 0)
        return 0;
    const int32_t n = std::min<int32_t>(int32_t(std::strlen(s)), len - 1);
    std::memcpy(buf, s, size_t(n));
    buf[n] = 0;
    return n;
}

uint32_t be32(const unsigned char *p)
{
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
}

} // namespace

extern "C" {

__attribute__((visibility("default"))) int32_t GetPluginInfo(int32_t infono, char *buf, int32_t buflen)
{
    switch (infono) {
    case 0:
        return put(buf, buflen, "00IN");
    case 1:
        return put(buf, buflen, "ifpng for Pictlane Type II");
    case 2:
        return put(buf, buflen, "*.png");
    case 3:
        return put(buf, buflen, "Portable Network Graphics");
    default:
        return 0;
    }
}

__attribute__((visibility("default"))) int32_t IsSupported(const char *, const void *dw)
{
    return dw && std::memcmp(dw, kSignature, 8) == 0;
}

__attribute__((visibility("default"))) int32_t GetPictureInfo(const char *buf, intptr_t len, uint32_t flag,
                                                              SpiPictureInfo *info)
{
    if ((flag & 7) != 1)
        return SPI_NO_FUNCTION; // file names are not asked for by our host
    const auto *p = reinterpret_cast<const unsigned char *>(buf);
    if (len < 26 || std::memcmp(p, kSignature, 8) != 0 || std::memcmp(p + 12, "IHDR", 4) != 0)
        return SPI_NOT_SUPPORT;
    std::memset(info, 0, sizeof *info);
    info->width = int32_t(be32(p + 16));
    info->height = int32_t(be32(p + 20));
    info->colorDepth = int16_t(p[25] == 2 || p[25] == 6 ? 24 : p[24]);
    return SPI_ALL_RIGHT;
}

__attribute__((visibility("default"))) int32_t GetPicture(const char *buf, intptr_t len, uint32_t flag, void **pHBInfo,
                                                          void **pHBm, SpiProgressCallback progress, intptr_t lData)
{
    if ((flag & 7) != 1)
        return SPI_NO_FUNCTION;
    try {
        if (progress && progress(0, 100, lData))
            return SPI_ABORT;
        TPNGImage png;
        png.loadFromBytes(QByteArray::fromRawData(buf, qsizetype(len)));
        const QByteArray dib = png.SaveToClipboardFormat(); // header, colour table, rows bottom-up
        if (dib.size() < 40)
            return SPI_OUT_OF_ORDER;
        uint32_t used = 0; // the colour-table entries in the block, as its header says
        std::memcpy(&used, dib.constData() + 32, 4);
        const size_t head = 40 + 4 * size_t(used);
        if (size_t(dib.size()) < head)
            return SPI_OUT_OF_ORDER;
        void *h = std::malloc(head);
        void *b = std::malloc(size_t(dib.size()) - head + 1);
        if (!h || !b) {
            std::free(h);
            std::free(b);
            return SPI_NO_MEMORY;
        }
        std::memcpy(h, dib.constData(), head);
        std::memcpy(b, dib.constData() + head, size_t(dib.size()) - head);
        *pHBInfo = h;
        *pHBm = b;
        if (progress)
            progress(100, 100, lData);
        return SPI_ALL_RIGHT;
    } catch (...) {
        return SPI_OUT_OF_ORDER; // nothing may cross back into the host
    }
}
}
