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
    return spisample::getPictureInfo(flag, info, 24, [&](int32_t &w, int32_t &h) {
        return WebPGetInfo(reinterpret_cast<const uint8_t *>(buf), size_t(len), &w, &h) != 0;
    });
}

SPI_EXPORT int32_t GetPicture(const char *buf, intptr_t len, uint32_t flag, void **pHBInfo, void **pHBm,
                              SpiProgressCallback progress, intptr_t lData)
{
    return spisample::getPicture(flag, progress, lData, [&] {
        int w = 0, h = 0;
        uint8_t *bgr = WebPDecodeBGR(reinterpret_cast<const uint8_t *>(buf), size_t(len), &w, &h);
        if (!bgr)
            return int32_t(SPI_OUT_OF_ORDER);
        const int32_t result = spisample::deliver(
            w, h, 24, {}, [&](int y) { return bgr + size_t(y) * size_t(w) * 3; }, pHBInfo, pHBm);
        WebPFree(bgr);
        return result;
    });
}
