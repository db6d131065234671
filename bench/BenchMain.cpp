// Runs the benchmarks under an offscreen QApplication and prints each figure as a ratio to its
// reference from the same run.
#include "BenchSupport.h"
#include "JPEG.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <map>
#include <memory>
#include <vector>

#include <jpeglib.h>

namespace {

std::unique_ptr<QTemporaryDir> g_dir;

class CapturingReporter : public benchmark::ConsoleReporter {
public:
    std::map<std::string, double> seconds; // per iteration, real time
    std::map<std::string, std::pair<double, double>> paired; // ours and reference, ms
    std::map<std::string, std::map<std::string, double>> counters;
    void ReportRuns(const std::vector<Run> &runs) override
    {
        for (const Run &r : runs) {
            if (r.iterations <= 0 || !(r.run_type == Run::RT_Iteration || r.aggregate_name == "mean"))
                continue;
            seconds[r.benchmark_name()] = r.real_accumulated_time / double(r.iterations);
            const auto o = r.counters.find("ours_ms"), f = r.counters.find("ref_ms");
            if (o != r.counters.end() && f != r.counters.end())
                paired[r.benchmark_name()] = {o->second.value, f->second.value};
            for (const auto &[name, counter] : r.counters)
                counters[r.benchmark_name()][name] = counter.value;
        }
        ConsoleReporter::ReportRuns(runs);
    }
};

// The run of this name (options may follow it), the mean where there are repetitions.
template <typename Map>
auto findRun(const Map &map, const std::string &name)
{
    // "Bench/10000" names "Bench/10000/min_time:2.000" but not "Bench/100000".
    const auto named = [&](const std::string &key) {
        return key.rfind(name, 0) == 0 && (key.size() == name.size() || key[name.size()] == '/' || key[name.size()] == '_');
    };
    auto it = map.end();
    for (auto i = map.begin(); i != map.end(); ++i)
        if (named(i->first) && (it == map.end() || i->first.ends_with("_mean")))
            it = i;
    return it;
}

// A figure measured in turn with its reference (pairedRun).
void pairedRatio(const CapturingReporter &rep, const char *label, const std::string &name, double goal)
{
    // The name may carry options (".../min_time:2.000"); with repetitions the mean stands in.
    const auto it = findRun(rep.paired, name);
    if (it == rep.paired.end())
        return;
    const auto [ours, ref] = it->second;
    const double r = ours / ref;
    std::printf("%-44s %8.3f ms / %8.3f ms = %5.2fx  (goal <= %.2fx) %s\n", label, ours, ref, r, goal,
                r <= goal ? "met" : "MISSED");
}

// How ours grows from one size to another, both measured in turn with their references.
void pairedScale(const CapturingReporter &rep, const char *label, const std::string &small, const std::string &large,
                 double goal)
{
    const auto a = findRun(rep.paired, small), b = findRun(rep.paired, large);
    if (a == rep.paired.end() || b == rep.paired.end())
        return;
    const double r = b->second.first / a->second.first;
    std::printf("%-44s %8.3f ms / %8.3f ms = %5.2fx  (goal <= %.2fx) %s\n", label, b->second.first, a->second.first, r,
                goal, r <= goal ? "met" : "MISSED");
}

void ratio(const CapturingReporter &rep, const char *label, const std::string &ours, const std::string &ref,
           double goal)
{
    // With --benchmark_repetitions the means stand in for the single runs.
    auto find = [&](const std::string &name) {
        auto it = rep.seconds.find(name + "_mean");
        return it != rep.seconds.end() ? it : rep.seconds.find(name);
    };
    auto a = find(ours), b = find(ref);
    if (a == rep.seconds.end() || b == rep.seconds.end())
        return;
    const double r = a->second / b->second;
    if (goal <= 0) { // a floor to compare with, not a goal
        std::printf("%-44s %8.3f ms / %8.3f ms = %5.2fx\n", label, a->second * 1e3, b->second * 1e3, r);
        return;
    }
    std::printf("%-44s %8.3f ms / %8.3f ms = %5.2fx  (goal <= %.2fx) %s\n", label, a->second * 1e3, b->second * 1e3, r,
                goal, r <= goal ? "met" : "MISSED");
}

} // namespace

QString benchJpeg(int width, int height)
{
    const QString path = g_dir->filePath(QStringLiteral("photo-%1x%2.jpg").arg(width).arg(height));
    if (QFile::exists(path))
        return path;
    jpeg_compress_struct ci{};
    jpeg_error_mgr err{};
    ci.err = jpeg_std_error(&err);
    jpeg_create_compress(&ci);
    FILE *f = std::fopen(QFile::encodeName(path).constData(), "wb");
    jpeg_stdio_dest(&ci, f);
    ci.image_width = JDIMENSION(width);
    ci.image_height = JDIMENSION(height);
    ci.input_components = 3;
    ci.in_color_space = JCS_RGB;
    jpeg_set_defaults(&ci);
    jpeg_set_quality(&ci, 90, TRUE);
    jpeg_start_compress(&ci, TRUE);
    std::vector<JSAMPLE> row(size_t(width) * 3);
    unsigned state = 12345;
    while (ci.next_scanline < ci.image_height) {
        const int y = int(ci.next_scanline);
        for (int x = 0; x < width; ++x) {
            state = state * 1103515245u + 12345u;
            const int n = int((state >> 16) & 15);
            row[size_t(x) * 3] = JSAMPLE(127 + 110 * std::sin(x * 0.004 + y * 0.002) + n);
            row[size_t(x) * 3 + 1] = JSAMPLE((y * 200) / height + n);
            row[size_t(x) * 3 + 2] = JSAMPLE(((x / 7) ^ (y / 5)) & 0xFF);
        }
        JSAMPROW r = row.data();
        jpeg_write_scanlines(&ci, &r, 1);
    }
    jpeg_finish_compress(&ci);
    jpeg_destroy_compress(&ci);
    std::fclose(f);
    return path;
}

namespace {

std::map<std::string, double> g_worst;

void worst(const char *label, const std::string &key, double goalMs)
{
    const auto it = g_worst.find(key);
    if (it == g_worst.end())
        return;
    std::printf("%-44s %8.3f ms              (goal <= %.0f ms) %s\n", label, it->second, goalMs,
                it->second <= goalMs ? "met" : "MISSED");
}

void info(const CapturingReporter &rep, const char *label, const std::string &name, const std::string &counter)
{
    const auto it = findRun(rep.counters, name);
    if (it == rep.counters.end() || !it->second.count(counter))
        return;
    std::printf("%-44s %8.3f ms\n", label, it->second.at(counter));
}

} // namespace

void noteWorst(const std::string &key, double value)
{
    double &w = g_worst[key];
    w = std::max(w, value);
}

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    g_dir = std::make_unique<QTemporaryDir>();
    benchmark::Initialize(&argc, argv);
    CapturingReporter rep;
    benchmark::RunSpecifiedBenchmarks(&rep);
    std::printf("\nRatios against the reference of the same run:\n");
    ratio(rep, "JPEG open 24 MP (header only) vs 0.3 MP", "JpegOpen/6000/4000", "JpegOpen/640/480", 1.5);
    ratio(rep, "JPEG decode 24 MP: TJPEGImage vs raw libjpeg", "DecodeOurs/6000/4000", "DecodeRaw/6000/4000", 1.05);
    pairedRatio(rep, "JPEG decode 24 MP, in turn with raw libjpeg", "DecodePaired/6000/4000", 1.05);
    ratio(rep, "JPEG decode 3 MP: TJPEGImage vs raw libjpeg", "DecodeOurs/2048/1536", "DecodeRaw/2048/1536", 1.05);
    pairedRatio(rep, "JPEG decode 3 MP, in turn with raw libjpeg", "DecodePaired/2048/1536", 1.05);
    ratio(rep, "Rotate 24 MP by 30: RotateBitmap vs plain loop", "RotateOurs", "RotatePlainLoop", 1.25);
    ratio(rep, "Rotate 24 MP by 30: RotatePicture vs plain loop", "RotatePictureWhole", "RotatePlainLoop", 1.25);
    ratio(rep, "View 1280x800 of 24 MP at x4 vs Qt from RGB32", "ViewPaint/400", "ViewPaintX4FromRGB32", 1.5);
    ratio(rep, "Blowfish CFB 64 MiB: TBlowFish vs OpenSSL", "BlowfishCfbOurs", "BlowfishCfbOpenSSL", 1.0);
    ratio(rep, "24 MP open: .jpz vs plain JPEG", "JpzOpen", "JpegOpenDecoded", 1.1);
    pairedRatio(rep, "24 MP open, .jpz in turn with plain JPEG", "JpzOpenPaired", 1.1);
    ratio(rep, "24 MP save and open: .jpz vs plain JPEG", "JpzSaveAndOpen", "JpegSaveAndOpen", 1.3);
    ratio(rep, "PNG decode 24 MP: ours vs libpng", "PngDecodeOurs/0", "PngDecodeLibpng/0", 1.3);
    ratio(rep, "PNG decode 24 MP Adam7: ours vs libpng", "PngDecodeOurs/1", "PngDecodeLibpng/1", 1.3);
    ratio(rep, "PNG decode 24 MP: zlib inflate floor vs libpng", "PngInflateFloor", "PngDecodeLibpng/0", 0);
    ratio(rep, "PNG encode 24 MP: ours vs libpng (filter none)", "PngEncodeOurs", "PngEncodeLibpng", 1.2);
    ratio(rep, "Open 24 MP PNG through the plug-in host", "PluginOpenThroughHost/0", "PluginDecodeAlone/0", 1.15);
    ratio(rep, "Open 24 MP TIFF through the plug-in host", "PluginOpenThroughHost/1", "PluginDecodeAlone/1", 1.15);
    ratio(rep, "Open 24 MP WebP through the plug-in host", "PluginOpenThroughHost/2", "PluginDecodeAlone/2", 1.15);
    ratio(rep, "List a 10,000-entry LZH: framework vs libarchive", "ArchiveListOurs", "ArchiveListLibarchive", 1.2);
    pairedRatio(rep, "List a 10,000-entry LZH, in turn with libarchive", "ArchiveListPaired", 1.2);
    ratio(rep, "Extract a 20 MB stored LZH entry: framework vs libarchive", "ArchiveExtractOurs/0",
          "ArchiveExtractLibarchive/0", 1.2);
    ratio(rep, "Extract a 20 MB -lh5- entry: framework vs libarchive", "ArchiveExtractOurs/1",
          "ArchiveExtractLibarchive/1", 1.2);
    pairedRatio(rep, "Refresh 10,000 files vs readdir+fstatat+sort", "BrowseRefreshPaired/10000", 2.0);
    pairedRatio(rep, "Refresh 100,000 files vs readdir+fstatat+sort", "BrowseRefreshPaired/100000", 2.0);
    pairedScale(rep, "Refresh: 100,000 files vs 10,000", "BrowseRefreshPaired/10000", "BrowseRefreshPaired/100000",
                11.0);
    worst("Longest wait, 100,000 files filling (icons)", "gap_icons", 100);
    worst("Longest wait, 100,000 files filling (details)", "gap_details", 100);
    pairedRatio(rep, "Open a node of 10,000 folders vs readdir", "BrowseExpandPaired", 3.0);
    info(rep, "  ... until every expand button is settled", "BrowseExpandPaired", "settled_ms");
    benchmark::Shutdown();
    g_dir.reset();
    return 0;
}

void pairedRun(benchmark::State &state, const std::function<void()> &ours, const std::function<void()> &reference)
{
    using clock = std::chrono::steady_clock;
    double oursMs = 0, refMs = 0;
    bool oursFirst = true;
    for (auto _ : state) {
        for (int k = 0; k < 2; ++k) {
            const bool runOurs = (k == 0) == oursFirst;
            const auto t0 = clock::now();
            runOurs ? ours() : reference();
            const double ms = std::chrono::duration<double, std::milli>(clock::now() - t0).count();
            (runOurs ? oursMs : refMs) += ms;
        }
        oursFirst = !oursFirst;
    }
    state.counters["ours_ms"] = benchmark::Counter(oursMs, benchmark::Counter::kAvgIterations);
    state.counters["ref_ms"] = benchmark::Counter(refMs, benchmark::Counter::kAvgIterations);
}

const TBitmap &benchPhoto24()
{
    static const TBitmap photo = [] {
        TJPEGImage jpeg;
        jpeg.loadFromFile(benchJpeg(6000, 4000));
        TBitmap b;
        b.assign(jpeg);
        return b;
    }();
    return photo;
}
