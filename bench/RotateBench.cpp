#include "BenchSupport.h"
#include "Bitmap.h"
#include "MainUnit.h"
#include "StatusBarEx.h"

#include <QApplication>

#include <benchmark/benchmark.h>

#include <cmath>

namespace {

const TBitmap &source24MP()
{
    static TBitmap src = [] {
        TBitmap b;
        b.assign(benchPhoto24());
        b.setPixelFormat(TPixelFormat::pf32bit);
        return b;
    }();
    return src;
}

} // namespace

// The pixel work as RotatePicture runs it: gauge and pending events once per row.
static void RotateOurs(benchmark::State &state)
{
    const TBitmap &src = source24MP();
    TStatusBarEx bar;
    bar.show();
    for (auto _ : state) {
        int last = -1;
        TBitmap dst = TMainForm::RotateBitmap(src, 30, [&](int j, int rows) {
            const int p = j * 100 / rows;
            if (p != last) {
                last = p;
                bar.setGauge(p);
            }
            QCoreApplication::processEvents();
            return true;
        });
        benchmark::DoNotOptimize(dst.constScanLine(0));
    }
}
BENCHMARK(RotateOurs)->Unit(benchmark::kMillisecond);

// The whole command on a shown window: decode cache, 32-bit copy, rotation, back into the view.
static void RotatePictureWhole(benchmark::State &state)
{
    TMainForm form;
    form.show();
    form.OpenImage(benchJpeg(6000, 4000));
    QCoreApplication::processEvents();
    const TBitmap original = [&] {
        TBitmap b;
        b.assign(*form.CurrentJpeg);
        return b;
    }();
    for (auto _ : state) {
        state.PauseTiming();
        form.CurrentJpeg->assign(original); // rotate the same picture every time
        state.ResumeTiming();
        form.RotatePicture(30);
    }
}
BENCHMARK(RotatePictureWhole)->Unit(benchmark::kMillisecond);

// The reference: a plain nearest-neighbour loop in doubles over the same buffers.
static void RotatePlainLoop(benchmark::State &state)
{
    const TBitmap &src = source24MP();
    const double a = 30 * M_PI / 180, c = std::cos(a), s = std::sin(a);
    const int w = src.width(), h = src.height();
    const int w2 = int(std::lrint(std::fabs(c * w) + std::fabs(s * h))) + 1;
    const int h2 = int(std::lrint(std::fabs(s * w) + std::fabs(c * h))) + 1;
    for (auto _ : state) {
        TBitmap dst;
        dst.allocate(w2, h2, TPixelFormat::pf32bit);
        uint8_t *base = dst.scanLine(0);
        const uint8_t *sbase = src.constScanLine(0);
        for (int j = 0; j < h2; ++j) {
            auto *row = reinterpret_cast<uint32_t *>(base + j * dst.bytesPerLine());
            for (int i = 0; i < w2; ++i) {
                const double dx = i - w2 / 2, dy = j - h2 / 2;
                const long X = std::lrint(w / 2.0 + c * dx + s * dy);
                const long Y = std::lrint(h / 2.0 - s * dx + c * dy);
                row[i] = (X >= 0 && X < w && Y >= 0 && Y < h)
                             ? reinterpret_cast<const uint32_t *>(sbase + Y * src.bytesPerLine())[X]
                             : 0x808080u;
            }
        }
        benchmark::DoNotOptimize(dst.constScanLine(0));
    }
}
BENCHMARK(RotatePlainLoop)->Unit(benchmark::kMillisecond);
