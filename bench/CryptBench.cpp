#include "Blowunit.h"

#include <QFile>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <openssl/blowfish.h>

#include <vector>

namespace {

constexpr size_t kSize = 64u << 20;

const std::vector<uint8_t> &data64()
{
    static const std::vector<uint8_t> d = [] {
        std::vector<uint8_t> v(kSize);
        uint32_t s = 1;
        for (auto &b : v) {
            s = s * 1664525u + 1013904223u;
            b = uint8_t(s >> 24);
        }
        return v;
    }();
    return d;
}

const QByteArray kKey("パスワード１２"); // any 8 to 56 bytes

} // namespace

// CFB as the file procedure runs it: 4096 bytes at a time through the work buffer, the chain
// kept from one chunk to the next, without the disk.
static void BlowfishCfbOurs(benchmark::State &state)
{
    const auto &in = data64();
    std::vector<uint8_t> out(kSize);
    TBlowFish bf;
    bf.setKey(kKey);
    bf.CipherMode = TCipherMode::CFBMode;
    bf.InputType = TSourceType::SourceByteArray;
    for (auto _ : state) {
        bf.IVector = "PLTOOLS1";
        for (size_t at = 0; at < kSize; at += 4096) {
            bf.InputData = in.data() + at;
            bf.OutputData = out.data() + at;
            bf.InputLength = 4096;
            bf.Encrypt(at > 0);
        }
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(kSize));
}
BENCHMARK(BlowfishCfbOurs)->Unit(benchmark::kMillisecond);

// The reference: OpenSSL's Blowfish in 64-bit CFB on the same bytes.
static void BlowfishCfbOpenSSL(benchmark::State &state)
{
    const auto &in = data64();
    std::vector<uint8_t> out(kSize);
    BF_KEY key;
    BF_set_key(&key, int(kKey.size()), reinterpret_cast<const unsigned char *>(kKey.constData()));
    for (auto _ : state) {
        unsigned char iv[8] = {'P', 'L', 'T', 'O', 'O', 'L', 'S', '1'};
        int num = 0;
        BF_cfb64_encrypt(in.data(), out.data(), long(kSize), &key, iv, &num, BF_ENCRYPT);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(kSize));
}
BENCHMARK(BlowfishCfbOpenSSL)->Unit(benchmark::kMillisecond);

// For information: the whole file procedure, disk and all.
static void BlowfishCfbFile(benchmark::State &state)
{
    QTemporaryDir dir;
    {
        QFile f(dir.filePath("in"));
        f.open(QIODevice::WriteOnly);
        f.write(reinterpret_cast<const char *>(data64().data()), qint64(kSize));
    }
    TBlowFish bf;
    bf.setKey(kKey);
    bf.CipherMode = TCipherMode::CFBMode;
    bf.InputFilePath = dir.filePath("in");
    bf.OutputFilePath = dir.filePath("out");
    for (auto _ : state) {
        bf.IVector = "PLTOOLS1";
        bf.Encrypt(false);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(kSize));
}
BENCHMARK(BlowfishCfbFile)->Unit(benchmark::kMillisecond);
