// ifwebp.spi: WebP for the plug-in host on libwebp; alpha dropped.
#include "SpiSample.h"

#include <webp/decode.h>

#include <algorithm>

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
        const auto *data = reinterpret_cast<const uint8_t *>(buf);
        if (!progress) {
            int w = 0, h = 0;
            uint8_t *bgr = WebPDecodeBGR(data, size_t(len), &w, &h);
            if (!bgr)
                return int32_t(SPI_OUT_OF_ORDER);
            const int32_t result = spisample::deliver(
                w, h, 24, {}, [&](int y) { return bgr + size_t(y) * size_t(w) * 3; }, pHBInfo, pHBm);
            WebPFree(bgr);
            return result;
        }
        // Someone watches: feed the data in eighths so the rows done so far can be reported.
        WebPIDecoder *idec = WebPINewRGB(MODE_BGR, nullptr, 0, 0);
        if (!idec)
            return int32_t(SPI_NO_MEMORY);
        const size_t size = size_t(len), step = std::max<size_t>(size / 8, 1);
        VP8StatusCode status = VP8_STATUS_SUSPENDED;
        int32_t result = SPI_OUT_OF_ORDER;
        for (size_t fed = 0; status == VP8_STATUS_SUSPENDED && fed < size;) {
            fed = std::min(size, fed + step);
            status = WebPIUpdate(idec, data, fed);
            int lastY = 0, w = 0, h = 0;
            if (status == VP8_STATUS_SUSPENDED && WebPIDecGetRGB(idec, &lastY, &w, &h, nullptr) && h > 0 &&
                progress(int32_t(int64_t(lastY) * 99 / h), 100, lData)) {
                result = SPI_ABORT;
                break;
            }
        }
        int lastY = 0, w = 0, h = 0, stride = 0;
        const uint8_t *bgr = status == VP8_STATUS_OK ? WebPIDecGetRGB(idec, &lastY, &w, &h, &stride) : nullptr;
        if (bgr && lastY == h)
            result = spisample::deliver(
                w, h, 24, {}, [&](int y) { return bgr + size_t(y) * size_t(stride); }, pHBInfo, pHBm);
        WebPIDelete(idec);
        return result;
    });
}
