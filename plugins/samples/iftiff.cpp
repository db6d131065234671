// iftiff.spi: TIFF for the plug-in host on libtiff; the first page, alpha dropped.
#include "SpiSample.h"

#include <tiffio.h>

namespace {
struct Mem {
    const unsigned char *data;
    toff_t size, pos;
};
tmsize_t readMem(thandle_t h, void *out, tmsize_t n)
{
    auto *m = static_cast<Mem *>(h);
    const toff_t take = n <= 0 ? 0 : std::min<toff_t>(toff_t(n), m->size - m->pos);
    std::memcpy(out, m->data + m->pos, size_t(take));
    m->pos += take;
    return tmsize_t(take);
}
tmsize_t writeMem(thandle_t, void *, tmsize_t)
{
    return 0;
}
toff_t seekMem(thandle_t h, toff_t off, int whence)
{
    auto *m = static_cast<Mem *>(h);
    const toff_t base = whence == SEEK_CUR ? m->pos : whence == SEEK_END ? m->size : 0;
    m->pos = std::min(base + off, m->size);
    return m->pos;
}
int closeMem(thandle_t)
{
    return 0;
}
toff_t sizeMem(thandle_t h)
{
    return static_cast<Mem *>(h)->size;
}
void quiet(const char *, const char *, va_list) {}

TIFF *openMem(Mem &m)
{
    TIFFSetErrorHandler(quiet);
    TIFFSetWarningHandler(quiet);
    return TIFFClientOpen("memory", "r", &m, readMem, writeMem, seekMem, closeMem, sizeMem, nullptr, nullptr);
}
} // namespace

SPI_EXPORT int32_t GetPluginInfo(int32_t infono, char *buf, int32_t buflen)
{
    return spisample::info(infono, buf, buflen, "iftiff for Pictlane Type II (libtiff)", "*.tif;*.tiff",
                           "Tagged Image File Format");
}

SPI_EXPORT int32_t IsSupported(const char *, const void *dw)
{
    return dw && (std::memcmp(dw, "II*\0", 4) == 0 || std::memcmp(dw, "MM\0*", 4) == 0);
}

SPI_EXPORT int32_t GetPictureInfo(const char *buf, intptr_t len, uint32_t flag, SpiPictureInfo *info)
{
    if ((flag & 7) != 1)
        return SPI_NO_FUNCTION;
    Mem m{reinterpret_cast<const unsigned char *>(buf), toff_t(len), 0};
    TIFF *tif = openMem(m);
    if (!tif)
        return SPI_NOT_SUPPORT;
    uint32_t w = 0, h = 0;
    TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &w);
    TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &h);
    TIFFClose(tif);
    std::memset(info, 0, sizeof *info);
    info->width = int32_t(w);
    info->height = int32_t(h);
    info->colorDepth = 24;
    return SPI_ALL_RIGHT;
}

SPI_EXPORT int32_t GetPicture(const char *buf, intptr_t len, uint32_t flag, void **pHBInfo, void **pHBm,
                              SpiProgressCallback progress, intptr_t lData)
{
    if ((flag & 7) != 1)
        return SPI_NO_FUNCTION;
    if (progress && progress(0, 100, lData))
        return SPI_ABORT;
    Mem m{reinterpret_cast<const unsigned char *>(buf), toff_t(len), 0};
    TIFF *tif = openMem(m);
    if (!tif)
        return SPI_NOT_SUPPORT;
    uint32_t w = 0, h = 0;
    TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &w);
    TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &h);
    int32_t result = SPI_OUT_OF_ORDER;
    if (w > 0 && h > 0 && uint64_t(w) * h <= (uint64_t(1) << 29)) {
        std::vector<uint32_t> raster;
        try {
            raster.resize(size_t(w) * h);
        } catch (...) {
            TIFFClose(tif);
            return SPI_NO_MEMORY;
        }
        if (TIFFReadRGBAImageOriented(tif, w, h, raster.data(), ORIENTATION_TOPLEFT, 0)) {
            std::vector<uint8_t> row(size_t(w) * 3);
            result = spisample::deliver(
                int32_t(w), int32_t(h), 24, {},
                [&](int y) {
                    const uint32_t *src = raster.data() + size_t(y) * w;
                    for (uint32_t x = 0; x < w; ++x) {
                        row[3 * x] = uint8_t(TIFFGetB(src[x]));
                        row[3 * x + 1] = uint8_t(TIFFGetG(src[x]));
                        row[3 * x + 2] = uint8_t(TIFFGetR(src[x]));
                    }
                    return row.data();
                },
                pHBInfo, pHBm);
        }
    }
    TIFFClose(tif);
    if (result == SPI_ALL_RIGHT && progress)
        progress(100, 100, lData);
    return result;
}
