#pragma once
// A caption bar for borderless windows: paints a gradient and moves its window when dragged
// (through the window manager, or by hand where none answers).

#include "Gradient.h"

#include <QWidget>

class TTitleBar : public QWidget {
public:
    explicit TTitleBar(QWidget *parent = nullptr);
    void setTopColor(const QColor &c);
    TGradDirection direction() const { return m_direction; }
    void setDirection(TGradDirection d);
    std::function<void()> OnDoubleClick;

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;

private:
    QColor m_top{0xA0, 0xA0, 0xA0};
    TGradDirection m_direction = TGradDirection::BottomToTop;
    TWindowDrag m_drag;
};
