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

void TTitleBar::setDirection(TGradDirection d)
{
    m_direction = d;
    update();
}

void TTitleBar::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    const QColor face = palette().color(QPalette::Button);
    if (m_direction == TGradDirection::None) {
        p.fillRect(rect(), m_top);
        return;
    }
    // The face colour where the gradient starts, the top colour where it ends.
    QLinearGradient g;
    switch (m_direction) {
    case TGradDirection::BottomToTop:
        g = QLinearGradient(0, height(), 0, 0);
        break;
    case TGradDirection::TopToBottom:
        g = QLinearGradient(0, 0, 0, height());
        break;
    case TGradDirection::LeftToRight:
        g = QLinearGradient(0, 0, width(), 0);
        break;
    default:
        g = QLinearGradient(width(), 0, 0, 0);
        break;
    }
    g.setColorAt(0, face);
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
