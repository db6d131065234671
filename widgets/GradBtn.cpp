#include "GradBtn.h"

#include <QMouseEvent>
#include <QPainter>

TGradBtn::TGradBtn(QWidget *parent) : QWidget(parent)
{
    setCursor(Qt::PointingHandCursor);
}

void TGradBtn::setColors(const QColor &start, const QColor &end)
{
    StartColor = start;
    EndColor = end;
    update();
}

void TGradBtn::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    PaintGradient(p, rect(), Direction, StartColor, EndColor);
    p.setPen(QColor(0x80, 0x80, 0x80));
    p.drawRect(rect().adjusted(0, 0, -1, -1));
    p.setPen(TextColor);
    p.drawText(rect(), Qt::AlignCenter, Caption);
}

void TGradBtn::enterEvent(QEnterEvent *)
{
    if (OnMouseEnter)
        OnMouseEnter();
}

void TGradBtn::leaveEvent(QEvent *)
{
    if (OnMouseLeave)
        OnMouseLeave();
}

void TGradBtn::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()) && OnClick)
        OnClick();
}
