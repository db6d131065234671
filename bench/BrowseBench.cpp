// The browsing pane on large folders: a file list refilled in details view against readdir,
// fstatat and a sort of the same folder; how long the window waits at most while a 100,000-file
// folder fills; a tree node with 10,000 sub-folders opened against readdir of that folder.
#include "BenchSupport.h"
#include "ShView.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QThreadPool>
#include <QTimer>

#include <benchmark/benchmark.h>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <string>
#include <vector>

namespace {

// HOME is the bench's own folder, so the tree's way to the fixtures is the desktop, home, them.
QString &home()
{
    static QTemporaryDir dir;
    static QString path = [] {
        qputenv("HOME", QFile::encodeName(dir.path()));
        return dir.path();
    }();
    return path;
}

// Names as a camera and a person make them, in a shuffled order of creation.
QString filesFolder(int count)
{
    const QString path = home() + QStringLiteral("/files%1").arg(count);
    if (QFileInfo::exists(path))
        return path;
    QDir().mkpath(path);
    const QByteArray base = QFile::encodeName(path) + '/';
    for (int i = 0; i < count; ++i) {
        const int k = int((int64_t(i) * 7919) % count); // 7919 is prime: every k once
        const QByteArray name =
            base + (k % 3 == 0   ? QByteArray("DSC") + QByteArray::number(k).rightJustified(6, '0') + ".JPG"
                    : k % 3 == 1 ? QByteArray("写真 ") + QByteArray::number(k) + ".jpg"
                                 : QByteArray("scan_") + QByteArray::number(k) + ".png");
        const int fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
        if (fd < 0 || ::ftruncate(fd, k * 37) != 0)
            std::abort();
        ::close(fd);
    }
    return path;
}

QString foldersFolder(int count)
{
    const QString path = home() + QStringLiteral("/folders%1").arg(count);
    if (QFileInfo::exists(path))
        return path;
    QDir().mkpath(path);
    for (int i = 0; i < count; ++i)
        if (::mkdir(QFile::encodeName(path + QStringLiteral("/album %1").arg(i)).constData(), 0755) != 0)
            std::abort();
    // A few with folders of their own, so the marks have something to find.
    for (int i = 0; i < count; i += 97)
        QDir().mkpath(path + QStringLiteral("/album %1/raw").arg(i));
    return path;
}

struct Entry {
    std::string name;
    off_t size;
    time_t mtime;
    bool folder;
};

// The plain way: every name, its status, sorted.
std::vector<Entry> plainListing(const QString &path)
{
    std::vector<Entry> out;
    DIR *dir = ::opendir(QFile::encodeName(path).constData());
    const int dfd = ::dirfd(dir);
    while (const dirent *e = ::readdir(dir)) {
        if (std::strcmp(e->d_name, ".") == 0 || std::strcmp(e->d_name, "..") == 0)
            continue;
        struct stat st {};
        ::fstatat(dfd, e->d_name, &st, 0);
        out.push_back({e->d_name, st.st_size, st.st_mtim.tv_sec, S_ISDIR(st.st_mode)});
    }
    ::closedir(dir);
    std::sort(out.begin(), out.end(), [](const Entry &a, const Entry &b) { return a.name < b.name; });
    return out;
}

std::vector<std::string> plainNames(const QString &path)
{
    std::vector<std::string> out;
    DIR *dir = ::opendir(QFile::encodeName(path).constData());
    while (const dirent *e = ::readdir(dir))
        if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0)
            out.emplace_back(e->d_name);
    ::closedir(dir);
    return out;
}

void refreshPaired(benchmark::State &state)
{
    const QString path = filesFolder(int(state.range(0)));
    TFileView list;
    list.SetViewStyle(TViewStyle::vsReport);
    list.resize(800, 600);
    const TIdList id = TShellFolder::Desktop()->ParseDisplayName(path);
    list.SetFolder(id.get());
    list.WaitFilled();
    size_t sink = 0;
    pairedRun(
        state,
        [&] {
            list.Refresh();
            list.WaitFilled();
            QApplication::processEvents(); // the fill's own notice
            sink += size_t(list.Count());
        },
        [&] { sink += plainListing(path).size(); });
    if (sink == 0)
        state.SkipWithError("nothing listed");
}
BENCHMARK(refreshPaired)
    ->Name("BrowseRefreshPaired")
    ->Arg(10000)
    ->Arg(100000)
    ->MinTime(2)
    ->Unit(benchmark::kMillisecond);

// The longest the event loop waits while a shown list fills with 100,000 files, in each view.
void fillGap(benchmark::State &state)
{
    const QString path = filesFolder(100000);
    const TIdList id = TShellFolder::Desktop()->ParseDisplayName(path);
    double worst = 0;
    for (auto _ : state) {
        TFileView list;
        list.SetViewStyle(state.range(0) ? TViewStyle::vsReport : TViewStyle::vsIcon);
        list.resize(900, 500);
        list.show();
        QApplication::processEvents();
        QElapsedTimer clock;
        qint64 last = 0, gap = 0;
        QTimer tick;
        tick.setInterval(1);
        QObject::connect(&tick, &QTimer::timeout, [&] {
            const qint64 now = clock.nsecsElapsed();
            gap = std::max(gap, now - last);
            last = now;
        });
        tick.start();
        clock.start();
        list.SetFolder(id.get());
        // Filled, and the view has laid out what it shows.
        while (list.Filling() || clock.elapsed() < 1500) {
            QApplication::processEvents(QEventLoop::AllEvents, 5);
            const qint64 now = clock.nsecsElapsed();
            gap = std::max(gap, now - last);
            last = now;
        }
        worst = std::max(worst, double(gap) / 1e6);
        if (list.Count() != 100000)
            state.SkipWithError("not filled");
    }
    state.counters["gap_ms"] = worst;
    noteWorst(state.range(0) ? "gap_details" : "gap_icons", worst);
}
BENCHMARK(fillGap)->Name("BrowseFillGap")->Arg(0)->Arg(1)->Iterations(3)->Unit(benchmark::kMillisecond);

// Opening the node of a folder with 10,000 sub-folders: its nodes in place (ours), against
// readdir of the folder. How long until every expand button is settled is shown too.
void expandPaired(benchmark::State &state)
{
    using clock = std::chrono::steady_clock;
    const QString path = foldersFolder(10000);
    const TIdList id = TShellFolder::Desktop()->ParseDisplayName(path);
    double oursMs = 0, refMs = 0, settledMs = 0;
    size_t sink = 0;
    for (auto _ : state) {
        state.PauseTiming();
        TFolderView tree;
        tree.Rebuild();
        QTreeWidgetItem *node = tree.FindNode(id.get());
        if (!node) {
            state.SkipWithError("no node");
            break;
        }
        state.ResumeTiming();
        const auto t0 = clock::now();
        tree.ExpandNode(node);
        const auto t1 = clock::now();
        sink += plainNames(path).size();
        const auto t2 = clock::now();
        QThreadPool::globalInstance()->waitForDone();
        QApplication::processEvents();
        const auto t3 = clock::now();
        oursMs += std::chrono::duration<double, std::milli>(t1 - t0).count();
        refMs += std::chrono::duration<double, std::milli>(t2 - t1).count();
        settledMs += std::chrono::duration<double, std::milli>(t3 - t2).count() +
                     std::chrono::duration<double, std::milli>(t1 - t0).count();
        sink += size_t(node->childCount());
    }
    state.counters["ours_ms"] = benchmark::Counter(oursMs, benchmark::Counter::kAvgIterations);
    state.counters["ref_ms"] = benchmark::Counter(refMs, benchmark::Counter::kAvgIterations);
    state.counters["settled_ms"] = benchmark::Counter(settledMs, benchmark::Counter::kAvgIterations);
    if (sink == 0)
        state.SkipWithError("nothing listed");
}
BENCHMARK(expandPaired)->Name("BrowseExpandPaired")->MinTime(2)->Unit(benchmark::kMillisecond);

} // namespace
