#include "JPEG.h"
#include "JPEGLib.h"

#include "ArrivingBytes.h"
#include "Handles.h"

#include <QFile>
#include <QGuiApplication>
#include <QIODevice>
#include <QScreen>

#include <chrono>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <jerror.h>
#include <jpeglib.h>

TJPEGDefaults JpegDefaults;

EJPEG::EJPEG(int code) : Exception(QStringLiteral("JPEG ｴﾗｰ #%1").arg(code)), m_code(code) {}

// ---- the shared, reference-counted body ---------------------------------------------------

struct TJPEGData {
    QByteArray bytes; // the compressed file, complete once fd is closed and arriving gone
    TFd fd;           // the file the rest of the bytes still come from
    std::shared_ptr<TArrivingBytes> arriving; // or the bytes another thread still makes
    qint64 fileSize = 0;
    QString fileName;
    bool hasData = false; // false: made from a bitmap and not compressed yet
    int width = 0;
    int height = 0;
    bool grayscale = false;
    bool multiScan = false;

    // The complete compressed data. Throws EInOutError when the file cannot be read any more.
    const QByteArray &all()
    {
        if (arriving) {
            bytes = arriving->takeAll();
            arriving.reset();
            return bytes;
        }
        if (!fd)
            return bytes;
        QByteArray full(fileSize, Qt::Uninitialized);
        qint64 got = 0;
        while (got < fileSize) {
            const ssize_t n = ::pread(fd.get(), full.data() + got, size_t(fileSize - got), got);
            if (n < 0) {
                if (errno == EINTR)
                    continue;
                const QString why = QString::fromLocal8Bit(std::strerror(errno));
                throw EInOutError(ioErrorMessage(QStringLiteral("ﾌｧｲﾙを読み込む"), fileName, why));
            }
            if (n == 0)
                break; // the file shrank since it was opened: decode what is there
            got += n;
        }
        full.truncate(got);
        bytes = std::move(full);
        fd.reset();
        return bytes;
    }
};

namespace {

using namespace jpegc;


// A decoding job over bytes with the picture's output options.
std::unique_ptr<DecodeJob> newDecodeJob(const QByteArray &bytes, const TJPEGImage &img,
                                        TArrivingBytes *arriving = nullptr)
{
    auto job = std::make_unique<DecodeJob>();
    initSourceMgr(job->src, reinterpret_cast<const JOCTET *>(bytes.constData()), size_t(bytes.size()), -1, arriving);
    job->scaleShift = img.scaleShift();
    job->smoothing = img.blockSmoothing();
    job->grayOut = img.grayOutput();
    job->quantize = img.eightBitOutput();
    job->fast = img.fastDecode();
    job->buffered = img.progressiveRedraw();
    job->presetColors = 0;
    return job;
}

long long tickMs()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

bool screenIsPaletted()
{
    if (!qobject_cast<QGuiApplication *>(QCoreApplication::instance()))
        return false;
    const QScreen *s = QGuiApplication::primaryScreen();
    return s && s->depth() <= 8;
}

} // namespace

// Throttled progress reports from libjpeg; an exception from the handler ends the job through
// the error exit and is rethrown (EAbort is swallowed) once libjpeg has been left.
struct JpegProgress {
    jpeg_progress_mgr pub;
    TJPEGImage *owner;
    ErrorMgr *err;
    j_common_ptr cinfo;
    long long lastTick;
    int lastPercent;
    int lastRow;
    int width;
    bool aborted;
    std::exception_ptr failure;

    static void monitor(j_common_ptr cinfo) noexcept
    {
        auto *p = reinterpret_cast<JpegProgress *>(cinfo->progress);
        const long long now = tickMs();
        if (p->lastTick < 0) {
            p->lastTick = now;
            return;
        }
        if (now - p->lastTick < 500)
            return;
        p->lastTick = now;
        const jpeg_progress_mgr &m = p->pub;
        if (m.pass_limit <= 0 || m.total_passes <= 0)
            return;
        const int percent =
            int((double(m.pass_counter) / double(m.pass_limit) + m.completed_passes) * 100.0 / m.total_passes);
        if (percent == p->lastPercent)
            return;
        p->lastPercent = percent;
        int row = p->lastRow;
        if (!cinfo->is_decompressor)
            row = int(reinterpret_cast<j_compress_ptr>(cinfo)->next_scanline);
        else
            row = int(reinterpret_cast<j_decompress_ptr>(cinfo)->output_scanline);
        const QRect r(0, p->lastRow, p->width, qMax(0, row - p->lastRow));
        p->lastRow = row;
        if (p->call(TProgressStage::psRunning, percent, r)) {
            p->err->code = p->aborted ? kAbortCode : kForeignExceptionCode;
            cinfo->err->error_exit(cinfo);
        }
    }

    // True when the handler threw.
    bool call(TProgressStage stage, int percent, const QRect &r) noexcept
    {
        try {
            owner->progress(stage, percent, false, r, QString());
            return false;
        } catch (const EAbort &) {
            aborted = true;
        } catch (...) {
            failure = std::current_exception();
        }
        return true;
    }

    void install(j_common_ptr ci, TJPEGImage *img, ErrorMgr *e, int w)
    {
        pub.progress_monitor = monitor;
        owner = img;
        err = e;
        cinfo = ci;
        lastTick = -1;
        lastPercent = -1;
        lastRow = 0;
        width = w;
        aborted = false;
        ci->progress = &pub;
    }
};

// ---- TJPEGImage ---------------------------------------------------------------------------

TJPEGImage::TJPEGImage() : TJPEGImage(JpegDefaults) {}

TJPEGImage::TJPEGImage(const TJPEGDefaults &options)
    : m_body(std::make_shared<TJPEGData>()), m_blockSmoothing(options.BlockSmoothing), m_grayOutput(options.GrayOutput),
      m_eightBitOutput(options.EightBitOutput), m_encodeQuality(options.EncodeQuality),
      m_progressiveRedraw(options.ProgressiveRedraw), m_progressiveWrite(options.ProgressiveWrite),
      m_fastDecode(options.FastDecode), m_scaleShift(options.ScaleShift)
{
}

TJPEGImage::~TJPEGImage() = default;

std::unique_ptr<TGraphic> TJPEGImage::clone() const
{
    auto c = std::make_unique<TJPEGImage>();
    c->assign(*this);
    return c;
}

void TJPEGImage::assign(const TGraphic &source)
{
    if (&source == this)
        return;
    if (auto *j = dynamic_cast<const TJPEGImage *>(&source)) {
        m_body = j->m_body;
        m_bitmap = j->m_bitmap ? std::make_unique<TBitmap>() : nullptr;
        if (m_bitmap)
            m_bitmap->assign(*j->m_bitmap);
        m_tempPalette.reset();
        m_blockSmoothing = j->m_blockSmoothing;
        m_grayOutput = j->m_grayOutput;
        m_eightBitOutput = j->m_eightBitOutput;
        m_encodeQuality = j->m_encodeQuality;
        m_progressiveRedraw = j->m_progressiveRedraw;
        m_progressiveWrite = j->m_progressiveWrite;
        m_fastDecode = j->m_fastDecode;
        m_scaleShift = j->m_scaleShift;
        m_needRecalc = true;
        m_paletteModified = true;
        changed();
        return;
    }
    if (auto *b = dynamic_cast<const TBitmap *>(&source)) {
        m_body = std::make_shared<TJPEGData>();
        m_bitmap = std::make_unique<TBitmap>();
        m_bitmap->assign(*b);
        m_body->width = b->width();
        m_body->height = b->height();
        m_needRecalc = true;
        m_paletteModified = true;
        changed();
        return;
    }
    TGraphic::assign(source);
}

bool TJPEGImage::assignTo(TGraphic &dest) const
{
    auto *b = dynamic_cast<TBitmap *>(&dest);
    if (!b)
        return false;
    b->assign(const_cast<TJPEGImage *>(this)->bitmap());
    return true;
}

bool TJPEGImage::equals(const TGraphic &other) const
{
    auto *j = dynamic_cast<const TJPEGImage *>(&other);
    return j && (j == this || j->m_body == m_body);
}

bool TJPEGImage::isEmpty() const
{
    if (m_bitmap)
        return m_bitmap->isEmpty();
    return m_body->width == 0 || m_body->height == 0;
}

void TJPEGImage::calcScaledSize() const
{
    if (!m_needRecalc)
        return;
    // libjpeg's own rule for DCT scaling: ceil(size / 2^shift).
    const int d = 1 << m_scaleShift;
    m_scaledWidth = (m_body->width + d - 1) / d;
    m_scaledHeight = (m_body->height + d - 1) / d;
    m_needRecalc = false;
}

int TJPEGImage::width() const
{
    if (m_bitmap)
        return m_bitmap->width();
    if (m_scaleShift == 0)
        return m_body->width;
    calcScaledSize();
    return m_scaledWidth;
}

int TJPEGImage::height() const
{
    if (m_bitmap)
        return m_bitmap->height();
    if (m_scaleShift == 0)
        return m_body->height;
    calcScaledSize();
    return m_scaledHeight;
}

void TJPEGImage::setWidth(int)
{
    throw EInvalidGraphicOperation(QStringLiteral("JPEG ｲﾒｰｼﾞのｻｲｽﾞは変更できません"));
}

void TJPEGImage::setHeight(int)
{
    throw EInvalidGraphicOperation(QStringLiteral("JPEG ｲﾒｰｼﾞのｻｲｽﾞは変更できません"));
}

QVector<QRgb> TJPEGImage::palette() const
{
    if (m_bitmap)
        return m_bitmap->palette();
    if (m_tempPalette)
        return *m_tempPalette;
    if (!m_eightBitOutput && screenIsPaletted()) {
        QVector<QRgb> halftone;
        for (int r = 0; r < 6; ++r)
            for (int g = 0; g < 6; ++g)
                for (int b = 0; b < 6; ++b)
                    halftone.append(qRgb(r * 51, g * 51, b * 51));
        const_cast<TJPEGImage *>(this)->m_tempPalette = halftone;
        return halftone;
    }
    return {};
}

bool TJPEGImage::grayscale() const
{
    return m_body->grayscale;
}

bool TJPEGImage::progressiveEncoding() const
{
    return m_body->multiScan;
}

bool TJPEGImage::hasCompressedData() const
{
    return m_body->hasData;
}

void TJPEGImage::dropBitmap()
{
    m_bitmap.reset();
    m_needRecalc = true;
    m_paletteModified = true;
    changed();
}

void TJPEGImage::setGrayOutput(bool v)
{
    if (v == m_grayOutput)
        return;
    m_grayOutput = v;
    dropBitmap();
}

void TJPEGImage::setFastDecode(bool v)
{
    if (v == m_fastDecode)
        return;
    m_fastDecode = v;
    dropBitmap();
}

void TJPEGImage::setEightBitOutput(bool v)
{
    if (v == m_eightBitOutput)
        return;
    m_eightBitOutput = v;
    if (m_body->hasData)
        dropBitmap();
}

void TJPEGImage::setScaleShift(int v)
{
    v = qBound(0, v, 3);
    if (v == m_scaleShift)
        return;
    m_scaleShift = v;
    if (m_body->hasData)
        dropBitmap();
    m_needRecalc = true;
}

namespace {

// Parses the header of body (memory, or the file behind fd) and records what it says.
void parseHeader(TJPEGData &body, int fd)
{
    ErrorMgr err;
    initErrorMgr(err);
    auto ci = newDecompressor(err);
    SourceMgr src;
    HeaderInfo info{};
    initSourceMgr(src, reinterpret_cast<const JOCTET *>(body.bytes.constData()), size_t(body.bytes.size()), fd,
                  body.arriving.get());
    if (fd >= 0)
        src.pub.bytes_in_buffer = 0;
    if (const int code = readHeaderC(ci.get(), &err, &src, &info))
        throw EJPEG(code);
    if (qint64(info.width) * info.height > kMaxBitmapPixels)
        throw EJPEG(JERR_IMAGE_TOO_BIG);
    body.width = info.width;
    body.height = info.height;
    body.grayscale = info.grayscale;
    body.multiScan = info.multiScan;
    body.hasData = true;
}

} // namespace

void TJPEGImage::loadFromFile(const QString &fileName)
{
    const QByteArray path = QFile::encodeName(fileName);
    TFd file(::open(path.constData(), O_RDONLY | O_CLOEXEC));
    if (!file)
        throw EInOutError(
            ioErrorMessage(QStringLiteral("ﾌｧｲﾙを開く"), fileName, QString::fromLocal8Bit(std::strerror(errno))));
    const int fd = file.get();
    auto body = std::make_shared<TJPEGData>();
    body->fd = std::move(file);
    body->fileName = fileName;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode))
        throw EInOutError(
            ioErrorMessage(QStringLiteral("ﾌｧｲﾙを開く"), fileName, QStringLiteral("通常のﾌｧｲﾙではありません")));
    body->fileSize = st.st_size;
    parseHeader(*body, fd);
    takeBody(std::move(body));
}

void TJPEGImage::loadFromStream(QIODevice &stream)
{
    auto body = std::make_shared<TJPEGData>();
    body->bytes = stream.readAll();
    parseHeader(*body, -1);
    takeBody(std::move(body));
}

void TJPEGImage::loadFromArriving(std::shared_ptr<TArrivingBytes> bytes)
{
    auto body = std::make_shared<TJPEGData>();
    body->arriving = std::move(bytes);
    parseHeader(*body, -1);
    takeBody(std::move(body));
}

void TJPEGImage::takeBody(std::shared_ptr<TJPEGData> body)
{
    m_body = std::move(body);
    m_bitmap.reset();
    m_tempPalette.reset();
    m_needRecalc = true;
    m_paletteModified = true;
    changed();
}

const TBitmap &TJPEGImage::bitmap()
{
    if (!m_bitmap)
        decode();
    return *m_bitmap;
}

void TJPEGImage::decode()
{
    if (!m_body->hasData) {
        m_bitmap = std::make_unique<TBitmap>();
        return;
    }
    // Bytes still arriving are decoded as they come; the rest waits for the whole file.
    TArrivingBytes *arriving = m_body->arriving.get();
    const QByteArray &bytes = arriving ? m_body->bytes : m_body->all();

    ErrorMgr err;
    initErrorMgr(err);
    auto ci = newDecompressor(err);
    auto job = newDecodeJob(bytes, *this, arriving);
    if (m_tempPalette && m_eightBitOutput) {
        job->presetColors = int(qMin<qsizetype>(m_tempPalette->size(), 256));
        for (int i = 0; i < job->presetColors; ++i) {
            const QRgb c = (*m_tempPalette)[i];
            job->presetMap[0][i] = JSAMPLE(qRed(c));
            job->presetMap[1][i] = JSAMPLE(qGreen(c));
            job->presetMap[2][i] = JSAMPLE(qBlue(c));
        }
    } else {
        m_tempPalette.reset();
    }
    if (const int code = decodeSetupC(ci.get(), &err, job.get()))
        throw EJPEG(code);

    auto bmp = std::make_unique<TBitmap>();
    progress(TProgressStage::psStarting, 0, false, QRect(), QString());
    bmp->allocate(job->outWidth, job->outHeight,
                  job->quantize || job->gray ? TPixelFormat::pf8bit : TPixelFormat::pf24bit);
    std::unique_ptr<JSAMPLE[]> cmykRow;
    if (job->cmyk)
        cmykRow = std::make_unique<JSAMPLE[]>(size_t(job->outWidth) * 4);
    job->cmykRow = cmykRow.get();
    job->base = job->outHeight ? bmp->scanLine(0) : nullptr;
    job->stride = bmp->bytesPerLine();
    job->multiRow = job->stride > 0 && job->stride % 4 == 0;

    JpegProgress prog;
    prog.install(reinterpret_cast<j_common_ptr>(ci.get()), this, &err, job->outWidth);
    const int code = decodeRunC(ci.get(), &err, job.get());

    const bool paletted = job->mapColors > 0 || job->gray;
    if (paletted) {
        QVector<QRgb> pal;
        if (job->gray)
            for (int i = 0; i < 256; ++i)
                pal.append(qRgb(i, i, i));
        else if (job->presetColors > 0)
            pal = m_tempPalette->mid(0, job->presetColors);
        else
            for (int i = 0; i < job->mapColors; ++i)
                pal.append(qRgb(job->map[2][i], job->map[1][i], job->map[0][i]));
        bmp->setPalette(pal);
        m_paletteModified = true;
    }
    if (code == kAbortCode) {
        // Cancelled by the progress handler: keep what was decoded, blank below it.
        for (int y = int(ci->output_scanline); y < job->outHeight; ++y)
            std::memset(bmp->scanLine(y), 0, size_t(job->stride));
        m_bitmap = std::move(bmp);
        progress(TProgressStage::psEnding, 0, false, QRect(), QString());
        return;
    }
    if (code != 0) {
        progress(TProgressStage::psEnding, 0, false, QRect(), QString());
        if (prog.failure)
            std::rethrow_exception(prog.failure);
        throw EJPEG(code);
    }
    if (arriving)
        m_body->all(); // the whole file now, or the producer's failure
    m_bitmap = std::move(bmp);
    m_needRecalc = true;
    progress(TProgressStage::psEnding, 100, false, QRect(), QString());
    if (paletted)
        changed();
}

TBitmap TJPEGImage::decodeTopLeft(const QSize &size)
{
    TBitmap out;
    if (!m_body->hasData || size.isEmpty() || m_grayOutput || m_eightBitOutput || m_body->grayscale)
        return out;
    const QByteArray &bytes = m_body->all();
    ErrorMgr err;
    initErrorMgr(err);
    auto ci = newDecompressor(err);
    auto job = newDecodeJob(bytes, *this);
    job->buffered = false;
    if (const int code = decodeSetupC(ci.get(), &err, job.get()))
        throw EJPEG(code);
    if (job->quantize || job->cmyk)
        return out;
    // The upsampler smooths across the cropped edge, so the last columns of a crop differ
    // from the full picture: decode one block column more and keep what is exact.
    JDIMENSION width = 0;
    if (const int code = cropStartC(ci.get(), &err, JDIMENSION(size.width() + 16), &width))
        throw EJPEG(code);
    const int rows = qMin(size.height(), job->outHeight);
    TBitmap wide;
    wide.allocate(int(width), rows, TPixelFormat::pf24bit);
    job->base = rows ? wide.scanLine(0) : nullptr;
    job->stride = wide.bytesPerLine();
    if (const int code = cropRowsC(ci.get(), &err, job.get(), JDIMENSION(rows)))
        throw EJPEG(code);
    jpeg_abort_decompress(ci.get());
    const int keep = qMin(size.width(), job->outWidth);
    if (keep == int(width))
        return wide;
    out.allocate(keep, rows, TPixelFormat::pf24bit);
    for (int y = 0; y < rows; ++y)
        std::memcpy(out.scanLine(y), wide.constScanLine(y), size_t(keep) * 3);
    return out;
}

void TJPEGImage::JPEGNeeded()
{
    if (!m_body->hasData)
        compress();
}

void TJPEGImage::compress()
{
    if (!m_bitmap || m_bitmap->isEmpty()) {
        // Nothing to compress: the body stays with an empty stream and saves as an empty file.
        m_body = std::make_shared<TJPEGData>();
        m_body->hasData = false;
        return;
    }
    // 24- and 32-bit rows go to libjpeg as they are; other formats through a 24-bit copy.
    TBitmap copy;
    const TBitmap *src = m_bitmap.get();
    J_COLOR_SPACE space = JCS_EXT_BGR;
    int components = 3;
    if (src->pixelFormat() == TPixelFormat::pf32bit) {
        space = JCS_EXT_BGRX;
        components = 4;
    } else if (src->pixelFormat() != TPixelFormat::pf24bit) {
        copy.assign(*src);
        copy.setPixelFormat(TPixelFormat::pf24bit);
        src = &copy;
    }
    std::vector<JSAMPROW> rows(size_t(src->height()));
    for (int y = 0; y < src->height(); ++y)
        rows[size_t(y)] = const_cast<JSAMPROW>(src->constScanLine(y));

    CompressJob job{};
    job.rows = rows.data();
    job.width = src->width();
    job.height = src->height();
    job.components = components;
    job.inSpace = space;
    job.quality = m_encodeQuality;
    job.gray = m_grayOutput;
    job.progressive = m_progressiveWrite;
    job.multiRow = src->bytesPerLine() > 0 && src->bytesPerLine() % 4 == 0;

    ErrorMgr err;
    initErrorMgr(err);
    auto *raw = new jpeg_compress_struct{};
    if (const int code = createCompressC(raw, &err)) {
        delete raw;
        throw EJPEG(code);
    }
    std::unique_ptr<jpeg_compress_struct, CompressDeleter> ci(raw);
    JpegProgress prog;
    prog.install(reinterpret_cast<j_common_ptr>(ci.get()), this, &err, job.width);
    progress(TProgressStage::psStarting, 0, false, QRect(), QString());
    const int code = compressC(ci.get(), &err, &job);
    std::unique_ptr<unsigned char, decltype(&std::free)> out(job.out, &std::free);
    if (code != 0) {
        progress(TProgressStage::psEnding, 0, false, QRect(), QString());
        if (code == kAbortCode) {
            m_body = std::make_shared<TJPEGData>();
            return;
        }
        if (prog.failure)
            std::rethrow_exception(prog.failure);
        throw EJPEG(code);
    }
    auto body = std::make_shared<TJPEGData>();
    body->bytes = QByteArray(reinterpret_cast<const char *>(job.out), qsizetype(job.outSize));
    body->hasData = true;
    body->width = job.width;
    body->height = job.height;
    body->grayscale = m_grayOutput;
    body->multiScan = m_progressiveWrite;
    m_body = std::move(body);
    progress(TProgressStage::psEnding, 100, false, QRect(), QString());
}

void TJPEGImage::saveToStream(QIODevice &stream)
{
    JPEGNeeded();
    if (!m_body->hasData)
        return;
    const QByteArray &bytes = m_body->all();
    writeAll(stream, bytes.constData(), bytes.size());
}

void TJPEGImage::draw(QPainter &painter, const QRect &dest)
{
    if (isEmpty())
        return;
    bitmap();
    m_bitmap->draw(painter, dest);
}
