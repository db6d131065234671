#pragma once
// TBitmap: a device-independent bitmap of 1, 4, 8, 24 or 32 bits per pixel, stored top row first
// with rows padded to 4 bytes. 24-bit pixels are blue, green, red; 32-bit pixels blue, green,
// red, unused (the byte order of a little-endian 0xXXRRGGBB). Indexed formats carry a palette.
// Copies share their pixels until one of them writes (scanLine() detaches). Reads and writes
// BMP files; that reader is also the native BMP reader of the plug-in host.

#include "SGraphic.h"

#include <QImage>

#include <cstdint>

enum class TPixelFormat { pf1bit, pf4bit, pf8bit, pf24bit, pf32bit };

int bitsPerPixel(TPixelFormat pf);

// The largest bitmap we agree to allocate, in pixels: keeps absurd header values from asking
// for more memory than a desktop has.
constexpr qint64 kMaxBitmapPixels = qint64(1) << 29;
// ... and the longest side, which keeps every byte offset within a row inside int.
constexpr int kMaxBitmapSide = 1 << 20;

class TBitmap : public TGraphic {
public:
    TBitmap() = default;
    TBitmap(int width, int height, TPixelFormat pf);
    ~TBitmap() override;
    // Moves the pixels; handlers (OnChange, OnProgress) stay with the moved-from bitmap.
    TBitmap(TBitmap &&other) noexcept;
    TBitmap &operator=(TBitmap &&other) noexcept;

    std::unique_ptr<TGraphic> clone() const override;
    // From another TBitmap (shared pixels) or from any graphic that can copy itself into a bitmap.
    void assign(const TGraphic &source) override;

    void draw(QPainter &painter, const QRect &dest) override;
    bool equals(const TGraphic &other) const override;
    bool isEmpty() const override { return width() == 0 || height() == 0; }
    int width() const override;
    int height() const override;
    void setWidth(int value) override { setSize(value, height()); }
    void setHeight(int value) override { setSize(width(), value); }
    // Keeps the overlapping top-left part; new pixels are zero. Throws EInvalidGraphic for
    // negative or absurd sizes.
    void setSize(int width, int height);

    // Sizes the bitmap for a writer that fills every row itself: the pixels start undefined and
    // no time goes into clearing them. An indexed format gets an empty palette.
    void allocate(int width, int height, TPixelFormat pf);

    TPixelFormat pixelFormat() const;
    // Converts the pixels. Going down to an indexed format maps colours to the nearest entry
    // of the palette (the current one when it fits, else a standard one).
    void setPixelFormat(TPixelFormat pf);

    QVector<QRgb> palette() const override;
    // At most 2^bits entries are kept.
    void setPalette(const QVector<QRgb> &colors) override;

    // Row y, top row 0. The non-const form detaches shared pixels first.
    uint8_t *scanLine(int y);
    const uint8_t *constScanLine(int y) const;
    qsizetype bytesPerLine() const;

    // The colour of one pixel, for tests and conversions.
    QRgb pixel(int x, int y) const;

    // A QImage over the bitmap's own memory (no copy except for 4-bit bitmaps), valid until the
    // bitmap changes.
    QImage imageView() const;
    // A deep copy in 32-bit RGB.
    QImage toImage() const;
    static TBitmap fromImage(const QImage &image);

    // Transparent colour handling as TSSImage needs it: with the mode fixed, the colour comes
    // from transparentColor instead of the bottom-left pixel.
    QRgb transparentColor() const { return m_transparentColor; }
    void setTransparentColor(QRgb c) { m_transparentColor = c; }
    bool transparentModeFixed() const { return m_transparentFixed; }
    void setTransparentModeFixed(bool fixed) { m_transparentFixed = fixed; }
    QRgb effectiveTransparentColor() const;

    // BMP. Throws EInvalidGraphic for data that is not a valid BMP.
    void loadFromStream(QIODevice &stream) override;
    void loadFromBytes(const char *data, qint64 size);
    // A device-independent bitmap in two blocks: header with colour table, and the pixel rows
    // (bottom row first unless the height is negative), as the image plug-ins hand them over.
    void loadFromDib(const uint8_t *info, qint64 infoSize, const uint8_t *pixels, qint64 pixelsSize);
    // The same, taking over a pixel block allocated with malloc(): rows the bitmap can use as
    // they are become its pixels without a copy (turned top first in place when needed). The
    // block is the bitmap's, or freed, whatever happens.
    void loadFromDibOwned(const uint8_t *info, qint64 infoSize, uint8_t *pixels, qint64 pixelsSize);
    void saveToStream(QIODevice &stream) override;
    QByteArray saveToBytes() const;

protected:
    bool assignTo(TGraphic &dest) const override;

private:
    struct Pixels;
    void detach();
    void loadDib(const uint8_t *info, qint64 infoSize, qint64 pixelOffset, const uint8_t *pixels, qint64 pixelsSize,
                 uint8_t *owned = nullptr);
    void replacePixels(std::shared_ptr<Pixels> p);

    std::shared_ptr<Pixels> m_pixels;
    mutable QImage m_view; // cached imageView(), dropped whenever the pixels change
    QRgb m_transparentColor = 0;
    bool m_transparentFixed = false;
};

// Draws image stretched into dest, touching only the part of dest inside the painter's clip.
void drawStretched(QPainter &painter, const QRect &dest, const QImage &image);
