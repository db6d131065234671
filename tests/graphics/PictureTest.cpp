#include "Picture.h"
#include "Bitmap.h"
#include "JPEG.h"
#include "PictureDialogs.h"
#include "SSImage.h"
#include "TestSupport.h"

#include <QLabel>
#include <QPainter>
#include <QToolButton>

#include <gtest/gtest.h>

using namespace testing_support;

TEST(PictureRegistry, FilterListsEveryFormatInOrder)
{
    const QString filter = TPicture::graphicFilter();
    const QStringList exts = {"wmf", "emf", "ico", "bmp", "jpeg", "jpg", "PNG"};
    qsizetype last = filter.indexOf('|');
    for (const QString &e : exts) {
        SCOPED_TRACE(qPrintable(e));
        const qsizetype at = (filter + '|').indexOf("|*." + e + "|", last + 1);
        EXPECT_GT(at, last);
        last = at;
    }
    EXPECT_TRUE(filter.startsWith("すべての画像 (*.wmf;*.emf;*.ico;*.bmp;*.jpeg;*.jpg;*.PNG)|"));
    EXPECT_TRUE(filter.contains("|Portable Network Graphics (*.PNG)|*.PNG"));
}

TEST(PictureRegistry, LaterRegistrationWinsWithoutRegardToCase)
{
    EXPECT_NE(dynamic_cast<TJPEGImage *>(TPicture::createForExtension(".JPG").get()), nullptr);
    EXPECT_NE(dynamic_cast<TBitmap *>(TPicture::createForExtension("Bmp").get()), nullptr);
    EXPECT_THROW(TPicture::createForExtension(".wmf"), EInvalidGraphic);
    EXPECT_THROW(TPicture::createForExtension(".xyz"), EInvalidGraphic);

    TPicture::registerFileFormat("JPG", "Test", "TBitmap", [] { return std::make_unique<TBitmap>(); });
    EXPECT_NE(dynamic_cast<TBitmap *>(TPicture::createForExtension("jpg").get()), nullptr);
    EXPECT_TRUE(TPicture::graphicFilter().endsWith("|Test (*.JPG)|*.JPG"));
    // Twice in the "all" entry and twice in its own; the replaced entry is gone.
    EXPECT_EQ(TPicture::graphicFilter().count("*.jpg", Qt::CaseInsensitive), 4);

    TPicture::unregisterGraphicClass("TBitmap");
    EXPECT_THROW(TPicture::createForExtension("bmp"), EInvalidGraphic);
    TPicture::registerFileFormat("bmp", "ﾋﾞｯﾄﾏｯﾌﾟ", "TBitmap", [] { return std::make_unique<TBitmap>(); });
    TPicture::registerFileFormat("jpg", "JPEG Image File", "TJPEGImage", [] { return std::make_unique<TJPEGImage>(); });
}

TEST(SSImage, TransparentColourShowsTheBackground)
{
    const QRgb key = qRgb(198, 195, 198);
    QImage icon(16, 16, QImage::Format_RGB32);
    icon.fill(key);
    icon.setPixel(3, 3, qRgb(10, 20, 30));
    TBitmap bmp = TBitmap::fromImage(icon);

    for (bool transparent : {false, true}) {
        SCOPED_TRACE(transparent);
        TSSImage img;
        img.resize(16, 16);
        img.setTransparentColor(13026246);
        img.picture().assign(&bmp);
        img.setTransparent(transparent);
        QImage canvas(16, 16, QImage::Format_RGB32);
        canvas.fill(qRgb(0, 0, 255));
        img.render(&canvas, QPoint(), QRegion(), QWidget::RenderFlags());
        EXPECT_EQ(canvas.pixel(3, 3), qRgb(10, 20, 30));
        EXPECT_EQ(canvas.pixel(0, 0), transparent ? qRgb(0, 0, 255) : key);
    }
}

TEST(Image, StretchedDrawTouchesOnlyTheClip)
{
    TBitmap bmp = TBitmap::fromImage(pattern(40, 30));
    QImage canvas(160, 120, QImage::Format_RGB32);
    canvas.fill(Qt::black);
    QPainter p(&canvas);
    p.setClipRect(QRect(80, 60, 8, 8));
    bmp.draw(p, QRect(0, 0, 160, 120));
    p.end();
    EXPECT_EQ(canvas.pixel(79, 59), qRgb(0, 0, 0));
    EXPECT_EQ(canvas.pixel(88, 68), qRgb(0, 0, 0));
    // Inside, each source pixel covers a 4 x 4 block.
    EXPECT_EQ(canvas.pixel(80, 60), bmp.pixel(20, 15));
    EXPECT_EQ(canvas.pixel(87, 67), bmp.pixel(21, 16));
}

TEST(PictureDialog, PreviewGeometry)
{
    struct Case {
        QSize pic, box;
        QRect expect;
    } cases[] = {
        {{40, 30}, {180, 120}, {70, 45, 40, 30}},   // fits: unscaled, centred
        {{400, 300}, {180, 120}, {0, 0, 180, 135}}, // wider than high: full width
        {{300, 400}, {180, 120}, {0, 0, 90, 120}},  // otherwise: full height
    };
    for (const Case &c : cases)
        EXPECT_EQ(TOpenPictureDialog::PreviewRect(c.pic, c.box), c.expect);
}

TEST(PictureDialog, SelectionShowsWhatLoads)
{
    const QString dir = freshDir();
    const QString jpg = dir + "/a.jpg", bad = dir + "/bad.png";
    ASSERT_TRUE(writeJpeg(jpg, pattern(40, 30)));
    ASSERT_TRUE(writeFile(bad, "not a png"));
    TSavePictureDialog dlg;
    dlg.DoSelectionChange(jpg);
    EXPECT_EQ(dlg.PictureLabel->text(), QStringLiteral("画像: (40x30)"));
    EXPECT_TRUE(dlg.PreviewButton->isEnabled());
    EXPECT_NE(dlg.picture().graphic(), nullptr);
    for (const QString &path : {bad, dir + "/missing.jpg", dir}) {
        SCOPED_TRACE(qPrintable(path));
        dlg.DoSelectionChange(jpg);
        dlg.DoSelectionChange(path);
        EXPECT_EQ(dlg.PictureLabel->text(), QStringLiteral("画像:"));
        EXPECT_FALSE(dlg.PreviewButton->isEnabled());
        EXPECT_EQ(dlg.picture().graphic(), nullptr);
    }
}
