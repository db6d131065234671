#include "MainUnit.h"

#include <QAction>
#include <QApplication>
#include <QMouseEvent>
#include <QScrollArea>
#include <QScrollBar>
#include <QSlider>
#include <QSplitter>
#include <QToolButton>

// ---- zoom and scrolling -------------------------------------------------------------------

QSize TMainForm::ZoomSize(int pos, int w, int h)
{
    switch (pos) {
    case 0:
        return {w / 4, h / 4};
    case 1:
        return {w / 3, h / 3};
    case 2:
        return {w / 2, h / 2};
    case 3:
        return {(w / 4) * 3, (h / 4) * 3};
    case 5:
        return {(3 * w) / 2, (3 * h) / 2};
    case 6:
        return {2 * w, 2 * h};
    case 7:
        return {3 * w, 3 * h};
    case 8:
        return {4 * w, 4 * h};
    default:
        return {w, h};
    }
}

void TMainForm::TrackBar1Change()
{
    Image1->setStretch(false);
    Image1->setAutoSize(true);
    const int w = CurrentJpeg ? CurrentJpeg->width() : 0;
    const int h = CurrentJpeg ? CurrentJpeg->height() : 0;
    const QSize size = ZoomSize(ViewRate->value(), w, h);
    Image1->setAutoSize(false);
    Image1->resize(size);
    Image1->setStretch(true);
}

void TMainForm::Z1Click(QAction *item)
{
    item->setChecked(true);
    ViewRate->setValue(item->data().toInt());
    TrackBar1Change();
}

void TMainForm::k1Click()
{
    for (QAction *a : Z)
        if (a->data().toInt() == ViewRate->value())
            a->setChecked(true);
}

void TMainForm::ViewRateEnter()
{
    ScrollBox1->setFocus();
}

bool TMainForm::eventFilter(QObject *watched, QEvent *event)
{
    if (frameEventFilter(watched, event))
        return true;
    if (watched == ViewRate && event->type() == QEvent::FocusIn) {
        ViewRateEnter();
    } else if (ScrollBox1 && watched == ScrollBox1->viewport() && event->type() == QEvent::MouseButtonPress) {
        auto *me = static_cast<QMouseEvent *>(event);
        ScrollBox1MouseDown(ScrollBox1, me->buttons(), me->modifiers(), int(me->position().x()),
                            int(me->position().y()));
        return true;
    }
    return QMainWindow::eventFilter(watched, event);
}

void TMainForm::ScrollBox1MouseDown(QWidget *sender, Qt::MouseButtons buttons, Qt::KeyboardModifiers shift, int x,
                                    int y)
{
    // Buttons and modifiers are compared as a whole: nothing else may be held.
    const Qt::KeyboardModifiers mods = shift & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier);
    if (buttons == Qt::LeftButton && mods == Qt::NoModifier) {
        if (sender == Image1) {
            QApplication::setOverrideCursor(Cursors[3]);
            Dragging = true;
            DragX = x;
            DragY = y;
        }
    } else if (buttons == Qt::RightButton && mods == Qt::NoModifier) {
        Explorer->setChecked(!Explorer->isChecked());
        ExplorerClick();
    } else if (buttons == Qt::LeftButton && mods == Qt::ShiftModifier) {
        if (ViewRate->value() > 0) {
            ViewRate->setValue(ViewRate->value() - 1);
            TrackBar1Change();
        }
    } else if (buttons == Qt::RightButton && mods == Qt::ShiftModifier) {
        if (ViewRate->value() < 8) {
            ViewRate->setValue(ViewRate->value() + 1);
            TrackBar1Change();
        }
    }
    // The title bar is the window's menu widget, first among the top bars at all times, so
    // there is nothing to move back to the top here.
}

void TMainForm::Image1MouseMove(Qt::KeyboardModifiers, int x, int y)
{
    if (!Dragging)
        return;
    // DragX/DragY stay put: x and y are measured on the image, which moves with the scrolling,
    // so the grabbed point stays under the pointer.
    ScrollBox1->horizontalScrollBar()->setValue(ScrollBox1->horizontalScrollBar()->value() + DragX - x);
    ScrollBox1->verticalScrollBar()->setValue(ScrollBox1->verticalScrollBar()->value() + DragY - y);
    Image1->repaint();
}

void TMainForm::Image1MouseUp(Qt::MouseButton, Qt::KeyboardModifiers, int, int)
{
    if (!Dragging)
        return;
    QApplication::restoreOverrideCursor();
    Dragging = false;
}

void TMainForm::RScrollClick()
{
    ScrollBox1->horizontalScrollBar()->setValue(ScrollBox1->horizontalScrollBar()->value() + Scroll);
}

void TMainForm::LScrollClick()
{
    ScrollBox1->horizontalScrollBar()->setValue(ScrollBox1->horizontalScrollBar()->value() - Scroll);
}

void TMainForm::DScrollClick()
{
    ScrollBox1->verticalScrollBar()->setValue(ScrollBox1->verticalScrollBar()->value() + Scroll);
}

void TMainForm::UScrollClick()
{
    ScrollBox1->verticalScrollBar()->setValue(ScrollBox1->verticalScrollBar()->value() - Scroll);
}

void TMainForm::ExplorerClick()
{
    const int total = Panel13->height();
    if (!Explorer->isChecked())
        Panel13->setSizes({0, total});
    else
        Panel13->setSizes({PanelHeight, qMax(0, total - PanelHeight)});
}
