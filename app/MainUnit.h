#pragma once
// TMainForm: the main window. Opens a picture by path (command line, drop, open dialog), shows it
// in the scrollable view with zoom, scrolling, drag-scrolling and rotation. Everything runs on the
// user-interface thread; long commands let pending events run, so input may arrive meanwhile.
//
// One class, its definitions in one file per concern; each section below names its file:
//   MainUnit.cpp          life cycle, first picture, drops
//   MainUnitBuild.cpp     building the window: controls, menus, toolbars, dialogs
//   MainUnitSettings.cpp  settings table, load and save, file type, toolbar layout, keys
//   MainUnitOpen.cpp      the open road: classify, open, preview, plug-ins, archives
//   MainUnitView.cpp      zoom, scrolling, drag-scrolling, mouse on the view, the pane switch
//   MainUnitRotate.cpp    rotation
//   MainUnitSave.cpp      saving as JPEG and PNG, printing, the clipboard
//   MainUnitCrypt.cpp     the encrypted JPEG: save, open, the temporary folder
//   MainUnitFrame.cpp     the frame: resize edges, the title bar's icon and window menu
//   MainUnitPane.cpp      the browsing pane: folder combo, folder tree, file list, its buttons

#include "Bitmap.h"
#include "FileKind.h"
#include "Image.h"
#include "JPEG.h"

#include <QCursor>
#include <QElapsedTimer>
#include <QMainWindow>

#include <optional>
#include <span>
#include <variant>

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
class QPrinter;
class QProgressBar;
class TBlowFish;
class TPreload;
class TSPIs;
class TSPI;
class TStatusBarEx;
class TTitleBar;
class TLZHPanel;
class TComboView;
class TFileView;
class TFolderView;

class TMainForm;

// One setting read at start and written at exit as it is: section, value name, member, default.
struct TSetting {
    const char *section;
    const char *name;
    std::variant<bool TMainForm::*, int TMainForm::*, QString TMainForm::*> member;
    std::variant<bool, int, const char *> def;
    bool inProgramFolder = false; // a text default names a file in the program's folder
    QString defaultText() const;
};

// A file dialog as its command prepares it. FileName is what the user chose; each use clears it
// first, so a cancel leaves it empty.
struct TFileDialog {
    enum class Kind { Open, SavePicture, Save };
    Kind kind = Kind::Open;
    QString Title, Filter, DefaultExt;
    QString InitialDir;
    QString FileName;
};

enum TFileKind { fkJpeg = 0, fkPicture = 1, fkForeign = 2, fkArchive = 3 };

class TMainForm : public QMainWindow {
public:
    // ---- life cycle (MainUnit.cpp)
    // args: the command line without the program name; only the first is used.
    explicit TMainForm(const QStringList &args = {}, QWidget *parent = nullptr);
    ~TMainForm() override;
    void FormCreate();
    void FormShow();
    void FormCloseQuery(bool &canClose);
    void WMDropFiles(const QStringList &paths);

    // ---- settings (MainUnitSettings.cpp)
    // The registry key of all settings, and the picture a start with these arguments shows
    // first (the first argument, else the last picture if it is still there, else def.jpg
    // in programFolder). Both work before the application object exists.
    static const QString SettingsKey;
    static QString FirstPicture(const QStringList &args, const QString &programFolder);
    // Reads every setting from the registry and applies it; unreadable values take defaults.
    void LoadSettings();
    // Writes every setting back. Throws EInOutError; the store is then left as it was.
    void SaveSettings();
    // The settings that are read and written as they are, in the order of writing.
    static std::span<const TSetting> PlainSettings();
    // Writes (true) or removes (false) the encrypted-JPEG file type in the class registry.
    static void RegisterJpzType(bool on);
    void RestoreToolbars();
    void SaveToolbars();
    // SKey1 as used: six capital letters, each invalid or missing one replaced by the default's.
    static QString NormalizeKeys(const QString &keys);

    // ---- the open road (MainUnitOpen.cpp)
    static TFileKind ClassifyFile(const QString &path);
    static TFileKind ClassifyFile(const QString &path, TExtKind kind);
    void OpenImage(const QString &path);
    void Open1Click();
    // Lists an LZH archive in the archive window beside ArchiveAnchor. Throws EArchiver when
    // the LHA module is missing.
    void ShowArchive(const QString &path);
    // Extracts one entry into the temporary folder and opens it; pictures are deleted once
    // read, other files (handed to another program) at exit. Throws EArchiver when the
    // temporary folder has no room for it.
    void OpenArchiveMember(const QString &entry, const QString &archive);
    // The image plug-ins; only import plug-ins are kept. They are searched once, right after the
    // first picture is on screen, or earlier when something needs them (LoadPlugins).
    void LoadPlugins();
    void SPISearch(TSPIs &sender, TSPI &spi, bool &accept);
    // Progress of a plug-in load: the gauge follows up to 95 %, then drops back to 0.
    void PluginProgress(TGraphic &sender, TProgressStage stage, int percent, bool redrawNow, const QRect &r,
                        const QString &msg);

    // ---- view (MainUnitView.cpp)
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
    // The size of the image control for a W x H picture at zoom position pos (0..8).
    static QSize ZoomSize(int pos, int w, int h);

    // ---- rotation (MainUnitRotate.cpp)
    void Rotate1Click() { RotatePicture(90); }
    void Rotate2Click() { RotatePicture(180); }
    void Rotate3Click() { RotatePicture(270); }
    void Rotate4Click();
    // Turns the picture on show; a picture opened or turned while it runs is left alone.
    void RotatePicture(int degrees);
    // The pixel work of RotatePicture: src must be 32 bits per pixel. beforeRow runs before
    // each destination row with (row, rows) and may return false to stop early.
    static TBitmap RotateBitmap(const TBitmap &src, int degrees, const std::function<bool(int, int)> &beforeRow);

    // ---- saving, printing, clipboard (MainUnitSave.cpp)
    void SaveAsMenuClick();   // as JPEG, Ctrl+S
    void SaveOverMenuClick(); // as PNG, Ctrl+P
    void PrintMenuClick();
    void Copy1Click();
    // Where a W x H picture lands on a PW x PH printable page: enlarged to the page, then
    // fitted, aspect kept, anchored top left.
    static QRect PrintRect(int w, int h, int pw, int ph);

    // ---- encrypted JPEG (MainUnitCrypt.cpp)
    // "暗号化JPEGに保存": asks for a .jpz name and the passphrase, then writes the picture on show
    // enciphered there. Does nothing without a picture. Throws EInOutError.
    void CryptSaveMenuClick();
    // The open path for ".jpz": asks for the passphrase, deciphers into memory and loads and
    // decodes the result into into. False when cancelled or when the result does not load or
    // decode, for whatever reason (said as a wrong passphrase in a message box).
    bool OpenCryptedJpeg(const QString &path, TJPEGImage &into);
    // The program's private temporary folder (extracted archive entries live there).
    static QString TempFolder();

    // ---- the browsing pane (MainUnitPane.cpp)
    // Selects a folder in the folder tree (nothing changes for one the tree cannot show).
    void SelectFolder(const QString &folder);
    void FolderView1Change();
    // The pane's height is kept when the user drags the splitter below it, while it is open.
    void Panel1Resize();
    void ViewMode0Click();
    void ViewMode1Click();
    void ViewMode2Click();
    void UpButtonClick();
    void MaskButtonClick();
    // A click or Enter on a picture or archive in the list opens it; a double click opens any file.
    void FileView1Click();
    void FileView1DblClick();
    void FileView1KeyDown(int key, Qt::KeyboardModifiers shift);
    // Every press in the list moves the archive window's anchor to 15 pixels below it.
    void FileView1MouseDown(QPoint globalPos);

    // ---- window frame (MainUnitFrame.cpp)
    // A click on the icon opens the window menu below it; a double click there closes.
    void Image2Click();
    void PopupMenu1Popup();
    void WinStateButtonClick();
    void MaximizeMenuClick();
    void MiniMizeButtonClick();
    void ExitButtonClick();
    void N15Click(); // "閉じる(&C)"

    // ---- how the commands ask (made in MainUnitBuild.cpp); tests answer instead of a person
    // The window's file dialogs, kept between uses: the open dialog, the picture save dialogs
    // (with preview) for JPEG and PNG, and the save dialog of the encrypted JPEG.
    TFileDialog OpenDialog1, SaveDialog, SavePNGDialog, SaveCryptDialog;
    // Shows a file dialog as prepared; false when cancelled (FileName then empty).
    std::function<bool(TFileDialog &dialog)> ExecuteDialog;
    // The printer dialog: false when cancelled.
    std::function<bool(QPrinter &printer)> PrintDialog1;
    // The passphrase dialog: an empty optional is a cancel.
    std::function<std::optional<QString>(const QString &remembered)> AskPassphrase;

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

    // Settings (registry key Software\Korvane\PLE). Their defaults are those of the settings
    // table (PlainSettings) or of the rules in LoadSettings; those whose controls come later are
    // kept here and written back as they were read.
    QString IniDir;
    bool MaskButtonDown{};
    QString LastPass;
    bool ShowHint{};
    bool Reverse{};
    bool FixedScale{};
    bool LinkWorkDir{};
    int Scroll{};
    bool Douki2{};
    QString Mask;
    bool LinkDir{};
    bool PassHist{};
    bool HistActive{};
    TColor BgColor{};
    TColor ForeColor{};
    QString SendToExe;
    int GlobalCounter{};
    bool RowSelect{};
    bool GridLines{};
    bool HotTrack{};
    bool Sort{};
    int Rotate{};
    int Quality{};
    bool FileCount{};
    int AutoTimes{};
    int AutoInterval{};
    bool InfCheck{};
    int PanelHeight{};
    bool MSPLUS{};
    bool JPZSW{};
    QString SKey1;
    QString ToolName1, ToolName2, ToolName3;
    bool FolderSync{};
    int LeftWidth{};
    bool Fast{};
    int ViewMode{};
    bool GrayScale = false; // the grey-scale option of captured pictures, off at every start

    // ---- controls (made in MainUnitBuild.cpp)
    TTitleBar *Bar1 = nullptr;
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
    // Previous and next picture: the hidden slideshow keys and the file menu's items.
    QAction *ArrowMenu1 = nullptr, *ArrowMenu2 = nullptr, *ArrowMenu1B = nullptr, *ArrowMenu2B = nullptr;
    QSplitter *Panel13 = nullptr;
    QWidget *Panel1 = nullptr;
    QSplitter *Splitter1 = nullptr;
    QWidget *Panel5 = nullptr, *Panel7 = nullptr, *Panel8 = nullptr;
    TComboView *ComboView1 = nullptr;
    TFolderView *FolderView1 = nullptr;
    TFileView *FileView1 = nullptr;
    QToolButton *UpButton = nullptr, *MaskButton = nullptr;
    QToolButton *ViewMode0 = nullptr, *ViewMode1 = nullptr, *ViewMode2 = nullptr;
    QScrollArea *ScrollBox1 = nullptr;
    TImage *Image1 = nullptr;
    TStatusBarEx *StatusBar = nullptr;
    QProgressBar *ProgressBar1 = nullptr;
    TBlowFish *BF1 = nullptr;
    TSPIs *SPI = nullptr;
    QAction *CryptSaveMenu = nullptr;
    QMenu *PopupMenu1 = nullptr;
    QAction *NormalizeMenu = nullptr, *MaximizeMenu = nullptr;

    // The archive window, created hidden with the main window.
    std::unique_ptr<TLZHPanel> LZHPanel;
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
    void buildPane();
    void applyLeftWidth();
    void applyViewMode();
    void loadCursors();
    void buildWindowMenu();
    bool frameEventFilter(QObject *watched, QEvent *event);
    // The open dialog's own filter, then every registered picture format's.
    void extendOpenFilter();
    QString askSaveName(TFileDialog &dialog);
    void applyKeys();
    // shown: what the view shows, when not CurrentJpeg itself.
    void showSteps(const QString &path, const TGraphic *shown = nullptr);
    void showPreview(const QString &path, TBitmap preview);
    void openFirstImage();
    void openFirstReported();
    void openFirstWhenExposed();
    void linkFolderOf(const QString &path);
    Qt::Edges edgesAt(const QPoint &pos) const;

    QStringList m_args;
    bool m_shown = false;
    int m_exposeWaits = 0;
    bool m_closing = false;
    bool m_pluginsLoaded = false;
    // Counts the pictures put on show (opened, or turned): a long command that let events run
    // sees whether its picture is still the one on show.
    quint64 m_pictureSerial = 0;
    QElapsedTimer m_iconClicked;
};
