#pragma once
// Shared test support: a QApplication on the offscreen platform, created once in fresh HOME,
// XDG and temp folders so no test touches the real user's files, and JPEG fixtures made with
// libjpeg directly (so they do not depend on the code under test).

#include <QImage>
#include <QString>

#include <functional>
#include <ostream>

#include <vector>

// Failures show QStrings as text.
inline void PrintTo(const QString &s, std::ostream *os)
{
    *os << '"' << s.toStdString() << '"';
}

namespace testing_support {

// The fresh folder of this test run (HOME, XDG folders and TMPDIR live below it).
QString runDir();
// A new empty folder below runDir().
QString freshDir();

// Runs the event loop until done() holds or ms milliseconds have passed; done()'s last answer.
bool processEventsUntil(const std::function<bool()> &done, int ms = 5000);

// A photo-like picture: smooth gradients with detail, so JPEG artefacts and off-by-one
// mistakes both show.
QImage pattern(int width, int height, unsigned seed = 1);

struct JpegOptions {
    int quality = 90;
    bool gray = false;
    bool progressive = false;
    bool cmyk = false; // written as Adobe-style inverted CMYK
};
// Writes image to path with libjpeg. Returns false on failure.
bool writeJpeg(const QString &path, const QImage &image, const JpegOptions &opt = {});
QByteArray encodeJpeg(const QImage &image, const JpegOptions &opt = {});

struct Decoded {
    int width = 0, height = 0, components = 0;
    std::vector<unsigned char> pixels; // rows packed, RGB or gray
};
// libjpeg's own decode with default settings (RGB or gray output).
Decoded rawDecode(const QByteArray &jpeg);

// Sets an environment variable while it lives; the old value (or its absence) comes back after.
// TZ is applied to the C library's time functions both ways.
class ScopedEnv {
public:
    ScopedEnv(const char *name, const QByteArray &value);
    ~ScopedEnv();
    ScopedEnv(const ScopedEnv &) = delete;
    ScopedEnv &operator=(const ScopedEnv &) = delete;

private:
    const char *m_name;
    QByteArray m_old;
    bool m_had;
};

// While it lives, no file this process writes may grow past `bytes`: a disk that fills up.
class DiskFullAfter {
public:
    explicit DiskFullAfter(long bytes);
    ~DiskFullAfter();
    DiskFullAfter(const DiskFullAfter &) = delete;
    DiskFullAfter &operator=(const DiskFullAfter &) = delete;

private:
    unsigned long m_old;
};

QByteArray readFile(const QString &path);
bool writeFile(const QString &path, const QByteArray &data);

} // namespace testing_support
