#include "BenchSupport.h"
#include "JPEG.h"

#include <QPainter>

#include <benchmark/benchmark.h>

namespace {

TJPEGImage &picture24MP()
{
    static std::unique_ptr<TJPEGImage> img = [] {
        auto j = std::make_unique<TJPEGImage>();
        j->loadFromFile(benchJpeg(6000, 4000));
        j->DIBNeeded();
        return j;
    }();
    return *img;
}

} // namespace

// One full 1280 x 800 view of a 24 MP picture, as the view paints it, at a zoom given in
// percent: x4 scrolled to the middle, 1:1 scrolled to the middle, x0.25 with all of it on show.
static void ViewPaint(benchmark::State &state)
{
    TJPEGImage &img = picture24MP();
    QImage screen(1280, 800, QImage::Format_RGB32);
    const int w = int(6000 * state.range(0) / 100), h = int(4000 * state.range(0) / 100);
    const QRect dest = state.range(0) >= 100 ? QRect(-w / 2, -h / 2, w, h) : QRect(0, 0, w, h);
    for (auto _ : state) {
        QPainter p(&screen);
        p.setClipRect(screen.rect());
        img.draw(p, dest);
        p.end();
        benchmark::DoNotOptimize(screen.constBits());
    }
}
BENCHMARK(ViewPaint)->Arg(400)->Arg(100)->Arg(25)->Unit(benchmark::kMillisecond);

// The reference: the same view drawn by Qt from a 32-bit copy of the whole picture, the
// format its painter scales fastest (the copy itself is made once, outside the timing).
static void ViewPaintX4FromRGB32(benchmark::State &state)
{
    const QImage copy = picture24MP().bitmap().toImage();
    QImage screen(1280, 800, QImage::Format_RGB32);
    for (auto _ : state) {
        QPainter p(&screen);
        p.setClipRect(screen.rect());
        p.drawImage(QRectF(0, 0, 1280, 800), copy, QRectF(3000, 2000, 320, 200));
        p.end();
        benchmark::DoNotOptimize(screen.constBits());
    }
}
BENCHMARK(ViewPaintX4FromRGB32)->Unit(benchmark::kMillisecond);
