#pragma once
// TJPEGImage: a JPEG picture over libjpeg-turbo. Loading reads only the header; pixels are decoded
// into a cached TBitmap when first needed. Copies share the compressed body. A picture loaded from
// a file and not replaced since is saved back byte for byte; one made from a bitmap is compressed
// as a baseline JPEG at EncodeQuality. libjpeg's fatal errors arrive as EJPEG "JPEG ｴﾗｰ #<code>".

#include "Bitmap.h"

#include <optional>

class EJPEG : public Exception {
public:
    explicit EJPEG(int code);
    int code() const { return m_code; }

private:
    int m_code;
};

struct TJPEGDefaults {
    int EncodeQuality = 90;
    bool GrayOutput = false;
    bool FastDecode = false;
    bool EightBitOutput = false;
    bool ProgressiveRedraw = false;
    bool ProgressiveWrite = false;
    int ScaleShift = 0;
    bool BlockSmoothing = true;
};

// Options every new TJPEGImage starts with. Set EightBitOutput once at start-up for 8-bit screens.
extern TJPEGDefaults JpegDefaults;

// The shared body of JPEG pictures: the compressed file, its size and colour space. Copies of a
// TJPEGImage share it.
struct TJPEGData;
class TArrivingBytes;

class TJPEGImage : public TGraphic {
public:
    TJPEGImage(); // with JpegDefaults: the user-interface thread's
    // With options of its own: what another thread uses, so it never reads JpegDefaults.
    explicit TJPEGImage(const TJPEGDefaults &options);
    ~TJPEGImage() override;

    std::unique_ptr<TGraphic> clone() const override;
    // From a TJPEGImage: shares its body, copies its bitmap. From a TBitmap: an empty body and a
    // copy of the bitmap. Anything else: EInvalidGraphic.
    void assign(const TGraphic &source) override;

    void draw(QPainter &painter, const QRect &dest) override;
    bool equals(const TGraphic &other) const override;
    bool isEmpty() const override;
    int width() const override;
    int height() const override;
    // Both raise EInvalidGraphicOperation: a JPEG's size cannot be changed.
    void setWidth(int value) override;
    void setHeight(int value) override;
    QVector<QRgb> palette() const override;

    // Reads the header only. The file stays open until the compressed data is first needed
    // (decode or save), so opening costs the same for any size. Throws EInOutError, EJPEG.
    void loadFromFile(const QString &fileName) override;
    void loadFromStream(QIODevice &stream) override;
    // From bytes another thread still makes: the header is read as soon as it is there, and a
    // decode runs alongside the producer, waiting only where it catches up. The body keeps the
    // bytes once complete. Throws EJPEG; a producer's failure surfaces as EInOutError from the
    // decode (or whatever needs the whole file).
    void loadFromArriving(std::shared_ptr<TArrivingBytes> bytes);
    void saveToStream(QIODevice &stream) override;

    // The decoded picture, decoding on demand. Throws EJPEG (and EInOutError when the file
    // behind a lazily loaded body can no longer be read).
    const TBitmap &bitmap();
    bool hasBitmap() const { return m_bitmap != nullptr; }
    // A quick look at the top-left part: decodes `size` of it (less where the picture is
    // smaller), pixel for pixel as the full decode, into a new 24-bit bitmap, and leaves this
    // picture as it was. Empty for pictures that decode to a palette (grayscale,
    // 8-bit output) or from CMYK. Throws EJPEG.
    TBitmap decodeTopLeft(const QSize &size);
    bool hasCompressedData() const;
    // Compresses the bitmap when the body holds no compressed data yet.
    void JPEGNeeded();
    void DIBNeeded() { bitmap(); }

    bool grayscale() const;           // the file's colour space is grayscale
    bool progressiveEncoding() const; // the file has multiple scans

    bool blockSmoothing() const { return m_blockSmoothing; }
    void setBlockSmoothing(bool v) { m_blockSmoothing = v; }
    bool grayOutput() const { return m_grayOutput; }
    void setGrayOutput(bool v);
    bool eightBitOutput() const { return m_eightBitOutput; }
    void setEightBitOutput(bool v);
    int encodeQuality() const { return m_encodeQuality; }
    void setEncodeQuality(int q) { m_encodeQuality = qBound(1, q, 100); }
    bool progressiveRedraw() const { return m_progressiveRedraw; }
    void setProgressiveRedraw(bool v) { m_progressiveRedraw = v; }
    bool progressiveWrite() const { return m_progressiveWrite; }
    void setProgressiveWrite(bool v) { m_progressiveWrite = v; }
    bool fastDecode() const { return m_fastDecode; }
    void setFastDecode(bool v);
    int scaleShift() const { return m_scaleShift; }
    void setScaleShift(int v);

    // A palette used on 8-bit displays; an image decoded with EightBitOutput maps onto it.
    void setTemporaryPalette(const QVector<QRgb> &pal) { m_tempPalette = pal; }

protected:
    bool assignTo(TGraphic &dest) const override;

private:
    void dropBitmap();
    // A newly read file's body becomes this picture's, its old pixels gone.
    void takeBody(std::shared_ptr<TJPEGData> body);
    void decode();
    void compress();
    void calcScaledSize() const;
    friend struct JpegProgress;

    std::shared_ptr<TJPEGData> m_body;
    std::unique_ptr<TBitmap> m_bitmap;
    std::optional<QVector<QRgb>> m_tempPalette;
    mutable int m_scaledWidth = 0;
    mutable int m_scaledHeight = 0;
    mutable bool m_needRecalc = true;
    bool m_blockSmoothing;
    bool m_grayOutput;
    bool m_eightBitOutput;
    int m_encodeQuality;
    bool m_progressiveRedraw;
    bool m_progressiveWrite;
    bool m_fastDecode;
    int m_scaleShift;
};
