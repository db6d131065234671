#pragma once
// TImage: the image control. Draws its picture at natural size or stretched to the control, and
// paints only the exposed part, straight from the picture's pixels.

#include "Picture.h"

#include <QWidget>

// A Windows-style colour value: 0x00BBGGRR, or 0x80000000 | n for system colour n.
using TColor = qint32;
constexpr TColor clBtnFace = TColor(0x8000000F);
QColor ColorToQColor(TColor color);

class TImage : public QWidget {
public:
    explicit TImage(QWidget *parent = nullptr);

    TPicture &picture() { return m_picture; }
    bool stretch() const { return m_stretch; }
    void setStretch(bool v);
    // When on, the control takes the picture's natural size.
    bool autoSize() const { return m_autoSize; }
    void setAutoSize(bool v);
    bool transparent() const { return m_transparent; }
    void setTransparent(bool v);

    // Mouse events in the Delphi manner: button, modifiers, position relative to the control.
    std::function<void(QWidget *sender, Qt::MouseButton, Qt::KeyboardModifiers, int x, int y)> OnMouseDown;
    std::function<void(QWidget *sender, Qt::KeyboardModifiers, int x, int y)> OnMouseMove;
    std::function<void(QWidget *sender, Qt::MouseButton, Qt::KeyboardModifiers, int x, int y)> OnMouseUp;

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    // Called before the picture is drawn; TSSImage sets its transparent colour here.
    virtual void preparePaint(TGraphic &) {}

private:
    void pictureChanged();
    TPicture m_picture;
    bool m_stretch = false;
    bool m_autoSize = false;
    bool m_transparent = false;
};
