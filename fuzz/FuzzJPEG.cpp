// JPEG from outside: header parse, full decode with the options the program can set.
#include "FuzzTarget.h"
#include "JPEG.h"

#include <QBuffer>

static QByteArray seed()
{
    QImage img(37, 29, QImage::Format_RGB32);
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            img.setPixel(x, y, qRgb(x * 7, y * 9, (x ^ y) * 5));
    TBitmap bmp = TBitmap::fromImage(img);
    TJPEGImage jpeg;
    jpeg.assign(bmp);
    jpeg.setProgressiveWrite(true);
    QBuffer buf;
    buf.open(QIODevice::WriteOnly);
    jpeg.saveToStream(buf);
    return buf.data();
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    QBuffer buf;
    buf.setData(reinterpret_cast<const char *>(data), qsizetype(size));
    buf.open(QIODevice::ReadOnly);
    for (int variant = 0; variant < 3; ++variant) {
        buf.seek(0);
        TJPEGImage img;
        try {
            img.loadFromStream(buf);
            // Keep the work bounded: huge but valid headers are not what we look for here.
            if (qint64(img.width()) * img.height() > 4'000'000)
                return 0;
            img.setGrayOutput(variant == 1);
            img.setProgressiveRedraw(variant == 2);
            img.setFastDecode(variant == 2);
            const TBitmap &b = img.bitmap();
            if (b.width() != img.width() || b.height() != img.height())
                __builtin_trap();
        } catch (const Exception &) {
        }
    }
    return 0;
}

QList<QByteArray> fuzzSeeds()
{
    return {seed()};
}
