#include "TitleBar.h"

#include <QMouseEvent>
#include <QPainter>

TTitleBar::TTitleBar(QWidget *parent) : QWidget(parent)
{
    setFixedHeight(23);
}

void TTitleBar::setTopColor(const QColor &c)
{
    m_top = c;
    update();
}

void TTitleBar::setDirection(TGradDirection d)
{
    m_direction = d;
    update();
}

void TTitleBar::paintEvent(QPaintEvent *)
{
    // The face colour where the gradient starts, the top colour where it ends.
    QPainter p(this);
    PaintGradient(p, rect(), m_direction, palette().color(QPalette::Button), m_top);
}

void TTitleBar::mousePressEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton || window()->isMaximized()) {
        QWidget::mousePressEvent(event);
        return;
    }
    m_drag.press(this, event);
}

void TTitleBar::mouseMoveEvent(QMouseEvent *event)
{
    m_drag.move(this, event);
}

void TTitleBar::mouseReleaseEvent(QMouseEvent *)
{
    m_drag.release();
}

void TTitleBar::mouseDoubleClickEvent(QMouseEvent *)
{
    if (OnDoubleClick)
        OnDoubleClick();
}
