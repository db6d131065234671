#include "MainUnit.h"

#include "PNGImage.h"
#include "StatusBarEx.h"

#include <QApplication>
#include <QClipboard>
#include <QGuiApplication>
#include <QPainter>
#include <QPrinter>

// ---- saving, printing, clipboard ----------------------------------------------------------

namespace {
// Busy cursor and "保存中..." for the life of a save.
struct Saving {
    TMainForm *f;
    explicit Saving(TMainForm *form) : f(form)
    {
        QApplication::setOverrideCursor(f->Cursors[4]);
        f->StatusBar->setPanelText(1, QStringLiteral("保存中..."));
        QCoreApplication::processEvents();
    }
    ~Saving()
    {
        f->StatusBar->setPanelText(1, QString());
        QApplication::restoreOverrideCursor();
        QCoreApplication::processEvents();
    }
};
} // namespace

QString TMainForm::askSaveName(TFileDialog &dialog)
{
    // Every save dialog starts where the open dialog does, with an empty name.
    dialog.InitialDir = OpenDialog1.InitialDir;
    dialog.FileName.clear();
    return ExecuteDialog(dialog) ? dialog.FileName : QString();
}

void TMainForm::SaveAsMenuClick()
{
    // Nothing on show would save as an empty file.
    if (!CurrentJpeg || CurrentJpeg->isEmpty())
        return;
    const QString file = askSaveName(SaveDialog);
    if (file.isEmpty())
        return;
    const Saving saving(this);
    CurrentJpeg->saveToFile(file);
}

void TMainForm::SaveOverMenuClick()
{
    if (!CurrentJpeg || CurrentJpeg->isEmpty())
        return;
    const QString file = askSaveName(SavePNGDialog);
    if (file.isEmpty())
        return;
    const Saving saving(this);
    TBitmap bmp;
    bmp.assign(*CurrentJpeg);
    if (bitsPerPixel(bmp.pixelFormat()) > 8)
        bmp.setPixelFormat(TPixelFormat::pf24bit);
    TPNGImage png;
    png.assign(bmp);
    png.saveToFile(file);
}

QRect TMainForm::PrintRect(int w, int h, int pw, int ph)
{
    // Single precision, as the page geometry has always been reckoned.
    float W = float(w), H = float(h);
    const float R = W / H;
    if (float(pw) > W && float(ph) > H) {
        if (W >= H) {
            W = float(pw);
            H = W / R;
        } else {
            H = float(ph);
            W = H * R;
        }
    }
    if (float(pw) < W) {
        W = float(pw);
        H = W / R;
    }
    if (float(ph) < H) {
        H = float(ph);
        W = H * R;
    }
    return QRect(0, 0, int(W), int(H));
}

void TMainForm::PrintMenuClick()
{
    if (!CurrentJpeg || CurrentJpeg->isEmpty())
        return;
    QPrinter printer(QPrinter::HighResolution);
    if (!PrintDialog1(printer))
        return;
    QPainter painter;
    if (!painter.begin(&printer))
        throw Exception(QStringLiteral("印刷を開始できません"));
    const QRect page = printer.pageLayout().paintRectPixels(printer.resolution());
    const QRect target = PrintRect(CurrentJpeg->width(), CurrentJpeg->height(), page.width(), page.height());
    TBitmap bmp;
    bmp.assign(*CurrentJpeg);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(target, bmp.imageView());
    if (!painter.end())
        throw Exception(QStringLiteral("印刷できませんでした"));
}

void TMainForm::Copy1Click()
{
    if (!Image1->isVisible() || !CurrentJpeg || CurrentJpeg->isEmpty())
        return;
    TBitmap bmp;
    bmp.assign(*CurrentJpeg);
    QGuiApplication::clipboard()->setImage(bmp.toImage());
}
