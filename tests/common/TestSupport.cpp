#include "TestSupport.h"

#include <QCoreApplication>
#include <QThread>
#include <QElapsedTimer>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include <jpeglib.h>
#include <sys/resource.h>

namespace testing_support {

namespace {

QString &rootDir()
{
    static QString dir;
    return dir;
}

class QtEnvironment : public ::testing::Environment {
public:
    void SetUp() override
    {
        char tmpl[] = "/tmp/pictlane-test-XXXXXX";
        const char *root = mkdtemp(tmpl);
        ASSERT_NE(root, nullptr);
        rootDir() = QString::fromLocal8Bit(root);
        const QString r = rootDir();
        for (const char *sub : {"home", "home/Desktop", "config", "data", "tmp", "runtime"})
            QDir().mkpath(r + QLatin1Char('/') + QLatin1String(sub));
        setenv("HOME", qPrintable(r + "/home"), 1);
        setenv("XDG_CONFIG_HOME", qPrintable(r + "/config"), 1);
        setenv("XDG_DATA_HOME", qPrintable(r + "/data"), 1);
        setenv("XDG_DESKTOP_DIR", qPrintable(r + "/home/Desktop"), 1);
        setenv("TMPDIR", qPrintable(r + "/tmp"), 1);
        setenv("XDG_RUNTIME_DIR", qPrintable(r + "/runtime"), 1);
        chmod(qPrintable(r + "/runtime"), 0700);
        setenv("QT_QPA_PLATFORM", "offscreen", 0);
        app = new QApplication(argc, argv);
    }
    void TearDown() override
    {
        delete app;
        QDir(rootDir()).removeRecursively();
    }

private:
    int argc = 1;
    char arg0[8] = "tests";
    char *argv[2] = {arg0, nullptr};
    QApplication *app = nullptr;
};

[[maybe_unused]] auto *const g_env = ::testing::AddGlobalTestEnvironment(new QtEnvironment);

} // namespace

QString runDir()
{
    return rootDir();
}

QString freshDir()
{
    static int n = 0;
    const QString d = QStringLiteral("%1/case%2").arg(rootDir()).arg(++n);
    QDir().mkpath(d);
    return d;
}

QImage pattern(int width, int height, unsigned seed)
{
    QImage img(width, height, QImage::Format_RGB32);
    unsigned state = seed * 2654435761u + 1;
    for (int y = 0; y < height; ++y) {
        auto *row = reinterpret_cast<QRgb *>(img.scanLine(y));
        for (int x = 0; x < width; ++x) {
            state = state * 1103515245u + 12345u;
            const int noise = int((state >> 16) & 15);
            const int r = int(127 + 120 * std::sin(x * 0.031 + seed));
            const int g = (y * 255) / qMax(1, height - 1);
            const int b = ((x ^ y) & 0x3F) * 3 + noise;
            row[x] = qRgb(qBound(0, r + noise, 255), g, qBound(0, b, 255));
        }
    }
    return img;
}

QByteArray encodeJpeg(const QImage &image, const JpegOptions &opt)
{
    jpeg_compress_struct ci{};
    jpeg_error_mgr err{};
    ci.err = jpeg_std_error(&err);
    jpeg_create_compress(&ci);
    unsigned char *out = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&ci, &out, &size);
    ci.image_width = JDIMENSION(image.width());
    ci.image_height = JDIMENSION(image.height());
    ci.input_components = opt.gray ? 1 : opt.cmyk ? 4 : 3;
    ci.in_color_space = opt.gray ? JCS_GRAYSCALE : opt.cmyk ? JCS_CMYK : JCS_RGB;
    jpeg_set_defaults(&ci);
    jpeg_set_quality(&ci, opt.quality, TRUE);
    if (opt.cmyk)
        ci.write_Adobe_marker = TRUE;
    if (opt.progressive)
        jpeg_simple_progression(&ci);
    jpeg_start_compress(&ci, TRUE);
    std::vector<unsigned char> row(size_t(image.width()) * 4);
    const QImage src = image.convertToFormat(QImage::Format_RGB32);
    while (ci.next_scanline < ci.image_height) {
        const auto *s = reinterpret_cast<const QRgb *>(src.constScanLine(int(ci.next_scanline)));
        for (int x = 0; x < image.width(); ++x) {
            if (opt.gray) {
                row[size_t(x)] = (unsigned char)qGray(s[x]);
            } else if (opt.cmyk) {
                // Inverted CMYK with K = 255 (no black): the stored values equal R, G, B.
                row[size_t(x) * 4] = (unsigned char)qRed(s[x]);
                row[size_t(x) * 4 + 1] = (unsigned char)qGreen(s[x]);
                row[size_t(x) * 4 + 2] = (unsigned char)qBlue(s[x]);
                row[size_t(x) * 4 + 3] = 255;
            } else {
                row[size_t(x) * 3] = (unsigned char)qRed(s[x]);
                row[size_t(x) * 3 + 1] = (unsigned char)qGreen(s[x]);
                row[size_t(x) * 3 + 2] = (unsigned char)qBlue(s[x]);
            }
        }
        JSAMPROW r = row.data();
        jpeg_write_scanlines(&ci, &r, 1);
    }
    jpeg_finish_compress(&ci);
    jpeg_destroy_compress(&ci);
    QByteArray bytes(reinterpret_cast<const char *>(out), qsizetype(size));
    free(out);
    return bytes;
}

bool writeJpeg(const QString &path, const QImage &image, const JpegOptions &opt)
{
    return writeFile(path, encodeJpeg(image, opt));
}

Decoded rawDecode(const QByteArray &jpeg)
{
    Decoded d;
    jpeg_decompress_struct ci{};
    jpeg_error_mgr err{};
    ci.err = jpeg_std_error(&err);
    jpeg_create_decompress(&ci);
    jpeg_mem_src(&ci, reinterpret_cast<const unsigned char *>(jpeg.constData()), (unsigned long)jpeg.size());
    jpeg_read_header(&ci, TRUE);
    jpeg_start_decompress(&ci);
    d.width = int(ci.output_width);
    d.height = int(ci.output_height);
    d.components = ci.output_components;
    d.pixels.resize(size_t(d.width) * size_t(d.height) * size_t(d.components));
    while (ci.output_scanline < ci.output_height) {
        JSAMPROW r = d.pixels.data() + size_t(ci.output_scanline) * size_t(d.width) * size_t(d.components);
        jpeg_read_scanlines(&ci, &r, 1);
    }
    jpeg_finish_decompress(&ci);
    jpeg_destroy_decompress(&ci);
    return d;
}

DiskFullAfter::DiskFullAfter(long bytes)
{
    // Past the limit a write fails with EFBIG once the signal that would end us is ignored.
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit r{};
    getrlimit(RLIMIT_FSIZE, &r);
    m_old = r.rlim_cur;
    r.rlim_cur = rlim_t(bytes);
    setrlimit(RLIMIT_FSIZE, &r);
}

DiskFullAfter::~DiskFullAfter()
{
    rlimit r{};
    getrlimit(RLIMIT_FSIZE, &r);
    r.rlim_cur = rlim_t(m_old);
    setrlimit(RLIMIT_FSIZE, &r);
}

QByteArray readFile(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool writeFile(const QString &path, const QByteArray &data)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(data) == data.size();
}

ScopedEnv::ScopedEnv(const char *name, const QByteArray &value)
    : m_name(name), m_old(qgetenv(name)), m_had(qEnvironmentVariableIsSet(name))
{
    qputenv(name, value);
    if (std::strcmp(name, "TZ") == 0)
        tzset();
}

ScopedEnv::~ScopedEnv()
{
    if (m_had)
        qputenv(m_name, m_old);
    else
        qunsetenv(m_name);
    if (std::strcmp(m_name, "TZ") == 0)
        tzset();
}

} // namespace testing_support

bool testing_support::processEventsUntil(const std::function<bool()> &done, int ms)
{
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > ms)
            return done();
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(1);
    }
    return true;
}
