#include "TitleBar.h"

#include <QLinearGradient>
#include <QMouseEvent>
#include <QPainter>
#include <QWindow>

TTitleBar::TTitleBar(QWidget *parent) : QWidget(parent)
{
    setFixedHeight(23);
}

void TTitleBar::setTopColor(const QColor &c)
{
    m_top = c;
    update();
}

void TTitleBar::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    QLinearGradient g(0, height(), 0, 0);
    g.setColorAt(0, palette().color(QPalette::Button));
    g.setColorAt(1, m_top);
    p.fillRect(rect(), g);
}

void TTitleBar::mousePressEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton || window()->isMaximized()) {
        QWidget::mousePressEvent(event);
        return;
    }
    QWindow *w = window()->windowHandle();
    if (!w || !w->startSystemMove()) {
        // No window manager took the move: follow the pointer ourselves.
        m_manual = true;
        m_offset = event->globalPosition().toPoint() - window()->frameGeometry().topLeft();
    }
}

void TTitleBar::mouseMoveEvent(QMouseEvent *event)
{
    if (m_manual)
        window()->move(event->globalPosition().toPoint() - m_offset);
}

void TTitleBar::mouseReleaseEvent(QMouseEvent *)
{
    m_manual = false;
}

void TTitleBar::mouseDoubleClickEvent(QMouseEvent *)
{
    if (OnDoubleClick)
        OnDoubleClick();
}
