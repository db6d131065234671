#pragma once
// What the plug-ins we ship share: their texts and the hand-over of a decoded picture as the
// two malloc'd blocks of the plug-in ABI. Nothing here may throw into the host.

#include "spi.h"

#include <cstdlib>
#include <cstring>
#include <vector>

namespace spisample {

inline int32_t put(char *buf, int32_t len, const char *s)
{
    if (!buf || len <= 0)
        return 0;
    int32_t n = int32_t(std::strlen(s));
    if (n > len - 1)
        n = len - 1;
    std::memcpy(buf, s, size_t(n));
    buf[n] = 0;
    return n;
}

inline int32_t info(int32_t infono, char *buf, int32_t buflen, const char *name, const char *pattern,
                    const char *description)
{
    switch (infono) {
    case 0:
        return put(buf, buflen, "00IN");
    case 1:
        return put(buf, buflen, name);
    case 2:
        return put(buf, buflen, pattern);
    case 3:
        return put(buf, buflen, description);
    default:
        return 0;
    }
}

inline void le32(uint8_t *p, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        p[i] = uint8_t(v >> (8 * i));
}

// Hands over a picture: `bits` 8 (with `palette` of BGRA entries) or 24 (BGR), rows given top
// first by row(y) -> pointer to `width` pixels. Returns an SPI code.
template <typename Row>
int32_t deliver(int32_t width, int32_t height, int bits, const std::vector<uint32_t> &palette, Row row, void **pHBInfo,
                void **pHBm)
{
    if (width <= 0 || height <= 0 || int64_t(width) * height > (int64_t(1) << 29))
        return SPI_OUT_OF_ORDER;
    const size_t stride = ((size_t(width) * size_t(bits) + 31) / 32) * 4;
    const size_t colours = bits == 8 ? palette.size() : 0;
    auto *h = static_cast<uint8_t *>(std::calloc(1, 40 + 4 * colours));
    auto *b = static_cast<uint8_t *>(std::calloc(1, stride * size_t(height) + 1));
    if (!h || !b) {
        std::free(h);
        std::free(b);
        return SPI_NO_MEMORY;
    }
    le32(h, 40);
    le32(h + 4, uint32_t(width));
    le32(h + 8, uint32_t(-height)); // top row first, as the decoders give them
    h[12] = 1;
    h[14] = uint8_t(bits);
    le32(h + 20, uint32_t(stride * size_t(height)));
    le32(h + 32, uint32_t(colours));
    for (size_t i = 0; i < colours; ++i)
        le32(h + 40 + 4 * i, palette[i]);
    for (int32_t y = 0; y < height; ++y)
        std::memcpy(b + size_t(y) * stride, row(y), size_t(width) * size_t(bits / 8));
    *pHBInfo = h;
    *pHBm = b;
    return SPI_ALL_RIGHT;
}

// The frame of GetPicture: memory input only, progress at 0 % and 100 % (decode() may report
// more between), nothing thrown back
// into the host. decode() returns an SPI code and fills the blocks through deliver().
template <typename Decode>
int32_t getPicture(uint32_t flag, SpiProgressCallback progress, intptr_t lData, Decode decode)
{
    if ((flag & 7) != 1)
        return SPI_NO_FUNCTION; // file names are not asked for by our host
    if (progress && progress(0, 100, lData))
        return SPI_ABORT;
    int32_t result;
    try {
        result = decode();
    } catch (...) {
        result = SPI_OUT_OF_ORDER;
    }
    if (result == SPI_ALL_RIGHT && progress)
        progress(100, 100, lData);
    return result;
}

// The frame of GetPictureInfo: size() returns false for data it cannot read.
template <typename Size> int32_t getPictureInfo(uint32_t flag, SpiPictureInfo *info, int16_t depth, Size size)
{
    if ((flag & 7) != 1)
        return SPI_NO_FUNCTION;
    int32_t w = 0, h = 0;
    if (!size(w, h))
        return SPI_NOT_SUPPORT;
    std::memset(info, 0, sizeof *info);
    info->width = w;
    info->height = h;
    info->colorDepth = depth;
    return SPI_ALL_RIGHT;
}

} // namespace spisample

#define SPI_EXPORT extern "C" __attribute__((visibility("default")))
