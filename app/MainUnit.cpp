#include "MainUnit.h"

#include "ARCHIVES.h"
#include "AppPaths.h"
#include "Blowunit.h"
#include "FileTypes.h"
#include "LZHPanelUnit1.h"
#include "MsgBox.h"
#include "PNGImage.h"
#include "PassUnit1.h"
#include "PictureDialogs.h"
#include "Preload.h"
#include "PrivateTemp.h"
#include "Registry.h"
#include "RotateUnit.h"
#include "SPIBmp.h"
#include "SPIs.h"
#include "SSImage.h"
#include "ShiftJIS.h"
#include "StatusBarEx.h"
#include "TitleBar.h"

#include <QActionGroup>
#include <QApplication>
#include <QBuffer>
#include <QClipboard>
#include <QDesktopServices>
#include <QDragEnterEvent>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QPainter>
#include <QPrintDialog>
#include <QPrinter>
#include <QProgressBar>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QSlider>
#include <QSpinBox>
#include <QSplitter>
#include <QToolBar>
#include <QTimer>
#include <QToolButton>
#include <QUrl>
#include <QWindow>

#include <algorithm>
#include <climits>
#include <cmath>
#include <tuple>
#include <vector>

namespace {

const char *const kOpenFilter = "すべてのJPEGﾌｧｲﾙ(*.jpg;*.jpeg;*.jpz)|*.jpg;*.jpeg;*.jpz|JPEGﾌｧｲﾙ (*.jpg;*.jpeg)|"
                                "*.jpg;*.jpeg|暗号化JPEG (*.jpz)|*.jpz";

const char *const kZoomCaptions[9] = {" x0.25", " x0.33", " x0.5", " x0.75", " x1.0",
                                      " x1.5",  " x2.0",  " x3.0", " x4.0"};

// Extension upper-casing that leaves every non-ASCII character alone.
QString asciiUpper(const QString &s)
{
    QString r = s;
    for (QChar &c : r)
        if (c >= QLatin1Char('a') && c <= QLatin1Char('z'))
            c = QChar(c.unicode() - 32);
    return r;
}

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
#include "cursors/CUR2.xpm"
#include "cursors/CUR3.xpm"
#include "cursors/CUR4.xpm"
#include "icons/main16.xpm"

QCursor loadCursor(int n)
{
    static const char *const *const xpm[5] = {nullptr, cur1, cur2, cur3, cur4};
    // Hot spots: the arrow's tip, the magnifier's lens, the hand's palm, the hourglass centre.
    static const QPoint hot[5] = {{0, 0}, {0, 0}, {4, 4}, {8, 8}, {8, 8}};
    return QCursor(QPixmap::fromImage(QImage(xpm[n])), hot[n].x(), hot[n].y());
}

} // namespace

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

void TMainForm::buildWindow()
{
    // Title bar.
    auto *bar = new TTitleBar(this);
    Bar1 = bar;
    Bar1->setObjectName(QStringLiteral("Bar1"));
    auto *barLayout = new QHBoxLayout(Bar1);
    barLayout->setContentsMargins(3, 0, 2, 0);
    barLayout->setSpacing(4);
    Image2 = new TSSImage(Bar1);
    Image2->setFixedSize(16, 16);
    Image2->setTransparentColor(13026246);
    Image2->setTransparent(true);
    {
        TBitmap icon = TBitmap::fromImage(QImage(main16));
        if (!icon.isEmpty())
            Image2->picture().assign(&icon);
    }
    DRLabel1 = new QLabel(QStringLiteral("Pictlane Type II"), Bar1);
    auto *exitButton = new QToolButton(Bar1);
    exitButton->setText(QStringLiteral("×"));
    exitButton->setToolTip(QStringLiteral("終了"));
    exitButton->setAutoRaise(true);
    connect(exitButton, &QToolButton::clicked, this, &QWidget::close);
    barLayout->addWidget(Image2);
    barLayout->addWidget(DRLabel1);
    barLayout->addStretch();
    barLayout->addWidget(exitButton);
    bar->OnDoubleClick = [this] { isMaximized() ? showNormal() : showMaximized(); };
    setMenuWidget(Bar1);

    // Menus.
    FileMenu = new QMenu(this);
    Open1 = FileMenu->addAction(QStringLiteral("開く(&O)..."), this, [this] { Open1Click(); });
    Open1->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_A));
    addAction(Open1);
    auto *saveJpeg = FileMenu->addAction(QStringLiteral("JPEGﾌｧｲﾙに保存(&A)..."), this, [this] { SaveAsMenuClick(); });
    saveJpeg->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_S));
    auto *savePng = FileMenu->addAction(QStringLiteral("PNGﾌｧｲﾙに保存(&S)"), this, [this] { SaveOverMenuClick(); });
    savePng->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_P));
    addActions({saveJpeg, savePng});
    CryptSaveMenu = FileMenu->addAction(QStringLiteral("暗号化JPEGに保存(&E)"), this, [this] { CryptSaveMenuClick(); });
    CryptSaveMenu->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Z));
    addAction(CryptSaveMenu);
    FileMenu->addAction(QStringLiteral("印刷(&P)..."), this, [this] { PrintMenuClick(); });
    FileMenu->addAction(QStringLiteral("ｺﾋﾟｰ to ｸﾘｯﾌﾟﾎﾞｰﾄﾞ(&C)"), this, [this] { Copy1Click(); });
    auto *tools = FileMenu->addMenu(QStringLiteral("ﾂｰﾙ(&T)"));
    k1 = tools->addMenu(QStringLiteral("ｽﾞｰﾑ(&Z)"));
    ZoomGroup = new QActionGroup(this);
    ZoomGroup->setExclusive(true);
    for (int i = 0; i < 9; ++i) {
        Z[i] = k1->addAction(QString::fromLatin1(kZoomCaptions[i]));
        Z[i]->setCheckable(true);
        Z[i]->setData(i);
        Z[i]->setObjectName(QStringLiteral("Z%1").arg(i + 1));
        ZoomGroup->addAction(Z[i]);
        connect(Z[i], &QAction::triggered, this, [this, i] { Z1Click(Z[i]); });
    }
    connect(k1, &QMenu::aboutToShow, this, [this] { k1Click(); });
    auto *rotMenu = tools->addMenu(QStringLiteral("回転(&R)"));
    rotMenu->addAction(QStringLiteral("90度"), this, [this] { Rotate1Click(); });
    rotMenu->addAction(QStringLiteral("180度"), this, [this] { Rotate2Click(); });
    rotMenu->addAction(QStringLiteral("270度"), this, [this] { Rotate3Click(); });
    rotMenu->addAction(QStringLiteral("任意の角度"), this, [this] { Rotate4Click(); });
    FileMenu->addSeparator();
    FileMenu->addAction(QStringLiteral("終了(&X)"), this, &QWidget::close);

    ExtMenu = new QMenu(this);
    ExtMenu->addAction(QStringLiteral("90度回転"), this, [this] { Rotate1Click(); });
    ExtMenu->addAction(QStringLiteral("180度回転"), this, [this] { Rotate2Click(); });
    ExtMenu->addAction(QStringLiteral("270度回転"), this, [this] { Rotate3Click(); });
    ExtMenu->addAction(QStringLiteral("指定角度で回転"), this, [this] { Rotate4Click(); });

    // Hidden scroll commands; their keys follow SKey1.
    RScroll = new QAction(this);
    LScroll = new QAction(this);
    UScroll = new QAction(this);
    DScroll = new QAction(this);
    connect(RScroll, &QAction::triggered, this, [this] { RScrollClick(); });
    connect(LScroll, &QAction::triggered, this, [this] { LScrollClick(); });
    connect(UScroll, &QAction::triggered, this, [this] { UScrollClick(); });
    connect(DScroll, &QAction::triggered, this, [this] { DScrollClick(); });
    addActions({RScroll, LScroll, UScroll, DScroll});
    SlideLeft = new QAction(QStringLiteral("スライド左"), this);
    SlideRight = new QAction(QStringLiteral("スライド右"), this);
    Back1 = new QAction(QStringLiteral("戻る"), this);
    Forward1 = new QAction(QStringLiteral("進む"), this);
    // Only the hidden pair takes the keys on the window; the menu items show them.
    addActions({SlideLeft, SlideRight});

    // Toolbars.
    Toolbar973 = addToolBar(QStringLiteral("ﾌｧｲﾙﾊﾞｰ"));
    Toolbar973->setObjectName(QStringLiteral("Toolbar973"));
    auto *fileButton = new QToolButton(this);
    fileButton->setText(QStringLiteral("ﾌｧｲﾙ"));
    fileButton->setToolTip(QStringLiteral("ファイルメニュー"));
    fileButton->setMenu(FileMenu);
    fileButton->setPopupMode(QToolButton::InstantPopup);
    Toolbar973->addWidget(fileButton);
    Explorer = new QToolButton(this);
    Explorer->setText(QStringLiteral("ﾌｧｲﾗｰ"));
    Explorer->setToolTip(QStringLiteral("ファイラー"));
    Explorer->setCheckable(true);
    connect(Explorer, &QToolButton::clicked, this, [this] { ExplorerClick(); });
    Toolbar973->addWidget(Explorer);

    Toolbar974 = addToolBar(QStringLiteral("ｲﾌｪｸﾄﾊﾞｰ"));
    Toolbar974->setObjectName(QStringLiteral("Toolbar974"));
    ViewRate = new QSlider(Qt::Horizontal, this);
    ViewRate->setRange(0, 8);
    ViewRate->setPageStep(1);
    ViewRate->setTickPosition(QSlider::TicksBelow);
    ViewRate->setTickInterval(1);
    ViewRate->setFixedWidth(120);
    ViewRate->setToolTip(QStringLiteral("表示倍率"));
    ViewRate->installEventFilter(this);
    connect(ViewRate, &QSlider::valueChanged, this, [this] { TrackBar1Change(); });
    Toolbar974->addWidget(ViewRate);
    RotateButton = new QToolButton(this);
    RotateButton->setText(QStringLiteral("回転"));
    RotateButton->setToolTip(QStringLiteral("回転表示"));
    RotateButton->setMenu(ExtMenu);
    RotateButton->setPopupMode(QToolButton::InstantPopup);
    Toolbar974->addWidget(RotateButton);

    Toolbar975 = new QToolBar(QStringLiteral("ｼｮｰﾄｶｯﾄﾊﾞｰ"), this);
    Toolbar975->setObjectName(QStringLiteral("Toolbar975"));
    addToolBar(Qt::RightToolBarArea, Toolbar975);
    auto *openButton = Toolbar975->addAction(QStringLiteral("開く"), this, [this] { Open1Click(); });
    openButton->setToolTip(QStringLiteral("開く"));
    Toolbar975->addAction(QStringLiteral("保存"), this, [this] { SaveAsMenuClick(); })
        ->setToolTip(QStringLiteral("名前をつけて保存"));
    auto *cryptButton = Toolbar975->addAction(QStringLiteral("暗号"), this, [this] { CryptSaveMenuClick(); });
    cryptButton->setObjectName(QStringLiteral("ToolbarButton978"));
    cryptButton->setToolTip(QStringLiteral("暗号化して保存"));
    Toolbar975->addAction(QStringLiteral("印刷"), this, [this] { PrintMenuClick(); })
        ->setToolTip(QStringLiteral("印刷"));

    // Work area: the browser pane above the image view.
    Panel13 = new QSplitter(Qt::Vertical, this);
    Panel13->setHandleWidth(2);
    Panel13->setChildrenCollapsible(true);
    Panel1 = new QWidget(Panel13);
    ScrollBox1 = new QScrollArea(Panel13);
    ScrollBox1->setFrameShape(QFrame::NoFrame);
    ScrollBox1->setWidgetResizable(false);
    ScrollBox1->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    ScrollBox1->setFocusPolicy(Qt::StrongFocus);
    Image1 = new TImage;
    ScrollBox1->setWidget(Image1);
    ScrollBox1->viewport()->installEventFilter(this);
    Panel13->addWidget(Panel1);
    Panel13->addWidget(ScrollBox1);
    Panel13->setStretchFactor(1, 1);
    setCentralWidget(Panel13);

    Image1->OnMouseDown = [this](QWidget *sender, Qt::MouseButton, Qt::KeyboardModifiers m, int x, int y) {
        ScrollBox1MouseDown(sender, QGuiApplication::mouseButtons(), m, x, y);
    };
    Image1->OnMouseMove = [this](QWidget *, Qt::KeyboardModifiers m, int x, int y) { Image1MouseMove(m, x, y); };
    Image1->OnMouseUp = [this](QWidget *, Qt::MouseButton b, Qt::KeyboardModifiers m, int x, int y) {
        Image1MouseUp(b, m, x, y);
    };

    StatusBar = new TStatusBarEx(this);
    setStatusBar(StatusBar);

    // The cipher and its progress bar, which sits hidden in the view.
    ProgressBar1 = new QProgressBar(ScrollBox1);
    ProgressBar1->setGeometry(336, 8, 150, 16);
    ProgressBar1->setRange(0, 100);
    ProgressBar1->hide();
    BF1 = new TBlowFish(this);
    BF1->ProgressBar = ProgressBar1;
    BF1->InputType = TSourceType::SourceFile;
    BF1->InputLength = 0;
    BF1->CipherMode = TCipherMode::CFBMode;
    AskPassphrase = [this](const QString &remembered) -> std::optional<QString> {
        TPassForm dlg(this);
        dlg.Edit1->setText(remembered);
        if (dlg.exec() != QDialog::Accepted)
            return std::nullopt;
        return dlg.Edit1->text();
    };
    AskPictureSaveName = [this](const QString &title, const QString &filter, const QString &suffix) -> QString {
        // Both save dialogs start where the open dialog is, with an empty name.
        TSavePictureDialog dlg(this);
        dlg.setWindowTitle(title);
        dlg.setDirectory(CurrentFolder);
        dlg.setNameFilters(QtNameFilters(filter));
        dlg.setDefaultSuffix(suffix);
        if (!dlg.Execute() || dlg.selectedFiles().isEmpty())
            return QString();
        return dlg.selectedFiles().first();
    };
    AskPrinter = [this](QPrinter &printer) {
        QPrintDialog dlg(&printer, this);
        return dlg.exec() == QDialog::Accepted;
    };
    AskCryptSaveName = [this]() -> QString {
        QFileDialog dlg(this, QStringLiteral("暗号化JPEGﾌｧｲﾙに保存"), CurrentFolder);
        dlg.setOption(QFileDialog::DontUseNativeDialog);
        dlg.setAcceptMode(QFileDialog::AcceptSave);
        dlg.setOption(QFileDialog::HideNameFilterDetails);
        dlg.setNameFilters(QtNameFilters(QStringLiteral("暗号化JPEG(*.jpz)|*.jpz")));
        dlg.setDefaultSuffix(QStringLiteral("jpz"));
        if (dlg.exec() != QDialog::Accepted || dlg.selectedFiles().isEmpty())
            return QString();
        return dlg.selectedFiles().first();
    };
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
    for (int i = 1; i <= 4; ++i)
        Cursors[i] = loadCursor(i);
    Cursors[0] = QCursor(Qt::ArrowCursor);
    Image1->setCursor(Cursors[2]);
    ViewRate->setValue(4);
    RestoreToolbars();
    QPalette pal = ScrollBox1->palette();
    pal.setColor(QPalette::Window, ColorToQColor(BgColor));
    ScrollBox1->setPalette(pal);
    ScrollBox1->viewport()->setPalette(pal);
    ScrollBox1->viewport()->setAutoFillBackground(true);
}

QString TMainForm::NormalizeKeys(const QString &keys)
{
    QString out = QStringLiteral("KLDSEX");
    for (int i = 0; i < 6 && i < keys.size(); ++i) {
        const QChar c = keys[i].toUpper();
        if (c >= QLatin1Char('A') && c <= QLatin1Char('Z'))
            out[i] = c;
    }
    return out;
}

void TMainForm::applyKeys()
{
    // Each letter of SKey1 with Shift: previous, next, scroll right, left, up, down.
    SKey1 = NormalizeKeys(SKey1);
    const auto key = [this](int i) { return QKeySequence(QStringLiteral("Shift+") + SKey1.at(i)); };
    SlideLeft->setShortcut(key(0));
    Back1->setShortcut(key(0));
    SlideRight->setShortcut(key(1));
    Forward1->setShortcut(key(1));
    RScroll->setShortcut(key(2));
    LScroll->setShortcut(key(3));
    UScroll->setShortcut(key(4));
    DScroll->setShortcut(key(5));
}

// ---- settings -----------------------------------------------------------------------------

const QString TMainForm::SettingsKey = QStringLiteral("Software\\Korvane\\PLE");

QString TMainForm::FirstPicture(const QStringList &args, const QString &programFolder)
{
    if (!args.isEmpty())
        return QFileInfo(args.first()).absoluteFilePath();
    const QString last = TRegIniFile(SettingsKey).ReadString(QStringLiteral("Setting"), QStringLiteral("LastCG"), {});
    return !last.isEmpty() && QFileInfo(last).isFile() ? last : programFolder + QStringLiteral("def.jpg");
}

namespace {

const QString S = QStringLiteral("Setting"), W = QStringLiteral("Window"), J = QStringLiteral("JPEG"),
              F = QStringLiteral("Filer"), A = QStringLiteral("App");

// The window must come back where a person can reach it: a place on no screen (a monitor that
// is gone) is replaced by the centre of the primary screen.
QRect onScreen(const QRect &r)
{
    for (const QScreen *s : QGuiApplication::screens())
        if (s->availableGeometry().intersects(r))
            return r;
    const QScreen *p = QGuiApplication::primaryScreen();
    if (!p)
        return r;
    const QRect g = p->availableGeometry();
    return QRect(g.x() + (g.width() - r.width()) / 2, g.y() + (g.height() - r.height()) / 2, r.width(), r.height());
}

} // namespace

void TMainForm::LoadSettings()
{
    const TRegIniFile ini(SettingsKey);
    const QString folder = ProgramFolder();
    const auto readInt = [&](const QString &sec, const char *name, int def) {
        return int(ini.ReadInteger(sec, QString::fromLatin1(name), def));
    };
    const auto readBool = [&](const QString &sec, const char *name, bool def) {
        return ini.ReadBool(sec, QString::fromLatin1(name), def);
    };
    const auto readStr = [&](const QString &sec, const char *name, const QString &def) {
        return ini.ReadString(sec, QString::fromLatin1(name), def);
    };
    const QSize screen = QGuiApplication::primaryScreen() ? QGuiApplication::primaryScreen()->size() : QSize(640, 460);

    IniDir = readStr(S, "IniDir", FolderOf(folder));
    MaskButtonDown = readBool(S, "MaskButton", false);
    LastPass = readStr(S, "LastPass", QStringLiteral("InitialWord"));
    ShowHint = readBool(W, "Hint", true);
    Reverse = readBool(S, "Reverse", false);
    FixedScale = readBool(S, "FixedScale", true);
    LinkWorkDir = readBool(S, "LinkWorkDir", true);
    // Left and Top default to the centre for the design-time size, before Width and Height apply.
    QRect bounds(readInt(W, "Left", (screen.width() - 640) / 2), readInt(W, "Top", (screen.height() - 460) / 2), 640,
                 460);
    bounds.setWidth(qMax(1, readInt(W, "Width", 640)));
    bounds.setHeight(qMax(1, readInt(W, "Height", 460)));
    setGeometry(onScreen(bounds));
    Scroll = readInt(S, "Scroll", 5);
    Douki2 = readBool(S, "Douki2", false);
    Mask = readStr(S, "Mask", QStringLiteral("*.jpg"));
    const int grad = readInt(W, "GradTitle", 0);
    if (grad >= 0 && grad <= 4)
        Bar1->setDirection(TGradDirection(grad));
    LinkDir = readBool(S, "LinkDir", false);
    PassHist = readBool(S, "PassHist", true);
    HistActive = readBool(S, "HistActive", true);
    BgColor = TColor(readInt(W, "BgColor", clBtnFace));
    ForeColor = TColor(readInt(W, "ForeColor", 0x808080));
    SendToExe = readStr(S, "SendToExe", QString());
    CurrentFile = readStr(S, "LastCG", QString());
    GlobalCounter = readInt(S, "GlobalCounter", 0);
    RowSelect = readBool(F, "RowSelect", true);
    GridLines = readBool(F, "GridLines", false);
    HotTrack = readBool(F, "HotTrack", false);
    StatusBar->setVisible(readBool(W, "StatusBar", true));
    Sort = readBool(J, "Sort", true);
    Rotate = readInt(S, "Rotate", 30);
    Quality = readInt(J, "Quality", 100);
    FileCount = readBool(S, "FileCount", true);
    AutoTimes = readInt(S, "AutoTimes", 1);
    AutoInterval = readInt(S, "AutoInterval", 1400);
    InfCheck = readBool(S, "InfCheck", true);
    PanelHeight = readInt(S, "PanelHeight", 170);
    if (PanelHeight < 50)
        PanelHeight = 170;
    MSPLUS = readBool(S, "MSPLUS", false);
    JPZSW = readBool(S, "JPZSW", true);
    try {
        RegisterJpzType(JPZSW);
    } catch (const std::exception &e) {
        // The window still comes up; the message box says why the file type is not set.
        ReportError(QString::fromUtf8(e.what()));
    }
    SKey1 = readStr(S, "SKey1", QStringLiteral("KLDSEX"));
    applyKeys();
    ToolName1 = readStr(S, "ToolName1", folder + QStringLiteral("PLTOOL.EXE"));
    ToolName2 = readStr(S, "ToolName2", folder + QStringLiteral("PLVIEW.EXE"));
    ToolName3 = readStr(S, "ToolName3", folder + QStringLiteral("PLCONV.EXE"));
    FolderSync = readBool(S, "FolderSync", false);
    LeftWidth = readInt(W, "LeftWidth", 214);
    Fast = readBool(J, "Fast", true);
    GrayScale = false;
    switch (readInt(W, "State", 2)) {
    case 0:
        setWindowState(Qt::WindowMaximized);
        break;
    case 1:
        setWindowState(Qt::WindowMinimized);
        break;
    case 2:
        setWindowState(Qt::WindowNoState);
        break;
    default:
        break;
    }
    const int mode = readInt(S, "ViewMode", 0);
    if (mode >= 0 && mode <= 2)
        ViewMode = mode;
    if (QFileInfo(IniDir).isDir())
        SelectFolder(IniDir);
}

void TMainForm::SaveSettings()
{
    TRegIniFile ini(SettingsKey);
    const auto wInt = [&](const QString &sec, const char *name, qint64 v) {
        ini.WriteInteger(sec, QString::fromLatin1(name), v);
    };
    const auto wBool = [&](const QString &sec, const char *name, bool v) {
        ini.WriteBool(sec, QString::fromLatin1(name), v);
    };
    const auto wStr = [&](const QString &sec, const char *name, const QString &v) {
        ini.WriteString(sec, QString::fromLatin1(name), v);
    };
    wInt(W, "GradTitle", int(Bar1->direction()));
    wBool(S, "Douki2", Douki2);
    wInt(S, "GlobalCounter", GlobalCounter);
    wBool(S, "MaskButton", MaskButtonDown);
    wStr(S, "LastPass", LastPass);
    wStr(S, "ToolName1", ToolName1);
    wStr(S, "ToolName2", ToolName2);
    wStr(S, "ToolName3", ToolName3);
    wBool(S, "FixedScale", FixedScale);
    wBool(S, "PassHist", PassHist);
    wBool(S, "HistActive", HistActive);
    wBool(W, "Hint", ShowHint);
    wBool(S, "LinkWorkDir", LinkWorkDir);
    wBool(S, "Reverse", Reverse);
    wInt(S, "Scroll", Scroll);
    wBool(J, "GrayScale", false);
    wBool(J, "Fast", Fast);
    wStr(S, "Mask", Mask);
    wBool(S, "LinkDir", LinkDir);
    wStr(A, "ExeName", QCoreApplication::applicationFilePath());
    wBool(J, "Sort", Sort);
    wInt(S, "Rotate", Rotate);
    wInt(J, "Quality", Quality);
    wBool(S, "FileCount", FileCount);
    wInt(S, "AutoTimes", AutoTimes);
    wInt(S, "AutoInterval", AutoInterval);
    wBool(S, "InfCheck", InfCheck);
    wInt(S, "PanelHeight", PanelHeight);
    wBool(S, "JPZSW", JPZSW);
    wStr(S, "SKey1", SKey1);
    wBool(S, "FolderSync", FolderSync);
    wBool(S, "MSPLUS", MSPLUS);
    wBool(W, "StatusBar", !StatusBar->isHidden());
    wInt(W, "BgColor", BgColor);
    wInt(W, "ForeColor", ForeColor);
    wStr(S, "LastCG", CurrentFile);
    wInt(W, "LeftWidth", LeftWidth);
    wStr(S, "SendToExe", SendToExe);
    wBool(F, "RowSelect", RowSelect);
    wBool(F, "GridLines", GridLines);
    wBool(F, "HotTrack", HotTrack);
    wInt(S, "ViewMode", ViewMode);
    if (isMaximized()) {
        wInt(W, "State", 0);
    } else if (isMinimized()) {
        wInt(W, "State", 1);
    } else {
        wInt(W, "State", 2);
        wInt(W, "Left", x());
        wInt(W, "Top", y());
        wInt(W, "Width", width());
        wInt(W, "Height", height());
    }
    if (!OpenDialogFileName.isEmpty()) {
        const QString dir = FolderOf(OpenDialogFileName);
        wStr(S, "IniDir", dir.endsWith(QLatin1Char('/')) ? dir : dir + QLatin1Char('/'));
    } else if (!CurrentFolder.isEmpty()) {
        wStr(S, "IniDir", CurrentFolder);
    }
    ini.UpdateFile();
}

void TMainForm::RegisterJpzType(bool on)
{
    TRegistry reg(THive::ClassesRoot);
    if (on) {
        const QString exe = QCoreApplication::applicationFilePath();
        const std::pair<const char *, QString> keys[] = {
            {".jpz", QStringLiteral("Crypted_JPEG")},
            {"Crypted_JPEG", QStringLiteral("暗号化JPEG")},
            {"Crypted_JPEG\\shell\\open\\command", exe + QStringLiteral(" \"%1\"")},
            {"Crypted_JPEG\\DefaultIcon", exe + QStringLiteral(",1")},
        };
        for (const auto &[key, value] : keys) {
            reg.OpenKey(QLatin1Char('\\') + QString::fromLatin1(key), true);
            reg.WriteString(QString(), value);
            reg.CloseKey();
        }
    } else {
        reg.DeleteKey(QStringLiteral("\\.jpz"));
        reg.DeleteKey(QStringLiteral("\\Crypted_JPEG"));
        reg.CloseKey();
    }
    // The desktop's side, so that a file manager opens .jpz files with us.
    RegisterDesktopFileType({QStringLiteral("pictlane-crypted-jpeg"), QStringLiteral("application/x-crypted-jpeg"),
                             QStringLiteral("暗号化JPEG"), QStringLiteral("*.jpz"),
                             QStringLiteral("pictlane-viewer.desktop"), QStringLiteral("Pictlane Type II"),
                             QCoreApplication::applicationFilePath()},
                            on);
}

// The toolbar library's layout values, one subkey per toolbar: which dock (or "+" floating),
// row and place in it, visibility, and the floating position.
namespace {
QString dockName(Qt::ToolBarArea a)
{
    switch (a) {
    case Qt::LeftToolBarArea:
        return QStringLiteral("Dock973");
    case Qt::BottomToolBarArea:
        return QStringLiteral("Dock974");
    case Qt::RightToolBarArea:
        return QStringLiteral("Dock971");
    default:
        return QStringLiteral("Dock972");
    }
}

Qt::ToolBarArea dockArea(const QString &name)
{
    if (name == QLatin1String("Dock973"))
        return Qt::LeftToolBarArea;
    if (name == QLatin1String("Dock974"))
        return Qt::BottomToolBarArea;
    if (name == QLatin1String("Dock971"))
        return Qt::RightToolBarArea;
    return Qt::TopToolBarArea;
}
} // namespace

void TMainForm::SaveToolbars()
{
    TRegIniFile ini(SettingsKey);
    for (QToolBar *tb : {Toolbar973, Toolbar974, Toolbar975}) {
        const QString sec = tb->objectName();
        const Qt::ToolBarArea area = toolBarArea(tb);
        const bool vertical = area == Qt::LeftToolBarArea || area == Qt::RightToolBarArea;
        // Rows count outward from the window's edge; positions run along the row.
        int row = 0;
        for (QToolBar *other : {Toolbar973, Toolbar974, Toolbar975})
            if (other != tb && toolBarArea(other) == area && !other->isFloating() &&
                (vertical ? other->x() < tb->x() : other->y() < tb->y()))
                ++row;
        ini.WriteInteger(sec, "Rev", 2);
        ini.WriteBool(sec, "Visible", !tb->isHidden());
        ini.WriteString(sec, "DockedTo", tb->isFloating() ? QStringLiteral("+") : dockName(area));
        ini.WriteInteger(sec, "DockRow", row);
        ini.WriteInteger(sec, "DockPos", vertical ? tb->y() : tb->x());
        ini.WriteInteger(sec, "FloatLeft", tb->isFloating() ? tb->x() : 0);
        ini.WriteInteger(sec, "FloatTop", tb->isFloating() ? tb->y() : 0);
    }
    ini.UpdateFile();
}

void TMainForm::RestoreToolbars()
{
    const TRegIniFile ini(SettingsKey);
    struct Place {
        QToolBar *tb;
        Qt::ToolBarArea area;
        int row, pos;
    };
    std::vector<Place> places;
    for (QToolBar *tb : {Toolbar973, Toolbar974, Toolbar975}) {
        const QString sec = tb->objectName();
        if (ini.ReadInteger(sec, "Rev", 0) != 2)
            continue; // nothing stored, or a layout of another form: keep the design
        // A floating toolbar comes back docked where it was last docked by design.
        const QString dock = ini.ReadString(sec, "DockedTo", QString());
        const Qt::ToolBarArea area = dock == QLatin1String("+") ? toolBarArea(tb) : dockArea(dock);
        places.push_back({tb, area, int(ini.ReadInteger(sec, "DockRow", 0)), int(ini.ReadInteger(sec, "DockPos", 0))});
        tb->setVisible(ini.ReadBool(sec, "Visible", true));
    }
    std::sort(places.begin(), places.end(), [](const Place &a, const Place &b) {
        return std::tie(a.area, a.row, a.pos) < std::tie(b.area, b.row, b.pos);
    });
    for (size_t i = 0; i < places.size(); ++i) {
        const Place &p = places[i];
        if (i > 0 && places[i - 1].area == p.area && places[i - 1].row != p.row)
            addToolBarBreak(p.area);
        addToolBar(p.area, p.tb);
    }
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
    OpenDialogFilter = QString::fromUtf8(kOpenFilter) + QLatin1Char('|') + TPicture::graphicFilter();
    // An encrypted picture asks for its passphrase over the window, and a picture read by a
    // plug-in moves the gauge as it comes: both once the window is on screen. A JPEG decodes
    // ahead and shows at once.
    const QString first = m_args.isEmpty() ? CurrentFile : m_args.first();
    const QString ext = asciiUpper(ExtractFileExt(first));
    if (!first.isEmpty() && ext != QLatin1String(".JPG") && ext != QLatin1String(".JPEG")) {
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
    if (!QFileInfo(path).isFile())
        return;
    if (LinkWorkDir)
        linkFolderOf(path);
    OpenImage(path);
}

void TMainForm::SelectFolder(const QString &folder)
{
    CurrentFolder = folder;
}

void TMainForm::linkFolderOf(const QString &path)
{
    SelectFolder(FolderOf(path));
}

// ---- opening ------------------------------------------------------------------------------

TFileKind TMainForm::ClassifyFile(const QString &path)
{
    const QString ext = asciiUpper(ExtractFileExt(path));
    const QString filter = asciiUpper(TPicture::graphicFilter());
    if (ext == QLatin1String(".LZH"))
        return fkArchive;
    if (ext == QLatin1String(".JPG") || ext == QLatin1String(".JPEG") || ext == QLatin1String(".JPZ"))
        return fkJpeg;
    if (!ext.isEmpty() && filter.contains(ext))
        return fkPicture;
    return fkForeign;
}

void TMainForm::OpenImage(const QString &path)
{
    if (FirstOpen)
        FirstOpen = false;
    else if (path == CurrentFile)
        return;
    if (!QFileInfo(path).isFile()) {
        MessageDlg(this, QStringLiteral("ﾌｧｲﾙが見つかりません\n") + path, TMsgKind::Information);
        return;
    }
    // Only JPEG gets by without the plug-ins: every other kind depends on their extensions.
    const QString upper = asciiUpper(ExtractFileExt(path));
    if (upper != QLatin1String(".JPG") && upper != QLatin1String(".JPEG") && upper != QLatin1String(".JPZ"))
        LoadPlugins();
    switch (ClassifyFile(path)) {
    case fkJpeg: {
        if (asciiUpper(ExtractFileExt(path)) == QLatin1String(".JPZ")) {
            auto jpeg = std::make_unique<TJPEGImage>();
            if (!OpenCryptedJpeg(path, *jpeg))
                return;
            jpeg->DIBNeeded();
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
        // Only while the placeholder is on show untouched: a newer picture or a rotation wins.
        if (!CurrentJpeg || CurrentJpeg.get() != waiting || CurrentJpeg->hasBitmap())
            return;
        if (whole)
            CurrentJpeg = std::move(whole);
        else
            CurrentJpeg->DIBNeeded(); // decoding failed over there: fail here, with the message
        Image1->picture().assign(CurrentJpeg.get());
    });
}

void TMainForm::showSteps(const QString &path, const TGraphic *shown)
{
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
    QFileDialog dlg(this, QStringLiteral("ﾌｧｲﾙを開く"), CurrentFolder);
    dlg.setOption(QFileDialog::DontUseNativeDialog);
    dlg.setOption(QFileDialog::HideNameFilterDetails);
    dlg.setFileMode(QFileDialog::ExistingFile);
    dlg.setNameFilters(QtNameFilters(OpenDialogFilter));
    if (dlg.exec() != QDialog::Accepted || dlg.selectedFiles().isEmpty())
        return;
    const QString file = dlg.selectedFiles().first();
    OpenDialogFileName = file;
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
        file.Extract(winId(), temp, &files);
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

// ---- zoom and scrolling -------------------------------------------------------------------

QSize TMainForm::ZoomSize(int pos, int w, int h)
{
    switch (pos) {
    case 0:
        return {w / 4, h / 4};
    case 1:
        return {w / 3, h / 3};
    case 2:
        return {w / 2, h / 2};
    case 3:
        return {(w / 4) * 3, (h / 4) * 3};
    case 5:
        return {(3 * w) / 2, (3 * h) / 2};
    case 6:
        return {2 * w, 2 * h};
    case 7:
        return {3 * w, 3 * h};
    case 8:
        return {4 * w, 4 * h};
    default:
        return {w, h};
    }
}

void TMainForm::TrackBar1Change()
{
    Image1->setStretch(false);
    Image1->setAutoSize(true);
    const int w = CurrentJpeg ? CurrentJpeg->width() : 0;
    const int h = CurrentJpeg ? CurrentJpeg->height() : 0;
    const QSize size = ZoomSize(ViewRate->value(), w, h);
    Image1->setAutoSize(false);
    Image1->resize(size);
    Image1->setStretch(true);
}

void TMainForm::Z1Click(QAction *item)
{
    item->setChecked(true);
    ViewRate->setValue(item->data().toInt());
    TrackBar1Change();
}

void TMainForm::k1Click()
{
    for (QAction *a : Z)
        if (a->data().toInt() == ViewRate->value())
            a->setChecked(true);
}

void TMainForm::ViewRateEnter()
{
    ScrollBox1->setFocus();
}

bool TMainForm::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == ViewRate && event->type() == QEvent::FocusIn) {
        ViewRateEnter();
    } else if (ScrollBox1 && watched == ScrollBox1->viewport() && event->type() == QEvent::MouseButtonPress) {
        auto *me = static_cast<QMouseEvent *>(event);
        ScrollBox1MouseDown(ScrollBox1, me->buttons(), me->modifiers(), int(me->position().x()),
                            int(me->position().y()));
        return true;
    }
    return QMainWindow::eventFilter(watched, event);
}

void TMainForm::ScrollBox1MouseDown(QWidget *sender, Qt::MouseButtons buttons, Qt::KeyboardModifiers shift, int x,
                                    int y)
{
    // Buttons and modifiers are compared as a whole: nothing else may be held.
    const Qt::KeyboardModifiers mods = shift & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier);
    if (buttons == Qt::LeftButton && mods == Qt::NoModifier) {
        if (sender == Image1) {
            QApplication::setOverrideCursor(Cursors[3]);
            Dragging = true;
            DragX = x;
            DragY = y;
        }
    } else if (buttons == Qt::RightButton && mods == Qt::NoModifier) {
        Explorer->setChecked(!Explorer->isChecked());
        ExplorerClick();
    } else if (buttons == Qt::LeftButton && mods == Qt::ShiftModifier) {
        if (ViewRate->value() > 0) {
            ViewRate->setValue(ViewRate->value() - 1);
            TrackBar1Change();
        }
    } else if (buttons == Qt::RightButton && mods == Qt::ShiftModifier) {
        if (ViewRate->value() < 8) {
            ViewRate->setValue(ViewRate->value() + 1);
            TrackBar1Change();
        }
    }
    // The title bar is the window's menu widget, first among the top bars at all times, so
    // there is nothing to move back to the top here.
}

void TMainForm::Image1MouseMove(Qt::KeyboardModifiers, int x, int y)
{
    if (!Dragging)
        return;
    // DragX/DragY stay put: x and y are measured on the image, which moves with the scrolling,
    // so the grabbed point stays under the pointer.
    ScrollBox1->horizontalScrollBar()->setValue(ScrollBox1->horizontalScrollBar()->value() + DragX - x);
    ScrollBox1->verticalScrollBar()->setValue(ScrollBox1->verticalScrollBar()->value() + DragY - y);
    Image1->repaint();
}

void TMainForm::Image1MouseUp(Qt::MouseButton, Qt::KeyboardModifiers, int, int)
{
    if (!Dragging)
        return;
    QApplication::restoreOverrideCursor();
    Dragging = false;
}

void TMainForm::RScrollClick()
{
    ScrollBox1->horizontalScrollBar()->setValue(ScrollBox1->horizontalScrollBar()->value() + Scroll);
}

void TMainForm::LScrollClick()
{
    ScrollBox1->horizontalScrollBar()->setValue(ScrollBox1->horizontalScrollBar()->value() - Scroll);
}

void TMainForm::DScrollClick()
{
    ScrollBox1->verticalScrollBar()->setValue(ScrollBox1->verticalScrollBar()->value() + Scroll);
}

void TMainForm::UScrollClick()
{
    ScrollBox1->verticalScrollBar()->setValue(ScrollBox1->verticalScrollBar()->value() - Scroll);
}

void TMainForm::LoadPlugins()
{
    if (m_pluginsLoaded)
        return;
    m_pluginsLoaded = true;
    if (SPI)
        SPI->Loaded();
    OpenDialogFilter = QString::fromUtf8(kOpenFilter) + QLatin1Char('|') + TPicture::graphicFilter();
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

void TMainForm::ExplorerClick()
{
    const int total = Panel13->height();
    if (!Explorer->isChecked())
        Panel13->setSizes({0, total});
    else
        Panel13->setSizes({PanelHeight, qMax(0, total - PanelHeight)});
}

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

void TMainForm::SaveAsMenuClick()
{
    // Nothing on show would save as an empty file.
    if (!CurrentJpeg || CurrentJpeg->isEmpty())
        return;
    const QString file = AskPictureSaveName(
        QStringLiteral("JPEGﾌｧｲﾙに保存"), QStringLiteral("JPEGﾌｧｲﾙ(*.jpg;*.jpeg)|*.jpg;*.jpeg"), QStringLiteral("jpg"));
    if (file.isEmpty())
        return;
    const Saving saving(this);
    CurrentJpeg->saveToFile(file);
}

void TMainForm::SaveOverMenuClick()
{
    if (!CurrentJpeg || CurrentJpeg->isEmpty())
        return;
    const QString file =
        AskPictureSaveName(QStringLiteral("PNG形式で保存"), QStringLiteral("Portable Network Graphics (*.png)|*.png"),
                           QStringLiteral("png"));
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
    if (!AskPrinter(printer))
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

// ---- encrypted JPEG -----------------------------------------------------------------------

namespace {
const QByteArray kJpzVector("PLTOOLS1");
}

QString TMainForm::TempFolder()
{
    if (TPrivateTemp *t = TPrivateTemp::instance())
        return t->path();
    // Without one from main (tests, tools) the window makes its own, gone at exit.
    static std::unique_ptr<TPrivateTemp> own = std::make_unique<TPrivateTemp>();
    return own->path();
}

void TMainForm::CryptSaveMenuClick()
{
    if (!Image1->isVisible() || !CurrentJpeg || CurrentJpeg->isEmpty())
        return;
    const QString target = AskCryptSaveName();
    if (target.isEmpty())
        return;
    const std::optional<QString> pass = AskPassphrase(LastPass);
    if (!pass)
        return;
    QByteArray key;
    ToShiftJIS(*pass, key);
    QApplication::setOverrideCursor(Cursors[4]);
    struct Restore {
        TMainForm *f;
        ~Restore()
        {
            f->StatusBar->setPanelText(1, QString());
            QApplication::restoreOverrideCursor();
            QCoreApplication::processEvents();
        }
    } restore{this};
    LastPass = *pass;
    StatusBar->setPanelText(1, QStringLiteral("保存中..."));
    QCoreApplication::processEvents();
    // The plain JPEG goes from memory into the cipher: it never touches the disk.
    QBuffer plain;
    plain.open(QIODevice::WriteOnly);
    CurrentJpeg->saveToStream(plain);
    BF1->InputType = TSourceType::SourceFile;
    BF1->OutputFilePath = target;
    BF1->setKey(key);
    BF1->CipherMode = TCipherMode::CFBMode;
    BF1->IVector = kJpzVector;
    BF1->EncryptToFile(plain.data());
    BF1->setKey(QByteArray());
    SecureZero(key.data(), size_t(key.size()));
}

bool TMainForm::OpenCryptedJpeg(const QString &path, TJPEGImage &into)
{
    const std::optional<QString> pass = AskPassphrase(LastPass);
    if (!pass)
        return false;
    QByteArray key;
    ToShiftJIS(*pass, key);
    BF1->InputType = TSourceType::SourceFile;
    BF1->InputFilePath = path;
    BF1->setKey(key);
    BF1->CipherMode = TCipherMode::CFBMode;
    BF1->IVector = kJpzVector;
    LastPass = *pass; // remembered whatever comes of it
    // Deciphered into memory: the plain picture never touches the disk.
    QBuffer plain;
    plain.setData(BF1->DecryptFile());
    BF1->setKey(QByteArray());
    SecureZero(key.data(), size_t(key.size()));
    plain.open(QIODevice::ReadOnly);
    try {
        into.loadFromStream(plain);
    } catch (const EJPEG &) {
        MessageDlg(this, QStringLiteral("パスワードが間違っています"), TMsgKind::Warning);
        return false;
    }
    return true;
}

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
        return !m_closing;
    });
    if (m_closing || !CurrentJpeg)
        return;
    CurrentJpeg->assign(dst);
    Image1->resize(CurrentJpeg->width(), CurrentJpeg->height());
    Image1->picture().assign(CurrentJpeg.get());
}

// ---- window frame -------------------------------------------------------------------------

Qt::Edges TMainForm::edgesAt(const QPoint &pos) const
{
    constexpr int band = 6;
    Qt::Edges e;
    if (pos.x() < band)
        e |= Qt::LeftEdge;
    if (pos.x() >= width() - band)
        e |= Qt::RightEdge;
    if (pos.y() < band)
        e |= Qt::TopEdge;
    if (pos.y() >= height() - band)
        e |= Qt::BottomEdge;
    return e;
}

void TMainForm::mousePressEvent(QMouseEvent *event)
{
    const Qt::Edges edges = edgesAt(event->position().toPoint());
    if (event->button() == Qt::LeftButton && edges && windowHandle())
        windowHandle()->startSystemResize(edges);
    QMainWindow::mousePressEvent(event);
}

void TMainForm::mouseMoveEvent(QMouseEvent *event)
{
    const Qt::Edges e = edgesAt(event->position().toPoint());
    if ((e & Qt::LeftEdge && e & Qt::TopEdge) || (e & Qt::RightEdge && e & Qt::BottomEdge))
        setCursor(Qt::SizeFDiagCursor);
    else if ((e & Qt::RightEdge && e & Qt::TopEdge) || (e & Qt::LeftEdge && e & Qt::BottomEdge))
        setCursor(Qt::SizeBDiagCursor);
    else if (e & (Qt::LeftEdge | Qt::RightEdge))
        setCursor(Qt::SizeHorCursor);
    else if (e & (Qt::TopEdge | Qt::BottomEdge))
        setCursor(Qt::SizeVerCursor);
    else
        unsetCursor();
    QMainWindow::mouseMoveEvent(event);
}
