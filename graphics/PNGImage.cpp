#include "PNGImage.h"

#include <QIODevice>

#include <cstring>

const QVector<QRgb> &TPNGImage::DefaultPalette()
{
    static const QVector<QRgb> pal = [] {
        QVector<QRgb> p(256);
        static const QRgb first[10] = {qRgb(0, 0, 0),       qRgb(128, 0, 0),    qRgb(0, 128, 0),   qRgb(128, 128, 0),
                                       qRgb(0, 0, 128),     qRgb(128, 0, 128),  qRgb(0, 128, 128), qRgb(192, 192, 192),
                                       qRgb(192, 220, 192), qRgb(166, 202, 240)};
        static const QRgb last[10] = {qRgb(255, 251, 240), qRgb(160, 160, 164), qRgb(128, 128, 128), qRgb(255, 0, 0),
                                      qRgb(0, 255, 0),     qRgb(255, 255, 0),   qRgb(0, 0, 255),     qRgb(255, 0, 255),
                                      qRgb(0, 255, 255),   qRgb(255, 255, 255)};
        for (int i = 0; i < 10; ++i) {
            p[i] = first[i];
            p[246 + i] = last[i];
        }
        // Between them: a 6 x 6 x 6 colour cube, then 20 grays.
        int at = 10;
        for (int r = 0; r < 6; ++r)
            for (int g = 0; g < 6; ++g)
                for (int b = 0; b < 6; ++b)
                    p[at++] = qRgb(r * 51, g * 51, b * 51);
        for (int i = 0; i < 20; ++i, ++at)
            p[at] = qRgb(8 + i * 12, 8 + i * 12, 8 + i * 12);
        return p;
    }();
    return pal;
}

TPNGImage::TPNGImage()
{
    m_bitmap.allocate(8, 8, TPixelFormat::pf1bit);
    for (int y = 0; y < 8; ++y)
        std::memset(m_bitmap.scanLine(y), 0, size_t(m_bitmap.bytesPerLine()));
    m_bitmap.setPalette({});
}

std::unique_ptr<TGraphic> TPNGImage::clone() const
{
    auto c = std::make_unique<TPNGImage>();
    c->assign(*this);
    return c;
}

void TPNGImage::assign(const TGraphic &source)
{
    if (&source == this)
        return;
    if (auto *png = dynamic_cast<const TPNGImage *>(&source)) {
        m_bitmap.assign(png->m_bitmap);
        DeflateLevel = png->DeflateLevel;
        changed();
        return;
    }
    if (auto *bmp = dynamic_cast<const TBitmap *>(&source)) {
        TBitmap copy;
        copy.assign(*bmp);
        const int bits = ::bitsPerPixel(copy.pixelFormat());
        if (bits == 32)
            copy.setPixelFormat(TPixelFormat::pf24bit);
        if (copy.pixelFormat() == TPixelFormat::pf24bit && copy.palette().isEmpty())
            copy.setPalette(DefaultPalette());
        m_bitmap.assign(copy);
        m_bitmap.setTransparent(false);
        changed();
        return;
    }
    TGraphic::assign(source);
}

bool TPNGImage::assignTo(TGraphic &dest) const
{
    if (auto *b = dynamic_cast<TBitmap *>(&dest)) {
        b->assign(m_bitmap);
        return true;
    }
    return false;
}

void TPNGImage::draw(QPainter &painter, const QRect &dest)
{
    m_bitmap.draw(painter, dest);
}

void TPNGImage::setPalette(const QVector<QRgb> &colors)
{
    m_bitmap.setPalette(colors.mid(0, 256));
    setPaletteModified(true);
}

void TPNGImage::loadFromStream(QIODevice &stream)
{
    loadFromBytes(stream.readAll());
}

void TPNGImage::loadFromBytes(const QByteArray &data)
{
    PNGFunc::Read(data, m_bitmap);
    setPaletteModified(true);
    changed();
}

void TPNGImage::saveToStream(QIODevice &stream)
{
    const QByteArray bytes = saveToBytes();
    writeAll(stream, bytes.constData(), bytes.size());
}

QByteArray TPNGImage::saveToBytes()
{
    return PNGFunc::Write(m_bitmap, DeflateLevel);
}

void TPNGImage::SetImageFormat(int width, int height, int bits)
{
    if (width < 1 || height < 1)
        throw EPNGImage(QStringLiteral("error param"));
    const TPixelFormat pf = bits == 1    ? TPixelFormat::pf1bit
                            : bits == 4  ? TPixelFormat::pf4bit
                            : bits == 8  ? TPixelFormat::pf8bit
                            : bits == 24 ? TPixelFormat::pf24bit
                                         : throw EPNGImage(QStringLiteral("error param"));
    const QVector<QRgb> table = m_bitmap.palette();
    TBitmap fresh(width, height, pf);
    fresh.setPalette(table);
    m_bitmap.assign(fresh);
}

void TPNGImage::SetColorTable(const QVector<QRgb> &colors, int count)
{
    if (count < 0 || count > 256)
        throw EPNGImage(QStringLiteral("error param"));
    QVector<QRgb> table = colors.isEmpty() ? m_bitmap.palette() : colors;
    table.resize(count, qRgb(0, 0, 0));
    m_bitmap.setPalette(table);
    setPaletteModified(true);
}

namespace {
uint32_t le32(const char *p)
{
    return uint32_t(uint8_t(p[0])) | uint32_t(uint8_t(p[1])) << 8 | uint32_t(uint8_t(p[2])) << 16 |
           uint32_t(uint8_t(p[3])) << 24;
}
} // namespace

void TPNGImage::LoadFromClipboardFormat(const QByteArray &dib)
{
    const QString bad = QStringLiteral("not decoding BMPType");
    if (dib.size() < 40)
        throw EPNGImage(bad);
    const uint32_t size = le32(dib.constData());
    const int32_t w = int32_t(le32(dib.constData() + 4)), h = int32_t(le32(dib.constData() + 8));
    const int bits = uint8_t(dib[14]) | uint8_t(dib[15]) << 8;
    const uint32_t compression = le32(dib.constData() + 16);
    const uint32_t used = le32(dib.constData() + 32);
    if ((size != 40 && size != 64) || compression != 0 || h < 0 || w < 1 || h < 1 ||
        (bits != 1 && bits != 4 && bits != 8 && bits != 24) || used > 256 || dib.size() < qsizetype(size))
        throw EPNGImage(bad);
    // The same bytes make a BMP file once a file header goes in front.
    QByteArray file("BM", 2);
    const uint32_t off = 14 + size + used * 4;
    const uint32_t total = 14 + uint32_t(dib.size());
    for (uint32_t v : {total, 0u, off})
        for (int i = 0; i < 4; ++i)
            file.append(char((v >> (8 * i)) & 0xFF));
    file += dib;
    TBitmap b;
    try {
        b.loadFromBytes(file.constData(), file.size());
    } catch (const EInvalidGraphic &) {
        throw EPNGImage(bad);
    }
    m_bitmap.assign(b);
    changed();
}

QByteArray TPNGImage::SaveToClipboardFormat() const
{
    if (m_bitmap.isEmpty())
        throw EPNGImage(QStringLiteral("no image"));
    return m_bitmap.saveToBytes().mid(14); // a BMP file without its file header
}
