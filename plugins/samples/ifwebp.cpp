// ifwebp.spi: WebP for the plug-in host on libwebp; alpha dropped.
#include "SpiSample.h"

#include <webp/decode.h>

SPI_EXPORT int32_t GetPluginInfo(int32_t infono, char *buf, int32_t buflen)
{
    return spisample::info(infono, buf, buflen, "ifwebp for Pictlane Type II (libwebp)", "*.webp", "WebP");
}

SPI_EXPORT int32_t IsSupported(const char *, const void *dw)
{
    const auto *p = static_cast<const char *>(dw);
    return p && std::memcmp(p, "RIFF", 4) == 0 && std::memcmp(p + 8, "WEBP", 4) == 0;
}

SPI_EXPORT int32_t GetPictureInfo(const char *buf, intptr_t len, uint32_t flag, SpiPictureInfo *info)
{
    if ((flag & 7) != 1)
        return SPI_NO_FUNCTION;
    int w = 0, h = 0;
    if (!WebPGetInfo(reinterpret_cast<const uint8_t *>(buf), size_t(len), &w, &h))
        return SPI_NOT_SUPPORT;
    std::memset(info, 0, sizeof *info);
    info->width = w;
    info->height = h;
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
    int w = 0, h = 0;
    uint8_t *bgr = WebPDecodeBGR(reinterpret_cast<const uint8_t *>(buf), size_t(len), &w, &h);
    if (!bgr)
        return SPI_OUT_OF_ORDER;
    const int32_t result = spisample::deliver(
        w, h, 24, {}, [&](int y) { return bgr + size_t(y) * size_t(w) * 3; }, pHBInfo, pHBm);
    WebPFree(bgr);
    if (result == SPI_ALL_RIGHT && progress)
        progress(100, 100, lData);
    return result;
}
