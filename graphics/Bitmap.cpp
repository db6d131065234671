#include "Bitmap.h"

#include <QIODevice>
#include <QPainter>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

namespace {

const QString kInvalidBitmap = QStringLiteral("ﾋﾞｯﾄﾏｯﾌﾟ ｲﾒｰｼﾞが正しくありません");

qsizetype strideFor(int width, int bits)
{
    return ((qsizetype(width) * bits + 31) / 32) * 4;
}

QVector<QRgb> standardPalette(int bits)
{
    QVector<QRgb> pal;
    if (bits == 1) {
        pal = {qRgb(0, 0, 0), qRgb(255, 255, 255)};
    } else if (bits == 4) {
        static const QRgb vga[16] = {0x000000, 0x800000, 0x008000, 0x808000, 0x000080, 0x800080, 0x008080, 0x808080,
                                     0xC0C0C0, 0xFF0000, 0x00FF00, 0xFFFF00, 0x0000FF, 0xFF00FF, 0x00FFFF, 0xFFFFFF};
        for (QRgb c : vga)
            pal.append(0xFF000000u | c);
    } else {
        // 6 x 7 x 6 colour cube: 252 entries spread evenly, a common choice for 8-bit displays.
        for (int r = 0; r < 6; ++r)
            for (int g = 0; g < 7; ++g)
                for (int b = 0; b < 6; ++b)
                    pal.append(qRgb(r * 51, g * 255 / 6, b * 51));
    }
    return pal;
}

int nearestIndex(const QVector<QRgb> &pal, QRgb c)
{
    int best = 0;
    int bestDist = INT32_MAX;
    for (int i = 0; i < pal.size(); ++i) {
        const int dr = qRed(pal[i]) - qRed(c), dg = qGreen(pal[i]) - qGreen(c), db = qBlue(pal[i]) - qBlue(c);
        const int d = dr * dr + dg * dg + db * db;
        if (d < bestDist) {
            bestDist = d;
            best = i;
            if (d == 0)
                break;
        }
    }
    return best;
}

uint16_t rd16(const uint8_t *p)
{
    return uint16_t(p[0] | (p[1] << 8));
}
uint32_t rd32(const uint8_t *p)
{
    return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}
void wr16(QByteArray &out, uint16_t v)
{
    out.append(char(v & 0xFF));
    out.append(char(v >> 8));
}
void wr32(QByteArray &out, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        out.append(char((v >> (8 * i)) & 0xFF));
}

// Extracts a colour channel described by a BMP bit mask and scales it to 0..255.
struct Channel {
    uint32_t mask = 0;
    int shift = 0;
    int bits = 0;
    explicit Channel(uint32_t m) : mask(m)
    {
        if (!m)
            return;
        while (!((m >> shift) & 1))
            ++shift;
        while (bits + shift < 32 && ((m >> (shift + bits)) & 1))
            ++bits;
    }
    int value(uint32_t px) const
    {
        if (!bits)
            return 0;
        const uint32_t v = (px & mask) >> shift;
        const uint32_t max = bits >= 32 ? 0xFFFFFFFFu : ((1u << bits) - 1);
        return int((uint64_t(v) * 255 + max / 2) / max);
    }
};

} // namespace

struct TBitmap::Pixels {
    int width = 0;
    int height = 0;
    TPixelFormat format = TPixelFormat::pf24bit;
    qsizetype stride = 0;
    struct Free {
        void operator()(uint8_t *p) const { std::free(p); }
    };
    // malloc'd, so a block from a plug-in can become a bitmap's pixels as it is.
    std::unique_ptr<uint8_t, Free> data;
    QVector<QRgb> palette;

    static std::shared_ptr<Pixels> make(int w, int h, TPixelFormat pf, bool zero)
    {
        if (w < 0 || h < 0 || w > kMaxBitmapSide || h > kMaxBitmapSide || qint64(w) * h > kMaxBitmapPixels)
            throw EInvalidGraphic(QStringLiteral("ﾋﾞｯﾄﾏｯﾌﾟの大きさが不正です (%1 x %2)").arg(w).arg(h));
        auto p = std::make_shared<Pixels>();
        p->width = w;
        p->height = h;
        p->format = pf;
        p->stride = strideFor(w, bitsPerPixel(pf));
        const size_t bytes = size_t(p->stride) * size_t(h);
        if (bytes) {
            // Decoders overwrite every row, so only a resize or a fresh bitmap pays for zeroing.
            p->data.reset(static_cast<uint8_t *>(zero ? std::calloc(bytes, 1) : std::malloc(bytes)));
            if (!p->data)
                throw std::bad_alloc();
        }
        return p;
    }
    uint8_t *row(int y) { return data.get() + qsizetype(y) * stride; }
    const uint8_t *row(int y) const { return data.get() + qsizetype(y) * stride; }

    QRgb colorAt(int x, int y) const
    {
        const uint8_t *r = row(y);
        auto fromPal = [&](int i) { return i < palette.size() ? palette[i] : qRgb(0, 0, 0); };
        switch (format) {
        case TPixelFormat::pf1bit:
            return fromPal((r[x >> 3] >> (7 - (x & 7))) & 1);
        case TPixelFormat::pf4bit:
            return fromPal((x & 1) ? (r[x >> 1] & 0x0F) : (r[x >> 1] >> 4));
        case TPixelFormat::pf8bit:
            return fromPal(r[x]);
        case TPixelFormat::pf24bit:
            return qRgb(r[x * 3 + 2], r[x * 3 + 1], r[x * 3]);
        case TPixelFormat::pf32bit:
            return qRgb(r[x * 4 + 2], r[x * 4 + 1], r[x * 4]);
        }
        return 0;
    }
    void setIndex(int x, int y, int i)
    {
        uint8_t *r = row(y);
        switch (format) {
        case TPixelFormat::pf1bit:
            r[x >> 3] = uint8_t((r[x >> 3] & ~(0x80 >> (x & 7))) | ((i & 1) << (7 - (x & 7))));
            break;
        case TPixelFormat::pf4bit:
            r[x >> 1] = (x & 1) ? uint8_t((r[x >> 1] & 0xF0) | (i & 0x0F)) : uint8_t((r[x >> 1] & 0x0F) | (i << 4));
            break;
        default:
            r[x] = uint8_t(i);
        }
    }
    void setColor(int x, int y, QRgb c)
    {
        uint8_t *r = row(y);
        const int n = format == TPixelFormat::pf24bit ? 3 : 4;
        r[x * n] = uint8_t(qBlue(c));
        r[x * n + 1] = uint8_t(qGreen(c));
        r[x * n + 2] = uint8_t(qRed(c));
        if (n == 4)
            r[x * n + 3] = 0;
    }
};

int bitsPerPixel(TPixelFormat pf)
{
    switch (pf) {
    case TPixelFormat::pf1bit:
        return 1;
    case TPixelFormat::pf4bit:
        return 4;
    case TPixelFormat::pf8bit:
        return 8;
    case TPixelFormat::pf24bit:
        return 24;
    case TPixelFormat::pf32bit:
        return 32;
    }
    return 24;
}

TBitmap::TBitmap(int width, int height, TPixelFormat pf)
{
    m_pixels = Pixels::make(width, height, pf, true);
    if (bitsPerPixel(pf) <= 8)
        m_pixels->palette = standardPalette(bitsPerPixel(pf));
}

TBitmap::~TBitmap() = default;

TBitmap::TBitmap(TBitmap &&other) noexcept
{
    *this = std::move(other);
}

TBitmap &TBitmap::operator=(TBitmap &&other) noexcept
{
    m_pixels = std::move(other.m_pixels);
    m_view = std::move(other.m_view);
    m_transparentColor = other.m_transparentColor;
    m_transparentFixed = other.m_transparentFixed;
    m_transparent = other.m_transparent;
    other.m_view = QImage();
    return *this;
}

std::unique_ptr<TGraphic> TBitmap::clone() const
{
    auto b = std::make_unique<TBitmap>();
    b->m_pixels = m_pixels;
    b->m_transparentColor = m_transparentColor;
    b->m_transparentFixed = m_transparentFixed;
    b->m_transparent = m_transparent;
    return b;
}

void TBitmap::assign(const TGraphic &source)
{
    if (&source == this)
        return;
    if (auto *b = dynamic_cast<const TBitmap *>(&source)) {
        replacePixels(b->m_pixels);
        m_transparentColor = b->m_transparentColor;
        m_transparentFixed = b->m_transparentFixed;
        m_transparent = b->m_transparent;
        changed();
        return;
    }
    TGraphic::assign(source);
}

bool TBitmap::assignTo(TGraphic &dest) const
{
    if (auto *b = dynamic_cast<TBitmap *>(&dest)) {
        b->assign(*this);
        return true;
    }
    return false;
}

void TBitmap::replacePixels(std::shared_ptr<Pixels> p)
{
    m_pixels = std::move(p);
    m_view = QImage();
}

void TBitmap::detach()
{
    m_view = QImage();
    if (!m_pixels || m_pixels.use_count() == 1)
        return;
    auto copy = Pixels::make(m_pixels->width, m_pixels->height, m_pixels->format, false);
    copy->palette = m_pixels->palette;
    if (copy->data)
        std::memcpy(copy->data.get(), m_pixels->data.get(), size_t(copy->stride) * size_t(copy->height));
    m_pixels = std::move(copy);
}

int TBitmap::width() const
{
    return m_pixels ? m_pixels->width : 0;
}

int TBitmap::height() const
{
    return m_pixels ? m_pixels->height : 0;
}

void TBitmap::allocate(int width, int height, TPixelFormat pf)
{
    replacePixels(Pixels::make(width, height, pf, false));
    changed();
}

TPixelFormat TBitmap::pixelFormat() const
{
    return m_pixels ? m_pixels->format : TPixelFormat::pf24bit;
}

void TBitmap::setSize(int width, int height)
{
    if (width == this->width() && height == this->height() && m_pixels)
        return;
    const TPixelFormat pf = pixelFormat();
    auto p = Pixels::make(width, height, pf, true);
    if (m_pixels) {
        p->palette = m_pixels->palette;
        const int rows = std::min(height, m_pixels->height);
        const qsizetype bytes = std::min(p->stride, m_pixels->stride);
        for (int y = 0; y < rows; ++y)
            std::memcpy(p->row(y), m_pixels->row(y), size_t(bytes));
    } else if (bitsPerPixel(pf) <= 8) {
        p->palette = standardPalette(bitsPerPixel(pf));
    }
    replacePixels(std::move(p));
    changed();
}

void TBitmap::setPixelFormat(TPixelFormat pf)
{
    if (!m_pixels) {
        m_pixels = Pixels::make(0, 0, pf, true);
        if (bitsPerPixel(pf) <= 8)
            m_pixels->palette = standardPalette(bitsPerPixel(pf));
        return;
    }
    const Pixels &src = *m_pixels;
    if (pf == src.format)
        return;
    auto p = Pixels::make(src.width, src.height, pf, true);
    const int bits = bitsPerPixel(pf);
    if (bits <= 8) {
        const bool srcIndexed = bitsPerPixel(src.format) <= 8;
        p->palette = (srcIndexed && src.palette.size() <= (1 << bits)) ? src.palette : standardPalette(bits);
        const bool sameIndices = srcIndexed && p->palette == src.palette;
        for (int y = 0; y < src.height; ++y)
            for (int x = 0; x < src.width; ++x) {
                if (sameIndices) {
                    const QRgb c = src.colorAt(x, y);
                    p->setIndex(x, y, int(src.palette.indexOf(c)));
                } else {
                    p->setIndex(x, y, nearestIndex(p->palette, src.colorAt(x, y)));
                }
            }
    } else if (src.format == TPixelFormat::pf24bit && pf == TPixelFormat::pf32bit) {
        for (int y = 0; y < src.height; ++y) {
            const uint8_t *s = src.row(y);
            auto *d = reinterpret_cast<uint32_t *>(p->row(y));
            for (int x = 0; x < src.width; ++x, s += 3)
                d[x] = uint32_t(s[0]) | (uint32_t(s[1]) << 8) | (uint32_t(s[2]) << 16);
        }
    } else if (src.format == TPixelFormat::pf32bit && pf == TPixelFormat::pf24bit) {
        for (int y = 0; y < src.height; ++y) {
            const uint8_t *s = src.row(y);
            uint8_t *d = p->row(y);
            for (int x = 0; x < src.width; ++x, s += 4, d += 3) {
                d[0] = s[0];
                d[1] = s[1];
                d[2] = s[2];
            }
        }
    } else if (src.format == TPixelFormat::pf8bit) {
        QRgb lut[256];
        for (int i = 0; i < 256; ++i)
            lut[i] = i < src.palette.size() ? src.palette[i] : qRgb(0, 0, 0);
        for (int y = 0; y < src.height; ++y) {
            const uint8_t *s = src.row(y);
            for (int x = 0; x < src.width; ++x)
                p->setColor(x, y, lut[s[x]]);
        }
    } else {
        for (int y = 0; y < src.height; ++y)
            for (int x = 0; x < src.width; ++x)
                p->setColor(x, y, src.colorAt(x, y));
    }
    replacePixels(std::move(p));
    changed();
}

QVector<QRgb> TBitmap::palette() const
{
    return m_pixels ? m_pixels->palette : QVector<QRgb>();
}

void TBitmap::setPalette(const QVector<QRgb> &colors)
{
    if (!m_pixels)
        m_pixels = Pixels::make(0, 0, TPixelFormat::pf8bit, true);
    detach();
    const int bits = bitsPerPixel(m_pixels->format);
    m_pixels->palette = colors.mid(0, bits <= 8 ? (1 << bits) : 256);
    m_paletteModified = true;
    changed();
}

uint8_t *TBitmap::scanLine(int y)
{
    Q_ASSERT(m_pixels && y >= 0 && y < m_pixels->height);
    detach();
    return m_pixels->row(y);
}

const uint8_t *TBitmap::constScanLine(int y) const
{
    Q_ASSERT(m_pixels && y >= 0 && y < m_pixels->height);
    return m_pixels->row(y);
}

qsizetype TBitmap::bytesPerLine() const
{
    return m_pixels ? m_pixels->stride : 0;
}

QRgb TBitmap::pixel(int x, int y) const
{
    Q_ASSERT(m_pixels && x >= 0 && y >= 0 && x < m_pixels->width && y < m_pixels->height);
    return m_pixels->colorAt(x, y);
}

QImage TBitmap::imageView() const
{
    if (!m_view.isNull() || isEmpty())
        return m_view;
    const Pixels &p = *m_pixels;
    QImage::Format f = QImage::Format_Invalid;
    switch (p.format) {
    case TPixelFormat::pf1bit:
        f = QImage::Format_Mono;
        break;
    case TPixelFormat::pf8bit:
        f = QImage::Format_Indexed8;
        break;
    case TPixelFormat::pf24bit:
        f = QImage::Format_BGR888;
        break;
    case TPixelFormat::pf32bit:
        f = QImage::Format_RGB32;
        break;
    case TPixelFormat::pf4bit:
        break;
    }
    if (f == QImage::Format_Invalid) {
        // Qt has no 4-bit format: widen to 8 bits once and cache that.
        QImage img(p.width, p.height, QImage::Format_Indexed8);
        for (int y = 0; y < p.height; ++y) {
            const uint8_t *s = p.row(y);
            uchar *d = img.scanLine(y);
            for (int x = 0; x < p.width; ++x)
                d[x] = (x & 1) ? (s[x >> 1] & 0x0F) : (s[x >> 1] >> 4);
        }
        img.setColorTable(p.palette);
        m_view = img;
    } else {
        m_view = QImage(p.data.get(), p.width, p.height, p.stride, f);
        if (bitsPerPixel(p.format) <= 8) {
            QVector<QRgb> table = p.palette;
            // Indices beyond the palette must still name a colour for Qt.
            table.resize(1 << bitsPerPixel(p.format), qRgb(0, 0, 0));
            m_view.setColorTable(table);
        }
    }
    return m_view;
}

QImage TBitmap::toImage() const
{
    if (isEmpty())
        return QImage();
    return imageView().convertToFormat(QImage::Format_RGB32);
}

TBitmap TBitmap::fromImage(const QImage &image)
{
    TBitmap b;
    if (image.isNull())
        return b;
    const QImage src = image.convertToFormat(QImage::Format_RGB32);
    b.m_pixels = Pixels::make(src.width(), src.height(), TPixelFormat::pf32bit, false);
    for (int y = 0; y < src.height(); ++y)
        std::memcpy(b.m_pixels->row(y), src.constScanLine(y), size_t(src.width()) * 4);
    return b;
}

QRgb TBitmap::effectiveTransparentColor() const
{
    if (m_transparentFixed || isEmpty())
        return m_transparentColor;
    return pixel(0, height() - 1);
}

void TBitmap::draw(QPainter &painter, const QRect &dest)
{
    if (isEmpty())
        return;
    if (!transparent()) {
        drawStretched(painter, dest, imageView());
        return;
    }
    QImage masked = toImage().convertToFormat(QImage::Format_ARGB32);
    const QRgb key = effectiveTransparentColor() & 0xFFFFFF;
    for (int y = 0; y < masked.height(); ++y) {
        auto *row = reinterpret_cast<QRgb *>(masked.scanLine(y));
        for (int x = 0; x < masked.width(); ++x)
            if ((row[x] & 0xFFFFFF) == key)
                row[x] = 0;
    }
    drawStretched(painter, dest, masked);
}

bool TBitmap::equals(const TGraphic &other) const
{
    auto *b = dynamic_cast<const TBitmap *>(&other);
    if (!b)
        return false;
    if (b->m_pixels == m_pixels)
        return true;
    if (b->width() != width() || b->height() != height() || b->pixelFormat() != pixelFormat() ||
        b->palette() != palette())
        return false;
    const qsizetype used = (qsizetype(width()) * bitsPerPixel(pixelFormat()) + 7) / 8;
    for (int y = 0; y < height(); ++y)
        if (std::memcmp(constScanLine(y), b->constScanLine(y), size_t(used)) != 0)
            return false;
    return true;
}

void drawStretched(QPainter &painter, const QRect &dest, const QImage &image)
{
    if (image.isNull() || dest.isEmpty())
        return;
    QRectF visible = dest;
    if (painter.hasClipping())
        visible = visible.intersected(painter.clipBoundingRect());
    if (visible.isEmpty())
        return;
    const double sx = double(image.width()) / dest.width();
    const double sy = double(image.height()) / dest.height();
    // Whole source pixels that cover the visible part; when enlarging, only these are
    // converted to the format Qt scales fastest, never the whole picture.
    const QRect source = QRectF((visible.left() - dest.left()) * sx, (visible.top() - dest.top()) * sy,
                                visible.width() * sx, visible.height() * sy)
                             .toAlignedRect()
                             .intersected(image.rect());
    if (source.isEmpty())
        return;
    const QRectF target(dest.left() + source.left() / sx, dest.top() + source.top() / sy, source.width() / sx,
                        source.height() / sy);
    // Shrinking samples a few of many source pixels: Qt reads just those from the picture
    // itself, while converting the covered area first would touch all of them.
    const bool direct = image.format() == QImage::Format_RGB32 || image.format() == QImage::Format_ARGB32 ||
                        image.format() == QImage::Format_ARGB32_Premultiplied || sx > 1 || sy > 1;
    if (direct)
        painter.drawImage(target, image, source);
    else
        painter.drawImage(target, image.copy(source).convertToFormat(QImage::Format_RGB32));
}

// ---- BMP ----------------------------------------------------------------------------------

void TBitmap::loadFromStream(QIODevice &stream)
{
    const QByteArray bytes = stream.readAll();
    loadFromBytes(bytes.constData(), bytes.size());
}

void TBitmap::loadFromBytes(const char *data, qint64 size)
{
    const auto *d = reinterpret_cast<const uint8_t *>(data);
    if (size < 14 + 12 || d[0] != 'B' || d[1] != 'M')
        throw EInvalidGraphic(kInvalidBitmap);
    const uint32_t offBits = rd32(d + 10);
    // An offset into the file header itself cannot be right; 0 means "after the palette".
    if (offBits != 0 && offBits < 14)
        throw EInvalidGraphic(kInvalidBitmap);
    loadDib(d + 14, size - 14, offBits == 0 ? 0 : qint64(offBits) - 14, nullptr, 0);
}

void TBitmap::loadFromDib(const uint8_t *info, qint64 infoSize, const uint8_t *pixels, qint64 pixelsSize)
{
    loadDib(info, infoSize, 0, pixels, pixelsSize);
}

void TBitmap::loadFromDibOwned(const uint8_t *info, qint64 infoSize, uint8_t *pixels, qint64 pixelsSize)
{
    loadDib(info, infoSize, 0, pixels, pixelsSize, pixels);
}

void TBitmap::loadDib(const uint8_t *ih, qint64 infoSize, qint64 pixelOffset, const uint8_t *pixels, qint64 pixelsSize,
                      uint8_t *owned)
{
    // Freed on every way out unless the bitmap takes it.
    std::unique_ptr<uint8_t, Pixels::Free> ownedBlock(owned);
    if (infoSize < 12)
        throw EInvalidGraphic(kInvalidBitmap);
    const uint32_t ihSize = rd32(ih);
    if (ihSize < 12 || qint64(ihSize) > infoSize)
        throw EInvalidGraphic(kInvalidBitmap);

    int32_t w, h;
    int bits;
    uint32_t compression = 0, colorsUsed = 0;
    uint32_t masks[3] = {0, 0, 0};
    const bool core = ihSize < 40;
    if (core) {
        w = rd16(ih + 4);
        h = int16_t(rd16(ih + 6));
        bits = rd16(ih + 10);
    } else {
        w = int32_t(rd32(ih + 4));
        h = int32_t(rd32(ih + 8));
        bits = rd16(ih + 14);
        compression = rd32(ih + 16);
        colorsUsed = rd32(ih + 32);
    }
    qint64 pos = qint64(ihSize);
    enum { BI_RGB = 0, BI_RLE8 = 1, BI_RLE4 = 2, BI_BITFIELDS = 3 };
    if (compression == BI_BITFIELDS) {
        if (ihSize >= 52) {
            for (int i = 0; i < 3; ++i)
                masks[i] = rd32(ih + 40 + 4 * i);
        } else {
            if (pos + 12 > infoSize)
                throw EInvalidGraphic(kInvalidBitmap);
            for (int i = 0; i < 3; ++i)
                masks[i] = rd32(ih + pos + 4 * i);
            pos += 12;
        }
    }
    const bool topDown = h < 0;
    if (w <= 0 || h == 0 || h == INT32_MIN)
        throw EInvalidGraphic(kInvalidBitmap);
    h = topDown ? -h : h;
    const bool validCombo =
        (compression == BI_RGB && (bits == 1 || bits == 4 || bits == 8 || bits == 16 || bits == 24 || bits == 32)) ||
        (compression == BI_RLE8 && bits == 8) || (compression == BI_RLE4 && bits == 4) ||
        (compression == BI_BITFIELDS && (bits == 16 || bits == 32));
    if (!validCombo || (topDown && (compression == BI_RLE8 || compression == BI_RLE4)))
        throw EInvalidGraphic(kInvalidBitmap);
    if (qint64(w) * h > kMaxBitmapPixels || w > kMaxBitmapSide || h > kMaxBitmapSide)
        throw EInvalidGraphic(QStringLiteral("ﾋﾞｯﾄﾏｯﾌﾟの大きさが不正です (%1 x %2)").arg(w).arg(h));

    QVector<QRgb> pal;
    if (bits <= 8) {
        const int maxColors = 1 << bits;
        int n = colorsUsed == 0 ? maxColors : int(std::min<uint32_t>(colorsUsed, uint32_t(maxColors)));
        const int entry = core ? 3 : 4;
        if (pos + qint64(n) * entry > infoSize)
            throw EInvalidGraphic(kInvalidBitmap);
        for (int i = 0; i < n; ++i) {
            const uint8_t *e = ih + pos + qint64(i) * entry;
            pal.append(qRgb(e[2], e[1], e[0]));
        }
        pos += qint64(n) * entry;
    }
    // Pixels in a block of their own, or in the same one: right after the palette when no
    // offset is given.
    const uint8_t *px = pixels;
    qint64 avail = pixelsSize;
    if (!pixels) {
        const qint64 pixelStart = pixelOffset == 0 ? pos : pixelOffset;
        if (pixelStart < qint64(ihSize) || pixelStart > infoSize)
            throw EInvalidGraphic(kInvalidBitmap);
        px = ih + pixelStart;
        avail = infoSize - pixelStart;
    }

    const TPixelFormat pf = bits == 1    ? TPixelFormat::pf1bit
                            : bits == 4  ? TPixelFormat::pf4bit
                            : bits == 8  ? TPixelFormat::pf8bit
                            : bits == 32 ? TPixelFormat::pf32bit
                                         : TPixelFormat::pf24bit;
    const bool standardMasks =
        compression == BI_RGB || (masks[0] == 0xFF0000 && masks[1] == 0xFF00 && masks[2] == 0xFF);
    // Run-length data may leave pixels out and converted rows leave their padding: those start
    // zeroed. Rows copied whole overwrite every byte.
    const bool rle = compression == BI_RLE8 || compression == BI_RLE4;
    const bool converted = bits == 16 || (bits == 32 && !standardMasks);
    if (ownedBlock && !rle && !converted && qint64(strideFor(w, bits)) * h <= avail) {
        // Rows as the bitmap keeps them: take the block, turning it top row first in place.
        const qsizetype stride = strideFor(w, bits);
        uint8_t *base = ownedBlock.get();
        if (!topDown) {
            std::vector<uint8_t> tmp(static_cast<size_t>(stride));
            for (int y = 0; y < h / 2; ++y) {
                uint8_t *a = base + qsizetype(y) * stride, *b = base + qsizetype(h - 1 - y) * stride;
                std::memcpy(tmp.data(), a, size_t(stride));
                std::memcpy(a, b, size_t(stride));
                std::memcpy(b, tmp.data(), size_t(stride));
            }
        }
        if (bits == 32)
            for (int y = 0; y < h; ++y)
                for (int x = 0; x < w; ++x)
                    base[qsizetype(y) * stride + x * 4 + 3] = 0;
        auto p = std::make_shared<Pixels>();
        p->width = w;
        p->height = h;
        p->format = pf;
        p->stride = stride;
        p->data = std::move(ownedBlock);
        p->palette = pal;
        replacePixels(std::move(p));
        m_paletteModified = bits <= 8;
        changed();
        return;
    }
    auto p = Pixels::make(w, h, pf, rle || converted);
    p->palette = pal;

    if (compression == BI_RLE8 || compression == BI_RLE4) {
        // Runs beyond the bitmap are clipped; a stream that ends early leaves the rest zero.
        int x = 0, y = 0;
        qint64 i = 0;
        auto put = [&](int idx) {
            if (x < w && y < h)
                p->setIndex(x, h - 1 - y, idx);
            ++x;
        };
        while (i + 1 < avail && y < h) {
            const int count = px[i], value = px[i + 1];
            i += 2;
            if (count > 0) {
                for (int k = 0; k < count; ++k)
                    put(compression == BI_RLE8 ? value : ((k & 1) ? (value & 0x0F) : (value >> 4)));
            } else if (value == 0) {
                x = 0;
                ++y;
            } else if (value == 1) {
                break;
            } else if (value == 2) {
                if (i + 1 >= avail)
                    break;
                x += px[i];
                y += px[i + 1];
                i += 2;
            } else {
                const int n = value;
                const qint64 bytesUsed = compression == BI_RLE8 ? n : (n + 1) / 2;
                if (i + bytesUsed > avail)
                    break;
                for (int k = 0; k < n; ++k)
                    put(compression == BI_RLE8 ? px[i + k] : ((k & 1) ? (px[i + k / 2] & 0x0F) : (px[i + k / 2] >> 4)));
                i += (bytesUsed + 1) & ~qint64(1);
            }
        }
    } else {
        const qsizetype srcStride = strideFor(w, bits);
        if (qint64(srcStride) * h > avail)
            throw EInvalidGraphic(kInvalidBitmap);
        const bool direct = bits != 16 && (bits != 32 || standardMasks);
        Channel cr(bits == 16 && compression == BI_RGB   ? 0x7C00
                   : bits == 32 && compression == BI_RGB ? 0xFF0000
                                                         : masks[0]);
        Channel cg(bits == 16 && compression == BI_RGB   ? 0x03E0
                   : bits == 32 && compression == BI_RGB ? 0xFF00
                                                         : masks[1]);
        Channel cb(bits == 16 && compression == BI_RGB   ? 0x001F
                   : bits == 32 && compression == BI_RGB ? 0xFF
                                                         : masks[2]);
        for (int y = 0; y < h; ++y) {
            const uint8_t *s = px + qsizetype(topDown ? y : h - 1 - y) * srcStride;
            uint8_t *dst = p->row(y);
            if (direct) {
                std::memcpy(dst, s, size_t(std::min(srcStride, p->stride)));
                if (bits == 32)
                    for (int x = 0; x < w; ++x)
                        dst[x * 4 + 3] = 0;
            } else {
                for (int x = 0; x < w; ++x) {
                    const uint32_t v = bits == 16 ? rd16(s + x * 2) : rd32(s + x * 4);
                    p->setColor(x, y, qRgb(cr.value(v), cg.value(v), cb.value(v)));
                }
            }
        }
    }
    replacePixels(std::move(p));
    m_paletteModified = bits <= 8;
    changed();
}

QByteArray TBitmap::saveToBytes() const
{
    QByteArray out;
    const int w = width(), h = height();
    const int bits = bitsPerPixel(pixelFormat());
    const QVector<QRgb> pal = bits <= 8 ? palette() : QVector<QRgb>();
    const qsizetype stride = strideFor(w, bits);
    const uint32_t offBits = 14 + 40 + uint32_t(pal.size()) * 4;
    const qint64 imageSize = qint64(stride) * h;
    out.reserve(qsizetype(offBits + imageSize));
    out.append("BM", 2);
    wr32(out, uint32_t(offBits + imageSize));
    wr32(out, 0);
    wr32(out, offBits);
    wr32(out, 40);
    wr32(out, uint32_t(w));
    wr32(out, uint32_t(h));
    wr16(out, 1);
    wr16(out, uint16_t(bits));
    wr32(out, 0);
    wr32(out, uint32_t(imageSize));
    wr32(out, 3780); // 96 dpi
    wr32(out, 3780);
    wr32(out, uint32_t(pal.size()));
    wr32(out, 0);
    for (QRgb c : pal) {
        out.append(char(qBlue(c)));
        out.append(char(qGreen(c)));
        out.append(char(qRed(c)));
        out.append(char(0));
    }
    for (int y = h - 1; y >= 0; --y)
        out.append(reinterpret_cast<const char *>(constScanLine(y)), stride);
    return out;
}

void TBitmap::saveToStream(QIODevice &stream)
{
    const QByteArray bytes = saveToBytes();
    writeAll(stream, bytes.constData(), bytes.size());
}
