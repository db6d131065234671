// ifgif.spi: GIF for the plug-in host on giflib; the first frame, transparency dropped.
#include "SpiSample.h"

#include <gif_lib.h>

namespace {
struct Mem {
    const unsigned char *data;
    size_t size, pos;
};
int readMem(GifFileType *gif, GifByteType *out, int n)
{
    auto *m = static_cast<Mem *>(gif->UserData);
    const size_t take = n < 0 ? 0 : std::min(size_t(n), m->size - m->pos);
    std::memcpy(out, m->data + m->pos, take);
    m->pos += take;
    return int(take);
}
} // namespace

SPI_EXPORT int32_t GetPluginInfo(int32_t infono, char *buf, int32_t buflen)
{
    return spisample::info(infono, buf, buflen, "ifgif for Pictlane Type II (giflib)", "*.gif",
                           "Graphics Interchange Format");
}

SPI_EXPORT int32_t IsSupported(const char *, const void *dw)
{
    return dw && (std::memcmp(dw, "GIF87a", 6) == 0 || std::memcmp(dw, "GIF89a", 6) == 0);
}

SPI_EXPORT int32_t GetPictureInfo(const char *buf, intptr_t len, uint32_t flag, SpiPictureInfo *info)
{
    return spisample::getPictureInfo(flag, info, 8, [&](int32_t &w, int32_t &h) {
        if (len < 10 || !IsSupported(nullptr, buf))
            return false;
        const auto *p = reinterpret_cast<const unsigned char *>(buf);
        w = p[6] | p[7] << 8;
        h = p[8] | p[9] << 8;
        return true;
    });
}

SPI_EXPORT int32_t GetPicture(const char *buf, intptr_t len, uint32_t flag, void **pHBInfo, void **pHBm,
                              SpiProgressCallback progress, intptr_t lData)
{
    return spisample::getPicture(flag, progress, lData, [&] {
        Mem mem{reinterpret_cast<const unsigned char *>(buf), size_t(len), 0};
        int err = 0;
        GifFileType *gif = DGifOpen(&mem, readMem, &err);
        if (!gif)
            return int32_t(SPI_NOT_SUPPORT);
        int32_t result = SPI_OUT_OF_ORDER;
        if (DGifSlurp(gif) == GIF_OK && gif->ImageCount > 0) {
            const SavedImage &frame = gif->SavedImages[0];
            const ColorMapObject *map = frame.ImageDesc.ColorMap ? frame.ImageDesc.ColorMap : gif->SColorMap;
            const int w = gif->SWidth, h = gif->SHeight;
            const GifImageDesc &d = frame.ImageDesc;
            if (map && w > 0 && h > 0 && d.Left >= 0 && d.Top >= 0 && d.Left + d.Width <= w && d.Top + d.Height <= h) {
                std::vector<uint32_t> palette;
                for (int i = 0; i < map->ColorCount; ++i)
                    palette.push_back(uint32_t(map->Colors[i].Blue) | uint32_t(map->Colors[i].Green) << 8 |
                                      uint32_t(map->Colors[i].Red) << 16);
                // The frame on the logical screen, the rest in the background colour.
                const uint8_t bg = uint8_t(gif->SBackGroundColor < map->ColorCount ? gif->SBackGroundColor : 0);
                std::vector<uint8_t> canvas(size_t(w) * size_t(h), bg);
                for (int y = 0; y < d.Height; ++y)
                    std::memcpy(canvas.data() + size_t(d.Top + y) * size_t(w) + size_t(d.Left),
                                frame.RasterBits + size_t(y) * size_t(d.Width), size_t(d.Width));
                result = spisample::deliver(
                    w, h, 8, palette, [&](int y) { return canvas.data() + size_t(y) * size_t(w); }, pHBInfo, pHBm);
            }
        }
        DGifCloseFile(gif, &err);
        return result;
    });
}
