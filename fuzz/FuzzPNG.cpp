// PNG from outside: the reader, then a write and read back of what it produced.
#include "FuzzTarget.h"
#include "PNGImage.h"

static QByteArray seed()
{
    TBitmap b(19, 13, TPixelFormat::pf24bit);
    for (int y = 0; y < b.height(); ++y)
        for (int x = 0; x < b.width() * 3; ++x)
            b.scanLine(y)[x] = uint8_t(x * 7 + y * 3);
    TPNGImage png;
    png.assign(b);
    return png.saveToBytes();
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    TPNGImage img;
    try {
        img.loadFromBytes(QByteArray(reinterpret_cast<const char *>(data), qsizetype(size)));
    } catch (const Exception &) {
        return 0;
    }
    TPNGImage back;
    back.loadFromBytes(img.saveToBytes());
    if (!back.bitmap().equals(img.bitmap()))
        __builtin_trap();
    return 0;
}

QList<QByteArray> fuzzSeeds()
{
    return {seed()};
}
