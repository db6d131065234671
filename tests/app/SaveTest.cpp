#include "JPEG.h"
#include "MainUnit.h"
#include "PNGImage.h"
#include "StatusBarEx.h"
#include "TestSupport.h"

#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPrinter>

#include <gtest/gtest.h>

#include <sys/stat.h>

using namespace testing_support;

namespace {

class Saving : public ::testing::Test {
protected:
    void SetUp() override
    {
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(freshDir()));
        dir = freshDir();
        photo = dir + "/photo.jpg";
        ASSERT_TRUE(writeJpeg(photo, pattern(40, 30)));
        form = std::make_unique<TMainForm>(QStringList{dir + "/none.jpg"});
        form->show();
        QApplication::processEvents();
        form->ExecuteDialog = [this](TFileDialog &d) {
            asked.append(d.Title + "|" + d.Filter + "|" + d.DefaultExt);
            EXPECT_TRUE(d.FileName.isEmpty()) << "each save starts with an empty name";
            EXPECT_EQ(d.InitialDir, form->OpenDialog1.InitialDir) << "where the open dialog starts";
            EXPECT_EQ(d.kind, TFileDialog::Kind::SavePicture) << "with the preview";
            d.FileName = answer;
            return !answer.isEmpty();
        };
    }
    QString dir, photo, answer;
    QStringList asked;
    std::unique_ptr<TMainForm> form;
};

} // namespace

TEST(Printing, PictureFitsThePage)
{
    struct Case {
        int w, h, pw, ph;
        QSize expect;
    } cases[] = {
        {400, 300, 4800, 6600, {4800, 3600}}, // enlarged to the page width
        {300, 400, 4800, 6600, {4800, 6400}}, // enlarged to the height (4950 wide), then fitted to the width
        {300, 300, 4800, 6600, {4800, 4800}},
        {9600, 2000, 4800, 6600, {4800, 999}}, // shrunk, aspect kept; single precision and truncation give 999
        {2000, 20000, 4800, 6600, {660, 6600}},
        {4800, 100, 4800, 6600, {4800, 100}}, // as wide as the page: not enlarged
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << c.w << "x" << c.h);
        const QRect r = TMainForm::PrintRect(c.w, c.h, c.pw, c.ph);
        EXPECT_EQ(r.topLeft(), QPoint(0, 0));
        EXPECT_EQ(r.size(), c.expect);
    }
}

TEST_F(Saving, JpegAndPngAndCancel)
{
    answer.clear(); // cancelled: nothing happens
    form->SaveAsMenuClick();
    EXPECT_TRUE(asked.isEmpty()) << "nothing on show, nothing asked";
    form->OpenImage(photo);
    form->SaveAsMenuClick();
    ASSERT_EQ(asked.size(), 1);
    EXPECT_EQ(asked[0], "JPEGﾌｧｲﾙに保存|JPEGﾌｧｲﾙ(*.jpg;*.jpeg)|*.jpg;*.jpeg|jpg");
    EXPECT_TRUE(form->StatusBar->panelText(1).isEmpty());
    EXPECT_EQ(QDir(dir).entryList(QDir::Files).size(), 1);

    answer = dir + "/copy.jpg";
    form->SaveAsMenuClick();
    EXPECT_EQ(readFile(answer), readFile(photo)) << "an unchanged JPEG is written as it was read";
    EXPECT_TRUE(form->StatusBar->panelText(1).isEmpty());

    answer = dir + "/copy.png";
    form->SaveOverMenuClick();
    EXPECT_EQ(asked.last(), "PNG形式で保存|Portable Network Graphics (*.png)|*.png|png");
    TPNGImage png;
    png.loadFromFile(answer);
    const TBitmap &shown = form->CurrentJpeg->bitmap();
    ASSERT_EQ(QSize(png.width(), png.height()), QSize(40, 30));
    int mismatches = 0;
    for (int y = 0; y < 30; ++y)
        for (int x = 0; x < 40; ++x)
            mismatches += png.bitmap().pixel(x, y) != shown.pixel(x, y);
    EXPECT_EQ(mismatches, 0);
}

TEST_F(Saving, PrintToPdfAndCancel)
{
    form->OpenImage(photo);
    const QString pdf = dir + "/out.pdf";
    form->PrintDialog1 = [](QPrinter &) { return false; };
    form->PrintMenuClick();
    EXPECT_FALSE(QFileInfo::exists(pdf));
    form->PrintDialog1 = [&](QPrinter &printer) {
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(pdf);
        return true;
    };
    form->PrintMenuClick();
    EXPECT_TRUE(readFile(pdf).startsWith("%PDF-"));
}

TEST_F(Saving, CopyPutsThePictureOnTheClipboard)
{
    QGuiApplication::clipboard()->setText("before");
    form->Copy1Click();
    EXPECT_EQ(QGuiApplication::clipboard()->text(), "before") << "nothing on show: nothing copied";
    form->OpenImage(photo);
    form->Copy1Click();
    const QImage img = QGuiApplication::clipboard()->image();
    EXPECT_EQ(img.size(), QSize(40, 30));
    EXPECT_EQ(img.pixel(5, 5), form->CurrentJpeg->bitmap().pixel(5, 5));
}

TEST_F(Saving, OverwritingKeepsTheFilesModeAndFollowsALink)
{
    const auto modeOf = [](const QString &path) {
        struct stat st {};
        return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? st.st_mode & 07777 : 07777u;
    };
    form->OpenImage(photo);
    answer = dir + "/group.jpg";
    ASSERT_TRUE(writeFile(answer, "old"));
    ASSERT_EQ(::chmod(QFile::encodeName(answer).constData(), 0664), 0);
    form->SaveAsMenuClick();
    EXPECT_EQ(readFile(answer), readFile(photo));
    EXPECT_EQ(modeOf(answer), 0664u);

    const QString real = dir + "/real.png";
    ASSERT_TRUE(writeFile(real, "old"));
    answer = dir + "/link.png";
    ASSERT_TRUE(QFile::link(real, answer));
    form->SaveOverMenuClick();
    EXPECT_TRUE(QFileInfo(answer).isSymLink());
    TPNGImage png;
    png.loadFromFile(real);
    EXPECT_EQ(png.width(), 40);
}

TEST_F(Saving, AGreyPictureShowsAndSavesItsOwnLevels)
{
    JpegOptions opt;
    opt.gray = true;
    const QString gray = dir + "/gray.jpg";
    ASSERT_TRUE(writeJpeg(gray, pattern(64, 48, 7), opt));
    const Decoded raw = rawDecode(readFile(gray));
    form->OpenImage(gray);
    answer = dir + "/gray.png";
    form->SaveOverMenuClick();
    TPNGImage png;
    png.loadFromFile(answer);
    ASSERT_EQ(QSize(png.width(), png.height()), QSize(raw.width, raw.height));
    int mismatches = 0;
    for (int y = 0; y < raw.height; ++y)
        for (int x = 0; x < raw.width; ++x) {
            const int v = raw.pixels[size_t(y * raw.width + x)];
            mismatches += png.bitmap().pixel(x, y) != qRgb(v, v, v);
            mismatches += form->CurrentJpeg->bitmap().pixel(x, y) != qRgb(v, v, v);
        }
    EXPECT_EQ(mismatches, 0);
}
