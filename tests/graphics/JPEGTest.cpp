#include "ArrivingBytes.h"
#include "JPEG.h"
#include "TestSupport.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

#include <cstring>
#include <thread>

#include <jerror.h>
#include <jpeglib.h>

using namespace testing_support;

namespace {

QString fixture(const QString &name, const QImage &img, const JpegOptions &opt = {})
{
    const QString path = freshDir() + QLatin1Char('/') + name;
    EXPECT_TRUE(writeJpeg(path, img, opt));
    return path;
}

// Compares a decoded bitmap with libjpeg's own RGB decode of the same bytes.
void expectSameAsLibjpeg(const TBitmap &bmp, const QByteArray &jpeg)
{
    const Decoded ref = rawDecode(jpeg);
    ASSERT_EQ(bmp.width(), ref.width);
    ASSERT_EQ(bmp.height(), ref.height);
    ASSERT_EQ(ref.components, 3);
    ASSERT_EQ(bmp.pixelFormat(), TPixelFormat::pf24bit);
    int mismatches = 0;
    for (int y = 0; y < ref.height; ++y) {
        const uint8_t *row = bmp.constScanLine(y);
        const unsigned char *r = ref.pixels.data() + size_t(y) * size_t(ref.width) * 3;
        for (int x = 0; x < ref.width; ++x)
            mismatches += row[x * 3] != r[x * 3 + 2] || row[x * 3 + 1] != r[x * 3 + 1] || row[x * 3 + 2] != r[x * 3];
    }
    EXPECT_EQ(mismatches, 0);
}

} // namespace

TEST(JPEGImage, LoadReadsTheHeaderOnly)
{
    const QString path = fixture("header.jpg", pattern(321, 123));
    TJPEGImage img;
    img.loadFromFile(path);
    EXPECT_EQ(img.width(), 321);
    EXPECT_EQ(img.height(), 123);
    EXPECT_FALSE(img.hasBitmap());
    EXPECT_FALSE(img.grayscale());
    EXPECT_FALSE(img.progressiveEncoding());
}

TEST(JPEGImage, DecodesPixelForPixelAsLibjpeg)
{
    const QString path = fixture("photo.jpg", pattern(203, 97));
    TJPEGImage img;
    img.loadFromFile(path);
    expectSameAsLibjpeg(img.bitmap(), readFile(path));
}

TEST(JPEGImage, ProgressiveRedrawEndsWithTheSamePicture)
{
    JpegOptions opt;
    opt.progressive = true;
    const QString path = fixture("progressive.jpg", pattern(130, 77), opt);
    TJPEGImage img;
    img.loadFromFile(path);
    EXPECT_TRUE(img.progressiveEncoding());
    img.setProgressiveRedraw(true);
    expectSameAsLibjpeg(img.bitmap(), readFile(path));
}

TEST(JPEGImage, UnchangedPictureSavesByteIdentical)
{
    const QString path = fixture("same.jpg", pattern(64, 48), {77, false, true, false});
    TJPEGImage img;
    img.loadFromFile(path);
    img.bitmap(); // decoding must not count as a change
    const QString out = freshDir() + "/copy.jpg";
    img.saveToFile(out);
    EXPECT_EQ(readFile(out), readFile(path));
    // A copy shares the body and saves the same bytes.
    TJPEGImage copy;
    copy.assign(img);
    QBuffer buf;
    buf.open(QIODevice::WriteOnly);
    copy.saveToStream(buf);
    EXPECT_EQ(buf.data(), readFile(path));
}

TEST(JPEGImage, PictureFromABitmapSavesAsBaselineAtQuality90)
{
    const QImage src = pattern(50, 40);
    TBitmap bmp = TBitmap::fromImage(src);
    TJPEGImage img;
    img.assign(bmp);
    EXPECT_FALSE(img.hasCompressedData());
    QBuffer buf;
    buf.open(QIODevice::WriteOnly);
    img.saveToStream(buf);
    // libjpeg with the same settings writes the very same bytes.
    EXPECT_EQ(buf.data(), encodeJpeg(src, {90, false, false, false}));
}

TEST(JPEGImage, GrayscaleDecodesToEveryGreyLevelExactlyAsLibjpeg)
{
    JpegOptions opt;
    opt.gray = true;
    const QString path = fixture("gray.jpg", pattern(64, 48), opt);
    const Decoded raw = rawDecode(readFile(path));
    ASSERT_EQ(raw.components, 1);
    for (const bool eightBit : {false, true}) {
        SCOPED_TRACE(eightBit ? "8-bit output" : "full colour output");
        TJPEGImage img;
        img.setEightBitOutput(eightBit);
        img.loadFromFile(path);
        EXPECT_TRUE(img.grayscale());
        const TBitmap &b = img.bitmap();
        ASSERT_EQ(b.pixelFormat(), TPixelFormat::pf8bit);
        const QVector<QRgb> pal = b.palette();
        ASSERT_EQ(pal.size(), 256) << "no quantisation: one entry per grey level";
        for (int i = 0; i < 256; ++i)
            ASSERT_EQ(pal[i], qRgb(i, i, i)) << i;
        int mismatches = 0;
        for (int y = 0; y < raw.height; ++y)
            for (int x = 0; x < raw.width; ++x)
                mismatches += b.constScanLine(y)[x] != raw.pixels[size_t(y * raw.width + x)];
        EXPECT_EQ(mismatches, 0);
    }
    // Grey output asked of a colour picture is as exact.
    const QString colour = fixture("colour-as-grey.jpg", pattern(32, 24));
    TJPEGImage img;
    img.setGrayOutput(true);
    img.loadFromFile(colour);
    EXPECT_EQ(img.bitmap().palette().size(), 256);
}

TEST(JPEGImage, InvertedCmykShowsInColour)
{
    QImage src(16, 16, QImage::Format_RGB32);
    src.fill(qRgb(200, 40, 90));
    JpegOptions opt;
    opt.cmyk = true;
    const QString path = fixture("cmyk.jpg", src, opt);
    TJPEGImage img;
    img.loadFromFile(path);
    const QRgb c = img.bitmap().pixel(8, 8);
    EXPECT_NEAR(qRed(c), 200, 3);
    EXPECT_NEAR(qGreen(c), 40, 3);
    EXPECT_NEAR(qBlue(c), 90, 3);
}

TEST(JPEGImage, BadDataRaisesEJPEGAndLeavesNoBitmap)
{
    QByteArray absurd = encodeJpeg(pattern(16, 16));
    // Patch the SOF0 frame size to 65000 x 65000.
    const qsizetype sof = absurd.indexOf("\xFF\xC0");
    ASSERT_GT(sof, 0);
    absurd[sof + 5] = char(0xFD);
    absurd[sof + 6] = char(0xE8);
    absurd[sof + 7] = char(0xFD);
    absurd[sof + 8] = char(0xE8);
    struct Case {
        const char *name;
        QByteArray data;
        int code;
    } cases[] = {
        {"not a jpeg", QByteArray("GIF89a, certainly not a JPEG file"), JERR_NO_SOI},
        {"zero bytes", QByteArray(), JERR_INPUT_EMPTY},
        {"header cut short", encodeJpeg(pattern(16, 16)).left(40), 0 /* whatever libjpeg finds */},
        {"absurd dimensions", absurd, JERR_IMAGE_TOO_BIG},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const QString path = freshDir() + "/bad.jpg";
        ASSERT_TRUE(writeFile(path, c.data));
        TJPEGImage img;
        try {
            img.loadFromFile(path);
            ADD_FAILURE() << "no exception";
        } catch (const EJPEG &e) {
            if (c.code) {
                EXPECT_EQ(e.code(), c.code);
            }
            EXPECT_EQ(e.message(), QStringLiteral("JPEG ｴﾗｰ #%1").arg(e.code()));
        }
        EXPECT_FALSE(img.hasBitmap());
        EXPECT_TRUE(img.isEmpty());
    }
}

TEST(JPEGImage, TruncatedBodyStillDecodes)
{
    const QByteArray full = encodeJpeg(pattern(120, 90));
    for (qsizetype keep : {full.size() / 3, full.size() / 2, full.size() - 2}) {
        SCOPED_TRACE(keep);
        QBuffer buf;
        buf.setData(full.left(keep));
        buf.open(QIODevice::ReadOnly);
        TJPEGImage img;
        img.loadFromStream(buf);
        const TBitmap &b = img.bitmap();
        EXPECT_EQ(b.width(), 120);
        EXPECT_EQ(b.height(), 90);
    }
}

TEST(JPEGImage, SizeCannotBeChanged)
{
    TJPEGImage img;
    try {
        img.setWidth(10);
        ADD_FAILURE() << "no exception";
    } catch (const EInvalidGraphicOperation &e) {
        EXPECT_EQ(e.message(), QStringLiteral("JPEG ｲﾒｰｼﾞのｻｲｽﾞは変更できません"));
    }
    EXPECT_THROW(img.setHeight(10), EInvalidGraphicOperation);
}

TEST(JPEGImage, EmptyPictureSavesAnEmptyFile)
{
    const QString out = freshDir() + "/empty.jpg";
    TJPEGImage img;
    img.saveToFile(out);
    EXPECT_TRUE(QFileInfo::exists(out));
    EXPECT_EQ(QFileInfo(out).size(), 0);
}

TEST(JPEGImage, GrayOutputAndFastDecodeDropTheBitmap)
{
    const QString path = fixture("opts.jpg", pattern(32, 32));
    TJPEGImage img;
    img.loadFromFile(path);
    int changes = 0;
    img.OnChange = [&](TGraphic &) { ++changes; };
    img.bitmap();
    img.setGrayOutput(true);
    EXPECT_FALSE(img.hasBitmap());
    EXPECT_EQ(img.bitmap().pixelFormat(), TPixelFormat::pf8bit);
    img.setFastDecode(true);
    EXPECT_FALSE(img.hasBitmap());
    EXPECT_GE(changes, 2);
}

TEST(JPEGImage, ScaleShiftDecodesSmaller)
{
    const QString path = fixture("scaled.jpg", pattern(101, 50));
    TJPEGImage img;
    img.loadFromFile(path);
    img.setScaleShift(2);
    EXPECT_EQ(img.width(), 26);
    EXPECT_EQ(img.height(), 13);
    EXPECT_EQ(img.bitmap().width(), 26);
}

namespace {
// Writes half its data and then fails, as a full disk would.
class FailingGraphic : public TBitmap {
public:
    void saveToStream(QIODevice &stream) override
    {
        writeAll(stream, "partial", 7);
        throw EInOutError(QStringLiteral("disk full"));
    }
};
} // namespace

TEST(Graphic, FailedSaveLeavesTheExistingFileAlone)
{
    const QString path = freshDir() + "/keep.jpg";
    ASSERT_TRUE(writeFile(path, "precious bytes"));
    FailingGraphic g;
    EXPECT_THROW(g.saveToFile(path), EInOutError);
    EXPECT_EQ(readFile(path), QByteArray("precious bytes"));
    EXPECT_EQ(QDir(QFileInfo(path).path()).entryList(QDir::Files).size(), 1); // no temporary left behind
}

TEST(JPEGImage, FileChangedAfterOpenStillDecodesWhatWasOpened)
{
    // Saving over an open picture replaces the file by rename; the open picture keeps its data.
    const QString path = fixture("replaced.jpg", pattern(40, 20));
    const QByteArray before = readFile(path);
    TJPEGImage img;
    img.loadFromFile(path);
    TJPEGImage other;
    TBitmap bmp = TBitmap::fromImage(pattern(10, 10, 7));
    other.assign(bmp);
    other.saveToFile(path);
    EXPECT_NE(readFile(path), before);
    expectSameAsLibjpeg(img.bitmap(), before);
}

TEST(JPEGImage, TopLeftDecodeMatchesTheFullDecode)
{
    const QString path = fixture("region.jpg", pattern(301, 203));
    TJPEGImage img;
    img.loadFromFile(path);
    const TBitmap &full = img.bitmap();
    TJPEGImage fresh;
    fresh.loadFromFile(path);
    // Block edges (16), odd sizes, and everything.
    for (const QSize size : {QSize(100, 50), QSize(64, 48), QSize(17, 16), QSize(300, 202), QSize(5000, 5000)}) {
        SCOPED_TRACE(qPrintable(QStringLiteral("%1x%2").arg(size.width()).arg(size.height())));
        const TBitmap part = fresh.decodeTopLeft(size);
        ASSERT_EQ(QSize(part.width(), part.height()), size.boundedTo(QSize(301, 203)));
        int mismatches = 0;
        for (int y = 0; y < part.height(); ++y)
            for (int x = 0; x < part.width(); ++x)
                mismatches += part.pixel(x, y) != full.pixel(x, y);
        EXPECT_EQ(mismatches, 0);
    }
    EXPECT_FALSE(fresh.hasBitmap()) << "the picture itself stays undecoded";
}

TEST(Graphic, ADiskThatFillsUpFailsTheSave)
{
    const QString path = freshDir() + "/full.jpg";
    ASSERT_TRUE(writeFile(path, "precious bytes"));
    TJPEGImage img;
    TBitmap bmp = TBitmap::fromImage(pattern(300, 300));
    img.assign(bmp);
    {
        const DiskFullAfter full(1000);
        EXPECT_THROW(img.saveToFile(path), EInOutError);
    }
    EXPECT_EQ(readFile(path), QByteArray("precious bytes"));
    EXPECT_EQ(QDir(QFileInfo(path).path()).entryList(QDir::Files).size(), 1);
}

TEST(JPEGImage, DecodesBytesAsTheyArrive)
{
    const QByteArray file = encodeJpeg(pattern(96, 64));
    TJPEGImage whole;
    QBuffer b;
    b.setData(file);
    b.open(QIODevice::ReadOnly);
    whole.loadFromStream(b);
    const QImage expected = whole.bitmap().toImage();

    // In small pieces, so the header and the scans each wait for the producer more than once.
    auto bytes = std::make_shared<TArrivingBytes>(file.size());
    bytes->start([&file](TArrivingBytes &out) {
        for (qsizetype at = 0; at < file.size();) {
            const qsizetype n = std::min<qsizetype>(97, file.size() - at);
            std::memcpy(out.data() + at, file.constData() + at, size_t(n));
            at += n;
            out.publish(at);
            if (at % 5 == 0)
                std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
    });
    TJPEGImage arriving;
    arriving.loadFromArriving(bytes);
    EXPECT_EQ(arriving.width(), 96);
    EXPECT_EQ(arriving.bitmap().toImage(), expected);
    QBuffer saved;
    saved.open(QIODevice::WriteOnly);
    arriving.saveToStream(saved);
    EXPECT_EQ(saved.data(), file) << "the body keeps the whole file";

    // A producer that fails half-way: the decode says so instead of showing a grey half.
    auto broken = std::make_shared<TArrivingBytes>(file.size());
    broken->start([&file](TArrivingBytes &out) {
        std::memcpy(out.data(), file.constData(), size_t(file.size() / 2));
        out.publish(file.size() / 2);
        throw EInOutError(QStringLiteral("read error"));
    });
    TJPEGImage half;
    half.loadFromArriving(broken);
    EXPECT_THROW(half.DIBNeeded(), EInOutError);
}
