#include "Image.h"

#include <QApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QPalette>

QColor ColorToQColor(TColor color)
{
    if (quint32(color) & 0x80000000u) {
        const QPalette pal = QApplication::palette();
        switch (quint32(color) & 0xFF) {
        case 5:
            return pal.color(QPalette::Base);
        case 8:
            return pal.color(QPalette::Text);
        case 13:
            return pal.color(QPalette::Highlight);
        case 14:
            return pal.color(QPalette::HighlightedText);
        case 16:
            return pal.color(QPalette::Dark);
        case 18:
            return pal.color(QPalette::ButtonText);
        case 20:
            return pal.color(QPalette::Light);
        case 12:
            return pal.color(QPalette::Mid);
        default:
            return pal.color(QPalette::Button);
        }
    }
    return QColor(color & 0xFF, (color >> 8) & 0xFF, (color >> 16) & 0xFF);
}

TImage::TImage(QWidget *parent) : QWidget(parent)
{
    // Every pixel of the control is painted by the picture or by the parent's background.
    setAttribute(Qt::WA_OpaquePaintEvent, false);
    m_picture.OnChange = [this] { pictureChanged(); };
}

void TImage::setStretch(bool v)
{
    if (v != m_stretch) {
        m_stretch = v;
        update();
    }
}

void TImage::setAutoSize(bool v)
{
    m_autoSize = v;
    if (v)
        pictureChanged();
}

void TImage::setTransparent(bool v)
{
    m_transparent = v;
    if (m_picture.graphic())
        m_picture.graphic()->setTransparent(v);
    update();
}

void TImage::pictureChanged()
{
    if (m_picture.graphic() && m_transparent)
        m_picture.graphic()->setTransparent(true);
    if (m_autoSize && m_picture.graphic())
        resize(m_picture.width(), m_picture.height());
    update();
}

void TImage::paintEvent(QPaintEvent *event)
{
    TGraphic *g = m_picture.graphic();
    if (!g || g->isEmpty())
        return;
    QPainter painter(this);
    painter.setClipRect(event->rect());
    const QRect dest = m_stretch ? rect() : QRect(0, 0, g->width(), g->height());
    try {
        preparePaint(*g);
        g->draw(painter, dest);
    } catch (const std::exception &e) {
        // A picture that cannot be drawn would fail on every repaint: drop it and say why once.
        const QString msg = QString::fromUtf8(e.what());
        painter.end();
        m_picture.assign(nullptr);
        QMetaObject::invokeMethod(
            qApp, [msg] { ReportError(msg); }, Qt::QueuedConnection);
    }
}

void TImage::mousePressEvent(QMouseEvent *event)
{
    if (OnMouseDown)
        OnMouseDown(this, event->button(), event->modifiers(), int(event->position().x()), int(event->position().y()));
    else
        QWidget::mousePressEvent(event);
}

void TImage::mouseMoveEvent(QMouseEvent *event)
{
    if (OnMouseMove)
        OnMouseMove(this, event->modifiers(), int(event->position().x()), int(event->position().y()));
    else
        QWidget::mouseMoveEvent(event);
}

void TImage::mouseReleaseEvent(QMouseEvent *event)
{
    if (OnMouseUp)
        OnMouseUp(this, event->button(), event->modifiers(), int(event->position().x()), int(event->position().y()));
    else
        QWidget::mouseReleaseEvent(event);
}
