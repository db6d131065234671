#include "MainUnit.h"

#include "RotateUnit.h"
#include "StatusBarEx.h"

#include <QCoreApplication>
#include <QSpinBox>

#include <climits>
#include <cmath>
#include <vector>

namespace {

// One row of source coordinates: R(x), R(y), then x += c, y -= s, n times; x and y come back
// advanced. R rounds half to even, as the x87 unit does by default. Values beyond int range
// come out negative and so fall outside the picture.
void traceRow(long double &x, long double &y, long double c, long double s, int n, int *xs, int *ys)
{
#if defined(__x86_64__) || defined(__i386__)
    // By hand: the compiler spills 80-bit values to memory on every step of this loop, which
    // triples the cost of the whole rotation. Here x, y, c and s stay on the x87 stack.
    if (n <= 0)
        return;
    asm volatile("fldt %[s]\n\t"
                 "fldt %[c]\n\t"
                 "fldt %[y]\n\t"
                 "fldt %[x]\n" // st0 x, st1 y, st2 c, st3 s
                 "1:\n\t"
                 "fld %%st(0)\n\t"
                 "fistpl (%[xs])\n\t"
                 "fld %%st(1)\n\t"
                 "fistpl (%[ys])\n\t"
                 "fadd %%st(2), %%st\n\t"
                 "fxch %%st(1)\n\t"
                 "fsub %%st(3), %%st\n\t"
                 "fxch %%st(1)\n\t"
                 "add $4, %[xs]\n\t"
                 "add $4, %[ys]\n\t"
                 "dec %[n]\n\t"
                 "jnz 1b\n\t"
                 "fstpt %[x]\n\t"
                 "fstpt %[y]\n\t"
                 "fstp %%st(0)\n\t"
                 "fstp %%st(0)"
                 : [x] "+m"(x), [y] "+m"(y), [xs] "+r"(xs), [ys] "+r"(ys), [n] "+r"(n)
                 : [c] "m"(c), [s] "m"(s)
                 : "st", "st(1)", "st(2)", "st(3)", "st(4)", "st(5)", "st(6)", "st(7)", "memory", "cc");
#else
    long double px = x, py = y;
    for (int i = 0; i < n; ++i) {
        const long long X = std::llrint(px), Y = std::llrint(py);
        xs[i] = X >= INT_MIN && X <= INT_MAX ? int(X) : INT_MIN;
        ys[i] = Y >= INT_MIN && Y <= INT_MAX ? int(Y) : INT_MIN;
        px += c;
        py -= s;
    }
    x = px;
    y = py;
#endif
}

// The cursors and the title icon are compiled in: no file to lose, no image reader to start.
#include "cursors/CUR1.xpm"

} // namespace

// ---- rotation -----------------------------------------------------------------------------

void TMainForm::Rotate4Click()
{
    TRotateForm dlg(this);
    dlg.SpinEdit->setValue(Rotate);
    if (dlg.exec() != QDialog::Accepted)
        return;
    const int degrees = dlg.SpinEdit->value();
    RotatePicture(degrees);
    Rotate = degrees;
}

TBitmap TMainForm::RotateBitmap(const TBitmap &src, int degrees, const std::function<bool(int, int)> &beforeRow)
{
    Q_ASSERT(src.isEmpty() || src.pixelFormat() == TPixelFormat::pf32bit);
    // Extended precision and round-half-even throughout, so that the size and every sampled
    // pixel come out as they always have.
    const long double a = degrees * 3.14159265358979323846264338327950288L / 180.0L;
    const long double c = std::cos(a), s = std::sin(a);
    const int w = src.width(), h = src.height();
    const auto R = [](long double v) { return std::llrint(v); };
    const int w2 = int(R(std::fabs(c * w) + std::fabs(-s * h)) + 1);
    const int h2 = int(R(std::fabs(s * w) + std::fabs(c * h)) + 1);

    TBitmap dst;
    dst.allocate(w2, h2, TPixelFormat::pf32bit);
    const int cx = w2 / 2, cy = h2 / 2;
    long double x = w / 2.0L - c * cx - s * cy;
    long double y = h / 2.0L + s * cx - c * cy;
    const uint8_t *srcBase = w && h ? src.constScanLine(0) : nullptr;
    const qsizetype srcStride = src.bytesPerLine();
    uint8_t *dstBase = dst.scanLine(0);
    const qsizetype dstStride = dst.bytesPerLine();
    const long double rowX = s - c * w2, rowY = c + s * w2;
    // Coordinates first, pixels second: a loop that only adds and rounds keeps x, y, c and s in
    // registers, where a mixed loop spills the 80-bit values to memory on every pixel.
    std::vector<int> xs(static_cast<size_t>(w2)), ys(static_cast<size_t>(w2));
    for (int j = 0; j < h2; ++j) {
        auto *row = reinterpret_cast<uint32_t *>(dstBase + j * dstStride);
        if (beforeRow && !beforeRow(j, h2)) {
            for (int k = j; k < h2; ++k)
                std::fill_n(reinterpret_cast<uint32_t *>(dstBase + k * dstStride), w2, 0x808080u);
            break;
        }
        traceRow(x, y, c, s, w2, xs.data(), ys.data());
        for (int i = 0; i < w2; ++i) {
            const int X = xs[size_t(i)], Y = ys[size_t(i)];
            row[i] = (unsigned(X) < unsigned(w) && unsigned(Y) < unsigned(h))
                         ? reinterpret_cast<const uint32_t *>(srcBase + qsizetype(Y) * srcStride)[X]
                         : 0x808080u;
        }
        x += rowX;
        y += rowY;
    }
    return dst;
}

void TMainForm::RotatePicture(int degrees)
{
    StatusBar->setGauge(0);
    QCoreApplication::processEvents();
    struct Reset {
        TMainForm *f;
        ~Reset()
        {
            f->StatusBar->setGauge(0);
            QCoreApplication::processEvents();
        }
    } reset{this};
    // Nothing on show: turning nothing would make a one-pixel grey picture out of it.
    if (!CurrentJpeg || CurrentJpeg->isEmpty())
        return;
    // Events run while it turns: a picture opened (or turned) meanwhile is not this one's to change.
    const quint64 picture = m_pictureSerial;
    const auto stillOurs = [&] { return !m_closing && CurrentJpeg && m_pictureSerial == picture; };
    TBitmap src;
    src.assign(*CurrentJpeg);
    src.setPixelFormat(TPixelFormat::pf32bit);
    int lastPercent = -1;
    TBitmap dst = RotateBitmap(src, degrees, [&](int j, int rows) {
        const int percent = j * 100 / rows;
        if (percent != lastPercent) {
            lastPercent = percent;
            StatusBar->setGauge(percent);
        }
        QCoreApplication::processEvents();
        return stillOurs();
    });
    if (!stillOurs())
        return;
    ++m_pictureSerial;
    CurrentJpeg->assign(dst);
    Image1->resize(CurrentJpeg->width(), CurrentJpeg->height());
    Image1->picture().assign(CurrentJpeg.get());
}
