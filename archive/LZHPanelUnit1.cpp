#include "LZHPanelUnit1.h"

#include <QApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>

namespace {

const int TipIndent = 15;
const int TipHeight = 9;
const int Corner = 20;

// A page with a folded corner, as both icons start.
void drawPage(QPainter &p, qreal s)
{
    QPainterPath page;
    page.moveTo(2 * s / 16, 1 * s / 16);
    page.lineTo(10 * s / 16, 1 * s / 16);
    page.lineTo(14 * s / 16, 5 * s / 16);
    page.lineTo(14 * s / 16, 15 * s / 16);
    page.lineTo(2 * s / 16, 15 * s / 16);
    page.closeSubpath();
    p.setPen(QPen(QColor(0x40, 0x40, 0x40), s / 16));
    p.setBrush(Qt::white);
    p.drawPath(page);
    p.drawLine(QPointF(10 * s / 16, 1 * s / 16), QPointF(10 * s / 16, 5 * s / 16));
    p.drawLine(QPointF(10 * s / 16, 5 * s / 16), QPointF(14 * s / 16, 5 * s / 16));
}

QPixmap drawIcon(int index, int size)
{
    QPixmap pm(size, size);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    const qreal s = size;
    drawPage(p, s);
    if (index == 0) {
        // A small picture (sky, hill, sun) and a paintbrush across it.
        const QRectF pic(3.5 * s / 16, 6 * s / 16, 8 * s / 16, 6 * s / 16);
        p.setPen(Qt::NoPen);
        p.fillRect(pic, QColor(0x80, 0xC0, 0xFF));
        QPainterPath hill;
        hill.moveTo(pic.bottomLeft());
        hill.quadTo(pic.center() + QPointF(0, -s / 16), pic.bottomRight());
        p.fillPath(hill, QColor(0x30, 0xA0, 0x40));
        p.setBrush(QColor(0xFF, 0xD0, 0x20));
        p.drawEllipse(QPointF(pic.right() - 1.5 * s / 16, pic.top() + 1.5 * s / 16), s / 16, s / 16);
        p.setPen(QPen(QColor(0xA0, 0x60, 0x20), 1.5 * s / 16, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(15 * s / 16, 7 * s / 16), QPointF(9 * s / 16, 13 * s / 16));
        p.setPen(QPen(QColor(0xD0, 0x20, 0x20), 2 * s / 16, Qt::SolidLine, Qt::RoundCap));
        p.drawPoint(QPointF(8.5 * s / 16, 13.5 * s / 16));
    } else {
        // A small program window: title bar and body.
        const QRectF win(3.5 * s / 16, 6 * s / 16, 8 * s / 16, 7 * s / 16);
        p.setPen(QPen(QColor(0x40, 0x40, 0x40), s / 16));
        p.setBrush(QColor(0xF0, 0xF0, 0xF0));
        p.drawRect(win);
        p.fillRect(QRectF(win.left(), win.top(), win.width(), 2 * s / 16), QColor(0x20, 0x40, 0xA0));
    }
    return pm;
}

} // namespace

TLZHPanel::TLZHPanel(QWidget *parent) : QWidget(parent, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint)
{
    setObjectName(QStringLiteral("LZHPanel"));
    setFixedSize(270, 153);
    QFont f = QApplication::font();
    f.setFamilies({QStringLiteral("ＭＳ Ｐゴシック"), QApplication::font().family()});
    f.setPixelSize(12);
    setFont(f);
    setMask(QRegion(Balloon(size()).toFillPolygon().toPolygon()));

    for (int i = 0; i < 2; ++i) {
        LZHSmallList[i].addPixmap(drawIcon(i, 16));
        LZHSmallList[i].addPixmap(drawIcon(i, 32));
    }

    ListView = new QListWidget(this);
    ListView->setObjectName(QStringLiteral("ListView"));
    ListView->setGeometry(8, 18, 250, 111);
    ListView->setFrameShape(QFrame::NoFrame);
    ListView->setViewMode(QListView::ListMode);
    ListView->setIconSize(QSize(16, 16));
    ListView->setSortingEnabled(true);
    ListView->setToolTip(QStringLiteral("画像ファイルはシングルクリックで開きます。\nダブルクリックすると、拡張子に関連付けられた\n"
                                        "アプリケーションから開きます。"));
    connect(ListView, &QListWidget::clicked, this, [this] { ListViewClick(); });
    connect(ListView, &QListWidget::doubleClicked, this, [this] { ListViewDblClick(); });

    GradBtn1 = new TGradBtn(this);
    GradBtn1->setObjectName(QStringLiteral("GradBtn1"));
    GradBtn1->setGeometry(8, 129, 250, 16);
    GradBtn1->Caption = QStringLiteral("Close");
    GradBtn1->OnMouseEnter = [this] { GradBtn1MouseEnter(); };
    GradBtn1->OnMouseLeave = [this] { GradBtn1MouseLeave(); };
    GradBtn1->OnClick = [this] { GradBtn1Click(); };
}

QPainterPath TLZHPanel::Balloon(const QSize &size)
{
    QPainterPath body;
    body.addRoundedRect(QRectF(0, TipHeight, size.width(), size.height() - TipHeight), Corner / 2.0, Corner / 2.0);
    QPainterPath tip;
    tip.moveTo(TipIndent, 0);
    tip.lineTo(TipIndent + 6, TipHeight + 1);
    tip.lineTo(TipIndent + 22, TipHeight + 1);
    tip.closeSubpath();
    return body.united(tip);
}

void TLZHPanel::AddEntry(const QString &name, int imageIndex)
{
    auto *item = new QListWidgetItem(LZHSmallList[imageIndex == 1 ? 1 : 0], name);
    item->setData(Qt::UserRole, imageIndex);
    ListView->addItem(item);
}

int TLZHPanel::ImageIndex(const QListWidgetItem *item)
{
    return item ? item->data(Qt::UserRole).toInt() : -1;
}

void TLZHPanel::GradBtn1MouseEnter()
{
    GradBtn1->setColors(QColor(0x80, 0x80, 0xFF), Qt::white); // $FF8080 in blue-green-red order
}

void TLZHPanel::GradBtn1MouseLeave()
{
    GradBtn1->setColors(Qt::white, Qt::white);
}

void TLZHPanel::openSelected(int wantedIndex)
{
    const QList<QListWidgetItem *> selected = ListView->selectedItems();
    if (selected.isEmpty() || ImageIndex(selected.first()) != wantedIndex || !OnOpenMember)
        return;
    OnOpenMember(selected.first()->text(), windowTitle());
}

void TLZHPanel::ListViewClick()
{
    openSelected(0);
}

void TLZHPanel::ListViewDblClick()
{
    openSelected(1);
}

void TLZHPanel::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QPainterPath outline = Balloon(size());
    p.fillPath(outline, palette().color(QPalette::Base));
    p.setPen(QPen(QColor(0x60, 0x60, 0x60), 1.5));
    p.drawPath(outline);
}

void TLZHPanel::mousePressEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton)
        m_drag.press(this, event);
}

void TLZHPanel::mouseMoveEvent(QMouseEvent *event)
{
    m_drag.move(this, event);
}

void TLZHPanel::mouseReleaseEvent(QMouseEvent *)
{
    m_drag.release();
}
