#pragma once
// The archive window: a small balloon beside the click point listing an archive's entries. A
// click on a picture opens it in the main window; a double click on anything else hands it to
// the desktop's program for it.

#include "GradBtn.h"

#include <QIcon>
#include <QListWidget>
#include <QWidget>

#include <functional>

class TLZHPanel : public QWidget {
public:
    explicit TLZHPanel(QWidget *parent = nullptr);

    QListWidget *ListView;
    TGradBtn *GradBtn1;
    // Icons 0 (pictures) and 1 (other entries), each drawn at 16 and 32 pixels.
    QIcon LZHSmallList[2];

    // Fills nothing itself: the main window lists and opens (entry, archive on show).
    std::function<void(const QString &entry, const QString &archive)> OnOpenMember;

    void AddEntry(const QString &name, int imageIndex);
    static int ImageIndex(const QListWidgetItem *item);

    void GradBtn1MouseEnter();
    void GradBtn1MouseLeave();
    void GradBtn1Click() { hide(); }
    void ListViewClick();
    void ListViewDblClick();

    // The outline the window is cut to: a rounded body with a tip at the top left.
    static QPainterPath Balloon(const QSize &size);

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    void openSelected(int wantedIndex);
    TWindowDrag m_drag;
};
