#include "MainUnit.h"

#include "SSImage.h"
#include "TitleBar.h"

#include <QApplication>
#include <QMenu>
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

// ---- the title bar's window menu and icon ---------------------------------------------------

void TMainForm::buildWindowMenu()
{
    PopupMenu1 = new QMenu(this);
    PopupMenu1->setObjectName(QStringLiteral("PopupMenu1"));
    NormalizeMenu = PopupMenu1->addAction(QStringLiteral("元のｻｲｽﾞに戻す(&R)"), this, [this] { MaximizeMenuClick(); });
    PopupMenu1->addAction(QStringLiteral("最小化(&N)"), this, [this] { MiniMizeButtonClick(); });
    MaximizeMenu = PopupMenu1->addAction(QStringLiteral("最大化(&X)"), this, [this] { MaximizeMenuClick(); });
    PopupMenu1->addSeparator();
    PopupMenu1->addAction(QStringLiteral("閉じる(&C)"), this, [this] { N15Click(); });
    connect(PopupMenu1, &QMenu::aboutToShow, this, [this] { PopupMenu1Popup(); });
    Image2->installEventFilter(this);
    PopupMenu1->installEventFilter(this);
    Bar1->installEventFilter(this);
}

void TMainForm::Image2Click()
{
    m_iconClicked.start();
    PopupMenu1->popup(Image2->mapToGlobal(QPoint(0, Image2->height())));
}

void TMainForm::PopupMenu1Popup()
{
    MaximizeMenu->setEnabled(!isMaximized());
    NormalizeMenu->setEnabled(isMaximized());
}

void TMainForm::WinStateButtonClick()
{
    isMaximized() ? showNormal() : showMaximized();
}

void TMainForm::MaximizeMenuClick()
{
    WinStateButtonClick();
}

void TMainForm::MiniMizeButtonClick()
{
    showMinimized();
}

void TMainForm::ExitButtonClick()
{
    close();
}

void TMainForm::N15Click()
{
    close();
}

bool TMainForm::frameEventFilter(QObject *watched, QEvent *event)
{
    const QEvent::Type type = event->type();
    if (watched == Image2 && (type == QEvent::MouseButtonPress || type == QEvent::MouseButtonDblClick)) {
        if (static_cast<QMouseEvent *>(event)->button() != Qt::LeftButton)
            return false;
        // The icon's own: a double click there closes, it never maximises as the bar's would.
        if (type == QEvent::MouseButtonDblClick)
            ExitButtonClick();
        else
            Image2Click();
        return true;
    }
    if (watched == PopupMenu1 && (type == QEvent::MouseButtonPress || type == QEvent::MouseButtonDblClick)) {
        // The menu took the mouse with the first click on the icon, so the second click of a
        // double click comes here, outside the menu.
        const auto *me = static_cast<QMouseEvent *>(event);
        const QRect icon(Image2->mapToGlobal(QPoint(0, 0)), Image2->size());
        if (me->button() == Qt::LeftButton && icon.contains(me->globalPosition().toPoint()) &&
            m_iconClicked.isValid() && m_iconClicked.elapsed() <= QApplication::doubleClickInterval()) {
            PopupMenu1->hide();
            ExitButtonClick();
            return true;
        }
    }
    if (watched == Bar1 && type == QEvent::MouseButtonPress &&
        static_cast<QMouseEvent *>(event)->button() == Qt::RightButton) {
        PopupMenu1->popup(static_cast<QMouseEvent *>(event)->globalPosition().toPoint());
        return true;
    }
    return false;
}
