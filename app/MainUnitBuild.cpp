#include "MainUnit.h"

#include "Blowunit.h"
#include "PassUnit1.h"
#include "PictureDialogs.h"
#include "SSImage.h"
#include "StatusBarEx.h"
#include "TitleBar.h"

#include <QActionGroup>
#include <QFileDialog>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPrintDialog>
#include <QPrinter>
#include <QProgressBar>
#include <QScrollArea>
#include <QSlider>
#include <QSplitter>
#include <QToolBar>
#include <QToolButton>

namespace {

const char *const kZoomCaptions[9] = {" x0.25", " x0.33", " x0.5", " x0.75", " x1.0",
                                      " x1.5",  " x2.0",  " x3.0", " x4.0"};

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
    connect(exitButton, &QToolButton::clicked, this, [this] { ExitButtonClick(); });
    barLayout->addWidget(Image2);
    barLayout->addWidget(DRLabel1);
    barLayout->addStretch();
    barLayout->addWidget(exitButton);
    bar->OnDoubleClick = [this] { WinStateButtonClick(); };
    setMenuWidget(Bar1);
    buildWindowMenu();

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
    ArrowMenu1 = new QAction(QStringLiteral("スライド左"), this);
    ArrowMenu2 = new QAction(QStringLiteral("スライド右"), this);
    ArrowMenu1B = new QAction(QStringLiteral("戻る"), this);
    ArrowMenu2B = new QAction(QStringLiteral("進む"), this);
    // Only the hidden pair takes the keys on the window; the menu items show them.
    addActions({ArrowMenu1, ArrowMenu2});

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
    buildPane();

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
    SaveDialog = {TFileDialog::Kind::SavePicture, QStringLiteral("JPEGﾌｧｲﾙに保存"),
                  QStringLiteral("JPEGﾌｧｲﾙ(*.jpg;*.jpeg)|*.jpg;*.jpeg"), QStringLiteral("jpg"), {}, {}};
    SavePNGDialog = {TFileDialog::Kind::SavePicture, QStringLiteral("PNG形式で保存"),
                     QStringLiteral("Portable Network Graphics (*.png)|*.png"), QStringLiteral("png"), {}, {}};
    SaveCryptDialog = {TFileDialog::Kind::Save, QStringLiteral("暗号化JPEGﾌｧｲﾙに保存"),
                       QStringLiteral("暗号化JPEG(*.jpz)|*.jpz"), QStringLiteral("jpz"), {}, {}};
    OpenDialog1.Title = QStringLiteral("ﾌｧｲﾙを開く");
    extendOpenFilter();
    ExecuteDialog = [this](TFileDialog &d) {
        std::unique_ptr<QFileDialog> dlg;
        if (d.kind == TFileDialog::Kind::SavePicture)
            dlg = std::make_unique<TSavePictureDialog>(this);
        else
            dlg = std::make_unique<QFileDialog>(this);
        dlg->setWindowTitle(d.Title);
        dlg->setOption(QFileDialog::DontUseNativeDialog);
        dlg->setOption(QFileDialog::HideNameFilterDetails);
        dlg->setAcceptMode(d.kind == TFileDialog::Kind::Open ? QFileDialog::AcceptOpen : QFileDialog::AcceptSave);
        if (d.kind == TFileDialog::Kind::Open)
            dlg->setFileMode(QFileDialog::ExistingFile);
        dlg->setDirectory(d.InitialDir);
        dlg->setNameFilters(QtNameFilters(d.Filter));
        dlg->setDefaultSuffix(d.DefaultExt);
        d.FileName.clear();
        if (dlg->exec() != QDialog::Accepted || dlg->selectedFiles().isEmpty())
            return false;
        d.FileName = dlg->selectedFiles().first();
        return true;
    };
    PrintDialog1 = [this](QPrinter &printer) {
        QPrintDialog dlg(&printer, this);
        return dlg.exec() == QDialog::Accepted;
    };
}

void TMainForm::loadCursors()
{
    for (int i = 1; i <= 4; ++i)
        Cursors[i] = loadCursor(i);
    Cursors[0] = QCursor(Qt::ArrowCursor);
}
