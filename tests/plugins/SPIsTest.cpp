#include "SPIs.h"
#include "MainUnit.h"
#include "PNGImage.h"
#include "Picture.h"
#include "Registry.h"
#include "SPIBmp.h"
#include "TestSupport.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

#include <future>

#include <cstring>

#include <algorithm>

#include <dlfcn.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <gif_lib.h>
#include <tiffio.h>
#include <webp/encode.h>

using namespace testing_support;

namespace {
const QString kDir = QStringLiteral(TEST_SPI_DIR);

QStringList names(const TSPIs &spis)
{
    QStringList out;
    for (int i = 0; i < spis.Count(); ++i)
        out.append(QFileInfo(spis.Items(i)->FileName).fileName() + ":" + spis.Items(i)->APIVersion);
    return out;
}
} // namespace

TEST(SPIs, DiscoveryKindsAndWhatIsPassedOver)
{
    TSPIs spis;
    spis.Search(kDir + "/*.spi");
    // Name order; the plug-in without GetPicture, the non-library and the hidden file are not there.
    EXPECT_EQ(names(spis), (QStringList{"test_AM.spi:00AM", "test_IMPORT.spi:00IN", "test_NOVERSION.spi:"}));
    EXPECT_NE(dynamic_cast<TAmSPI *>(spis.Items(0)), nullptr);
    auto *in = dynamic_cast<TInSPI *>(spis.Items(1));
    ASSERT_NE(in, nullptr);
    EXPECT_EQ(in->PluginInfo, "Test plug-in IMPORT");
    EXPECT_EQ(in->Extensions, (QStringList{"*.MAG", "*.pi1;*.pi2"})) << "pairs only whole";
    EXPECT_EQ(in->Descriptions, (QStringList{"MAG format", "PI format"}));
    EXPECT_EQ(typeid(*spis.Items(2)), typeid(TSPI)) << "no version: a plain plug-in";
    // Searching the same folder again loads nothing twice.
    spis.Search(kDir + "/*.spi");
    EXPECT_EQ(spis.Count(), 3);
    EXPECT_EQ(spis.IndexOf(in->FileName), 1);
}

TEST(SPIs, AFifoNamedLikeAPluginIsPassedOver)
{
    const QString dir = testing_support::freshDir();
    ASSERT_TRUE(QFile::copy(kDir + "/test_IMPORT.spi", dir + "/b.spi"));
    const QByteArray fifo = QFile::encodeName(dir + "/a.spi");
    ASSERT_EQ(::mkfifo(fifo.constData(), 0600), 0);
    TSPIs spis;
    auto search = std::async(std::launch::async, [&] { spis.Search(dir + "/*.spi"); });
    const bool finished = search.wait_for(std::chrono::seconds(10)) == std::future_status::ready;
    if (!finished) {
        // Let the waiting open go, so the test ends and says why.
        const int fd = ::open(fifo.constData(), O_WRONLY | O_NONBLOCK);
        if (fd >= 0)
            ::close(fd);
        search.wait();
    }
    EXPECT_TRUE(finished) << "the search waited on the FIFO";
    EXPECT_EQ(names(spis), QStringList{"b.spi:00IN"});
    TPicture::unregisterGraphicClass("TSPIBitmap");
}

TEST(SPIs, ImportPluginsOnlyAndTheirFormatsRegistered)
{
    TSPIs spis;
    spis.OnSearch = [](TSPIs &, TSPI &spi, bool &accept) { accept = dynamic_cast<TInSPI *>(&spi) != nullptr; };
    spis.Search(kDir + "/*.spi");
    EXPECT_EQ(names(spis), QStringList{"test_IMPORT.spi:00IN"});
    bool mag = false, pi2 = false, pi1 = false;
    for (const TFileFormat &f : TPicture::fileFormats()) {
        mag |= f.extension == "MAG" && f.description == "MAG format" && f.className == "TSPIBitmap";
        pi2 |= f.extension == "pi2" && f.description == "PI format";
        pi1 |= f.extension == "pi1";
    }
    EXPECT_TRUE(mag);
    EXPECT_TRUE(pi2) << "the last extension of a pattern";
    EXPECT_FALSE(pi1);
    TPicture::unregisterGraphicClass("TSPIBitmap");
}

TEST(SPIs, OnlyOneManager)
{
    TSPIs first;
    EXPECT_EQ(TSPIs::ActiveSPIs(), &first);
    try {
        TSPIs second;
        ADD_FAILURE() << "no exception";
    } catch (const ESPIDupCreateSPIs &e) {
        EXPECT_EQ(e.message(), QStringLiteral("TSPIs は複数生成できません"));
    }
    EXPECT_EQ(TSPIs::ActiveSPIs(), &first);
}

TEST(SPIs, SusieFolderFromTheRegistryAndRegistrationVeto)
{
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(freshDir()));
    {
        TSPIs none;
        none.SearchOptions = {TSPISearchOption::spsSusieDir};
        none.Loaded();
        EXPECT_EQ(none.Count(), 0) << "no registry value: the folder is skipped";
    }
    {
        TRegistry reg;
        reg.OpenKey("Software\\Kelvaro\\Susie\\Plug-in", true);
        reg.WriteString("Path", kDir);
        reg.CloseKey();
    }
    TSPIs spis;
    spis.SearchOptions = {TSPISearchOption::spsSusieDir};
    QStringList offered;
    spis.OnPictureRegister = [&](TSPIs &, TInSPI &, const QString &ext, const QString &, QString &cls) {
        offered.append(ext);
        cls.clear(); // register nothing
    };
    spis.Loaded();
    EXPECT_EQ(spis.Count(), 3);
    EXPECT_EQ(offered, (QStringList{"MAG", "pi2"}));
    for (const TFileFormat &f : TPicture::fileFormats())
        EXPECT_NE(f.extension, "MAG");
}

TEST(SPIs, CreateSPIYieldsNothingForNonPlugins)
{
    EXPECT_EQ(CreateSPI(kDir + "/bogus.spi"), nullptr);
    EXPECT_EQ(CreateSPI(kDir + "/test_NOENTRY.spi"), nullptr);
    EXPECT_EQ(CreateSPI(kDir + "/missing.spi"), nullptr);
    try {
        TSPI spi(kDir + "/missing.spi");
        ADD_FAILURE();
    } catch (const ESPIFOpenErrorSPI &e) {
        EXPECT_EQ(e.message(), kDir + "/missing.spi:Susie Pluginがロードできませんでした");
    }
}

TEST(SPIs, TheMainWindowKeepsImportPluginsOnly)
{
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(freshDir()));
    TMainForm form;
    ASSERT_NE(form.SPI, nullptr);
    EXPECT_EQ(TSPIs::ActiveSPIs(), form.SPI);
    EXPECT_EQ(form.SPI->Count(), 0) << "not before the first picture is up";
    form.LoadPlugins();
    form.SPI->Search(kDir + "/*.spi");
    // The shipped plug-in beside the program, and the test plug-in from the search.
    EXPECT_EQ(names(*form.SPI), (QStringList{"ifgif.spi:00IN", "ifpng.spi:00IN", "iftiff.spi:00IN", "ifwebp.spi:00IN",
                                             "test_IMPORT.spi:00IN"}));
    EXPECT_EQ(TMainForm::ClassifyFile("/p/x.mag"), fkPicture) << "its formats are pictures now";
    EXPECT_TRUE(form.OpenDialog1.Filter.contains("*.png"));
    TPicture::unregisterGraphicClass("TSPIBitmap");
}

TEST(SPIBitmap, PluginsNativeReaderAndRefusals)
{
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(freshDir()));
    TSPIs spis;
    spis.Search(QCoreApplication::applicationDirPath() + "/*.spi"); // the plug-ins we ship
    ASSERT_EQ(spis.Count(), 4);
    const QString dir = freshDir();

    // A PNG through the plug-in, also behind a 128-byte MacBinary header.
    TBitmap src = TBitmap::fromImage(pattern(21, 13));
    src.setPixelFormat(TPixelFormat::pf24bit);
    TPNGImage png;
    png.assign(src);
    const QByteArray bytes = png.saveToBytes();
    ASSERT_TRUE(writeFile(dir + "/a.png", bytes));
    ASSERT_TRUE(writeFile(dir + "/mac.png", QByteArray(128, 'M') + bytes));
    for (const char *name : {"/a.png", "/mac.png"}) {
        SCOPED_TRACE(name);
        TSPIBitmap b;
        QList<int> progress;
        b.OnProgress = [&](TGraphic &, TProgressStage, int percent, bool, const QRect &, const QString &) {
            progress.append(percent);
        };
        b.loadFromFile(dir + name);
        EXPECT_TRUE(b.equals(src) || (b.width() == 21 && b.pixel(20, 12) == src.pixel(20, 12)));
        EXPECT_EQ(progress, (QList<int>{0, 100}));
    }
    TSPIBitmap noMac;
    noMac.SkipMacBinary = false;
    EXPECT_THROW(noMac.loadFromFile(dir + "/mac.png"), EInvalidGraphic);

    // BMP data by the native reader, whatever the name; nothing readable: the message.
    ASSERT_TRUE(writeFile(dir + "/b.bmp", src.saveToBytes()));
    ASSERT_TRUE(writeFile(dir + "/b.xyz", src.saveToBytes()));
    for (const char *name : {"/b.bmp", "/b.xyz"}) {
        TSPIBitmap b;
        b.loadFromFile(dir + name);
        EXPECT_TRUE(b.equals(src)) << name;
    }
    ASSERT_TRUE(writeFile(dir + "/junk.png", "\x89PNG but nothing after"));
    try {
        TSPIBitmap b;
        b.loadFromFile(dir + "/junk.png");
        ADD_FAILURE();
    } catch (const EInvalidGraphic &e) {
        EXPECT_EQ(e.message(), QStringLiteral("認識できない画像形式です"));
    }
}

TEST(SPIBitmap, ImpossiblePictureFieldsAreRefused)
{
    const auto header = [](int32_t w, int32_t h, int bpp, uint32_t colours) {
        QByteArray hd(40, '\0');
        hd[0] = 40;
        std::memcpy(hd.data() + 4, &w, 4);
        std::memcpy(hd.data() + 8, &h, 4);
        hd[12] = 1;
        hd[14] = char(bpp);
        std::memcpy(hd.data() + 32, &colours, 4);
        return hd;
    };
    struct Case {
        const char *name;
        QByteArray info;
        size_t bits;
    } cases[] = {
        {"negative width", header(-4, 4, 24, 0), 64},
        {"7 bits", header(4, 4, 7, 0), 64},
        {"overflow", header(0x40000000, 0x40000000, 24, 0), 64},
        {"pixels short", header(4, 4, 24, 0), 10},
        {"palette short", header(4, 4, 8, 0), 64}, // 256 entries promised, none given
        {"300 colours", header(4, 4, 8, 300) + QByteArray(1200, '\0'), 64},
    };
    const QByteArray bits(64, '\x7f');
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        TSPIBitmap b;
        EXPECT_THROW(b.DibToBitmap(reinterpret_cast<const uint8_t *>(c.info.constData()), size_t(c.info.size()),
                                   reinterpret_cast<const uint8_t *>(bits.constData()), c.bits),
                     EInvalidGraphic);
    }
    // A top-down picture (negative height) is fine and uses |height|.
    const QByteArray top = header(2, -2, 24, 0);
    TSPIBitmap b;
    EXPECT_TRUE(b.DibToBitmap(reinterpret_cast<const uint8_t *>(top.constData()), 40,
                              reinterpret_cast<const uint8_t *>(bits.constData()), 16));
    EXPECT_EQ(QSize(b.width(), b.height()), QSize(2, 2));
}

TEST(SPIBitmap, APngGivenAtStartOpensThroughTheShippedPlugin)
{
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(freshDir()));
    const QString file = freshDir() + "/start.png";
    TBitmap src = TBitmap::fromImage(pattern(30, 20));
    src.setPixelFormat(TPixelFormat::pf24bit);
    TPNGImage png;
    png.assign(src);
    ASSERT_TRUE(writeFile(file, png.saveToBytes()));
    TMainForm form({file});
    form.show();
    // Read once the window is up, so the gauge can be seen moving.
    processEventsUntil([&] { return !form.CurrentFile.isEmpty(); });
    EXPECT_EQ(form.CurrentFile, file);
    ASSERT_EQ(form.CurrentJpeg->width(), 30);
    EXPECT_EQ(form.CurrentJpeg->bitmap().pixel(29, 19), src.pixel(29, 19));
}

TEST(SPIBitmap, ShippedPluginsReadGifTiffWebpAndRefuseDamage)
{
    TSPIs spis;
    spis.Search(QCoreApplication::applicationDirPath() + "/*.spi");
    const QString fixtures = QStringLiteral(PLUGIN_FIXTURES);
    for (const char *name : {"quad.gif", "quad.tif", "quad.webp"}) {
        SCOPED_TRACE(name);
        TSPIBitmap b;
        b.loadFromFile(fixtures + '/' + name);
        ASSERT_EQ(QSize(b.width(), b.height()), QSize(16, 12));
        EXPECT_EQ(b.pixel(2, 2), qRgb(255, 0, 0));
        EXPECT_EQ(b.pixel(13, 2), qRgb(0, 255, 0));
        EXPECT_EQ(b.pixel(2, 9), qRgb(0, 0, 255));
        EXPECT_EQ(b.pixel(13, 9), qRgb(255, 255, 0));
    }
    for (const char *name : {"cut.gif", "cut.tif", "cut.webp"}) {
        SCOPED_TRACE(name);
        TSPIBitmap b;
        try {
            b.loadFromFile(fixtures + '/' + name);
            ADD_FAILURE() << "no exception";
        } catch (const EInvalidGraphic &e) {
            EXPECT_EQ(e.message(), QStringLiteral("認識できない画像形式です"));
        }
    }
}

TEST(SPIBitmap, WebpReportsRowsAsTheyAreDecoded)
{
    TSPIs spis;
    spis.Search(QCoreApplication::applicationDirPath() + "/ifwebp.spi");
    // Lossless, with noise so the file is long enough to be fed in several parts.
    const int w = 64, h = 256;
    std::vector<uint8_t> bgr(size_t(w) * h * 3);
    uint32_t seed = 1;
    for (size_t i = 0; i < bgr.size(); ++i)
        bgr[i] = uint8_t((seed = seed * 1103515245u + 12345u) >> 24);
    uint8_t *out = nullptr;
    const size_t size = WebPEncodeLosslessBGR(bgr.data(), w, h, w * 3, &out);
    ASSERT_GT(size, 0u);
    const QString file = freshDir() + "/noise.webp";
    QFile f(file);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(reinterpret_cast<const char *>(out), qint64(size));
    f.close();
    WebPFree(out);

    TSPIBitmap b;
    QList<int> progress;
    b.OnProgress = [&](TGraphic &, TProgressStage, int percent, bool, const QRect &, const QString &) {
        progress.append(percent);
    };
    b.loadFromFile(file);
    ASSERT_EQ(QSize(b.width(), b.height()), QSize(w, h));
    for (const QPoint p : {QPoint(0, 0), QPoint(63, 0), QPoint(5, 130), QPoint(63, 255)}) {
        const uint8_t *px = bgr.data() + (size_t(p.y()) * w + p.x()) * 3;
        EXPECT_EQ(b.pixel(p.x(), p.y()), qRgb(px[2], px[1], px[0])) << p.x() << "," << p.y();
    }
    EXPECT_TRUE(std::is_sorted(progress.begin(), progress.end()));
    EXPECT_EQ(progress.first(), 0);
    EXPECT_EQ(progress.last(), 100);
    EXPECT_TRUE(std::any_of(progress.begin(), progress.end(), [](int p) { return p > 0 && p < 100; }))
        << "the gauge moves between the ends";
}

TEST(SPIBitmap, CandidateOrderHeadBufferPaletteAndProgress)
{
    TSPIs spis;
    spis.Search(QCoreApplication::applicationDirPath() + "/ifpng.spi");
    spis.Search(kDir + "/test_IMPORT.spi");
    ASSERT_EQ(spis.Count(), 2);
    const auto order = [&](const QString &file) {
        QStringList out;
        for (TInSPI *s : spis.FindSPIs(file))
            out.append(QFileInfo(s->FileName).fileName());
        return out;
    };
    EXPECT_EQ(order("a.png"), (QStringList{"ifpng.spi", "test_IMPORT.spi"}));
    EXPECT_EQ(order("a.MAG"), (QStringList{"test_IMPORT.spi", "ifpng.spi"}));
    EXPECT_EQ(order("a.pi2"), (QStringList{"test_IMPORT.spi", "ifpng.spi"}));
    EXPECT_EQ(order("noext"), (QStringList{"ifpng.spi", "test_IMPORT.spi"}));
    // A plug-in claiming *.png takes PNG over wherever the registry is asked by extension.
    EXPECT_NE(dynamic_cast<TSPIBitmap *>(TPicture::createForExtension("PNG").get()), nullptr);

    // A file of 100 bytes: the plug-in sees 2048, zero after the 100th, and the length 100.
    const QString file = freshDir() + "/tiny.mag";
    ASSERT_TRUE(writeFile(file, QByteArray("TESTPIC") + QByteArray(93, 'x')));
    TSPIBitmap b;
    QList<int> progress;
    b.OnProgress = [&](TGraphic &, TProgressStage, int percent, bool, const QRect &, const QString &) {
        progress.append(percent);
    };
    b.loadFromFile(file);
    auto *test = dynamic_cast<TInSPI *>(spis.Items(1));
    ASSERT_NE(test, nullptr);
    const auto lastLength = reinterpret_cast<intptr_t (*)()>(dlsym(test->Handle.get(), "TestLastLength"));
    const auto zeroTail = reinterpret_cast<int (*)()>(dlsym(test->Handle.get(), "TestZeroTail"));
    ASSERT_TRUE(lastLength && zeroTail);
    EXPECT_EQ(lastLength(), 100);
    EXPECT_EQ(zeroTail(), 1);
    EXPECT_EQ(progress, (QList<int>{0, 50, 100}));
    // The 4-bit picture keeps its 16-entry palette.
    EXPECT_EQ(b.pixelFormat(), TPixelFormat::pf4bit);
    EXPECT_EQ(b.palette().size(), 16);
    EXPECT_EQ(b.pixel(0, 0), qRgb(250, 40, 80));
}

TEST(SPIBitmap, StrippedTiffReportsProgressAsItGoes)
{
    TSPIs spis;
    spis.Search(QCoreApplication::applicationDirPath() + "/iftiff.spi");
    const QString file = freshDir() + "/strips.tif";
    TIFF *t = TIFFOpen(QFile::encodeName(file).constData(), "w");
    ASSERT_NE(t, nullptr);
    TIFFSetField(t, TIFFTAG_IMAGEWIDTH, 5u);
    TIFFSetField(t, TIFFTAG_IMAGELENGTH, 12u);
    TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, 3);
    TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, 8);
    TIFFSetField(t, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
    TIFFSetField(t, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, 2u);
    for (uint32_t y = 0; y < 12; ++y) {
        uint8_t row[15];
        for (int x = 0; x < 5; ++x) {
            row[3 * x] = uint8_t(y * 20);
            row[3 * x + 1] = uint8_t(x * 50);
            row[3 * x + 2] = 7;
        }
        TIFFWriteScanline(t, row, y, 0);
    }
    TIFFClose(t);
    TSPIBitmap b;
    QList<int> progress;
    b.OnProgress = [&](TGraphic &, TProgressStage, int percent, bool, const QRect &, const QString &) {
        progress.append(percent);
    };
    b.loadFromFile(file);
    ASSERT_EQ(QSize(b.width(), b.height()), QSize(5, 12));
    EXPECT_EQ(b.pixel(4, 11), qRgb(220, 200, 7)) << "rows in order across strips";
    EXPECT_EQ(b.pixel(0, 0), qRgb(0, 0, 7));
    EXPECT_GE(progress.size(), 6);
    EXPECT_EQ(progress.first(), 0);
    EXPECT_EQ(progress.last(), 100);
    EXPECT_TRUE(std::is_sorted(progress.begin(), progress.end()));

    // A stop from the callback part way through is an abort, not broken data, and hands nothing over.
    auto *in = dynamic_cast<TInSPI *>(spis.Items(0));
    ASSERT_NE(in, nullptr);
    QFile f(file);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray data = f.readAll();
    int calls = 0;
    void *info = nullptr, *bits = nullptr;
    const int32_t rc = in->GetPicture(
        data.constData(), data.size(), 1, &info, &bits,
        [](int32_t num, int32_t, intptr_t data) -> int32_t {
            ++*reinterpret_cast<int *>(data);
            return num > 0 ? 1 : 0;
        },
        reinterpret_cast<intptr_t>(&calls));
    EXPECT_EQ(rc, SPI_ABORT);
    EXPECT_EQ(calls, 2) << "stops at the first strip";
    EXPECT_EQ(info, nullptr);
    EXPECT_EQ(bits, nullptr);
    free(info);
    free(bits);
}

TEST(SPIBitmap, SlowPluginMovesTheGaugeAndStopsWhenAsked)
{
    TSPIs spis;
    spis.Search(kDir + "/more/test_SLOW.spi");
    ASSERT_EQ(spis.Count(), 1);
    auto *slow = dynamic_cast<TInSPI *>(spis.Items(0));
    ASSERT_NE(slow, nullptr);
    const auto steps = reinterpret_cast<int (*)()>(dlsym(slow->Handle.get(), "TestSteps"));
    ASSERT_TRUE(steps);
    const QString file = freshDir() + "/slow.mag";
    ASSERT_TRUE(writeFile(file, QByteArray("TESTSLOW") + QByteArray(100, 'x')));

    TSPIBitmap b;
    QList<int> progress;
    b.OnProgress = [&](TGraphic &, TProgressStage, int percent, bool, const QRect &, const QString &) {
        progress.append(percent);
    };
    b.loadFromFile(file);
    EXPECT_EQ(progress.size(), 101);
    EXPECT_TRUE(std::is_sorted(progress.begin(), progress.end()));
    EXPECT_EQ(progress.first(), 0);
    EXPECT_EQ(progress.last(), 100);

    // A handler that cancels stops the plug-in there, and the cancellation reaches the caller.
    TSPIBitmap c;
    c.OnProgress = [&](TGraphic &, TProgressStage, int percent, bool, const QRect &, const QString &) {
        if (percent >= 30)
            throw EAbort();
    };
    EXPECT_THROW(c.loadFromFile(file), EAbort);
    EXPECT_EQ(steps(), 30);
}

TEST(SPIBitmap, FailingGetPictureIsAnUnknownFormat)
{
    TSPIs spis;
    spis.Search(kDir + "/more/test_FAIL.spi");
    ASSERT_EQ(spis.Count(), 1);
    const QString file = freshDir() + "/broken.mag";
    ASSERT_TRUE(writeFile(file, QByteArray("TESTFAIL") + QByteArray(100, 'x')));
    TSPIBitmap b;
    try {
        b.loadFromFile(file);
        ADD_FAILURE() << "loaded";
    } catch (const EInvalidGraphic &e) {
        EXPECT_EQ(e.message(), QStringLiteral("認識できない画像形式です"));
    }
}

// A GIF of w x h, 8 colours, row y in colour y % 7, written with giflib; interlaced or not.
static QString writeGif(const QString &file, int w, int h, bool interlace)
{
    int err = 0;
    GifFileType *g = EGifOpenFileName(QFile::encodeName(file).constData(), false, &err);
    GifColorType colours[8];
    for (int i = 0; i < 8; ++i)
        colours[i] = {GifByteType(i * 30), GifByteType(255 - i * 30), GifByteType(i * 10)};
    ColorMapObject *map = GifMakeMapObject(8, colours);
    EGifPutScreenDesc(g, w, h, 3, 0, map);
    EGifPutImageDesc(g, 0, 0, w, h, interlace, nullptr);
    std::vector<GifPixelType> row(size_t(w), 0);
    // Interlaced data comes in pass order.
    static const int start[4] = {0, 4, 2, 1}, step[4] = {8, 8, 4, 2};
    for (int pass = 0; pass < (interlace ? 4 : 1); ++pass)
        for (int y = interlace ? start[pass] : 0; y < h; y += interlace ? step[pass] : 1) {
            std::fill(row.begin(), row.end(), GifPixelType(y % 7));
            EGifPutLine(g, row.data(), w);
        }
    EGifCloseFile(g, &err);
    GifFreeMapObject(map);
    return file;
}

TEST(SPIBitmap, PngAndGifReportProgressAsTheyGo)
{
    TSPIs spis;
    spis.Search(QCoreApplication::applicationDirPath() + "/ifpng.spi");
    spis.Search(QCoreApplication::applicationDirPath() + "/ifgif.spi");
    const QString dir = freshDir();
    TBitmap tall(4, 1100, TPixelFormat::pf24bit);
    for (int y = 0; y < tall.height(); ++y)
        for (int x = 0; x < 12; ++x)
            tall.scanLine(y)[x] = uint8_t(y);
    TPNGImage png;
    png.assign(tall);
    png.saveToFile(dir + "/tall.png");
    const QStringList files{dir + "/tall.png", writeGif(dir + "/tall.gif", 4, 1100, false),
                            writeGif(dir + "/laced.gif", 3, 1100, true)};
    for (const QString &file : files) {
        SCOPED_TRACE(file.toStdString());
        TSPIBitmap b;
        QList<int> progress;
        b.OnProgress = [&](TGraphic &, TProgressStage, int percent, bool, const QRect &, const QString &) {
            progress.append(percent);
        };
        b.loadFromFile(file);
        ASSERT_EQ(b.height(), 1100);
        for (int y : {0, 1, 2, 3, 4, 7, 8, 555, 1099}) {
            const QRgb expected = file.endsWith(".png") ? qRgb(y & 255, y & 255, y & 255)
                                                        : qRgb((y % 7) * 30, 255 - (y % 7) * 30, (y % 7) * 10);
            EXPECT_EQ(b.pixel(1, y), expected) << "row " << y;
        }
        EXPECT_TRUE(std::is_sorted(progress.begin(), progress.end()));
        EXPECT_GE(progress.size(), 4) << "the gauge moves between the ends";
        EXPECT_EQ(progress.first(), 0);
        EXPECT_EQ(progress.last(), 100);

        // Stopped at the first report after the start: an abort, and nothing handed over.
        TSPIBitmap c;
        c.OnProgress = [&](TGraphic &, TProgressStage stage, int, bool, const QRect &, const QString &) {
            if (stage == TProgressStage::psRunning)
                throw EAbort();
        };
        EXPECT_THROW(c.loadFromFile(file), EAbort);
    }
}
