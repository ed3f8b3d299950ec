#include "platform/SurfaceView.h"

#include <QPaintEvent>
#include <QPainter>

namespace vx {

SurfaceView::SurfaceView(QWidget *parent)
    : QWidget(parent)
    , surface_(1, 1, parent ? parent->devicePixelRatioF() : 1.0)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_NoSystemBackground);
    setFocusPolicy(Qt::NoFocus);
}

void SurfaceView::moveTo(int left, int top, int width, int height)
{
    setGeometry(left, top, width, height);
    surface_.resize(width, height);
}

bool SurfaceView::refresh()
{
    if (!isVisible())
        return true;
    repaint();
    return true;
}

void SurfaceView::syncPixelRatio()
{
    surface_.setDevicePixelRatio(devicePixelRatioF());
}

void SurfaceView::paintEvent(QPaintEvent *event)
{
    if (devicePixelRatioF() != surface_.devicePixelRatio())
        syncPixelRatio();
    QPainter p(this);
    p.setCompositionMode(QPainter::CompositionMode_Source);
    const QRect r = event->rect();
    const qreal dpr = surface_.devicePixelRatio();
    p.drawImage(QRectF(r), surface_.image(), QRectF(r.x() * dpr, r.y() * dpr, r.width() * dpr, r.height() * dpr));
}

void SurfaceView::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    surface_.resize(width(), height());
}

void SurfaceView::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    syncPixelRatio();
}

} // namespace vx
