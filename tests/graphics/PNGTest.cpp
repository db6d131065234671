#include "PNGImage.h"
#include "TestSupport.h"

#include <QBuffer>

#include <gtest/gtest.h>

#include <array>
#include <functional>

#include <zlib.h>

using namespace testing_support;

namespace {

void put32(QByteArray &b, uint32_t v)
{
    for (int i = 3; i >= 0; --i)
        b.append(char((v >> (8 * i)) & 0xFF));
}

void chunk(QByteArray &png, const char *type, const QByteArray &data)
{
    put32(png, uint32_t(data.size()));
    QByteArray body(type, 4);
    body += data;
    png += body;
    put32(png, uint32_t(crc32(0, reinterpret_cast<const Bytef *>(body.constData()), uInt(body.size()))));
}

using Sample = std::function<std::array<int, 4>(int x, int y)>; // channel values at the file's depth

// Our own small PNG writer for fixtures: any colour type, depth and interlace; rows filtered
// with filter (y + pass) % 5, so all five filters appear; IDAT split into pieces of `split` bytes.
QByteArray makePng(int w, int h, int depth, int colorType, bool interlace, const Sample &sample,
                   const QVector<QRgb> &plte = {}, int split = 0)
{
    const int channels = colorType == 2 ? 3 : colorType == 4 ? 2 : colorType == 6 ? 4 : 1;
    const int bits = depth * channels;
    const size_t bpp = size_t((bits + 7) / 8);
    QByteArray raw;
    struct Pass {
        int c0, cs, r0, rs;
    };
    const Pass adam7[7] = {{0, 8, 0, 8}, {4, 8, 0, 8}, {0, 4, 4, 8}, {2, 4, 0, 4},
                           {0, 2, 2, 4}, {1, 2, 0, 2}, {0, 1, 1, 2}};
    const Pass whole{0, 1, 0, 1};
    for (int pass = 0; pass < (interlace ? 7 : 1); ++pass) {
        const Pass p = interlace ? adam7[pass] : whole;
        const int cols = (w - p.c0 + p.cs - 1) / p.cs;
        if (cols <= 0 || p.r0 >= h)
            continue;
        const size_t rowBytes = (size_t(cols) * size_t(bits) + 7) / 8;
        std::vector<uint8_t> prev(rowBytes, 0);
        for (int y = p.r0; y < h; y += p.rs) {
            std::vector<uint8_t> row(rowBytes, 0);
            for (int k = 0; k < cols; ++k) {
                const auto v = sample(p.c0 + k * p.cs, y);
                for (int c = 0; c < channels; ++c) {
                    const size_t bitPos = (size_t(k) * size_t(channels) + size_t(c)) * size_t(depth);
                    if (depth == 16) {
                        row[bitPos / 8] = uint8_t(v[size_t(c)] >> 8);
                        row[bitPos / 8 + 1] = uint8_t(v[size_t(c)]);
                    } else if (depth == 8) {
                        row[bitPos / 8] = uint8_t(v[size_t(c)]);
                    } else {
                        row[bitPos / 8] |= uint8_t(v[size_t(c)] << (8 - depth - bitPos % 8));
                    }
                }
            }
            const int f = (y + pass) % 5;
            std::vector<uint8_t> out(rowBytes);
            for (size_t i = 0; i < rowBytes; ++i) {
                const int a = i >= bpp ? row[i - bpp] : 0, b = prev[i], c = i >= bpp ? prev[i - bpp] : 0;
                int pred = 0;
                if (f == 1)
                    pred = a;
                else if (f == 2)
                    pred = b;
                else if (f == 3)
                    pred = (a + b) / 2;
                else if (f == 4) {
                    const int pp = a + b - c, pa = std::abs(pp - a), pb = std::abs(pp - b), pc = std::abs(pp - c);
                    pred = (pa <= pb && pa <= pc) ? a : (pb <= pc ? b : c);
                }
                out[i] = uint8_t(row[i] - pred);
            }
            raw.append(char(f));
            raw.append(reinterpret_cast<const char *>(out.data()), qsizetype(out.size()));
            prev = row;
        }
    }
    uLongf len = compressBound(uLong(raw.size()));
    QByteArray z(qsizetype(len), '\0');
    compress(reinterpret_cast<Bytef *>(z.data()), &len, reinterpret_cast<const Bytef *>(raw.constData()),
             uLong(raw.size()));
    z.truncate(qsizetype(len));

    QByteArray png("\x89PNG\r\n\x1a\n", 8);
    QByteArray ihdr;
    put32(ihdr, uint32_t(w));
    put32(ihdr, uint32_t(h));
    ihdr.append(char(depth));
    ihdr.append(char(colorType));
    ihdr.append(char(0));
    ihdr.append(char(0));
    ihdr.append(char(interlace ? 1 : 0));
    chunk(png, "IHDR", ihdr);
    chunk(png, "gAMA", QByteArray("\x00\x00\xb1\x8f", 4)); // ignored
    if (!plte.isEmpty()) {
        QByteArray p;
        for (QRgb c : plte) {
            p.append(char(qRed(c)));
            p.append(char(qGreen(c)));
            p.append(char(qBlue(c)));
        }
        chunk(png, "PLTE", p);
    }
    if (split <= 0)
        split = int(z.size());
    for (qsizetype at = 0; at < z.size(); at += split)
        chunk(png, "IDAT", z.mid(at, split));
    chunk(png, "IEND", {});
    return png;
}

TBitmap decode(const QByteArray &png)
{
    TPNGImage img;
    img.loadFromBytes(png);
    TBitmap b;
    b.assign(img.bitmap());
    return b;
}

} // namespace

TEST(PNG, EveryColourTypeDepthAndInterlace)
{
    const QVector<QRgb> plte = {qRgb(10, 20, 30), qRgb(200, 100, 50), qRgb(0, 255, 0),  qRgb(255, 255, 255),
                                qRgb(1, 2, 3),    qRgb(4, 5, 6),      qRgb(7, 8, 9),    qRgb(90, 80, 70),
                                qRgb(11, 22, 33), qRgb(44, 55, 66),   qRgb(77, 88, 99), qRgb(12, 34, 56),
                                qRgb(65, 43, 21), qRgb(99, 0, 99),    qRgb(0, 99, 99),  qRgb(250, 0, 0)};
    struct Case {
        int colorType, depth, storedBits;
    } cases[] = {
        {0, 1, 1},  {0, 2, 4},   {0, 4, 4}, {0, 8, 8}, {0, 16, 8}, // gray
        {2, 8, 24}, {2, 16, 24},                                   // colour
        {3, 1, 1},  {3, 2, 4},   {3, 4, 4}, {3, 8, 8},             // palette
        {4, 8, 24}, {4, 16, 24},                                   // gray + alpha
        {6, 8, 24}, {6, 16, 24},                                   // colour + alpha
    };
    for (const Case &c : cases)
        for (bool interlace : {false, true})
            for (const QSize size : {QSize(13, 11), QSize(1, 1), QSize(3, 9)}) {
                SCOPED_TRACE(testing::Message()
                             << "type " << c.colorType << " depth " << c.depth << (interlace ? " adam7 " : " ")
                             << size.width() << "x" << size.height());
                const int max = (1 << c.depth) - 1;
                const Sample sample = [&](int x, int y) -> std::array<int, 4> {
                    const int v = (x * 7 + y * 13 + x * y) & max;
                    if (c.colorType == 3)
                        return {v % int(std::min(16, max + 1)), 0, 0, 0};
                    return {v, (v * 3 + 5) & max, (v * 5 + 1) & max, max - v};
                };
                const QByteArray png = makePng(size.width(), size.height(), c.depth, c.colorType, interlace, sample,
                                               c.colorType == 3 ? plte : QVector<QRgb>());
                const TBitmap b = decode(png);
                ASSERT_EQ(QSize(b.width(), b.height()), size);
                EXPECT_EQ(bitsPerPixel(b.pixelFormat()), c.storedBits);
                int mismatches = 0;
                for (int y = 0; y < size.height(); ++y)
                    for (int x = 0; x < size.width(); ++x) {
                        const auto v = sample(x, y);
                        const auto high = [&](int s) { return c.depth == 16 ? s >> 8 : s; };
                        QRgb want;
                        switch (c.colorType) {
                        case 0:
                            want = c.depth == 16 ? qRgb(high(v[0]), high(v[0]), high(v[0]))
                                                 : qRgb(v[0] * 255 / max, v[0] * 255 / max, v[0] * 255 / max);
                            break;
                        case 3:
                            want = plte[v[0]];
                            break;
                        case 4:
                            want = qRgb(high(v[0]), high(v[0]), high(v[0]));
                            break;
                        default:
                            want = qRgb(high(v[0]), high(v[1]), high(v[2]));
                        }
                        mismatches += b.pixel(x, y) != want;
                    }
                EXPECT_EQ(mismatches, 0);
            }
}

TEST(PNG, ImageDataSplitOverManyChunks)
{
    const Sample s = [](int x, int y) -> std::array<int, 4> { return {x * 3 & 255, y * 5 & 255, (x + y) & 255, 0}; };
    const QByteArray whole = makePng(40, 30, 8, 2, false, s);
    for (int split : {1, 7, 100}) {
        SCOPED_TRACE(split);
        EXPECT_TRUE(decode(makePng(40, 30, 8, 2, false, s, {}, split)).equals(decode(whole)));
    }
}

TEST(PNG, WrongCrcsAndUnknownChunksAreIgnored)
{
    const Sample s = [](int x, int y) -> std::array<int, 4> { return {x & 255, y & 255, 0, 0}; };
    QByteArray png = makePng(9, 9, 8, 2, false, s);
    const QByteArray good = png;
    png[29] = char(png[29] ^ 0xFF); // inside IHDR's CRC
    EXPECT_TRUE(decode(png).equals(decode(good)));
}

TEST(PNG, ErrorsAndTheirMessages)
{
    const Sample s = [](int x, int y) -> std::array<int, 4> { return {(x + y) & 3, 0, 0, 0}; };
    const QByteArray good = makePng(8, 8, 2, 3, false, s, {qRgb(1, 1, 1), qRgb(2, 2, 2), qRgb(3, 3, 3), qRgb(4, 4, 4)});
    const QByteArray sig = good.left(8);
    const auto withIhdr = [&](int depth, int type, int comp = 0, int filt = 0, int inter = 0) {
        QByteArray png = sig, ihdr;
        put32(ihdr, 8);
        put32(ihdr, 8);
        ihdr.append(char(depth)).append(char(type)).append(char(comp)).append(char(filt)).append(char(inter));
        chunk(png, "IHDR", ihdr);
        return png;
    };
    QByteArray twoIhdr = withIhdr(8, 0);
    twoIhdr += twoIhdr.mid(8);
    QByteArray plteFirst = sig;
    chunk(plteFirst, "PLTE", QByteArray(3, '\0'));
    QByteArray plteOdd = withIhdr(8, 3);
    chunk(plteOdd, "PLTE", QByteArray(4, '\0'));
    QByteArray plteLong = withIhdr(8, 3);
    chunk(plteLong, "PLTE", QByteArray(3 * 257, '\0'));
    QByteArray noPalette = withIhdr(8, 3);
    chunk(noPalette, "IDAT", QByteArray(10, '\0'));
    QByteArray twoIdat = good;
    twoIdat.chop(12); // IEND
    chunk(twoIdat, "tEXt", "after the image data");
    chunk(twoIdat, "IDAT", QByteArray(10, '\0'));
    chunk(twoIdat, "IEND", {});
    QByteArray iendSize = good;
    iendSize.chop(12);
    chunk(iendSize, "IEND", "x");
    // Image data cut after its first IDAT and followed by another chunk.
    QByteArray notNext = withIhdr(8, 0);
    {
        QByteArray raw(9 * 8, '\0');
        uLongf len = compressBound(uLong(raw.size()));
        QByteArray z(qsizetype(len), '\0');
        compress(reinterpret_cast<Bytef *>(z.data()), &len, reinterpret_cast<const Bytef *>(raw.constData()),
                 uLong(raw.size()));
        z.truncate(qsizetype(len));
        chunk(notNext, "IDAT", z.left(5));
        chunk(notNext, "tEXt", "x");
    }
    QByteArray badZlib = withIhdr(8, 0);
    chunk(badZlib, "IDAT", QByteArray("\x78\x9c\xff\xff\xff\xff\xff\xff", 8));
    QByteArray shortStream = withIhdr(8, 0);
    {
        QByteArray raw(9 * 4, '\0'); // half the rows
        uLongf len = compressBound(uLong(raw.size()));
        QByteArray z(qsizetype(len), '\0');
        compress(reinterpret_cast<Bytef *>(z.data()), &len, reinterpret_cast<const Bytef *>(raw.constData()),
                 uLong(raw.size()));
        z.truncate(qsizetype(len));
        chunk(shortStream, "IDAT", z);
        chunk(shortStream, "IEND", {});
    }
    QByteArray badFilter = withIhdr(8, 0);
    {
        QByteArray raw(9 * 8, '\0');
        raw[0] = 7;
        uLongf len = compressBound(uLong(raw.size()));
        QByteArray z(qsizetype(len), '\0');
        compress(reinterpret_cast<Bytef *>(z.data()), &len, reinterpret_cast<const Bytef *>(raw.constData()),
                 uLong(raw.size()));
        z.truncate(qsizetype(len));
        chunk(badFilter, "IDAT", z);
    }
    QByteArray huge = sig, hugeHdr;
    put32(hugeHdr, 100000);
    put32(hugeHdr, 100000);
    hugeHdr.append(char(8)).append(char(2)).append(3, '\0');
    chunk(huge, "IHDR", hugeHdr);
    chunk(huge, "IDAT", QByteArray(20, '\0'));

    struct Case {
        const char *name;
        QByteArray data;
        const char *message;
        bool png; // EPNGImage rather than the base class
    } cases[] = {
        {"signature", QByteArray("GIF89a..", 8) + good.mid(8), "Not PNG Image", true},
        {"two IHDR", twoIhdr, "appear two IHDR", false},
        {"colour type 1", withIhdr(8, 1), "Error ColorType", false},
        {"colour type 13 is 5", withIhdr(8, 13), "Error ColorType", false},
        {"gray depth 3", withIhdr(3, 0), "Error Bitdepth", false},
        {"gray+alpha depth 4", withIhdr(4, 4), "not Use AlphaChannel", false},
        {"colour depth 4", withIhdr(4, 2), "Error BitDepth", false},
        {"palette depth 16", withIhdr(16, 3), "Error BitDepth", false},
        {"compression 2", withIhdr(8, 0, 2), "not support Compression", false},
        {"filter method 2", withIhdr(8, 0, 0, 2), "not supprt Filter", false},
        {"interlace 2", withIhdr(8, 0, 0, 0, 2), "not interlace type", false},
        {"PLTE first", plteFirst, "Error PLTE", false},
        {"PLTE size", plteOdd, "palettesize error", false},
        {"PLTE 257", plteLong, "palette length over", false},
        {"palette none", noPalette, "Palette None", false},
        {"two IDAT", twoIdat, "appear two IDAT", false},
        {"IEND size", iendSize, "error IEND size", false},
        {"not next IDAT", notNext, "not next IDAT Chunk", false},
        {"zlib", badZlib, "zlib error", false},
        {"filter 7", badFilter, "not support Filter", false},
        {"stream ends early", shortStream, "PNG の画像データが途中で終わっています", true},
        {"absurd size", huge, "画像の大きさが不正です (100000 x 100000)", true},
        {"file cut short", good.left(good.size() - 20), "ｽﾄﾘｰﾑ読み込みｴﾗｰ", false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        TPNGImage img;
        try {
            img.loadFromBytes(c.data);
            ADD_FAILURE() << "no exception";
        } catch (const EPNGImage &e) {
            EXPECT_TRUE(c.png);
            EXPECT_EQ(e.message(), QString::fromUtf8(c.message));
        } catch (const Exception &e) {
            EXPECT_FALSE(c.png);
            EXPECT_EQ(e.message(), QString::fromUtf8(c.message));
        }
    }
}

TEST(PNG, EveryTruncationFailsCleanly)
{
    const Sample s = [](int x, int y) -> std::array<int, 4> { return {x & 255, y & 255, 7, 0}; };
    const QByteArray png = makePng(5, 4, 8, 2, true, s);
    for (qsizetype n = 0; n < png.size() - 12; ++n) { // up to IEND
        TPNGImage img;
        EXPECT_THROW(img.loadFromBytes(png.left(n)), Exception) << n;
    }
}

TEST(PNG, WriterStructureAndRoundTrips)
{
    // 24 bits: colour type 2, depth 8, a 256-entry PLTE, IDAT pieces of 32768 but the last.
    TBitmap big = TBitmap::fromImage(pattern(300, 300));
    big.setPixelFormat(TPixelFormat::pf24bit);
    TPNGImage png;
    png.assign(big);
    png.DeflateLevel = 1;
    const QByteArray bytes = png.saveToBytes();
    EXPECT_EQ(bytes.mid(12, 4), QByteArray("IHDR"));
    EXPECT_EQ(int(uint8_t(bytes[24])), 8);
    EXPECT_EQ(int(uint8_t(bytes[25])), 2);
    EXPECT_EQ(bytes.mid(33, 8), QByteArray("\x00\x00\x03\x00PLTE", 8));
    QList<int> idat;
    QByteArray stream;
    for (qsizetype at = 8; at < bytes.size();) {
        const uint32_t len = uint32_t(uint8_t(bytes[at])) << 24 | uint32_t(uint8_t(bytes[at + 1])) << 16 |
                             uint32_t(uint8_t(bytes[at + 2])) << 8 | uint8_t(bytes[at + 3]);
        if (bytes.mid(at + 4, 4) == "IDAT") {
            idat.append(int(len));
            stream += bytes.mid(at + 8, len);
        }
        at += 12 + len;
    }
    ASSERT_GE(idat.size(), 2);
    for (int i = 0; i + 1 < idat.size(); ++i)
        EXPECT_EQ(idat[i], 32768);
    EXPECT_LT(idat.last(), 32768);
    uLongf rawLen = 300 * (1 + 900);
    QByteArray raw(qsizetype(rawLen), '\0');
    ASSERT_EQ(uncompress(reinterpret_cast<Bytef *>(raw.data()), &rawLen,
                         reinterpret_cast<const Bytef *>(stream.constData()), uLong(stream.size())),
              Z_OK);
    for (int y = 0; y < 300; ++y)
        ASSERT_EQ(raw[y * 901], '\0') << "filter byte of row " << y;
    EXPECT_EQ(uint8_t(raw[1]), qRed(big.pixel(0, 0)));

    for (TPixelFormat pf : {TPixelFormat::pf1bit, TPixelFormat::pf4bit, TPixelFormat::pf8bit, TPixelFormat::pf24bit}) {
        SCOPED_TRACE(bitsPerPixel(pf));
        TBitmap b = TBitmap::fromImage(pattern(37, 21));
        b.setPixelFormat(pf);
        TPNGImage out;
        out.assign(b);
        const TBitmap back = decode(out.saveToBytes());
        ASSERT_EQ(back.pixelFormat(), pf);
        int mismatches = 0;
        for (int y = 0; y < 21; ++y)
            for (int x = 0; x < 37; ++x)
                mismatches += back.pixel(x, y) != b.pixel(x, y);
        EXPECT_EQ(mismatches, 0);
    }

    TPNGImage noTable;
    noTable.SetImageFormat(4, 4, 8);
    noTable.SetColorTable({}, 0);
    try {
        noTable.saveToBytes();
        ADD_FAILURE() << "no exception";
    } catch (const EPNGImage &e) {
        EXPECT_EQ(e.message(), "no colortable");
    }
    EXPECT_THROW(noTable.SetImageFormat(0, 4, 8), EPNGImage);
    EXPECT_THROW(noTable.SetColorTable({}, 257), EPNGImage);
}

TEST(PNG, NewImageAndClipboardBlock)
{
    TPNGImage fresh;
    EXPECT_EQ(QSize(fresh.width(), fresh.height()), QSize(8, 8));
    EXPECT_EQ(fresh.bitsPerPixel(), 1);
    EXPECT_TRUE(fresh.palette().isEmpty());
    EXPECT_FALSE(fresh.isEmpty());

    TBitmap b = TBitmap::fromImage(pattern(7, 5));
    b.setPixelFormat(TPixelFormat::pf8bit);
    TPNGImage a;
    a.assign(b);
    const QByteArray dib = a.SaveToClipboardFormat();
    TPNGImage c;
    c.LoadFromClipboardFormat(dib);
    EXPECT_TRUE(c.bitmap().equals(a.bitmap()));
    EXPECT_THROW(c.LoadFromClipboardFormat(QByteArray(12, '\0')), EPNGImage);
}
