// Stand-in for libFuzzer: replays the files named on the command line, or with --rounds N
// mutates the target's seeds N times in turn (bit flips, byte sets, cuts, splices; a fixed random
// sequence, so a failure repeats).
#include "FuzzTarget.h"

#include <QFile>

#include <cstdio>
#include <cstring>
#include <random>

int main(int argc, char **argv)
{
    if (argc == 3 && std::strcmp(argv[1], "--rounds") == 0) {
        const QList<QByteArray> seeds = fuzzSeeds();
        std::mt19937 rng(20261209);
        const int rounds = std::atoi(argv[2]);
        for (int r = 0; r < rounds; ++r) {
            QByteArray in = seeds[r % seeds.size()];
            const int edits = 1 + int(rng() % 8);
            for (int e = 0; e < edits && !in.isEmpty(); ++e) {
                const qsizetype at = qsizetype(rng() % uint32_t(in.size()));
                switch (rng() % 5) {
                case 0:
                    in[at] = char(in[at] ^ (1 << (rng() % 8)));
                    break;
                case 1:
                    in[at] = char(rng() % 4 == 0 ? 0xFF : rng());
                    break;
                case 2:
                    in.truncate(at);
                    break;
                case 3:
                    in.insert(at, in.mid(qsizetype(rng() % uint32_t(in.size())), qsizetype(rng() % 64)));
                    break;
                default:
                    in.remove(at, qsizetype(rng() % 16));
                }
            }
            LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t *>(in.constData()), size_t(in.size()));
        }
        std::printf("%d passed from %d seeds, 0 failed\n", rounds, int(seeds.size()));
        return 0;
    }
    for (int i = 1; i < argc; ++i) {
        QFile f(QString::fromLocal8Bit(argv[i]));
        if (!f.open(QIODevice::ReadOnly)) {
            std::fprintf(stderr, "cannot read %s\n", argv[i]);
            return 1;
        }
        const QByteArray in = f.readAll();
        LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t *>(in.constData()), size_t(in.size()));
    }
    return 0;
}
