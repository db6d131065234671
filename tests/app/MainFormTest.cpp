#include "AppTestSupport.h"
#include "JPEG.h"
#include "MainUnit.h"
#include "MsgBox.h"
#include "Preload.h"
#include "RotateUnit.h"
#include "SSImage.h"
#include "ShView.h"
#include "StatusBarEx.h"
#include "TestSupport.h"

#include <QApplication>
#include <QClipboard>
#include <QDesktopServices>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QFontDatabase>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QMenu>
#include <QScrollArea>
#include <QScrollBar>
#include <QSlider>
#include <QSpinBox>
#include <QTimer>
#include <QToolButton>

#include <gtest/gtest.h>

#include <cmath>
#include <condition_variable>
#include <mutex>

using namespace testing_support;

namespace {

QString jpegFixture(const QString &dir, const QString &name, int w, int h, unsigned seed = 1)
{
    const QString path = dir + QLatin1Char('/') + name;
    EXPECT_TRUE(writeJpeg(path, pattern(w, h, seed)));
    return path;
}

// Shows the window and lets the events that follow run (the first picture opens then).
void showAndSettle(QWidget &w)
{
    w.show();
    QApplication::processEvents();
}

} // namespace

TEST(MainForm, ClassifyFileByExtension)
{
    struct Case {
        const char *path;
        TFileKind kind;
    } cases[] = {
        {"/p/A.JPG", fkJpeg},        {"/p/b.jpeg", fkJpeg},      {"/p/c.JPZ", fkJpeg},
        {"/p/d.LZH", fkArchive},     {"/p/a.b", fkPicture},      {"/p/x.Bmp", fkPicture},
        {"/p/notes.txt", fkForeign}, {"/p/README", fkForeign},   {"/p.d/README", fkForeign},
        {"/p/photo.PNG", fkPicture}, {"/p/photo.pn", fkPicture}, {"/p/photo.xyz", fkForeign},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.path);
        EXPECT_EQ(TMainForm::ClassifyFile(c.path), c.kind);
    }
    // A format registered later (a plug-in's) makes its files pictures.
    TPicture::registerFileFormat("XYZ", "Test", "TTestXYZ", nullptr);
    EXPECT_EQ(TMainForm::ClassifyFile("/p/photo.xyz"), fkPicture);
    TPicture::unregisterGraphicClass("TTestXYZ");
}

TEST(MainForm, ZoomTable)
{
    struct Case {
        int pos, w, h;
    } cases[] = {{0, 100, 75},  {1, 133, 100}, {2, 200, 150},  {3, 300, 225},  {4, 400, 300},
                 {5, 600, 450}, {6, 800, 600}, {7, 1200, 900}, {8, 1600, 1200}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.pos);
        EXPECT_EQ(TMainForm::ZoomSize(c.pos, 400, 300), QSize(c.w, c.h));
    }
    EXPECT_EQ(TMainForm::ZoomSize(3, 7, 7), QSize(3, 3)); // (7 div 4) * 3
}

TEST(MainForm, RotationGeometry)
{
    TBitmap src = TBitmap::fromImage(pattern(100, 50));
    const TBitmap r90 = TMainForm::RotateBitmap(src, 90, nullptr);
    ASSERT_EQ(r90.width(), 51);
    ASSERT_EQ(r90.height(), 101);
    const QRgb grey = qRgb(128, 128, 128);
    for (int y = 0; y < 101; ++y)
        ASSERT_EQ(r90.pixel(0, y), grey) << y;
    for (int x = 0; x < 51; ++x)
        ASSERT_EQ(r90.pixel(x, 100), grey) << x;
    // Clockwise: the top-left corner goes to the top-right, the bottom-right to the bottom-left.
    EXPECT_EQ(r90.pixel(50, 0), src.pixel(0, 0));
    EXPECT_EQ(r90.pixel(1, 99), src.pixel(99, 49));

    TBitmap once = TMainForm::RotateBitmap(src, 180, nullptr);
    EXPECT_EQ(QSize(once.width(), once.height()), QSize(101, 51));
    const TBitmap twice = TMainForm::RotateBitmap(once, 180, nullptr);
    EXPECT_EQ(QSize(twice.width(), twice.height()), QSize(102, 52));

    const TBitmap r30 = TMainForm::RotateBitmap(src, 30, nullptr);
    EXPECT_EQ(QSize(r30.width(), r30.height()), QSize(113, 94)); // R(86.6 + 25) + 1, R(50 + 43.3) + 1
    EXPECT_EQ(r30.pixel(0, 0), grey);
}

TEST(MainForm, RotationSamplesExactlyAsTheExtendedPrecisionWalk)
{
    // The walk as written out: extended precision, incremental, round half to even.
    const auto reference = [](const TBitmap &src, int degrees) {
        const long double a = degrees * 3.14159265358979323846264338327950288L / 180.0L;
        const long double c = cosl(a), s = sinl(a);
        const int w = src.width(), h = src.height();
        const int w2 = int(llrintl(fabsl(c * w) + fabsl(-s * h)) + 1);
        const int h2 = int(llrintl(fabsl(s * w) + fabsl(c * h)) + 1);
        QImage out(w2, h2, QImage::Format_RGB32);
        long double x = w / 2.0L - c * (w2 / 2) - s * (h2 / 2);
        long double y = h / 2.0L + s * (w2 / 2) - c * (h2 / 2);
        for (int j = 0; j < h2; ++j) {
            for (int i = 0; i < w2; ++i) {
                const long long X = llrintl(x), Y = llrintl(y);
                out.setPixel(i, j,
                             X >= 0 && X < w && Y >= 0 && Y < h ? src.pixel(int(X), int(Y)) : qRgb(128, 128, 128));
                x += c;
                y -= s;
            }
            x += s - c * w2;
            y += c + s * w2;
        }
        return out;
    };
    TBitmap src = TBitmap::fromImage(pattern(37, 23));
    for (int degrees : {1, 30, 45, 90, 137, 180, 270, 359}) {
        SCOPED_TRACE(degrees);
        const QImage expected = reference(src, degrees);
        const TBitmap got = TMainForm::RotateBitmap(src, degrees, nullptr);
        ASSERT_EQ(QSize(got.width(), got.height()), expected.size());
        int mismatches = 0;
        for (int y = 0; y < expected.height(); ++y)
            for (int x = 0; x < expected.width(); ++x)
                mismatches += got.pixel(x, y) != expected.pixel(x, y);
        EXPECT_EQ(mismatches, 0);
    }
}

class MainFormFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(freshDir())); // an empty registry each time
        dir = freshDir();
        a = jpegFixture(dir, "a.jpg", 120, 80, 1);
        b = jpegFixture(dir, "b.JPG", 60, 40, 2);
    }
    QString dir, a, b;
    MessageRecorder messages;
};

TEST_F(MainFormFixture, OpenImageLoadsOnceAndSkipsTheSamePath)
{
    TMainForm form;
    form.CurrentFile = a; // as if the last run ended on it
    form.OpenImage(a);
    EXPECT_EQ(form.GlobalCounter, 1) << "the first open always loads";
    EXPECT_EQ(form.CurrentJpeg->width(), 120);
    EXPECT_EQ(form.StatusBar->panelText(2), a);
    EXPECT_EQ(form.Image1->toolTip(), a);

    form.OpenImage(a);
    EXPECT_EQ(form.GlobalCounter, 1);
    form.OpenImage(b);
    EXPECT_EQ(form.GlobalCounter, 2);
    EXPECT_EQ(form.CurrentFile, b);
    EXPECT_EQ(form.Image1->size(), QSize(60, 40));
    EXPECT_TRUE(messages.seen.isEmpty());
}

TEST_F(MainFormFixture, MissingFileIsReportedAndChangesNothing)
{
    TMainForm form;
    form.OpenImage(a);
    const QString missing = dir + "/gone.jpg";
    form.OpenImage(missing);
    ASSERT_EQ(messages.seen.size(), 1);
    EXPECT_EQ(messages.seen[0].text, QStringLiteral("ﾌｧｲﾙが見つかりません\n") + missing);
    EXPECT_EQ(messages.seen[0].kind, TMsgKind::Information);
    EXPECT_EQ(form.CurrentFile, a);
}

TEST_F(MainFormFixture, DamagedFileKeepsThePictureOnShow)
{
    TMainForm form;
    form.OpenImage(a);
    struct Case {
        const char *name;
        QByteArray data;
    } cases[] = {{"empty.jpg", {}}, {"text.jpg", "just some text"}, {"cut.jpg", readFile(a).left(30)}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const QString bad = dir + '/' + c.name;
        ASSERT_TRUE(writeFile(bad, c.data));
        EXPECT_THROW(form.OpenImage(bad), EJPEG);
        EXPECT_EQ(form.CurrentFile, a);
        EXPECT_EQ(form.CurrentJpeg->width(), 120);
        EXPECT_EQ(form.Image1->picture().width(), 120);
    }
    EXPECT_EQ(form.GlobalCounter, 1);
}

TEST_F(MainFormFixture, ForeignFilesGoToTheShell)
{
    ShellOpenCatcher catcher;
    QDesktopServices::setUrlHandler("file", &catcher, "open");
    TMainForm form;
    form.OpenImage(a);
    const QString txt = dir + "/notes.txt";
    ASSERT_TRUE(writeFile(txt, "hello"));
    form.OpenImage(txt);
    QDesktopServices::unsetUrlHandler("file");
    ASSERT_EQ(catcher.urls.size(), 1);
    EXPECT_EQ(catcher.urls[0].toLocalFile(), txt);
    EXPECT_EQ(form.CurrentFile, a);
    EXPECT_EQ(form.GlobalCounter, 1);
}

TEST_F(MainFormFixture, ShowsThePicturePixelForPixelAtOneToOne)
{
    TMainForm form({a});
    showAndSettle(form);
    ASSERT_EQ(form.CurrentFile, QFileInfo(a).absoluteFilePath());
    ASSERT_EQ(form.Image1->size(), QSize(120, 80));
    const QImage shown = form.Image1->grab().toImage().convertToFormat(QImage::Format_RGB32);
    const Decoded ref = rawDecode(readFile(a));
    int mismatches = 0;
    for (int y = 0; y < ref.height; ++y)
        for (int x = 0; x < ref.width; ++x) {
            const unsigned char *p = ref.pixels.data() + (size_t(y) * size_t(ref.width) + size_t(x)) * 3;
            mismatches += shown.pixel(x, y) != qRgb(p[0], p[1], p[2]);
        }
    EXPECT_EQ(mismatches, 0);
}

TEST_F(MainFormFixture, StartUpOpensTheFirstArgumentOrTheDefaultImage)
{
    {
        TMainForm form({b, a});
        showAndSettle(form);
        EXPECT_EQ(form.CurrentFile, b);
        EXPECT_EQ(form.FolderView1->GetCurrentPath(), dir) << "LinkWorkDir selects the file's folder";
    }
    {
        TMainForm form({dir + "/nothing.jpg"});
        showAndSettle(form);
        EXPECT_TRUE(form.CurrentFile.isEmpty());
        EXPECT_TRUE(messages.seen.isEmpty()) << "a missing command-line file is ignored silently";
    }
    {
        TMainForm form;
        showAndSettle(form);
        EXPECT_EQ(form.CurrentFile, form.DefaultImage);
        EXPECT_TRUE(form.DefaultImage.endsWith("/def.jpg"));
        EXPECT_GT(form.CurrentJpeg->width(), 0);
    }
}

TEST_F(MainFormFixture, DropOpensOnlyTheFirstFile)
{
    TMainForm form;
    form.OpenImage(a);
    form.WMDropFiles({dir, b}); // a folder first: ignored, and the rest with it
    EXPECT_EQ(form.CurrentFile, a);
    const QString sub = dir + "/sub";
    QDir().mkpath(sub);
    const QString c = jpegFixture(sub, "c.jpg", 30, 20);
    form.WMDropFiles({c, b, a});
    EXPECT_EQ(form.CurrentFile, c);
    EXPECT_EQ(form.FolderView1->GetCurrentPath(), sub);
}

TEST_F(MainFormFixture, ZoomFollowsFixedScale)
{
    TMainForm form;
    form.OpenImage(a);
    form.ViewRate->setValue(6);
    EXPECT_EQ(form.Image1->size(), QSize(240, 160));
    form.OpenImage(b);
    EXPECT_EQ(form.ViewRate->value(), 6) << "FixedScale keeps the zoom";
    EXPECT_EQ(form.Image1->size(), QSize(120, 80));
    form.FixedScale = false;
    form.OpenImage(a);
    EXPECT_EQ(form.ViewRate->value(), 4);
    EXPECT_EQ(form.Image1->size(), QSize(120, 80));
    form.Z1Click(form.Z[1]);
    EXPECT_EQ(form.ViewRate->value(), 1);
    EXPECT_EQ(form.Image1->size(), QSize(40, 26));
    form.ViewRate->setValue(7);
    form.k1Click();
    EXPECT_TRUE(form.Z[7]->isChecked());
}

TEST_F(MainFormFixture, MouseButtonsOnTheView)
{
    TMainForm form;
    form.resize(300, 300);
    showAndSettle(form);
    form.OpenImage(a);
    struct Case {
        const char *name;
        int start;
        Qt::MouseButtons buttons;
        Qt::KeyboardModifiers mods;
        int expected;
    } cases[] = {
        {"shift+left zooms out", 4, Qt::LeftButton, Qt::ShiftModifier, 3},
        {"shift+right zooms in", 4, Qt::RightButton, Qt::ShiftModifier, 5},
        {"shift+left at 0 stays", 0, Qt::LeftButton, Qt::ShiftModifier, 0},
        {"shift+right at 8 stays", 8, Qt::RightButton, Qt::ShiftModifier, 8},
        {"ctrl+shift+left does nothing", 4, Qt::LeftButton, Qt::ShiftModifier | Qt::ControlModifier, 4},
        {"both buttons do nothing", 4, Qt::LeftButton | Qt::RightButton, Qt::NoModifier, 4},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        form.ViewRate->setValue(c.start);
        form.ScrollBox1MouseDown(form.Image1, c.buttons, c.mods, 5, 5);
        EXPECT_EQ(form.ViewRate->value(), c.expected);
        EXPECT_EQ(form.Image1->size(), TMainForm::ZoomSize(c.expected, 120, 80));
        EXPECT_FALSE(form.Dragging);
    }
    // A right click toggles the browser pane.
    EXPECT_FALSE(form.Explorer->isChecked());
    form.ScrollBox1MouseDown(form.Image1, Qt::RightButton, Qt::NoModifier, 5, 5);
    EXPECT_TRUE(form.Explorer->isChecked());
    EXPECT_GT(form.Panel1->height(), 0);
    form.ScrollBox1MouseDown(form.ScrollBox1, Qt::RightButton, Qt::NoModifier, 5, 5);
    EXPECT_FALSE(form.Explorer->isChecked());
    EXPECT_EQ(form.Panel1->height(), 0);
}

TEST_F(MainFormFixture, DragAndKeysScrollTheView)
{
    TMainForm form;
    form.resize(300, 300);
    showAndSettle(form);
    form.OpenImage(jpegFixture(dir, "big.jpg", 200, 150));
    form.ViewRate->setValue(8); // 800 x 600, larger than the view
    QApplication::processEvents();
    QScrollBar *h = form.ScrollBox1->horizontalScrollBar();
    QScrollBar *v = form.ScrollBox1->verticalScrollBar();
    ASSERT_GT(h->maximum(), 0);
    ASSERT_GT(v->maximum(), 0);

    form.ScrollBox1MouseDown(form.ScrollBox1, Qt::LeftButton, Qt::NoModifier, 50, 50);
    EXPECT_FALSE(form.Dragging) << "dragging starts only on the picture";
    form.ScrollBox1MouseDown(form.Image1, Qt::LeftButton, Qt::NoModifier, 50, 50);
    EXPECT_TRUE(form.Dragging);
    form.Image1MouseMove(Qt::NoModifier, 30, 40);
    EXPECT_EQ(h->value(), 20);
    EXPECT_EQ(v->value(), 10);
    form.Image1MouseUp(Qt::LeftButton, Qt::NoModifier, 30, 40);
    EXPECT_FALSE(form.Dragging);
    form.Image1MouseMove(Qt::NoModifier, 0, 0);
    EXPECT_EQ(h->value(), 20);

    form.RScrollClick();
    EXPECT_EQ(h->value(), 25);
    form.LScrollClick();
    form.LScrollClick();
    EXPECT_EQ(h->value(), 15);
    form.DScrollClick();
    EXPECT_EQ(v->value(), 15);
    form.UScrollClick();
    EXPECT_EQ(v->value(), 10);
    h->setValue(0);
    form.LScrollClick();
    EXPECT_EQ(h->value(), 0) << "positions stay within range";
    EXPECT_EQ(form.RScroll->shortcut(), QKeySequence("Shift+D"));
    EXPECT_EQ(form.LScroll->shortcut(), QKeySequence("Shift+S"));
    EXPECT_EQ(form.UScroll->shortcut(), QKeySequence("Shift+E"));
    EXPECT_EQ(form.DScroll->shortcut(), QKeySequence("Shift+X"));
}

TEST_F(MainFormFixture, RotationWorksOnThePictureOnShow)
{
    const QString wide = jpegFixture(dir, "wide.jpg", 100, 50);
    TMainForm form;
    form.RotatePicture(90);
    EXPECT_TRUE(form.CurrentJpeg->isEmpty()) << "nothing on show, nothing to turn";
    form.OpenImage(wide);
    form.ViewRate->setValue(6);
    form.RotatePicture(90);
    EXPECT_EQ(QSize(form.CurrentJpeg->width(), form.CurrentJpeg->height()), QSize(51, 101));
    EXPECT_EQ(form.Image1->size(), QSize(51, 101)) << "shown at natural size until the zoom changes";
    EXPECT_EQ(form.CurrentFile, wide);
    EXPECT_FALSE(form.CurrentJpeg->hasCompressedData());
    EXPECT_EQ(form.StatusBar->gauge(), 0);
    form.Rotate2Click();
    EXPECT_EQ(QSize(form.CurrentJpeg->width(), form.CurrentJpeg->height()), QSize(52, 102));
    // The rotated picture saves as a new JPEG of its own size.
    const QString out = dir + "/rotated.jpg";
    form.CurrentJpeg->saveToFile(out);
    TJPEGImage back;
    back.loadFromFile(out);
    EXPECT_EQ(QSize(back.width(), back.height()), QSize(52, 102));
}

TEST_F(MainFormFixture, APictureOpenedDuringARotationIsLeftAlone)
{
    TMainForm form;
    showAndSettle(form);
    form.OpenImage(a);
    // Opened (and, in the second round, turned) while the first rotation lets events run.
    for (const bool turnAgain : {false, true}) {
        SCOPED_TRACE(turnAgain ? "a second rotation" : "another picture");
        bool ran = false;
        // Two hops: the command lets events run once before it starts turning.
        QTimer::singleShot(0, &form, [&] {
            QTimer::singleShot(0, &form, [&] {
                ran = true;
                if (turnAgain)
                    form.RotatePicture(180);
                else
                    form.OpenImage(b);
            });
        });
        const QString before = form.CurrentFile;
        const QSize size(form.CurrentJpeg->width(), form.CurrentJpeg->height());
        form.RotatePicture(90);
        ASSERT_TRUE(ran);
        if (turnAgain) {
            EXPECT_EQ(QSize(form.CurrentJpeg->width(), form.CurrentJpeg->height()), size + QSize(1, 1))
                << "the later rotation's result stays";
        } else {
            EXPECT_EQ(form.CurrentFile, b);
            EXPECT_EQ(form.CurrentJpeg->width(), 60) << "the newly opened picture, unturned";
            EXPECT_EQ(form.Image1->size(), QSize(60, 40));
        }
    }
}

TEST_F(MainFormFixture, PreloadHandsOverOnlyTheSameUnchangedFile)
{
    {
        TPreload p;
        p.start(a);
        EXPECT_EQ(p.take(b).picture, nullptr);
        EXPECT_EQ(p.take(a).picture, nullptr) << "handed over at most once";
    }
    {
        TPreload p;
        p.start(a);
        auto img = p.take(a).picture;
        ASSERT_NE(img, nullptr);
        EXPECT_TRUE(img->hasBitmap());
        EXPECT_EQ(img->width(), 120);
    }
    {
        TPreload p;
        p.start(a);
        ASSERT_TRUE(writeJpeg(a, pattern(10, 10))); // replaced before the window asks for it
        EXPECT_EQ(p.take(a).picture, nullptr);
    }
    {
        const QString bad = dir + "/bad.jpg", txt = dir + "/t.txt";
        ASSERT_TRUE(writeFile(bad, "no jpeg"));
        ASSERT_TRUE(writeFile(txt, "text"));
        TPreload p1, p2;
        p1.start(bad);
        p2.start(txt);
        EXPECT_EQ(p1.take(bad).picture, nullptr);
        EXPECT_EQ(p2.take(txt).picture, nullptr);
    }
    {
        // The worker decodes with the options it was handed, whatever the defaults become.
        TJPEGDefaults eightBit = JpegDefaults;
        eightBit.EightBitOutput = true;
        TPreload p;
        p.start(a, eightBit);
        auto img = p.take(a).picture;
        ASSERT_NE(img, nullptr);
        EXPECT_TRUE(img->eightBitOutput());
        EXPECT_EQ(img->bitmap().pixelFormat(), TPixelFormat::pf8bit);
        EXPECT_FALSE(JpegDefaults.EightBitOutput);
    }
    // The window uses the handed-over picture.
    TPreload p;
    p.start(b);
    TMainForm form({b});
    form.Preload = &p;
    showAndSettle(form);
    EXPECT_EQ(form.CurrentFile, b);
    EXPECT_TRUE(form.CurrentJpeg->hasBitmap());
}

namespace {
// Holds the preload's full decode after its preview until released.
struct Gate {
    std::mutex m;
    std::condition_variable cv;
    bool open = false;
    void wait()
    {
        std::unique_lock l(m);
        cv.wait(l, [this] { return open; });
    }
    void release()
    {
        std::lock_guard l(m);
        open = true;
        cv.notify_all();
    }
};

// A window started on file, whose preload stops after the preview until the gate opens (at
// the latest when this goes, so a failed test cannot leave the worker waiting).
struct HeldPreview {
    Gate gate;
    TPreload preload;
    std::unique_ptr<TMainForm> form;
    HeldPreview(const QString &file, const QSize &preview)
    {
        preload.AfterPreview = [this] { gate.wait(); };
        preload.start(file, JpegDefaults, preview, 1000);
        form = std::make_unique<TMainForm>(QStringList{file});
        form->Preload = &preload;
        showAndSettle(*form);
    }
    ~HeldPreview()
    {
        gate.release();
        form.reset();
    }
};

bool waitFor(const std::function<bool()> &done, int ms = 10000)
{
    QElapsedTimer t;
    t.start();
    while (!done() && t.elapsed() < ms)
        QApplication::processEvents(QEventLoop::AllEvents, 20);
    return done();
}
} // namespace

TEST_F(MainFormFixture, LargePictureShowsItsPreviewUntilTheWholeArrives)
{
    const QString big = jpegFixture(dir, "big.jpg", 400, 300);
    HeldPreview held(big, QSize(64, 48));
    TMainForm &form = *held.form;

    EXPECT_EQ(form.CurrentFile, big);
    EXPECT_FALSE(form.CurrentJpeg->hasBitmap()) << "the header stands in meanwhile";
    EXPECT_EQ(form.Image1->size(), QSize(400, 300));
    EXPECT_NE(dynamic_cast<TPreviewGraphic *>(form.Image1->picture().graphic()), nullptr);
    const QImage early = form.Image1->grab().toImage().convertToFormat(QImage::Format_RGB32);

    held.gate.release();
    ASSERT_TRUE(waitFor([&] { return form.CurrentJpeg->hasBitmap(); }));
    EXPECT_NE(dynamic_cast<TJPEGImage *>(form.Image1->picture().graphic()), nullptr);
    const QImage late = form.Image1->grab().toImage().convertToFormat(QImage::Format_RGB32);
    // The preview was exact where it covered the picture.
    EXPECT_EQ(early.copy(0, 0, 64, 48), late.copy(0, 0, 64, 48));
    EXPECT_EQ(form.GlobalCounter, 1);
}

TEST_F(MainFormFixture, RotationDuringThePreviewWinsOverTheArrivingPicture)
{
    const QString big = jpegFixture(dir, "big.jpg", 200, 100);
    HeldPreview held(big, QSize(32, 32));
    TMainForm &form = *held.form;
    ASSERT_FALSE(form.CurrentJpeg->hasBitmap());
    form.RotatePicture(90);
    EXPECT_EQ(QSize(form.CurrentJpeg->width(), form.CurrentJpeg->height()), QSize(101, 201));
    held.gate.release();
    // Long enough for the worker to finish and its delivery to run (and be turned away).
    waitFor([] { return false; }, 300);
    EXPECT_EQ(QSize(form.CurrentJpeg->width(), form.CurrentJpeg->height()), QSize(101, 201));
    EXPECT_EQ(form.Image1->size(), QSize(101, 201));
}

TEST_F(MainFormFixture, ACopyDuringThePreviewStillEndsOnTheWholePicture)
{
    const QString big = jpegFixture(dir, "big.jpg", 300, 200);
    HeldPreview held(big, QSize(32, 32));
    TMainForm &form = *held.form;
    ASSERT_NE(dynamic_cast<TPreviewGraphic *>(form.Image1->picture().graphic()), nullptr);
    form.Copy1Click(); // decodes the picture in memory itself
    EXPECT_EQ(QGuiApplication::clipboard()->image().size(), QSize(300, 200));
    held.gate.release();
    ASSERT_TRUE(waitFor([&] { return dynamic_cast<TJPEGImage *>(form.Image1->picture().graphic()) != nullptr; }));
    const QImage shown = form.Image1->grab().toImage().convertToFormat(QImage::Format_RGB32);
    TBitmap whole;
    whole.assign(*form.CurrentJpeg);
    EXPECT_EQ(shown, whole.toImage().convertToFormat(QImage::Format_RGB32)) << "not the preview's corner";
}

TEST_F(MainFormFixture, DamagedFirstPictureIsReportedOverTheShownWindow)
{
    const QString bad = dir + "/bad.jpg";
    ASSERT_TRUE(writeFile(bad, "no jpeg at all"));
    QStringList reported;
    SetErrorReporter([&](const QString &m) { reported.append(m); });
    TMainForm form({bad});
    showAndSettle(form);
    SetErrorReporter(nullptr);
    EXPECT_TRUE(form.isVisible());
    ASSERT_EQ(reported.size(), 1);
    EXPECT_TRUE(reported[0].startsWith("JPEG ｴﾗｰ #"));
    EXPECT_TRUE(form.CurrentFile.isEmpty());
}

TEST_F(MainFormFixture, PluginProgressFollowsUpTo95)
{
    TMainForm form;
    TBitmap sender;
    for (const auto &[percent, gauge] : {std::pair{0, 0}, {40, 40}, {94, 94}, {95, 0}, {100, 0}}) {
        form.PluginProgress(sender, TProgressStage::psRunning, percent, false, QRect(), QString());
        EXPECT_EQ(form.StatusBar->gauge(), gauge) << percent;
    }
}

TEST(Fonts, AJapaneseFontIsInstalled)
{
    EXPECT_FALSE(QFontDatabase::families(QFontDatabase::Japanese).isEmpty());
}

TEST(RotateForm, EnterAcceptsAndEscapeCancels)
{
    for (int key : {Qt::Key_Return, Qt::Key_Escape}) {
        SCOPED_TRACE(key);
        TRotateForm dlg;
        dlg.SpinEdit->setValue(45);
        EXPECT_EQ(dlg.SpinEdit->minimum(), 1);
        EXPECT_EQ(dlg.SpinEdit->maximum(), 359);
        dlg.open();
        dlg.SpinEdit->setFocus();
        QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
        QApplication::sendEvent(dlg.SpinEdit, &press);
        EXPECT_FALSE(dlg.isVisible());
        EXPECT_EQ(dlg.result(), key == Qt::Key_Return ? QDialog::Accepted : QDialog::Rejected);
    }
}

TEST_F(MainFormFixture, ClosingDeletesTheTemporaryFilesThatStillExist)
{
    TMainForm form;
    const QString t1 = dir + "/t1.jpg", t2 = dir + "/t2.jpg";
    ASSERT_TRUE(writeFile(t1, "x"));
    form.TempFiles = {t1, t2};
    bool canClose = false;
    form.FormCloseQuery(canClose);
    EXPECT_TRUE(canClose);
    EXPECT_FALSE(QFileInfo::exists(t1));
    EXPECT_TRUE(QFileInfo::exists(a));
}


TEST_F(MainFormFixture, TheTitleIconOpensTheWindowMenuAndADoubleClickCloses)
{
    const auto closeItem = [](const QMenu *menu) -> QAction * {
        for (QAction *a : menu->actions())
            if (a->text() == "閉じる(&C)")
                return a;
        return nullptr;
    };
    const auto send = [](QWidget *to, QEvent::Type type, const QPoint &local) {
        QMouseEvent e(type, QPointF(local), QPointF(to->mapToGlobal(local)), Qt::LeftButton, Qt::LeftButton,
                      Qt::NoModifier);
        QApplication::sendEvent(to, &e);
    };
    {
        TMainForm form;
        showAndSettle(form);
        send(form.Image2, QEvent::MouseButtonPress, QPoint(4, 4));
        ASSERT_TRUE(form.PopupMenu1->isVisible()) << "a click on the icon opens the window menu";
        EXPECT_EQ(form.PopupMenu1->pos(), form.Image2->mapToGlobal(QPoint(0, form.Image2->height())));
        EXPECT_TRUE(form.MaximizeMenu->isEnabled());
        EXPECT_FALSE(form.NormalizeMenu->isEnabled());
        QAction *close = closeItem(form.PopupMenu1);
        ASSERT_NE(close, nullptr);
        form.PopupMenu1->hide();
        close->trigger();
        EXPECT_FALSE(form.isVisible());
    }
    {
        // The second click of a double click lands on the menu the first one opened.
        TMainForm form;
        showAndSettle(form);
        send(form.Image2, QEvent::MouseButtonPress, QPoint(4, 4));
        ASSERT_TRUE(form.PopupMenu1->isVisible());
        const QPoint onIcon = form.PopupMenu1->mapFromGlobal(form.Image2->mapToGlobal(QPoint(4, 4)));
        send(form.PopupMenu1, QEvent::MouseButtonPress, onIcon);
        EXPECT_FALSE(form.PopupMenu1->isVisible());
        EXPECT_FALSE(form.isVisible());
        EXPECT_FALSE(form.isMaximized());
    }
    {
        TMainForm form;
        showAndSettle(form);
        send(form.Image2, QEvent::MouseButtonDblClick, QPoint(4, 4));
        EXPECT_FALSE(form.isVisible()) << "closed, not maximised";
        EXPECT_FALSE(form.isMaximized());
    }
}
