#include "Bitmap.h"
#include "TestSupport.h"

#include <QBuffer>
#include <QFile>

#include <gtest/gtest.h>

using namespace testing_support;

namespace {

// A bitmap of the given format whose every pixel differs from its neighbours.
TBitmap makeBitmap(int w, int h, TPixelFormat pf)
{
    TBitmap b(w, h, pf);
    const int bits = bitsPerPixel(pf);
    if (bits <= 8) {
        QVector<QRgb> pal;
        for (int i = 0; i < (1 << bits); ++i)
            pal.append(qRgb((i * 37) & 255, (i * 91) & 255, (255 - i * 13) & 255));
        b.setPalette(pal);
    }
    for (int y = 0; y < h; ++y) {
        uint8_t *row = b.scanLine(y);
        for (int x = 0; x < w; ++x) {
            const int v = x * 7 + y * 13;
            switch (pf) {
            case TPixelFormat::pf1bit:
                if (v & 1)
                    row[x >> 3] |= uint8_t(0x80 >> (x & 7));
                break;
            case TPixelFormat::pf4bit:
                row[x >> 1] |= uint8_t((x & 1) ? (v & 15) : ((v & 15) << 4));
                break;
            case TPixelFormat::pf8bit:
                row[x] = uint8_t(v);
                break;
            case TPixelFormat::pf24bit:
                row[x * 3] = uint8_t(v);
                row[x * 3 + 1] = uint8_t(v * 3);
                row[x * 3 + 2] = uint8_t(255 - v);
                break;
            case TPixelFormat::pf32bit:
                row[x * 4] = uint8_t(v);
                row[x * 4 + 1] = uint8_t(v * 5);
                row[x * 4 + 2] = uint8_t(v * 11);
                break;
            }
        }
    }
    return b;
}

void put16(QByteArray &b, int v)
{
    b.append(char(v & 255));
    b.append(char((v >> 8) & 255));
}
void put32(QByteArray &b, qint64 v)
{
    for (int i = 0; i < 4; ++i)
        b.append(char((v >> (8 * i)) & 255));
}

// A BMP with a 40-byte header; pixel bytes and palette given raw.
QByteArray bmpFile(int w, int h, int bits, int compression, const QByteArray &palette, const QByteArray &pixels,
                   const QByteArray &masks = {})
{
    QByteArray b("BM");
    const int off = 14 + 40 + int(masks.size()) + int(palette.size());
    put32(b, off + pixels.size());
    put32(b, 0);
    put32(b, off);
    put32(b, 40);
    put32(b, w);
    put32(b, h);
    put16(b, 1);
    put16(b, bits);
    put32(b, compression);
    put32(b, pixels.size());
    put32(b, 2835);
    put32(b, 2835);
    put32(b, palette.size() / 4);
    put32(b, 0);
    return b + masks + palette + pixels;
}

} // namespace

TEST(Bitmap, BmpRoundTripEveryFormat)
{
    const TPixelFormat formats[] = {TPixelFormat::pf1bit, TPixelFormat::pf4bit, TPixelFormat::pf8bit,
                                    TPixelFormat::pf24bit, TPixelFormat::pf32bit};
    const QString dir = freshDir();
    for (TPixelFormat pf : formats) {
        SCOPED_TRACE(bitsPerPixel(pf));
        TBitmap original = makeBitmap(13, 7, pf); // odd sizes exercise the row padding
        const QString path = dir + QStringLiteral("/b%1.bmp").arg(bitsPerPixel(pf));
        original.saveToFile(path);
        TBitmap loaded;
        loaded.loadFromFile(path);
        EXPECT_EQ(loaded.pixelFormat(), pf);
        EXPECT_TRUE(loaded.equals(original));
        EXPECT_EQ(loaded.pixel(12, 6), original.pixel(12, 6));
        // Windows readers expect the bottom row first in the file.
        const QByteArray bytes = readFile(path);
        const int bits = bitsPerPixel(pf);
        const int stride = ((13 * bits + 31) / 32) * 4;
        const int paletteBytes = bits <= 8 ? (1 << bits) * 4 : 0;
        EXPECT_EQ(bytes.size(), 54 + paletteBytes + stride * 7);
        EXPECT_EQ(bytes.mid(54 + paletteBytes, stride),
                  QByteArray(reinterpret_cast<const char *>(original.constScanLine(6)), stride));
    }
}

TEST(Bitmap, ReadsTheBmpVariantsOtherWritersProduce)
{
    // Top-down 24-bit: a negative height puts the first row on top.
    {
        QByteArray px;
        px.append("\x00\x00\xFF\x00\xFF\x00\x00\x00", 8); // red, green, padding
        px.append("\xFF\x00\x00\xFF\xFF\xFF\x00\x00", 8); // blue, white, padding
        TBitmap b;
        const QByteArray f = bmpFile(2, -2, 24, 0, {}, px);
        b.loadFromBytes(f.constData(), f.size());
        EXPECT_EQ(b.pixel(0, 0), qRgb(255, 0, 0));
        EXPECT_EQ(b.pixel(1, 0), qRgb(0, 255, 0));
        EXPECT_EQ(b.pixel(0, 1), qRgb(0, 0, 255));
        EXPECT_EQ(b.pixel(1, 1), qRgb(255, 255, 255));
    }
    // 16-bit RGB 5:6:5 through bit fields.
    {
        QByteArray masks;
        put32(masks, 0xF800);
        put32(masks, 0x07E0);
        put32(masks, 0x001F);
        QByteArray px;
        put16(px, 0xF800);
        put16(px, 0x07E0);
        TBitmap b;
        const QByteArray f = bmpFile(2, 1, 16, 3, {}, px, masks);
        b.loadFromBytes(f.constData(), f.size());
        EXPECT_EQ(b.pixelFormat(), TPixelFormat::pf24bit);
        EXPECT_EQ(b.pixel(0, 0), qRgb(255, 0, 0));
        EXPECT_EQ(b.pixel(1, 0), qRgb(0, 255, 0));
    }
    // RLE8: a run, an absolute run, end of line, end of bitmap.
    {
        QByteArray pal;
        for (int i = 0; i < 4; ++i)
            put32(pal, i * 0x404040);
        const QByteArray px("\x03\x01\x00\x03\x02\x03\x01\x00\x00\x00\x04\x03\x00\x01", 14);
        TBitmap b;
        const QByteArray f = bmpFile(4, 2, 8, 1, pal, px);
        b.loadFromBytes(f.constData(), f.size());
        // The first stored line is the bottom row.
        EXPECT_EQ(b.pixel(0, 1), QRgb(0xFF000000 | 0x404040));
        EXPECT_EQ(b.pixel(2, 1), QRgb(0xFF000000 | 0x404040));
        EXPECT_EQ(b.pixel(3, 1), QRgb(0xFF000000 | 0x808080)); // the absolute run, clipped at the edge
        EXPECT_EQ(b.pixel(0, 0), QRgb(0xFF000000 | 0xC0C0C0));
        EXPECT_EQ(b.pixel(3, 0), QRgb(0xFF000000 | 0xC0C0C0));
    }
}

TEST(Bitmap, RejectsDamagedBmpWithItsMessage)
{
    QByteArray pal;
    put32(pal, 0);
    put32(pal, 0xFFFFFF);
    const QByteArray good = bmpFile(8, 2, 1, 0, pal, QByteArray(8, '\x55'));
    struct Case {
        const char *name;
        QByteArray data;
    } cases[] = {
        {"empty", QByteArray()},
        {"not a bmp", QByteArray("GIF89a").append(40, '\0')},
        {"pixels cut short", good.left(good.size() - 3)},
        {"zero width", bmpFile(0, 2, 24, 0, {}, QByteArray(16, 0))},
        {"7 bits per pixel", bmpFile(2, 2, 7, 0, {}, QByteArray(16, 0))},
        {"absurd size", bmpFile(100000, 100000, 24, 0, {}, QByteArray(16, 0))},
        {"absurd width", bmpFile(1 << 28, 1, 24, 0, {}, QByteArray(16, 0))},
        {"top-down rle", bmpFile(2, -2, 8, 1, QByteArray(8, 0), QByteArray(4, 0))},
        {"palette past the end", bmpFile(2, 2, 8, 0, {}, {}).left(54)},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        TBitmap b;
        try {
            b.loadFromBytes(c.data.constData(), c.data.size());
            ADD_FAILURE() << "no exception";
        } catch (const EInvalidGraphic &e) {
            EXPECT_FALSE(e.message().isEmpty());
        }
        EXPECT_TRUE(b.isEmpty());
    }
}

TEST(Bitmap, EveryTruncationOfAValidFileFailsCleanly)
{
    const QByteArray full = makeBitmap(9, 5, TPixelFormat::pf4bit).saveToBytes();
    for (qsizetype n = 0; n < full.size(); ++n) {
        TBitmap b;
        EXPECT_THROW(b.loadFromBytes(full.constData(), n), EInvalidGraphic) << n;
    }
}

TEST(Bitmap, CopiesSharePixelsUntilOneWrites)
{
    TBitmap a = makeBitmap(4, 4, TPixelFormat::pf24bit);
    TBitmap b;
    b.assign(a);
    EXPECT_EQ(a.constScanLine(0), b.constScanLine(0));
    b.scanLine(0)[0] = 0xAB;
    EXPECT_NE(a.constScanLine(0), b.constScanLine(0));
    EXPECT_NE(a.constScanLine(0)[0], 0xAB);
}

TEST(Bitmap, PixelFormatConversionKeepsColours)
{
    TBitmap b = makeBitmap(5, 3, TPixelFormat::pf8bit);
    const QRgb before = b.pixel(4, 2);
    b.setPixelFormat(TPixelFormat::pf32bit);
    EXPECT_EQ(b.pixel(4, 2), before);
    b.setPixelFormat(TPixelFormat::pf24bit);
    EXPECT_EQ(b.pixel(4, 2), before);
    b.setPixelFormat(TPixelFormat::pf1bit);
    const QRgb bw = b.pixel(4, 2);
    EXPECT_TRUE(bw == qRgb(0, 0, 0) || bw == qRgb(255, 255, 255));
}

TEST(Bitmap, ImageViewUsesTheBitmapsOwnMemory)
{
    TBitmap b = makeBitmap(6, 2, TPixelFormat::pf24bit);
    const QImage view = b.imageView();
    EXPECT_EQ(view.constBits(), b.constScanLine(0));
    EXPECT_EQ(view.pixel(5, 1), b.pixel(5, 1));
}

TEST(Bitmap, OwnedDibBlocksGiveTheSamePicture)
{
    // Taking over a plug-in's block (in place, rows turned when bottom first) must give what
    // copying it gives, for each row layout the block can have.
    for (int bits : {8, 24, 32})
        for (bool topDown : {false, true}) {
            SCOPED_TRACE(testing::Message() << bits << " bits, top down " << topDown);
            const int w = 5, h = 3;
            const qsizetype stride = ((w * bits + 31) / 32) * 4;
            QByteArray info(40 + (bits == 8 ? 1024 : 0), '\0');
            auto put32 = [&](int at, uint32_t v) {
                for (int i = 0; i < 4; ++i)
                    info[at + i] = char(v >> (8 * i));
            };
            put32(0, 40);
            put32(4, w);
            put32(8, uint32_t(topDown ? -h : h));
            info[12] = 1;
            info[14] = char(bits);
            if (bits == 8) {
                put32(32, 256);
                for (int i = 0; i < 256; ++i)
                    put32(40 + 4 * i, uint32_t(i * 0x010203));
            }
            const size_t size = size_t(stride) * h;
            auto *block = static_cast<uint8_t *>(std::malloc(size));
            for (size_t i = 0; i < size; ++i)
                block[i] = uint8_t(i * 37 + 11);
            const QByteArray copy(reinterpret_cast<const char *>(block), qsizetype(size));
            const auto *head = reinterpret_cast<const uint8_t *>(info.constData());

            TBitmap copied, owned;
            copied.loadFromDib(head, info.size(), reinterpret_cast<const uint8_t *>(copy.constData()), copy.size());
            owned.loadFromDibOwned(head, info.size(), block, qint64(size));
            ASSERT_EQ(owned.pixelFormat(), copied.pixelFormat());
            for (int y = 0; y < h; ++y)
                EXPECT_EQ(QByteArray(reinterpret_cast<const char *>(owned.constScanLine(y)), stride),
                          QByteArray(reinterpret_cast<const char *>(copied.constScanLine(y)), stride))
                    << "row " << y;
        }
}
