#pragma once
// Gradient painting and window dragging shared by the borderless windows' widgets.

#include <QColor>
#include <QPoint>
#include <QRect>

class QMouseEvent;
class QPainter;
class QWidget;

enum class TGradDirection { BottomToTop, LeftToRight, None, RightToLeft, TopToBottom };

// Fills r from `from` to `to` in the direction given; None fills with `to`.
void PaintGradient(QPainter &p, const QRect &r, TGradDirection direction, const QColor &from, const QColor &to);

// Moves a widget's window with the pointer: through the window manager when it takes the move,
// by hand otherwise.
class TWindowDrag {
public:
    void press(QWidget *w, QMouseEvent *event);
    void move(QWidget *w, QMouseEvent *event);
    void release() { m_manual = false; }

private:
    bool m_manual = false;
    QPoint m_offset;
};
