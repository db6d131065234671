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

// Skips extension blocks up to the first image; false at the end of the file or on an error.
static bool toFirstImage(GifFileType *gif)
{
    GifRecordType type;
    do {
        if (DGifGetRecordType(gif, &type) == GIF_ERROR)
            return false;
        if (type == EXTENSION_RECORD_TYPE) {
            int code;
            GifByteType *ext = nullptr;
            if (DGifGetExtension(gif, &code, &ext) == GIF_ERROR)
                return false;
            while (ext)
                if (DGifGetExtensionNext(gif, &ext) == GIF_ERROR)
                    return false;
        } else if (type == IMAGE_DESC_RECORD_TYPE) {
            return DGifGetImageDesc(gif) != GIF_ERROR;
        }
    } while (type != TERMINATE_RECORD_TYPE);
    return false;
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
        struct Close {
            GifFileType *gif;
            ~Close()
            {
                int e = 0;
                DGifCloseFile(gif, &e);
            }
        } close{gif};
        // Only the first frame is read, row by row, so the host sees it coming.
        if (!toFirstImage(gif))
            return int32_t(SPI_OUT_OF_ORDER);
        const GifImageDesc &d = gif->Image;
        const ColorMapObject *map = d.ColorMap ? d.ColorMap : gif->SColorMap;
        const int w = gif->SWidth, h = gif->SHeight;
        if (!map || w <= 0 || h <= 0 || d.Width <= 0 || d.Height <= 0 || d.Left < 0 || d.Top < 0 ||
            d.Left + d.Width > w || d.Top + d.Height > h)
            return int32_t(SPI_OUT_OF_ORDER);
        std::vector<uint32_t> palette;
        for (int i = 0; i < map->ColorCount; ++i)
            palette.push_back(uint32_t(map->Colors[i].Blue) | uint32_t(map->Colors[i].Green) << 8 |
                              uint32_t(map->Colors[i].Red) << 16);
        // The frame on the logical screen, the rest in the background colour.
        const uint8_t bg = uint8_t(gif->SBackGroundColor < map->ColorCount ? gif->SBackGroundColor : 0);
        std::vector<uint8_t> canvas(size_t(w) * size_t(h), bg);
        static const int start[4] = {0, 4, 2, 1}, step[4] = {8, 8, 4, 2};
        const int passes = d.Interlace ? 4 : 1;
        int done = 0;
        for (int pass = 0; pass < passes; ++pass)
            for (int y = d.Interlace ? start[pass] : 0; y < d.Height; y += d.Interlace ? step[pass] : 1) {
                if (progress && done > 0 && (done & 63) == 0 && progress(done, d.Height, lData))
                    return int32_t(SPI_ABORT);
                if (DGifGetLine(gif, canvas.data() + size_t(d.Top + y) * size_t(w) + size_t(d.Left), d.Width) ==
                    GIF_ERROR)
                    return int32_t(SPI_OUT_OF_ORDER);
                ++done;
            }
        return spisample::deliver(
            w, h, 8, palette, [&](int y) { return canvas.data() + size_t(y) * size_t(w); }, pHBInfo, pHBm);
    });
}
