// JPEG from outside: header parse, full decode with the options the program can set.
#include "ArrivingBytes.h"
#include "FuzzTarget.h"
#include "JPEG.h"

#include <QBuffer>

#include <cstring>
#include <optional>

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

// The rows without their padding, which no decoder writes.
static QByteArray pixels(const TBitmap &b)
{
    QByteArray out;
    const qsizetype row = (qsizetype(b.width()) * bitsPerPixel(b.pixelFormat()) + 7) / 8;
    for (int y = 0; y < b.height(); ++y)
        out.append(reinterpret_cast<const char *>(b.constScanLine(y)), row);
    return out;
}

// The same bytes handed over by another thread in small pieces (sizes from the data itself):
// the picture, or the failure, must be the one a whole read gives.
static std::optional<QByteArray> decodeArriving(const uint8_t *data, size_t size)
{
    auto bytes = std::make_shared<TArrivingBytes>(qsizetype(size));
    const qsizetype step = size ? 1 + data[size / 2] % 61 : 1;
    bytes->start([data, size, step](TArrivingBytes &out) {
        for (qsizetype at = 0; at < qsizetype(size);) {
            const qsizetype n = std::min(step, qsizetype(size) - at);
            std::memcpy(out.data() + at, data + at, size_t(n));
            at += n;
            out.publish(at);
        }
    });
    try {
        TJPEGImage img;
        img.loadFromArriving(bytes);
        if (qint64(img.width()) * img.height() > 4'000'000)
            return std::nullopt;
        return pixels(img.bitmap());
    } catch (const Exception &) {
        return std::nullopt;
    }
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    QBuffer buf;
    buf.setData(reinterpret_cast<const char *>(data), qsizetype(size));
    buf.open(QIODevice::ReadOnly);
    std::optional<QByteArray> whole;
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
            if (variant == 0)
                whole = pixels(b);
        } catch (const Exception &) {
        }
    }
    if (whole && decodeArriving(data, size) != whole)
        __builtin_trap();
    return 0;
}

QList<QByteArray> fuzzSeeds()
{
    return {seed()};
}
