#include "MainUnit.h"
#include "ShView.h"

#include "ARCHIVES.h"
#include "AppPaths.h"
#include "FileKind.h"
#include "LZHPanelUnit1.h"
#include "MsgBox.h"
#include "Picture.h"
#include "PictureDialogs.h"
#include "Preload.h"
#include "SPIBmp.h"
#include "SPIs.h"
#include "StatusBarEx.h"

#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QScreen>
#include <QSlider>
#include <QUrl>

#include <algorithm>

namespace {

const char *const kOpenFilter = "すべてのJPEGﾌｧｲﾙ(*.jpg;*.jpeg;*.jpz)|*.jpg;*.jpeg;*.jpz|JPEGﾌｧｲﾙ (*.jpg;*.jpeg)|"
                                "*.jpg;*.jpeg|暗号化JPEG (*.jpz)|*.jpz";

} // namespace

// ---- opening ------------------------------------------------------------------------------

TFileKind TMainForm::ClassifyFile(const QString &path)
{
    return ClassifyFile(path, ExtensionKind(path));
}

TFileKind TMainForm::ClassifyFile(const QString &path, TExtKind kind)
{
    switch (kind) {
    case TExtKind::Jpeg:
    case TExtKind::Jpz:
        return fkJpeg;
    case TExtKind::Archive:
        return fkArchive;
    case TExtKind::Other:
        break;
    }
    const QString ext = AsciiUpper(ExtractFileExt(path));
    if (!ext.isEmpty() && AsciiUpper(TPicture::graphicFilter()).contains(ext))
        return fkPicture;
    return fkForeign;
}

void TMainForm::OpenImage(const QString &path)
{
    // An archive entry always opens: entries of the same name come to the same temporary path,
    // and numbered names are the rule in picture archives.
    if (FirstOpen)
        FirstOpen = false;
    else if (path == CurrentFile && !ArchiveOpening)
        return;
    if (!QFileInfo(path).isFile()) {
        MessageDlg(this, QStringLiteral("ﾌｧｲﾙが見つかりません\n") + path, TMsgKind::Information);
        return;
    }
    const TExtKind ext = ExtensionKind(path);
    // Only JPEG gets by without the plug-ins: every other kind depends on their extensions.
    if (ext != TExtKind::Jpeg && ext != TExtKind::Jpz)
        LoadPlugins();
    switch (ClassifyFile(path, ext)) {
    case fkJpeg: {
        if (ext == TExtKind::Jpz) {
            auto jpeg = std::make_unique<TJPEGImage>();
            if (!OpenCryptedJpeg(path, *jpeg))
                return;
            CurrentJpeg = std::move(jpeg);
            showSteps(path);
            break;
        }
        // Load and decode into a new picture first: a file that fails leaves the picture on
        // show, and the one in memory, as they were.
        TPreload::First first = Preload ? Preload->take(path) : TPreload::First();
        if (!first.preview.isEmpty()) {
            showPreview(path, std::move(first.preview));
            break;
        }
        std::unique_ptr<TJPEGImage> jpeg = std::move(first.picture);
        if (!jpeg) {
            jpeg = std::make_unique<TJPEGImage>();
            jpeg->loadFromFile(path);
            jpeg->DIBNeeded();
        }
        CurrentJpeg = std::move(jpeg);
        showSteps(path);
        break;
    }
    case fkPicture: {
        // BMP by the native reader, everything else through the image plug-ins.
        TSPIBitmap bmp;
        bmp.OnProgress = [this](TGraphic &sender, TProgressStage stage, int percent, bool redraw, const QRect &r,
                                const QString &msg) { PluginProgress(sender, stage, percent, redraw, r, msg); };
        bmp.loadFromFile(path);
        auto jpeg = std::make_unique<TJPEGImage>();
        jpeg->assign(bmp);
        CurrentJpeg = std::move(jpeg);
        showSteps(path);
        break;
    }
    case fkForeign:
        QDesktopServices::openUrl(QUrl::fromLocalFile(path));
        break;
    case fkArchive:
        ShowArchive(path);
        break;
    }
}

void TMainForm::showPreview(const QString &path, TBitmap preview)
{
    // Until the whole picture arrives, the picture in memory holds the header only (a command
    // that needs its pixels decodes them itself) and the view shows the preview.
    auto placeholder = std::make_unique<TJPEGImage>();
    placeholder->loadFromFile(path);
    const TPreviewGraphic shown(std::move(preview), placeholder->width(), placeholder->height());
    CurrentJpeg = std::move(placeholder);
    showSteps(path, &shown);
    Preload->whenDone(this, [this, waiting = CurrentJpeg.get()](std::unique_ptr<TJPEGImage> whole) {
        // A newer picture wins.
        if (!CurrentJpeg || CurrentJpeg.get() != waiting)
            return;
        // A command that needed the pixels meanwhile (copy, print, save, rotation) decoded or
        // replaced them itself: keep those. Either way the view leaves the preview now.
        if (!CurrentJpeg->hasBitmap()) {
            if (whole)
                CurrentJpeg = std::move(whole);
            else
                CurrentJpeg->DIBNeeded(); // decoding failed over there: fail here, with the message
        }
        Image1->picture().assign(CurrentJpeg.get());
    });
}

void TMainForm::showSteps(const QString &path, const TGraphic *shown)
{
    ++m_pictureSerial;
    Image1->picture().assign(shown ? shown : CurrentJpeg.get());
    Image1->setToolTip(path);
    CurrentFile = path;
    StatusBar->setPanelText(2, path);
    if (!FixedScale)
        ViewRate->setValue(4);
    TrackBar1Change();
    ++GlobalCounter;
}

void TMainForm::Open1Click()
{
    LoadPlugins(); // their formats belong in the filter
    OpenDialog1.InitialDir = FolderView1->GetCurrentPath();
    // Cleared before it shows: a cancel must not leave an earlier choice to decide IniDir.
    OpenDialog1.FileName.clear();
    if (!ExecuteDialog(OpenDialog1))
        return;
    const QString file = OpenDialog1.FileName;
    OpenImage(file);
    if (LinkDir)
        linkFolderOf(file);
}

// ---- archives -----------------------------------------------------------------------------

void TMainForm::ShowArchive(const QString &path)
{
    LZHPanel->ListView->clear();
    int left = ArchiveAnchor.x(), top = ArchiveAnchor.y();
    if (const QScreen *screen = QGuiApplication::primaryScreen()) {
        const QSize size = screen->geometry().size();
        left = std::min(left, size.width() - 275);
        top = std::min(top, size.height() - 230);
    }
    LZHPanel->move(left, top);
    LZHPanel->setWindowTitle(path);
    TArchiveFile file(this);
    file.setFileName(path);
    file.OpenArchive(winId(), 0);
    ArcIndividualInfo info;
    for (int r = file.FindFirst(QStringLiteral("*.*"), info); r == 0; r = file.FindNext(info)) {
        const QString name = QString::fromUtf8(info.szFileName);
        LZHPanel->AddEntry(name, ClassifyFile(name) == fkForeign ? 1 : 0);
    }
    file.CloseArchive();
    LZHPanel->show();
    LZHPanel->raise();
}

void TMainForm::OpenArchiveMember(const QString &entry, const QString &archive)
{
    const QStringList files{entry};
    const QString temp = TempFolder();
    const QString name = entry.mid(entry.lastIndexOf(QLatin1Char('/')) + 1);
    const QString path = temp + name;
    // A copy left from an earlier extraction must not stand in for one that fails now.
    if (!name.isEmpty() && QFileInfo(path).isFile())
        QFile::remove(path);
    {
        TArchiveFile file(this);
        file.setFileName(archive);
        file.Options().x = 0;
        file.Options().n = 0;
        // The module has removed what it began; a full folder is said as such, where any other
        // failure shows as the missing file below.
        if (file.Extract(winId(), temp, &files) == ARC_ERROR_DISK_SPACE)
            throw EArchiver(QStringLiteral("一時フォルダ %1 に空きが足りないため、%2 を書庫から取り出せません。")
                                .arg(QDir::toNativeSeparators(temp), entry));
    }
    struct Opening {
        TMainForm *f;
        QString path;
        ~Opening()
        {
            f->ArchiveOpening = false;
            // Another program may still hold a file handed to it, and a nested archive is
            // read again when one of its entries is opened: both stay until exit. A picture
            // has been read into memory.
            const TFileKind kind = f->ClassifyFile(path);
            if (kind == fkForeign || kind == fkArchive) {
                if (QFileInfo(path).isFile() && !f->TempFiles.contains(path))
                    f->TempFiles.append(path);
            } else if (QFileInfo(path).isFile()) {
                QFile::remove(path);
            }
        }
    } opening{this, path};
    ArchiveOpening = true;
    OpenImage(path);
}

void TMainForm::LoadPlugins()
{
    if (m_pluginsLoaded)
        return;
    m_pluginsLoaded = true;
    if (SPI)
        SPI->Loaded();
    extendOpenFilter();
}

void TMainForm::extendOpenFilter()
{
    OpenDialog1.Filter = QString::fromUtf8(kOpenFilter) + QLatin1Char('|') + TPicture::graphicFilter();
}

void TMainForm::SPISearch(TSPIs &, TSPI &spi, bool &accept)
{
    accept = dynamic_cast<TInSPI *>(&spi) != nullptr;
}

void TMainForm::PluginProgress(TGraphic &, TProgressStage, int percent, bool, const QRect &, const QString &)
{
    StatusBar->setGauge(percent < 95 ? percent : 0);
    StatusBar->repaint();
}
