#pragma once
// TSPIBitmap: a bitmap that loads any picture an image import plug-in reads, and BMP data with
// the bitmap's own reader. A named load of a foreign extension asks the plug-ins first (those
// claiming the extension before the others), otherwise the native reader goes first. When both
// fail: EInvalidGraphic "認識できない画像形式です". A plug-in's result with impossible fields is
// refused with EInvalidGraphic, never read out of bounds. The picture is taken straight from the
// plug-in's blocks (the rows copied once), not through a BMP stream.

#include "Bitmap.h"
#include "SPIs.h"

struct TPictureInfoRec {
    int32_t Left = 0, Top = 0, Width = 0, Height = 0;
    uint16_t XDensity = 0, YDensity = 0;
    int16_t ColorDepth = 0;
    QString Info;
    bool Valid = false;
};

class TSPIBitmap : public TBitmap {
public:
    TSPIBitmap() = default;
    bool SkipMacBinary = true;

    std::unique_ptr<TGraphic> clone() const override;
    void assign(const TGraphic &source) override;
    void loadFromFile(const QString &fileName) override;
    void loadFromStream(QIODevice &stream) override;
    void LoadFromStreamNamed(QIODevice &stream, const QString &fileName);

    // What the plug-in said of the last picture it gave.
    TPictureInfoRec LastInfo;

    // Turns a plug-in's picture (information block with header and colour table, pixel block)
    // into this bitmap. The blocks' sizes are what malloc gave them.
    bool DibToBitmap(const uint8_t *info, size_t infoSize, const uint8_t *bits, size_t bitsSize);

    // One plug-in progress report: the graphic's progress event in the usual stages.
    void pluginProgress(int32_t num, int32_t denom);

private:
    void load(const QByteArray &data, const QString &name);
    bool tryNative(const QByteArray &data);
    bool tryPlugins(const QByteArray &data, const QString &name);
    bool tryOne(TInSPI &spi, const char *data, qsizetype size, const QString &name);
    // DibToBitmap, taking over ownedBits (the pixel block, freed in any case) when not null.
    bool dibToBitmap(const uint8_t *info, size_t infoSize, const uint8_t *bits, size_t bitsSize, uint8_t *ownedBits);
};
