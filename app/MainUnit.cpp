#include "MainUnit.h"

#include "AppPaths.h"
#include "FileKind.h"
#include "LZHPanelUnit1.h"
#include "Picture.h"
#include "Preload.h"
#include "SPIs.h"
#include "StatusBarEx.h"

#include <QCoreApplication>
#include <QDragEnterEvent>
#include <QFile>
#include <QFileInfo>
#include <QMimeData>
#include <QScrollArea>
#include <QSlider>
#include <QTimer>
#include <QUrl>
#include <QWindow>

TMainForm::TMainForm(const QStringList &args, QWidget *parent) : QMainWindow(parent), m_args(args)
{
    setWindowTitle(QStringLiteral("Pictlane Type II"));
    // Borderless with a sizing frame: our own title bar, the window manager's resize at the edges.
    setWindowFlags(Qt::Window | Qt::FramelessWindowHint);
    setAcceptDrops(true);
    setMouseTracking(true);
    setContentsMargins(4, 4, 4, 4);
    buildWindow();
    FormCreate();
    LZHPanel = std::make_unique<TLZHPanel>();
    LZHPanel->OnOpenMember = [this](const QString &entry, const QString &archive) {
        OpenArchiveMember(entry, archive);
    };
}

TMainForm::~TMainForm()
{
    if (Preload)
        Preload->forget();
}

// ---- life cycle ---------------------------------------------------------------------------

void TMainForm::FormCreate()
{
    TempFiles.clear();
    ArchiveOpening = false;
    FirstOpen = true;
    QCoreApplication::processEvents();

    LoadSettings();

    // One plug-in manager per process; a second window (tests make several) shares the first's.
    if (!TSPIs::ActiveSPIs()) {
        SPI = new TSPIs(this);
        SPI->SearchOptions = {TSPISearchOption::spsSusieDir, TSPISearchOption::spsAppDir,
                              TSPISearchOption::spsSystemDir};
        SPI->OnSearch = [this](TSPIs &sender, TSPI &spi, bool &accept) { SPISearch(sender, spi, accept); };
    }

    CurrentJpeg = std::make_unique<TJPEGImage>();
    DefaultImage = ProgramFolder() + QStringLiteral("def.jpg");
    ArchiveAnchor = QPoint(x() + width() / 2, y() + height() / 2);
    HelpFile = ProgramFolder() + QStringLiteral("PL2.hlp");
    loadCursors();
    Image1->setCursor(Cursors[2]);
    ViewRate->setValue(4);
    RestoreToolbars();
    QPalette pal = ScrollBox1->palette();
    pal.setColor(QPalette::Window, ColorToQColor(BgColor));
    ScrollBox1->setPalette(pal);
    ScrollBox1->viewport()->setPalette(pal);
    ScrollBox1->viewport()->setAutoFillBackground(true);
}

void TMainForm::showEvent(QShowEvent *event)
{
    QMainWindow::showEvent(event);
    if (!m_shown) {
        m_shown = true;
        FormShow();
    }
}

void TMainForm::FormShow()
{
    ExplorerClick();
    MaskButtonClick();
    extendOpenFilter();
    // An encrypted picture asks for its passphrase over the window, and a picture read by a
    // plug-in moves the gauge as it comes: both once the window is on screen. A JPEG decodes
    // ahead and shows at once.
    const QString first = m_args.isEmpty() ? CurrentFile : m_args.first();
    if (!first.isEmpty() && ExtensionKind(first) != TExtKind::Jpeg) {
        QMetaObject::invokeMethod(
            this, [this] { openFirstWhenExposed(); }, Qt::QueuedConnection);
        return;
    }
    // Loading the plug-ins waits until the first picture is on screen; a first picture that
    // needs them loads them itself.
    QMetaObject::invokeMethod(
        this, [this] { LoadPlugins(); }, Qt::QueuedConnection);
    openFirstReported();
}

void TMainForm::openFirstReported()
{
    try {
        openFirstImage();
    } catch (const std::exception &e) {
        // Said once the window is up, so the error shows over a window that stays instead of
        // breaking off its showing.
        const QString msg = QString::fromUtf8(e.what());
        QMetaObject::invokeMethod(
            this, [msg] { ReportError(msg); }, Qt::QueuedConnection);
    }
}

void TMainForm::openFirstWhenExposed()
{
    // The window system may take a moment to put the window up; wait for it a little.
    if (windowHandle() && !windowHandle()->isExposed() && m_exposeWaits++ < 50) {
        QTimer::singleShot(10, this, [this] { openFirstWhenExposed(); });
        return;
    }
    repaint();
    openFirstReported();
}

void TMainForm::openFirstImage()
{
    if (m_args.isEmpty()) {
        OpenImage(!CurrentFile.isEmpty() && QFileInfo(CurrentFile).isFile() ? CurrentFile : DefaultImage);
        return;
    }
    const QString path = QFileInfo(m_args.first()).absoluteFilePath();
    if (!QFileInfo(path).isFile())
        return;
    LZHPanel->hide();
    if (LinkWorkDir)
        linkFolderOf(path);
    OpenImage(path);
}

void TMainForm::closeEvent(QCloseEvent *event)
{
    bool canClose = true;
    FormCloseQuery(canClose);
    if (canClose) {
        LZHPanel->hide(); // the program ends with its main window
        event->accept();
    } else
        event->ignore();
}

void TMainForm::FormCloseQuery(bool &canClose)
{
    m_closing = true;
    canClose = true;
    // Temporary files go and the picture is released even when the settings cannot be written;
    // that error still reaches the message box.
    struct Cleanup {
        TMainForm *f;
        ~Cleanup()
        {
            for (const QString &file : std::as_const(f->TempFiles))
                if (QFileInfo::exists(file))
                    QFile::remove(file);
            f->TempFiles.clear();
            f->CurrentJpeg.reset();
        }
    } cleanup{this};
    SaveSettings();
    SaveToolbars();
}

void TMainForm::dragEnterEvent(QDragEnterEvent *event)
{
    if (event->mimeData()->hasUrls())
        event->acceptProposedAction();
}

void TMainForm::dropEvent(QDropEvent *event)
{
    QStringList paths;
    for (const QUrl &u : event->mimeData()->urls())
        if (u.isLocalFile())
            paths.append(u.toLocalFile());
    event->acceptProposedAction();
    WMDropFiles(paths);
}

void TMainForm::WMDropFiles(const QStringList &paths)
{
    if (paths.isEmpty())
        return;
    const QString path = paths.first();
    LZHPanel->hide();
    if (!QFileInfo(path).isFile())
        return;
    if (LinkWorkDir)
        linkFolderOf(path);
    OpenImage(path);
}

void TMainForm::linkFolderOf(const QString &path)
{
    SelectFolder(FolderOf(path));
}
