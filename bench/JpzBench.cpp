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

// Open a .jpz as the viewer does (decipher and decode), and the same picture as a plain JPEG.
namespace {
struct OpenPair {
    std::unique_ptr<TMainForm> owner = formWithPhoto();
    QString jpz = dir().filePath("open.jpz"), jpeg = dir().filePath("open.jpg");
    OpenPair()
    {
        owner->ExecuteDialog = [this](TFileDialog &d) {
            d.FileName = jpz;
            return true;
        };
        owner->CryptSaveMenuClick();
        owner->CurrentJpeg->saveToFile(jpeg);
    }
    void openJpz()
    {
        TJPEGImage img;
        owner->OpenCryptedJpeg(jpz, img);
        benchmark::DoNotOptimize(img.bitmap().constScanLine(0));
    }
    void openJpeg()
    {
        TJPEGImage img;
        img.loadFromFile(jpeg);
        benchmark::DoNotOptimize(img.bitmap().constScanLine(0));
    }
};
} // namespace

static void JpzOpen(benchmark::State &state)
{
    OpenPair pair;
    for (auto _ : state)
        pair.openJpz();
}
BENCHMARK(JpzOpen)->Unit(benchmark::kMillisecond);

static void JpegOpenDecoded(benchmark::State &state)
{
    OpenPair pair;
    for (auto _ : state)
        pair.openJpeg();
}
BENCHMARK(JpegOpenDecoded)->Unit(benchmark::kMillisecond);

static void JpzOpenPaired(benchmark::State &state)
{
    OpenPair pair;
    pairedRun(
        state, [&] { pair.openJpz(); }, [&] { pair.openJpeg(); });
}
BENCHMARK(JpzOpenPaired)->MinTime(4)->Unit(benchmark::kMillisecond);
