#pragma once
// A flat button painted with a two-colour gradient, with enter and leave events so its owner
// can light it up under the pointer.

#include "Gradient.h"

#include <QWidget>

#include <functional>

class TGradBtn : public QWidget {
public:
    explicit TGradBtn(QWidget *parent = nullptr);

    QString Caption;
    QColor StartColor = Qt::white;
    QColor EndColor = Qt::white;
    QColor TextColor = Qt::black;
    TGradDirection Direction = TGradDirection::LeftToRight;

    void setColors(const QColor &start, const QColor &end);

    std::function<void()> OnClick;
    std::function<void()> OnMouseEnter;
    std::function<void()> OnMouseLeave;

protected:
    void paintEvent(QPaintEvent *event) override;
    void enterEvent(QEnterEvent *event) override;
    void leaveEvent(QEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
};
