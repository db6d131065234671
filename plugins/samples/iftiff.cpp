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

// The TIFF in memory with its first page's size; the caller closes it. Null when unreadable.
TIFF *openMem(Mem &m, uint32_t &w, uint32_t &h)
{
    TIFFSetErrorHandler(quiet);
    TIFFSetWarningHandler(quiet);
    TIFF *tif = TIFFClientOpen("memory", "r", &m, readMem, writeMem, seekMem, closeMem, sizeMem, nullptr, nullptr);
    w = h = 0;
    if (tif) {
        TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &w);
        TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &h);
    }
    return tif;
}
// The first page top row first. Plain top-down stripped pages go strip by strip, reporting
// progress (a large picture then moves the host's gauge); the rest in one call, which also
// honours an unusual orientation.
int32_t readRaster(TIFF *tif, uint32_t w, uint32_t h, std::vector<uint32_t> &raster, SpiProgressCallback progress,
                   intptr_t lData)
{
    uint32_t rps = 0;
    uint16_t orientation = ORIENTATION_TOPLEFT;
    TIFFGetFieldDefaulted(tif, TIFFTAG_ROWSPERSTRIP, &rps);
    TIFFGetFieldDefaulted(tif, TIFFTAG_ORIENTATION, &orientation);
    if (TIFFIsTiled(tif) || rps == 0 || rps >= h || orientation != ORIENTATION_TOPLEFT)
        return TIFFReadRGBAImageOriented(tif, w, h, raster.data(), ORIENTATION_TOPLEFT, 0) ? SPI_ALL_RIGHT
                                                                                           : SPI_OUT_OF_ORDER;
    std::vector<uint32_t> strip(size_t(w) * rps);
    for (uint32_t row = 0; row < h; row += rps) {
        if (!TIFFReadRGBAStrip(tif, row, strip.data()))
            return SPI_OUT_OF_ORDER;
        const uint32_t rows = std::min(rps, h - row);
        // A strip comes bottom row first.
        for (uint32_t k = 0; k < rows; ++k)
            std::memcpy(raster.data() + size_t(row + k) * w, strip.data() + size_t(rows - 1 - k) * w,
                        size_t(w) * sizeof(uint32_t));
        if (progress && progress(int32_t(uint64_t(row + rows) * 99 / h), 100, lData))
            return SPI_ABORT;
    }
    return SPI_ALL_RIGHT;
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
    return spisample::getPictureInfo(flag, info, 24, [&](int32_t &w, int32_t &h) {
        Mem m{reinterpret_cast<const unsigned char *>(buf), toff_t(len), 0};
        uint32_t tw = 0, th = 0;
        TIFF *tif = openMem(m, tw, th);
        if (!tif)
            return false;
        TIFFClose(tif);
        w = int32_t(tw);
        h = int32_t(th);
        return true;
    });
}

SPI_EXPORT int32_t GetPicture(const char *buf, intptr_t len, uint32_t flag, void **pHBInfo, void **pHBm,
                              SpiProgressCallback progress, intptr_t lData)
{
    return spisample::getPicture(flag, progress, lData, [&] {
        Mem m{reinterpret_cast<const unsigned char *>(buf), toff_t(len), 0};
        uint32_t w = 0, h = 0;
        TIFF *tif = openMem(m, w, h);
        if (!tif)
            return int32_t(SPI_NOT_SUPPORT);
        int32_t result = SPI_OUT_OF_ORDER;
        if (w > 0 && h > 0 && uint64_t(w) * h <= (uint64_t(1) << 29)) {
            std::vector<uint32_t> raster(size_t(w) * h);
            result = readRaster(tif, w, h, raster, progress, lData);
            if (result == SPI_ALL_RIGHT) {
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
        return result;
    });
}
