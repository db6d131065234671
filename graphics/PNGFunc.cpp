#include "PNGImage.h"

#include <cstring>
#include <vector>

#include <zlib.h>

namespace {

constexpr uint8_t kSignature[8] = {137, 80, 78, 71, 13, 10, 26, 10};
constexpr size_t kBufferSize = 32768;

uint32_t be32(const uint8_t *p)
{
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
}

[[noreturn]] void fail(const char *message)
{
    throw Exception(std::string(message));
}

// The input, read only within its bounds: running past the end is the stream read error.
struct Input {
    const uint8_t *data;
    size_t size;
    size_t pos = 0;
    const uint8_t *take(size_t n)
    {
        if (n > size - pos)
            throw Exception(QStringLiteral("ｽﾄﾘｰﾑ読み込みｴﾗｰ"));
        const uint8_t *p = data + pos;
        pos += n;
        return p;
    }
};

struct Inflater {
    z_stream z{};
    bool ready = false;
    Inflater()
    {
        const int r = inflateInit(&z);
        if (r == Z_MEM_ERROR)
            throw std::bad_alloc();
        if (r != Z_OK)
            fail("ZLIB ERROR");
        ready = true;
    }
    ~Inflater()
    {
        if (ready)
            inflateEnd(&z);
    }
};

// One row's worth of conversion from the PNG's samples to the stored format.
enum class Conversion { None, Gray2To4, Gray16To8, GrayAlphaTo24, ColorTo24 };

struct Layout {
    int storedBits;
    Conversion conversion;
    int channels;
    int depth;
};

void paeth(uint8_t *row, const uint8_t *prev, size_t n, size_t bpp)
{
    for (size_t i = 0; i < n; ++i) {
        const int a = i >= bpp ? row[i - bpp] : 0;
        const int b = prev[i];
        const int c = i >= bpp ? prev[i - bpp] : 0;
        const int p = a + b - c;
        const int pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
        const int pred = (pa <= pb && pa <= pc) ? a : (pb <= pc ? b : c);
        row[i] = uint8_t(row[i] + pred);
    }
}

void unfilter(int type, uint8_t *row, const uint8_t *prev, size_t n, size_t bpp)
{
    switch (type) {
    case 0:
        return;
    case 1:
        for (size_t i = bpp; i < n; ++i)
            row[i] = uint8_t(row[i] + row[i - bpp]);
        return;
    case 2:
        for (size_t i = 0; i < n; ++i)
            row[i] = uint8_t(row[i] + prev[i]);
        return;
    case 3:
        for (size_t i = 0; i < n; ++i)
            row[i] = uint8_t(row[i] + ((i >= bpp ? row[i - bpp] : 0) + prev[i]) / 2);
        return;
    case 4:
        paeth(row, prev, n, bpp);
        return;
    default:
        fail("not support Filter");
    }
}

// Converts `pixels` pixels of src into dst in the stored format.
void convertRow(const Layout &l, const uint8_t *src, uint8_t *dst, int pixels)
{
    switch (l.conversion) {
    case Conversion::None:
        std::memcpy(dst, src, size_t((qint64(pixels) * l.storedBits + 7) / 8));
        return;
    case Conversion::Gray2To4:
        for (int i = 0; i < pixels; i += 2) {
            const int a = (src[i / 4] >> (6 - 2 * (i % 4))) & 3;
            const int b = i + 1 < pixels ? (src[(i + 1) / 4] >> (6 - 2 * ((i + 1) % 4))) & 3 : 0;
            dst[i / 2] = uint8_t(a << 4 | b);
        }
        return;
    case Conversion::Gray16To8:
        for (int i = 0; i < pixels; ++i)
            dst[i] = src[2 * i];
        return;
    case Conversion::GrayAlphaTo24: {
        const int step = l.depth == 16 ? 4 : 2;
        for (int i = 0; i < pixels; ++i) {
            const uint8_t g = src[i * step];
            dst[3 * i] = dst[3 * i + 1] = dst[3 * i + 2] = g;
        }
        return;
    }
    case Conversion::ColorTo24: {
        const int bytes = l.depth == 16 ? 2 : 1;
        const int step = bytes * l.channels;
        for (int i = 0; i < pixels; ++i) {
            const uint8_t *p = src + size_t(i) * size_t(step);
            dst[3 * i] = p[2 * bytes];
            dst[3 * i + 1] = p[bytes];
            dst[3 * i + 2] = p[0];
        }
        return;
    }
    }
}

// Puts a converted pass row into the image at columns start, start + step, ...
void spread(uint8_t *row, const uint8_t *conv, int bits, int start, int step, int pixels)
{
    for (int k = 0; k < pixels; ++k) {
        const int col = start + k * step;
        switch (bits) {
        case 1: {
            const bool on = (conv[k / 8] >> (7 - k % 8)) & 1;
            if (on)
                row[col / 8] |= uint8_t(0x80 >> (col % 8));
            else
                row[col / 8] &= uint8_t(~(0x80 >> (col % 8)));
            break;
        }
        case 4: {
            const int v = (k % 2) ? conv[k / 2] & 0x0F : conv[k / 2] >> 4;
            row[col / 2] = (col % 2) ? uint8_t((row[col / 2] & 0xF0) | v) : uint8_t((row[col / 2] & 0x0F) | (v << 4));
            break;
        }
        case 8:
            row[col] = conv[k];
            break;
        default:
            std::memcpy(row + 3 * col, conv + 3 * k, 3);
        }
    }
}

QVector<QRgb> grayRamp(int entries)
{
    QVector<QRgb> pal;
    const int step = entries > 1 ? 255 / (entries - 1) : 255;
    for (int i = 0; i < entries; ++i)
        pal.append(qRgb(i * step, i * step, i * step));
    return pal;
}

} // namespace

namespace PNGFunc {

void Read(const QByteArray &bytes, TBitmap &bitmap, const std::function<bool(int done, int total)> &rowsDone)
{
    Input in{reinterpret_cast<const uint8_t *>(bytes.constData()), size_t(bytes.size())};
    const uint8_t *sig = bytes.size() >= 8 ? in.take(8) : nullptr;
    if (!sig || std::memcmp(sig, kSignature, 8) != 0)
        throw EPNGImage(QStringLiteral("Not PNG Image"));
    Inflater inflater;

    bool haveHeader = false, havePalette = false, decoded = false;
    uint32_t width = 0, height = 0;
    int depth = 0, colorType = 0, interlace = 0;
    bool alpha = false;
    QVector<QRgb> plte;

    for (;;) {
        const uint8_t *head = in.take(8);
        const uint32_t length = be32(head);
        const uint8_t *type = head + 4;
        if (length > 0x7FFFFFFFu)
            throw Exception(QStringLiteral("ｽﾄﾘｰﾑ読み込みｴﾗｰ"));
        if (std::memcmp(type, "IHDR", 4) == 0) {
            if (haveHeader)
                fail("appear two IHDR");
            const uint8_t *d = in.take(length);
            if (length < 13)
                throw Exception(QStringLiteral("ｽﾄﾘｰﾑ読み込みｴﾗｰ"));
            width = be32(d);
            height = be32(d + 4);
            depth = d[8];
            colorType = d[9] % 8;
            if (colorType == 1 || colorType == 5 || colorType == 7)
                fail("Error ColorType");
            alpha = colorType & 4;
            const int base = colorType & 3;
            if (base == 0) {
                if (depth != 1 && depth != 2 && depth != 4 && depth != 8 && depth != 16)
                    fail("Error Bitdepth");
                if (alpha && depth < 8)
                    fail("not Use AlphaChannel");
            } else if (base == 2) {
                if (depth != 8 && depth != 16)
                    fail("Error BitDepth");
            } else if (depth != 1 && depth != 2 && depth != 4 && depth != 8) {
                fail("Error BitDepth");
            }
            if (d[10] > 1)
                fail("not support Compression");
            if (d[11] > 1)
                fail("not supprt Filter");
            if (d[12] > 1)
                fail("not interlace type");
            interlace = d[12];
            haveHeader = true;
            in.take(4);
        } else if (std::memcmp(type, "PLTE", 4) == 0) {
            if (!haveHeader || havePalette)
                fail("Error PLTE");
            if (length % 3 != 0)
                fail("palettesize error");
            if (length / 3 > 256)
                fail("palette length over");
            const uint8_t *d = in.take(length);
            for (uint32_t i = 0; i < length / 3; ++i)
                plte.append(qRgb(d[3 * i], d[3 * i + 1], d[3 * i + 2]));
            havePalette = true;
            in.take(4);
        } else if (std::memcmp(type, "IDAT", 4) == 0) {
            if (decoded)
                fail("appear two IDAT");
            if (!haveHeader)
                throw Exception(QStringLiteral("ｽﾄﾘｰﾑ読み込みｴﾗｰ"));
            // Choose the stored format.
            const int base = colorType & 3;
            Layout l{};
            l.depth = depth;
            l.channels = base == 2 ? (alpha ? 4 : 3) : (alpha ? 2 : 1);
            QVector<QRgb> table;
            if (base == 0 && !alpha) {
                if (depth == 2) {
                    l = {4, Conversion::Gray2To4, 1, depth};
                    table = {qRgb(0, 0, 0), qRgb(85, 85, 85), qRgb(170, 170, 170), qRgb(255, 255, 255)};
                } else if (depth == 16) {
                    l = {8, Conversion::Gray16To8, 1, depth};
                    table = grayRamp(256);
                } else {
                    l = {depth, Conversion::None, 1, depth};
                    table = grayRamp(1 << depth);
                }
            } else if (base == 3) {
                if (plte.isEmpty())
                    fail("Palette None");
                l = {depth == 2 ? 4 : depth, depth == 2 ? Conversion::Gray2To4 : Conversion::None, 1, depth};
                table = plte;
            } else {
                l.storedBits = 24;
                l.conversion = base == 0 ? Conversion::GrayAlphaTo24 : Conversion::ColorTo24;
                table = plte.isEmpty() ? TPNGImage::DefaultPalette() : plte;
            }
            // A tiny file may claim any size: refuse what cannot be held before allocating it.
            if (width == 0 || height == 0 || width > uint32_t(kMaxBitmapSide) || height > uint32_t(kMaxBitmapSide) ||
                qint64(width) * height > kMaxBitmapPixels)
                throw EPNGImage(QStringLiteral("画像の大きさが不正です (%1 x %2)").arg(width).arg(height));
            const TPixelFormat pf = l.storedBits == 1   ? TPixelFormat::pf1bit
                                    : l.storedBits == 4 ? TPixelFormat::pf4bit
                                    : l.storedBits == 8 ? TPixelFormat::pf8bit
                                                        : TPixelFormat::pf24bit;
            TBitmap out(int(width), int(height), pf);
            out.setPalette(table);
            const int srcBits = depth * l.channels;
            const size_t bpp = size_t((srcBits + 7) / 8);
            const size_t maxRow = (size_t(width) * size_t(srcBits) + 7) / 8;
            std::vector<uint8_t> cur(maxRow + 1), prev(maxRow + 1), conv(size_t(width) * 3 + 8);

            // The compressed data: this chunk, then the IDAT chunks right after it.
            size_t chunkLeft = length;
            z_stream &z = inflater.z;
            z.avail_in = 0;
            bool streamEnded = false;
            const auto inflateExactly = [&](uint8_t *dst, size_t n) {
                z.next_out = dst;
                z.avail_out = uInt(n);
                while (z.avail_out > 0) {
                    if (streamEnded)
                        throw EPNGImage(QStringLiteral("PNG の画像データが途中で終わっています"));
                    if (z.avail_in == 0) {
                        while (chunkLeft == 0) {
                            in.take(4); // the CRC, not checked
                            const uint8_t *h = in.take(8);
                            if (std::memcmp(h + 4, "IDAT", 4) != 0)
                                fail("not next IDAT Chunk");
                            chunkLeft = be32(h);
                        }
                        const size_t feed = std::min(chunkLeft, kBufferSize);
                        z.next_in = const_cast<Bytef *>(in.take(feed));
                        z.avail_in = uInt(feed);
                        chunkLeft -= feed;
                    }
                    const int r = inflate(&z, Z_NO_FLUSH);
                    if (r == Z_STREAM_END) {
                        streamEnded = true;
                        if (z.avail_out > 0)
                            throw EPNGImage(QStringLiteral("PNG の画像データが途中で終わっています"));
                    } else if (r != Z_OK && r != Z_BUF_ERROR) {
                        fail("zlib error");
                    }
                }
            };

            struct Pass {
                int startCol, colStep, rowMod, rowRem;
            };
            static const Pass adam7[7] = {{0, 8, 8, 0}, {4, 8, 8, 0}, {0, 4, 8, 4}, {2, 4, 4, 0},
                                          {0, 2, 4, 2}, {1, 2, 2, 0}, {0, 1, 2, 1}};
            static const Pass whole = {0, 1, 1, 0};
            const int passes = interlace ? 7 : 1;
            for (int pass = 0; pass < passes; ++pass) {
                const Pass &p = interlace ? adam7[pass] : whole;
                if (interlace && ((pass == 1 && width < 5) || (pass == 2 && height < 5) || (pass == 3 && width < 3) ||
                                  (pass == 4 && height < 3) || (pass == 5 && width < 2) || (pass == 6 && height < 2)))
                    continue;
                const int pixels = int((int64_t(width) - p.startCol + p.colStep - 1) / p.colStep);
                if (pixels <= 0)
                    continue;
                const size_t rowBytes = (size_t(pixels) * size_t(srcBits) + 7) / 8;
                std::fill(prev.begin(), prev.end(), 0);
                for (uint32_t r = 0; r < height; ++r) {
                    const uint32_t done = uint32_t(pass) * height + r;
                    if (rowsDone && (r & 255) == 0 && done > 0 && !rowsDone(int(done), int(uint32_t(passes) * height)))
                        throw EAbort();
                    if (int(r % uint32_t(p.rowMod)) != p.rowRem)
                        continue;
                    inflateExactly(cur.data(), rowBytes + 1);
                    unfilter(cur[0], cur.data() + 1, prev.data() + 1, rowBytes, bpp);
                    uint8_t *dst = out.scanLine(int(r));
                    if (!interlace) {
                        convertRow(l, cur.data() + 1, dst, pixels);
                    } else {
                        convertRow(l, cur.data() + 1, conv.data(), pixels);
                        spread(dst, conv.data(), l.storedBits, p.startCol, p.colStep, pixels);
                    }
                    std::swap(cur, prev);
                }
            }
            in.take(chunkLeft); // the rest of this chunk and its CRC
            in.take(4);
            // Encoders split the image data over consecutive IDAT chunks as they please, and the
            // end of the zlib stream may sit in a later one: those belong to this image. Only an
            // IDAT after some other chunk is a second image.
            while (in.size - in.pos >= 8 && std::memcmp(in.data + in.pos + 4, "IDAT", 4) == 0) {
                const uint32_t n = be32(in.take(8));
                in.take(n);
                in.take(4);
            }
            bitmap.assign(out);
            decoded = true;
        } else if (std::memcmp(type, "IEND", 4) == 0) {
            if (length != 0)
                fail("error IEND size");
            break;
        } else {
            in.take(length);
            in.take(4);
        }
    }
    if (!decoded)
        throw Exception(QStringLiteral("ｽﾄﾘｰﾑ読み込みｴﾗｰ"));
}

QByteArray Write(const TBitmap &bmp, int deflateLevel)
{
    const int bits = bitsPerPixel(bmp.pixelFormat());
    if (bits != 1 && bits != 4 && bits != 8 && bits != 24)
        throw EPNGImage(QStringLiteral("not support BitCount"));
    const QVector<QRgb> table = bmp.palette();
    if (bits <= 8 && table.isEmpty())
        throw EPNGImage(QStringLiteral("no colortable"));
    const int level = deflateLevel == 1 ? 1 : deflateLevel == 2 ? 9 : Z_DEFAULT_COMPRESSION;
    z_stream z{};
    const int init = deflateInit(&z, level);
    if (init == Z_MEM_ERROR)
        throw std::bad_alloc();
    if (init != Z_OK)
        throw EPNGImage(QStringLiteral("Zlib error"));
    struct End {
        z_stream &z;
        ~End() { deflateEnd(&z); }
    } end{z};

    QByteArray out(reinterpret_cast<const char *>(kSignature), 8);
    const auto chunk = [&](const char *type, const QByteArray &data) {
        const uint32_t n = uint32_t(data.size());
        const char len[4] = {char(n >> 24), char(n >> 16), char(n >> 8), char(n)};
        out.append(len, 4);
        QByteArray body(type, 4);
        body += data;
        out += body;
        const uLong crc = crc32(0, reinterpret_cast<const Bytef *>(body.constData()), uInt(body.size()));
        const char c[4] = {char(crc >> 24), char(crc >> 16), char(crc >> 8), char(crc)};
        out.append(c, 4);
    };
    const int w = bmp.width(), h = bmp.height();
    QByteArray ihdr(13, '\0');
    for (int i = 0; i < 4; ++i) {
        ihdr[i] = char(uint32_t(w) >> (24 - 8 * i));
        ihdr[4 + i] = char(uint32_t(h) >> (24 - 8 * i));
    }
    ihdr[8] = char(bits == 24 ? 8 : bits);
    ihdr[9] = char(bits == 24 ? 2 : 3);
    chunk("IHDR", ihdr);
    QByteArray plte;
    const int entries = bits == 24 ? 256 : int(table.size());
    for (int i = 0; i < entries; ++i) {
        const QRgb c = i < table.size() ? table[i] : TPNGImage::DefaultPalette()[i];
        plte.append(char(qRed(c)));
        plte.append(char(qGreen(c)));
        plte.append(char(qBlue(c)));
    }
    chunk("PLTE", plte);

    const size_t rowBytes = (size_t(w) * size_t(bits) + 7) / 8;
    std::vector<uint8_t> row(rowBytes + 1);
    QByteArray buf(int(kBufferSize), '\0');
    z.next_out = reinterpret_cast<Bytef *>(buf.data());
    z.avail_out = uInt(kBufferSize);
    const auto drain = [&] {
        if (z.avail_out == 0) {
            chunk("IDAT", buf);
            z.next_out = reinterpret_cast<Bytef *>(buf.data());
            z.avail_out = uInt(kBufferSize);
        }
    };
    for (int y = 0; y < h; ++y) {
        const uint8_t *src = bmp.constScanLine(y);
        row[0] = 0;
        if (bits == 24) {
            for (int x = 0; x < w; ++x) {
                row[1 + 3 * size_t(x)] = src[3 * x + 2];
                row[2 + 3 * size_t(x)] = src[3 * x + 1];
                row[3 + 3 * size_t(x)] = src[3 * x];
            }
        } else {
            std::memcpy(row.data() + 1, src, rowBytes);
        }
        z.next_in = row.data();
        z.avail_in = uInt(row.size());
        while (z.avail_in > 0) {
            if (deflate(&z, Z_NO_FLUSH) == Z_STREAM_ERROR)
                throw EPNGImage(QStringLiteral("ZLIB Error"));
            drain();
        }
    }
    for (;;) {
        const int r = deflate(&z, Z_FINISH);
        if (r == Z_STREAM_ERROR)
            throw EPNGImage(QStringLiteral("ZLIB error"));
        if (r == Z_STREAM_END)
            break;
        drain();
    }
    chunk("IDAT", buf.left(int(kBufferSize - z.avail_out)));
    chunk("IEND", QByteArray());
    return out;
}

} // namespace PNGFunc
