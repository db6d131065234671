#pragma once
// TMainForm: the main window. Opens a picture by path (command line, drop, open dialog), shows it
// in the scrollable view with zoom, scrolling, drag-scrolling and rotation. Everything runs on the
// user-interface thread; long commands let pending events run, so input may arrive meanwhile.

#include "Bitmap.h"
#include "Image.h"
#include "JPEG.h"

#include <QCursor>
#include <QMainWindow>

class QAction;
class QActionGroup;
class QLabel;
class QMenu;
class QScrollArea;
class QSlider;
class QSplitter;
class QToolBar;
class QToolButton;
class TSSImage;
class TPreload;
class TStatusBarEx;

enum TFileKind { fkJpeg = 0, fkPicture = 1, fkForeign = 2, fkArchive = 3 };

class TMainForm : public QMainWindow {
public:
    // args: the command line without the program name; only the first is used.
    explicit TMainForm(const QStringList &args = {}, QWidget *parent = nullptr);
    ~TMainForm() override;

    // ---- life cycle
    void FormCreate();
    void FormShow();
    void FormCloseQuery(bool &canClose);
    void WMDropFiles(const QStringList &paths);

    // ---- opening and showing
    static TFileKind ClassifyFile(const QString &path);
    void OpenImage(const QString &path);
    void Open1Click();
    void TrackBar1Change();
    void Z1Click(QAction *item);
    void k1Click();
    void ViewRateEnter();
    void ScrollBox1MouseDown(QWidget *sender, Qt::MouseButtons buttons, Qt::KeyboardModifiers shift, int x, int y);
    void Image1MouseMove(Qt::KeyboardModifiers shift, int x, int y);
    void Image1MouseUp(Qt::MouseButton button, Qt::KeyboardModifiers shift, int x, int y);
    void RScrollClick();
    void LScrollClick();
    void UScrollClick();
    void DScrollClick();
    void ExplorerClick();
    // Progress of a plug-in load: the gauge follows up to 95 %, then drops back to 0.
    void PluginProgress(TGraphic &sender, TProgressStage stage, int percent, bool redrawNow, const QRect &r,
                        const QString &msg);

    // ---- rotation
    void Rotate1Click() { RotatePicture(90); }
    void Rotate2Click() { RotatePicture(180); }
    void Rotate3Click() { RotatePicture(270); }
    void Rotate4Click();
    void RotatePicture(int degrees);
    // The pixel work of RotatePicture: src must be 32 bits per pixel. beforeRow runs before
    // each destination row with (row, rows) and may return false to stop early.
    static TBitmap RotateBitmap(const TBitmap &src, int degrees, const std::function<bool(int, int)> &beforeRow);
    // The size of the image control for a W x H picture at zoom position pos (0..8).
    static QSize ZoomSize(int pos, int w, int h);

    // ---- state (fields of the window)
    QString CurrentFile;
    QString DefaultImage;
    std::unique_ptr<TJPEGImage> CurrentJpeg;
    QStringList TempFiles;
    bool FirstOpen = true;
    bool ArchiveOpening = false;
    bool Dragging = false;
    int DragX = 0;
    int DragY = 0;
    QPoint ArchiveAnchor;
    QString HelpFile;
    // The first picture, decoded ahead while the window came up (may be null).
    TPreload *Preload = nullptr;

    // Settings, with their defaults until the settings store reads them.
    bool FixedScale = true;
    bool LinkDir = false;
    bool LinkWorkDir = true;
    int Scroll = 5;
    int Rotate = 30;
    int GlobalCounter = 0;
    TColor BgColor = clBtnFace;
    int PanelHeight = 170;
    QString SKey1 = QStringLiteral("KLDSEX");
    QString IniDir;

    // The folder selected in the folder tree. Selecting one is all the tree does for this
    // window until the browsing pane fills it.
    QString CurrentFolder;
    void SelectFolder(const QString &folder);

    // ---- controls
    QWidget *Bar1 = nullptr;
    TSSImage *Image2 = nullptr;
    QLabel *DRLabel1 = nullptr;
    QToolBar *Toolbar973 = nullptr;
    QToolBar *Toolbar974 = nullptr;
    QToolBar *Toolbar975 = nullptr;
    QToolButton *Explorer = nullptr;
    QSlider *ViewRate = nullptr;
    QToolButton *RotateButton = nullptr;
    QMenu *FileMenu = nullptr;
    QMenu *ExtMenu = nullptr;
    QMenu *k1 = nullptr;
    QAction *Z[9] = {};
    QActionGroup *ZoomGroup = nullptr;
    QAction *Open1 = nullptr;
    QAction *RScroll = nullptr, *LScroll = nullptr, *UScroll = nullptr, *DScroll = nullptr;
    QSplitter *Panel13 = nullptr;
    QWidget *Panel1 = nullptr;
    QScrollArea *ScrollBox1 = nullptr;
    TImage *Image1 = nullptr;
    TStatusBarEx *StatusBar = nullptr;
    QString OpenDialogFilter;
    QString OpenDialogFileName;

    // Cursor numbers 1..4 from the program's resources; 0 is the arrow.
    QCursor Cursors[5];

protected:
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dropEvent(QDropEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;

private:
    void buildWindow();
    void applyScrollShortcuts();
    // shown: what the view shows, when not CurrentJpeg itself.
    void showSteps(const QString &path, const TGraphic *shown = nullptr);
    void showPreview(const QString &path, TBitmap preview);
    void openFirstImage();
    void linkFolderOf(const QString &path);
    Qt::Edges edgesAt(const QPoint &pos) const;

    QStringList m_args;
    bool m_shown = false;
    bool m_closing = false;
};
