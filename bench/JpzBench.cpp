#include "BenchSupport.h"
#include "JPEG.h"
#include "MainUnit.h"

#include <QTemporaryDir>

#include <benchmark/benchmark.h>

namespace {

// A window holding the 24 MP picture, with the questions answered. Made per benchmark: a window
// may not outlive the application object.
std::unique_ptr<TMainForm> formWithPhoto()
{
    auto f = std::make_unique<TMainForm>();
    f->show();
    f->OpenImage(benchJpeg(6000, 4000));
    f->AskPassphrase = [](const QString &) -> std::optional<QString> { return QStringLiteral("秘密のパスワード１"); };
    return f;
}

QTemporaryDir &dir()
{
    static QTemporaryDir d;
    return d;
}

} // namespace

// Save the picture on show as .jpz and open it again, decoded.
static void JpzSaveAndOpen(benchmark::State &state)
{
    const auto owner = formWithPhoto();
    TMainForm &form = *owner;
    const QString target = dir().filePath("photo.jpz");
    form.ExecuteDialog = [&](TFileDialog &d) {
        d.FileName = target;
        return true;
    };
    for (auto _ : state) {
        form.CryptSaveMenuClick();
        TJPEGImage img;
        form.OpenCryptedJpeg(target, img);
        benchmark::DoNotOptimize(img.bitmap().constScanLine(0));
    }
}
BENCHMARK(JpzSaveAndOpen)->Unit(benchmark::kMillisecond);

// The reference: the same picture saved as a plain JPEG and opened again, decoded.
static void JpegSaveAndOpen(benchmark::State &state)
{
    const auto owner = formWithPhoto();
    TMainForm &form = *owner;
    const QString target = dir().filePath("photo.jpg");
    for (auto _ : state) {
        form.CurrentJpeg->saveToFile(target);
        TJPEGImage img;
        img.loadFromFile(target);
        benchmark::DoNotOptimize(img.bitmap().constScanLine(0));
    }
}
BENCHMARK(JpegSaveAndOpen)->Unit(benchmark::kMillisecond);

// Open a .jpz as the viewer does: decipher and decode.
static void JpzOpen(benchmark::State &state)
{
    const auto owner = formWithPhoto();
    TMainForm &form = *owner;
    const QString target = dir().filePath("open.jpz");
    form.ExecuteDialog = [&](TFileDialog &d) {
        d.FileName = target;
        return true;
    };
    form.CryptSaveMenuClick();
    for (auto _ : state) {
        TJPEGImage img;
        form.OpenCryptedJpeg(target, img);
        benchmark::DoNotOptimize(img.bitmap().constScanLine(0));
    }
}
BENCHMARK(JpzOpen)->Unit(benchmark::kMillisecond);

// The reference: the same picture as a plain JPEG, opened and decoded.
static void JpegOpenDecoded(benchmark::State &state)
{
    const auto owner = formWithPhoto();
    const QString target = dir().filePath("open.jpg");
    owner->CurrentJpeg->saveToFile(target);
    for (auto _ : state) {
        TJPEGImage img;
        img.loadFromFile(target);
        benchmark::DoNotOptimize(img.bitmap().constScanLine(0));
    }
}
BENCHMARK(JpegOpenDecoded)->Unit(benchmark::kMillisecond);
