// The browsing pane above the view: the folder combo over the folder tree at the left, the file
// list and its column of buttons at the right.
#include "LZHPanelUnit1.h"
#include "MainUnit.h"
#include "ShView.h"

#include <QButtonGroup>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QPainter>
#include <QSplitter>
#include <QToolButton>
#include <QVBoxLayout>

namespace {

// The button column's pictures are drawn here: the icon theme would cost the start-up its
// loading time while the pane is still closed.
enum class TPanePicture { Up, Mask, Icons, List, Details };

QIcon paneIcon(TPanePicture which)
{
    QPixmap pixmap(16, 16);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    const QColor ink(40, 40, 40), blue(70, 120, 200);
    p.setPen(QPen(ink, 1));
    switch (which) {
    case TPanePicture::Up: {
        p.setBrush(QColor(60, 150, 60));
        const QPointF arrow[] = {{8, 1.5}, {14.5, 8}, {10.5, 8}, {10.5, 14.5}, {5.5, 14.5}, {5.5, 8}, {1.5, 8}};
        p.drawPolygon(arrow, 7);
        break;
    }
    case TPanePicture::Mask: {
        p.setBrush(blue);
        const QPointF funnel[] = {{1.5, 2.5}, {14.5, 2.5}, {9.5, 8.5}, {9.5, 14}, {6.5, 12.5}, {6.5, 8.5}};
        p.drawPolygon(funnel, 6);
        break;
    }
    case TPanePicture::Icons:
        p.setBrush(blue);
        for (const QPointF at : {QPointF(2.5, 2.5), QPointF(9.5, 2.5), QPointF(2.5, 9.5), QPointF(9.5, 9.5)})
            p.drawRect(QRectF(at, QSizeF(4, 4)));
        break;
    case TPanePicture::List:
        for (const qreal y : {3.5, 7.5, 11.5}) {
            p.fillRect(QRectF(2, y - 1, 2, 2), blue);
            p.drawLine(QPointF(6, y), QPointF(14, y));
        }
        break;
    case TPanePicture::Details:
        p.drawRect(QRectF(1.5, 1.5, 13, 13));
        for (const qreal y : {5.5, 9.5})
            p.drawLine(QPointF(1.5, y), QPointF(14.5, y));
        p.drawLine(QPointF(6.5, 1.5), QPointF(6.5, 14.5));
        break;
    }
    return QIcon(pixmap);
}

QToolButton *paneButton(QWidget *parent, const QIcon &icon, const QString &hint, bool checkable)
{
    auto *b = new QToolButton(parent);
    b->setIcon(icon);
    b->setToolTip(hint);
    b->setCheckable(checkable);
    b->setAutoRaise(true);
    b->setFixedSize(27, 27);
    return b;
}

const QStringList kPictureMask{QStringLiteral(".jpz"), QStringLiteral(".jpg"), QStringLiteral(".jpeg"),
                               QStringLiteral(".lzh")};

} // namespace

void TMainForm::buildPane()
{
    auto *paneLayout = new QHBoxLayout(Panel1);
    paneLayout->setContentsMargins(0, 0, 0, 0);
    Splitter1 = new QSplitter(Qt::Horizontal, Panel1);
    Splitter1->setHandleWidth(3);
    Splitter1->setChildrenCollapsible(false);
    paneLayout->addWidget(Splitter1);

    Panel5 = new QWidget(Splitter1);
    auto *left = new QVBoxLayout(Panel5);
    left->setContentsMargins(0, 0, 0, 0);
    left->setSpacing(0);
    Panel7 = new QWidget(Panel5);
    Panel7->setFixedHeight(26);
    auto *comboRow = new QHBoxLayout(Panel7);
    // The combo stays a pixel narrower than its panel.
    comboRow->setContentsMargins(0, 1, 1, 1);
    ComboView1 = new TComboView(Panel7);
    comboRow->addWidget(ComboView1);
    FolderView1 = new TFolderView(Panel5);
    left->addWidget(Panel7);
    left->addWidget(FolderView1, 1);

    Panel8 = new QWidget(Splitter1);
    auto *right = new QHBoxLayout(Panel8);
    right->setContentsMargins(0, 0, 0, 0);
    right->setSpacing(0);
    FileView1 = new TFileView(Panel8);
    auto *buttons = new QWidget(Panel8);
    buttons->setFixedWidth(31);
    auto *column = new QVBoxLayout(buttons);
    column->setContentsMargins(2, 2, 2, 2);
    column->setSpacing(2);
    UpButton = paneButton(buttons, paneIcon(TPanePicture::Up), QStringLiteral("上へ"), false);
    MaskButton = paneButton(buttons, paneIcon(TPanePicture::Mask), QStringLiteral("マスク"), true);
    ViewMode0 = paneButton(buttons, paneIcon(TPanePicture::Icons), QStringLiteral("アイコン表示"), true);
    ViewMode1 = paneButton(buttons, paneIcon(TPanePicture::List), QStringLiteral("リスト表示"), true);
    ViewMode2 = paneButton(buttons, paneIcon(TPanePicture::Details), QStringLiteral("詳細表示"), true);
    auto *modes = new QButtonGroup(this);
    modes->setExclusive(true);
    for (QToolButton *b : {UpButton, MaskButton, ViewMode0, ViewMode1, ViewMode2})
        column->addWidget(b);
    for (QToolButton *b : {ViewMode0, ViewMode1, ViewMode2})
        modes->addButton(b);
    column->addStretch(1);
    right->addWidget(FileView1, 1);
    right->addWidget(buttons);

    // The pane may be dragged lower than its controls are tall: they are cut, not the drag.
    for (QWidget *w : {static_cast<QWidget *>(Panel5), Panel8, buttons, static_cast<QWidget *>(FolderView1),
                       static_cast<QWidget *>(FileView1)})
        w->setMinimumHeight(1);
    Splitter1->addWidget(Panel5);
    Splitter1->addWidget(Panel8);
    Splitter1->setStretchFactor(1, 1);

    ComboView1->setFolderView(FolderView1);
    FolderView1->setFileView(FileView1);
    // This window opens what is double-clicked itself.
    FileView1->FileExecute = false;
    FileView1->Mask = kPictureMask;
    ViewMode0->setChecked(true);

    FolderView1->OnChange = [this] { FolderView1Change(); };
    FileView1->OnClick = [this] { FileView1Click(); };
    FileView1->OnDblClick = [this] { FileView1DblClick(); };
    FileView1->OnKeyDown = [this](int key, Qt::KeyboardModifiers m) { FileView1KeyDown(key, m); };
    FileView1->OnMouseDown = [this](Qt::MouseButton, QPoint at) { FileView1MouseDown(at); };
    connect(UpButton, &QToolButton::clicked, this, [this] { UpButtonClick(); });
    connect(MaskButton, &QToolButton::clicked, this, [this] { MaskButtonClick(); });
    connect(ViewMode0, &QToolButton::clicked, this, [this] { ViewMode0Click(); });
    connect(ViewMode1, &QToolButton::clicked, this, [this] { ViewMode1Click(); });
    connect(ViewMode2, &QToolButton::clicked, this, [this] { ViewMode2Click(); });
    // The widths and heights the user gives by dragging are the ones kept; a roll-up or a
    // window too small for the pane changes neither.
    connect(Splitter1, &QSplitter::splitterMoved, this, [this] { LeftWidth = Splitter1->sizes().value(0); });
    connect(Panel13, &QSplitter::splitterMoved, this, [this] { Panel1Resize(); });

    FolderView1->Rebuild();
    ComboView1->Rebuild();
    FolderView1Change();
}

void TMainForm::SelectFolder(const QString &folder)
{
    FolderView1->SetCurrentPath(folder);
}

void TMainForm::FolderView1Change()
{
    // Up is for folders on disk that have a parent: not the desktop, My Computer or "/".
    const QString folder = FolderView1->GetCurrentPath();
    const QTreeWidgetItem *node = FolderView1->currentItem();
    UpButton->setEnabled(node && node->parent() && folder.startsWith(QLatin1Char('/')) && folder != QLatin1String("/"));
}

void TMainForm::Panel1Resize()
{
    if (Explorer->isChecked() && Panel1->height() > 0)
        PanelHeight = Panel1->height();
}

void TMainForm::applyLeftWidth()
{
    const int total = qMax(Splitter1->width(), LeftWidth + 50);
    Splitter1->setSizes({LeftWidth, total - LeftWidth});
}

void TMainForm::applyViewMode()
{
    static const TViewStyle styles[3] = {TViewStyle::vsIcon, TViewStyle::vsList, TViewStyle::vsReport};
    QToolButton *const pressed[3] = {ViewMode0, ViewMode1, ViewMode2};
    if (ViewMode < 0 || ViewMode > 2)
        return;
    pressed[ViewMode]->setChecked(true);
    FileView1->SetViewStyle(styles[ViewMode]);
}

void TMainForm::ViewMode0Click()
{
    ViewMode = 0;
    applyViewMode();
}

void TMainForm::ViewMode1Click()
{
    ViewMode = 1;
    applyViewMode();
}

void TMainForm::ViewMode2Click()
{
    ViewMode = 2;
    applyViewMode();
}

void TMainForm::UpButtonClick()
{
    const QString path = FolderView1->GetCurrentPath();
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    if (slash >= 0)
        FolderView1->SetCurrentPath(path.left(slash + 1));
}

void TMainForm::MaskButtonClick()
{
    MaskButtonDown = MaskButton->isChecked();
    if (MaskButtonDown)
        FileView1->Mask += kPictureMask;
    else
        FileView1->Mask.clear();
    FileView1->Refresh();
}

void TMainForm::FileView1Click()
{
    if (LZHPanel && LZHPanel->isVisible())
        LZHPanel->hide();
    const QString path = FileView1->GetSelectedPath();
    // Foreign files go to their program only on a double click.
    if (!path.isEmpty() && QFileInfo(path).isFile() && ClassifyFile(path) != fkForeign)
        OpenImage(path);
}

void TMainForm::FileView1DblClick()
{
    const QString path = FileView1->GetSelectedPath();
    if (!path.isEmpty() && QFileInfo(path).isFile())
        OpenImage(path);
}

void TMainForm::FileView1KeyDown(int key, Qt::KeyboardModifiers)
{
    if (key == Qt::Key_Return || key == Qt::Key_Enter)
        FileView1Click();
}

void TMainForm::FileView1MouseDown(QPoint globalPos)
{
    ArchiveAnchor = globalPos + QPoint(0, 15);
}
