#pragma once

#include <functional>
// TPNGImage: the program's PNG codec over zlib, holding its picture as a bitmap of 1, 4, 8 or 24
// bits per pixel with a colour table. Reads every PNG colour type and bit depth (16 bits keep
// their high byte, 2-bit samples become 4-bit indices, alpha is dropped, CRCs are not checked,
// unknown chunks skipped) and writes palette images at 1, 4, 8 bits and 24-bit colour images.
// Errors carry fixed short English messages; the signature check and the class operations raise
// EPNGImage, chunk and format errors the base Exception.

#include "Bitmap.h"

class EPNGImage : public Exception {
public:
    using Exception::Exception;
};

class TPNGImage : public TSSGraphic {
public:
    TPNGImage(); // 8 x 8 at 1 bit per pixel, empty colour table

    std::unique_ptr<TGraphic> clone() const override;
    // From another TPNGImage (whole) or a TBitmap (converted); anything else: EInvalidGraphic.
    void assign(const TGraphic &source) override;
    void draw(QPainter &painter, const QRect &dest) override;
    bool isEmpty() const override { return false; }
    int width() const override { return m_bitmap.width(); }
    int height() const override { return m_bitmap.height(); }
    void setWidth(int) override {}
    void setHeight(int) override {}
    QVector<QRgb> palette() const override { return m_bitmap.palette(); }
    // Up to 256 entries; an empty list empties the colour table.
    void setPalette(const QVector<QRgb> &colors) override;

    void loadFromStream(QIODevice &stream) override;
    void loadFromBytes(const QByteArray &data);
    void saveToStream(QIODevice &stream) override;
    QByteArray saveToBytes();

    // Width and height at least 1 ("error param"); bits 1, 4, 8 or 24.
    void SetImageFormat(int width, int height, int bitsPerPixel);
    // count 0..256 ("error param"); colors may be empty to keep the entries and set the count.
    void SetColorTable(const QVector<QRgb> &colors, int count);
    int bitsPerPixel() const { return bitsPerPixelOf(m_bitmap.pixelFormat()); }

    // The clipboard's device-independent bitmap block: header (40 bytes), the colour table in
    // use, the pixels bottom row first.
    void LoadFromClipboardFormat(const QByteArray &dib);
    QByteArray SaveToClipboardFormat() const;

    // 1: zlib level 1, 2: level 9, anything else: zlib's default.
    int DeflateLevel = 0;

    const TBitmap &bitmap() const { return m_bitmap; }
    static const QVector<QRgb> &DefaultPalette();

protected:
    bool assignTo(TGraphic &dest) const override;

private:
    static int bitsPerPixelOf(TPixelFormat pf) { return ::bitsPerPixel(pf); }
    TBitmap m_bitmap;
};

// The PNG stream functions behind TPNGImage.
namespace PNGFunc {
// Reads a PNG into bitmap (format, pixels, colour table). Throws as TPNGImage documents.
// rowsDone, when given, hears of the work done now and then (done of total) and may return
// false to stop the read with EAbort.
void Read(const QByteArray &data, TBitmap &bitmap, const std::function<bool(int done, int total)> &rowsDone = {});
// Writes bitmap (1, 4, 8 or 24 bits per pixel) as PNG.
QByteArray Write(const TBitmap &bitmap, int deflateLevel);
} // namespace PNGFunc
