// BMP from outside: the native reader, then a write and read back of what it produced.
#include "Bitmap.h"
#include "FuzzTarget.h"

static QByteArray seed()
{
    TBitmap b(23, 11, TPixelFormat::pf4bit);
    for (int y = 0; y < b.height(); ++y)
        for (int x = 0; x < (b.width() + 1) / 2; ++x)
            b.scanLine(y)[x] = uint8_t(x * 17 + y);
    return b.saveToBytes();
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    TBitmap b;
    try {
        b.loadFromBytes(reinterpret_cast<const char *>(data), qint64(size));
    } catch (const EInvalidGraphic &) {
        return 0;
    }
    const QByteArray again = b.saveToBytes();
    TBitmap c;
    c.loadFromBytes(again.constData(), again.size());
    if (!c.equals(b))
        __builtin_trap();
    (void)b.imageView();
    return 0;
}

QList<QByteArray> fuzzSeeds()
{
    return {seed()};
}
