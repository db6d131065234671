#include "BenchSupport.h"
#include "Bitmap.h"
#include "PNGImage.h"

#include <QFile>

#include <benchmark/benchmark.h>

#include <png.h>
#include <zlib.h>

#include <cstring>
#include <vector>

namespace {

// The 24 MP photo as a PNG of ours, plain and Adam7 (the latter written by libpng).
const QByteArray &png24(bool adam7)
{
    static QByteArray plain, interlaced;
    QByteArray &slot = adam7 ? interlaced : plain;
    if (!slot.isEmpty())
        return slot;
    const TBitmap &bmp = benchPhoto24();
    TPNGImage png;
    png.assign(bmp);
    png.DeflateLevel = 1;
    plain = png.saveToBytes();
    // Adam7 through libpng, from the same pixels.
    std::vector<uint8_t> rgb(size_t(bmp.width()) * size_t(bmp.height()) * 3);
    for (int y = 0; y < bmp.height(); ++y) {
        const uint8_t *s = bmp.constScanLine(y);
        uint8_t *d = rgb.data() + size_t(y) * size_t(bmp.width()) * 3;
        for (int x = 0; x < bmp.width(); ++x) {
            d[3 * x] = s[3 * x + 2];
            d[3 * x + 1] = s[3 * x + 1];
            d[3 * x + 2] = s[3 * x];
        }
    }
    png_structp w = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(w);
    static QByteArray *out;
    out = &interlaced;
    png_set_write_fn(
        w, nullptr,
        [](png_structp, png_bytep d, size_t n) { out->append(reinterpret_cast<const char *>(d), qsizetype(n)); },
        nullptr);
    png_set_compression_level(w, 1);
    png_set_IHDR(w, info, png_uint_32(bmp.width()), png_uint_32(bmp.height()), 8, PNG_COLOR_TYPE_RGB,
                 PNG_INTERLACE_ADAM7, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(w, info);
    std::vector<png_bytep> rows(size_t(bmp.height()));
    for (int y = 0; y < bmp.height(); ++y)
        rows[size_t(y)] = rgb.data() + size_t(y) * size_t(bmp.width()) * 3;
    png_write_image(w, rows.data());
    png_write_end(w, info);
    png_destroy_write_struct(&w, &info);
    return slot;
}

const TBitmap &bitmap24()
{
    static TBitmap b = [] {
        TPNGImage p;
        p.loadFromBytes(png24(false));
        TBitmap c;
        c.assign(p.bitmap());
        return c;
    }();
    return b;
}

} // namespace

static void PngDecodeOurs(benchmark::State &state)
{
    const QByteArray &data = png24(state.range(0) != 0);
    for (auto _ : state) {
        TPNGImage img;
        img.loadFromBytes(data);
        benchmark::DoNotOptimize(img.bitmap().constScanLine(0));
    }
}
BENCHMARK(PngDecodeOurs)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// The reference: libpng's simplified reader into a plain RGB buffer.
static void PngDecodeLibpng(benchmark::State &state)
{
    const QByteArray &data = png24(state.range(0) != 0);
    for (auto _ : state) {
        png_image img{};
        img.version = PNG_IMAGE_VERSION;
        png_image_begin_read_from_memory(&img, data.constData(), size_t(data.size()));
        img.format = PNG_FORMAT_BGR;
        std::vector<uint8_t> buf(PNG_IMAGE_SIZE(img));
        png_image_finish_read(&img, nullptr, buf.data(), 0, nullptr);
        benchmark::DoNotOptimize(buf.data());
    }
}
BENCHMARK(PngDecodeLibpng)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// The floor: zlib's bare inflate of the same image data.
static void PngInflateFloor(benchmark::State &state)
{
    const QByteArray &data = png24(false);
    QByteArray stream;
    for (qsizetype at = 8; at < data.size();) {
        const uint32_t len = uint32_t(uint8_t(data[at])) << 24 | uint32_t(uint8_t(data[at + 1])) << 16 |
                             uint32_t(uint8_t(data[at + 2])) << 8 | uint8_t(data[at + 3]);
        if (data.mid(at + 4, 4) == "IDAT")
            stream += data.mid(at + 8, len);
        at += 12 + len;
    }
    std::vector<uint8_t> out(size_t(6000) * 4000 * 3 + 4000);
    for (auto _ : state) {
        uLongf n = uLongf(out.size());
        uncompress(out.data(), &n, reinterpret_cast<const Bytef *>(stream.constData()), uLong(stream.size()));
        benchmark::DoNotOptimize(out.data());
    }
}
BENCHMARK(PngInflateFloor)->Unit(benchmark::kMillisecond);

static void PngEncodeOurs(benchmark::State &state)
{
    TPNGImage png;
    png.assign(bitmap24());
    png.DeflateLevel = 1;
    for (auto _ : state)
        benchmark::DoNotOptimize(png.saveToBytes().size());
}
BENCHMARK(PngEncodeOurs)->Unit(benchmark::kMillisecond);

// The reference: libpng writing the same pixels, filter "none", the same zlib level.
static void PngEncodeLibpng(benchmark::State &state)
{
    const TBitmap &b = bitmap24();
    for (auto _ : state) {
        QByteArray out;
        static QByteArray *sink;
        sink = &out;
        png_structp w = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
        png_infop info = png_create_info_struct(w);
        png_set_write_fn(
            w, nullptr,
            [](png_structp, png_bytep d, size_t n) { sink->append(reinterpret_cast<const char *>(d), qsizetype(n)); },
            nullptr);
        png_set_compression_level(w, 1);
        png_set_filter(w, 0, PNG_FILTER_NONE);
        png_set_IHDR(w, info, png_uint_32(b.width()), png_uint_32(b.height()), 8, PNG_COLOR_TYPE_RGB,
                     PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
        png_write_info(w, info);
        png_set_bgr(w);
        for (int y = 0; y < b.height(); ++y)
            png_write_row(w, const_cast<png_bytep>(b.constScanLine(y)));
        png_write_end(w, info);
        png_destroy_write_struct(&w, &info);
        benchmark::DoNotOptimize(out.size());
    }
}
BENCHMARK(PngEncodeLibpng)->Unit(benchmark::kMillisecond);
