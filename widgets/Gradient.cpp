#include "Gradient.h"

#include <QLinearGradient>
#include <QMouseEvent>
#include <QPainter>
#include <QWidget>
#include <QWindow>

void PaintGradient(QPainter &p, const QRect &r, TGradDirection direction, const QColor &from, const QColor &to)
{
    QLinearGradient g;
    switch (direction) {
    case TGradDirection::None:
        p.fillRect(r, to);
        return;
    case TGradDirection::BottomToTop:
        g = QLinearGradient(r.left(), r.bottom() + 1, r.left(), r.top());
        break;
    case TGradDirection::TopToBottom:
        g = QLinearGradient(r.left(), r.top(), r.left(), r.bottom() + 1);
        break;
    case TGradDirection::LeftToRight:
        g = QLinearGradient(r.left(), r.top(), r.right() + 1, r.top());
        break;
    case TGradDirection::RightToLeft:
        g = QLinearGradient(r.right() + 1, r.top(), r.left(), r.top());
        break;
    }
    g.setColorAt(0, from);
    g.setColorAt(1, to);
    p.fillRect(r, g);
}

void TWindowDrag::press(QWidget *w, QMouseEvent *event)
{
    QWindow *handle = w->window()->windowHandle();
    if (!handle || !handle->startSystemMove()) {
        m_manual = true;
        m_offset = event->globalPosition().toPoint() - w->window()->frameGeometry().topLeft();
    }
}

void TWindowDrag::move(QWidget *w, QMouseEvent *event)
{
    if (m_manual)
        w->window()->move(event->globalPosition().toPoint() - m_offset);
}
