#include "MainUnit.h"

#include <QMouseEvent>
#include <QWindow>

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
