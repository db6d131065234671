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

// One full 1280 x 800 view of a 24 MP picture at x4, scrolled to its middle, as the view paints it.
static void ViewPaintX4(benchmark::State &state)
{
    TJPEGImage &img = picture24MP();
    QImage screen(1280, 800, QImage::Format_RGB32);
    const QRect dest(-12000, -8000, 24000, 16000); // the picture's place relative to the view
    for (auto _ : state) {
        QPainter p(&screen);
        p.setClipRect(screen.rect());
        img.draw(p, dest);
        p.end();
        benchmark::DoNotOptimize(screen.constBits());
    }
}
BENCHMARK(ViewPaintX4)->Unit(benchmark::kMillisecond);

// The same view at 1:1.
static void ViewPaint1to1(benchmark::State &state)
{
    TJPEGImage &img = picture24MP();
    QImage screen(1280, 800, QImage::Format_RGB32);
    const QRect dest(-3000, -2000, 6000, 4000);
    for (auto _ : state) {
        QPainter p(&screen);
        p.setClipRect(screen.rect());
        img.draw(p, dest);
        p.end();
        benchmark::DoNotOptimize(screen.constBits());
    }
}
BENCHMARK(ViewPaint1to1)->Unit(benchmark::kMillisecond);

// The same view at x0.25, where the whole picture is on screen.
static void ViewPaintQuarter(benchmark::State &state)
{
    TJPEGImage &img = picture24MP();
    QImage screen(1280, 800, QImage::Format_RGB32);
    const QRect dest(0, 0, 1500, 1000);
    for (auto _ : state) {
        QPainter p(&screen);
        p.setClipRect(screen.rect());
        img.draw(p, dest);
        p.end();
        benchmark::DoNotOptimize(screen.constBits());
    }
}
BENCHMARK(ViewPaintQuarter)->Unit(benchmark::kMillisecond);

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
