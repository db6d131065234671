#include "BenchSupport.h"
#include "JPEG.h"

#include <QFile>

#include <benchmark/benchmark.h>

#include <vector>

#include <jpeglib.h>

// Header-only open: must not depend on the file's size.
static void JpegOpen(benchmark::State &state)
{
    const QString path = benchJpeg(int(state.range(0)), int(state.range(1)));
    for (auto _ : state) {
        TJPEGImage img;
        img.loadFromFile(path);
        benchmark::DoNotOptimize(img.width());
    }
}
BENCHMARK(JpegOpen)->Args({640, 480})->Args({6000, 4000})->Unit(benchmark::kMicrosecond);

namespace {

void decodeOurs(const QString &path)
{
    TJPEGImage img;
    img.loadFromFile(path);
    benchmark::DoNotOptimize(img.bitmap().constScanLine(0));
}

// The reference: read the file and decode it with libjpeg-turbo into a plain buffer.
void decodeRaw(const QString &path)
{
    QFile f(path);
    f.open(QIODevice::ReadOnly);
    const QByteArray data = f.readAll();
    jpeg_decompress_struct ci{};
    jpeg_error_mgr err{};
    ci.err = jpeg_std_error(&err);
    jpeg_create_decompress(&ci);
    jpeg_mem_src(&ci, reinterpret_cast<const unsigned char *>(data.constData()), (unsigned long)data.size());
    jpeg_read_header(&ci, TRUE);
    ci.out_color_space = JCS_EXT_BGR;
    jpeg_start_decompress(&ci);
    const size_t stride = (size_t(ci.output_width) * 3 + 3) & ~size_t(3);
    std::unique_ptr<unsigned char[]> buf(new unsigned char[stride * ci.output_height]);
    while (ci.output_scanline < ci.output_height) {
        JSAMPROW rows[4];
        const JDIMENSION n =
            std::min<JDIMENSION>(JDIMENSION(ci.rec_outbuf_height), ci.output_height - ci.output_scanline);
        for (JDIMENSION k = 0; k < n; ++k)
            rows[k] = buf.get() + (ci.output_scanline + k) * stride;
        jpeg_read_scanlines(&ci, rows, n);
    }
    jpeg_finish_decompress(&ci);
    jpeg_destroy_decompress(&ci);
    benchmark::DoNotOptimize(buf.get());
}

} // namespace

// Open and decode through TJPEGImage into its bitmap.
static void DecodeOurs(benchmark::State &state)
{
    const QString path = benchJpeg(int(state.range(0)), int(state.range(1)));
    for (auto _ : state)
        decodeOurs(path);
}
BENCHMARK(DecodeOurs)->Args({2048, 1536})->Args({6000, 4000})->Unit(benchmark::kMillisecond);

static void DecodeRaw(benchmark::State &state)
{
    const QString path = benchJpeg(int(state.range(0)), int(state.range(1)));
    for (auto _ : state)
        decodeRaw(path);
}
BENCHMARK(DecodeRaw)->Args({2048, 1536})->Args({6000, 4000})->Unit(benchmark::kMillisecond);

// Both in turn.
static void DecodePaired(benchmark::State &state)
{
    const QString path = benchJpeg(int(state.range(0)), int(state.range(1)));
    pairedRun(
        state, [&] { decodeOurs(path); }, [&] { decodeRaw(path); });
}
BENCHMARK(DecodePaired)->Args({2048, 1536})->Args({6000, 4000})->MinTime(2)->Unit(benchmark::kMillisecond);
