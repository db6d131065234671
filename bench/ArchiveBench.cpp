// Listing and extraction of LZH archives through the archiver framework (module, command line,
// safe writing) against libarchive called directly on the same archive.
#include "ARCHIVES.h"
#include "BenchSupport.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <archive.h>
#include <archive_entry.h>
#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <unistd.h>

#include <cstring>
#include <random>

namespace {

QTemporaryDir &dir()
{
    static QTemporaryDir d;
    return d;
}

void benchWriteFile(const QString &path, const QByteArray &data)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(data) != data.size())
        std::abort();
}

uint16_t crc16(const QByteArray &data)
{
    static uint16_t table[256];
    if (!table[1])
        for (int i = 0; i < 256; ++i) {
            uint16_t c = uint16_t(i);
            for (int k = 0; k < 8; ++k)
                c = (c & 1) ? uint16_t((c >> 1) ^ 0xA001) : uint16_t(c >> 1);
            table[i] = c;
        }
    uint16_t crc = 0;
    for (char ch : data)
        crc = uint16_t(table[(crc ^ uint8_t(ch)) & 0xFF] ^ (crc >> 8));
    return crc;
}

// A stored (-lh0-) LZH with level-0 headers, written by hand: nothing here writes LZH.
void appendStored(QByteArray &out, const QByteArray &name, const QByteArray &data)
{
    QByteArray rest("-lh0-");
    auto put32 = [&](uint32_t v) {
        for (int i = 0; i < 4; ++i)
            rest.append(char(v >> (8 * i)));
    };
    put32(uint32_t(data.size()));
    put32(uint32_t(data.size()));
    put32(0x59210000); // a date in 2024
    rest.append(char(0x20)).append(char(0)).append(char(name.size())).append(name);
    const uint16_t crc = crc16(data);
    rest.append(char(crc & 0xFF)).append(char(crc >> 8));
    uint8_t sum = 0;
    for (char c : rest)
        sum = uint8_t(sum + uint8_t(c));
    out.append(char(rest.size())).append(char(sum)).append(rest).append(data);
}

// Photo-like bytes that compress about as a real picture would.
QByteArray bigEntry()
{
    static QByteArray data;
    if (data.isEmpty()) {
        data.resize(20 * 1024 * 1024);
        std::mt19937 rng(7);
        uint8_t v = 0;
        for (char &c : data) {
            v = uint8_t(v + int(rng() % 7) - 3);
            c = char(v);
        }
    }
    return data;
}

QString manyEntries()
{
    static QString path;
    if (path.isEmpty()) {
        QByteArray out;
        const QByteArray payload(64, 'x');
        for (int i = 0; i < 10000; ++i)
            appendStored(out, QByteArray("photos/img") + QByteArray::number(i).rightJustified(5, '0') + ".jpg", payload);
        out.append('\0');
        path = dir().filePath("many.lzh");
        benchWriteFile(path, out);
    }
    return path;
}

// 0: stored, 1: -lh5- made by jlha when it is installed.
QString bigArchive(int kind)
{
    static QString paths[2];
    if (!paths[kind].isEmpty())
        return paths[kind];
    const QString entry = dir().filePath("big.bin");
    if (kind == 0) {
        QByteArray out;
        appendStored(out, "big.bin", bigEntry());
        out.append('\0');
        paths[0] = dir().filePath("big0.lzh");
        benchWriteFile(paths[0], out);
    } else if (!QStandardPaths::findExecutable("jlha").isEmpty()) {
        benchWriteFile(entry, bigEntry());
        QProcess p;
        p.setWorkingDirectory(dir().path());
        p.start("jlha", {"co5", "big5.lzh", "big.bin"});
        p.waitForFinished(-1);
        if (p.exitCode() == 0)
            paths[1] = dir().filePath("big5.lzh");
    }
    return paths[kind];
}

void listOnceOurs(benchmark::State &state, const QString &path)
{
    TArchiveFile file;
    file.setFileName(path);
    QStringList names;
    file.OpenArchive(0, 0);
    ArcIndividualInfo info;
    for (int r = file.FindFirst(QStringLiteral("*.*"), info); r == 0; r = file.FindNext(info))
        names << QString::fromUtf8(info.szFileName);
    file.CloseArchive();
    if (names.size() != 10000)
        state.SkipWithError("listing incomplete");
    benchmark::DoNotOptimize(names);
}

void listOnceDirect(benchmark::State &state, const QByteArray &path)
{
    QStringList names;
    archive *a = archive_read_new();
    archive_read_support_format_lha(a);
    archive_read_set_options(a, "lha:hdrcharset=CP932");
    archive_read_open_filename(a, path.constData(), 64 * 1024);
    archive_entry *e;
    while (archive_read_next_header(a, &e) == ARCHIVE_OK)
        names << QString::fromUtf8(archive_entry_pathname_utf8(e));
    archive_read_free(a);
    if (names.size() != 10000)
        state.SkipWithError("listing incomplete");
    benchmark::DoNotOptimize(names);
}

void listOurs(benchmark::State &state)
{
    const QString path = manyEntries();
    for (auto _ : state)
        listOnceOurs(state, path);
}
BENCHMARK(listOurs)->Name("ArchiveListOurs")->Unit(benchmark::kMillisecond);

void listDirect(benchmark::State &state)
{
    const QByteArray path = QFile::encodeName(manyEntries());
    for (auto _ : state)
        listOnceDirect(state, path);
}
BENCHMARK(listDirect)->Name("ArchiveListLibarchive")->Unit(benchmark::kMillisecond);

void listPaired(benchmark::State &state)
{
    const QString path = manyEntries();
    const QByteArray encoded = QFile::encodeName(path);
    pairedRun(
        state, [&] { listOnceOurs(state, path); }, [&] { listOnceDirect(state, encoded); });
}
BENCHMARK(listPaired)->Name("ArchiveListPaired")->MinTime(2)->Unit(benchmark::kMillisecond);

void extractOurs(benchmark::State &state)
{
    const QString path = bigArchive(int(state.range(0)));
    if (path.isEmpty()) {
        state.SkipWithError("jlha is not installed");
        return;
    }
    const QString out = dir().filePath("ours/");
    QDir().mkpath(out);
    const QStringList files{QStringLiteral("big.bin")};
    for (auto _ : state) {
        TArchiveFile file;
        file.setFileName(path);
        file.Options().x = 0;
        file.Options().n = 0;
        if (file.Extract(0, out, &files) != 0)
            state.SkipWithError("extraction failed");
    }
    if (QFileInfo(out + "big.bin").size() != bigEntry().size())
        state.SkipWithError("wrong size");
}
BENCHMARK(extractOurs)->Name("ArchiveExtractOurs")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

void extractDirect(benchmark::State &state)
{
    const QString path = bigArchive(int(state.range(0)));
    if (path.isEmpty()) {
        state.SkipWithError("jlha is not installed");
        return;
    }
    const QByteArray archivePath = QFile::encodeName(path);
    const QByteArray target = QFile::encodeName(dir().filePath("direct.bin"));
    for (auto _ : state) {
        archive *a = archive_read_new();
        archive_read_support_format_lha(a);
        archive_read_set_options(a, "lha:hdrcharset=CP932");
        archive_read_open_filename(a, archivePath.constData(), 64 * 1024);
        archive_entry *e;
        while (archive_read_next_header(a, &e) == ARCHIVE_OK) {
            if (std::strcmp(archive_entry_pathname(e), "big.bin") != 0)
                continue;
            const int fd = open(target.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            const void *buf;
            size_t size;
            la_int64_t offset;
            while (archive_read_data_block(a, &buf, &size, &offset) == ARCHIVE_OK)
                if (write(fd, buf, size) != ssize_t(size))
                    state.SkipWithError("write failed");
            close(fd);
        }
        archive_read_free(a);
    }
}
BENCHMARK(extractDirect)->Name("ArchiveExtractLibarchive")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

} // namespace
