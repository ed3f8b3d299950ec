#include "platform/SurfaceView.h"

#include <QPaintEvent>
#include <QPainter>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>

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
    refresh({this});
    return true;
}

void SurfaceView::refresh(std::initializer_list<SurfaceView *> views)
{
    // Every view but the last is only marked; the last one's repaint paints and flushes them all.
    SurfaceView *last = nullptr;
    QRegion lastChanged;
    for (SurfaceView *view : views) {
        if (!view->isVisible())
            continue;
        if (view->devicePixelRatioF() != view->surface_.devicePixelRatio())
            view->syncPixelRatio();
        QRegion changed = view->changedRegion();
        if (changed.isEmpty())
            continue;
        view->presenting_ = true;
        if (last)
            last->update(lastChanged);
        last = view;
        lastChanged = std::move(changed);
    }
    if (last)
        last->repaint(lastChanged);
    for (SurfaceView *view : views)
        view->presenting_ = false;
}

QRegion SurfaceView::changedRegion() const
{
    const QImage &now = surface_.image();
    if (shown_.size() != now.size() || shown_.format() != now.format())
        return QRegion(rect());
    // One rectangle per run of changed rows, from the leftmost to the rightmost changed column.
    const qreal dpr = surface_.devicePixelRatio();
    const int pw = now.width();
    const auto bytes = static_cast<std::size_t>(pw) * sizeof(std::uint32_t);
    QRegion region;
    int runTop = -1, runLeft = pw, runRight = -1;
    const auto closeRun = [&](int bottom) {
        if (runTop < 0)
            return;
        const int x0 = static_cast<int>(std::floor(runLeft / dpr));
        const int y0 = static_cast<int>(std::floor(runTop / dpr));
        const int x1 = static_cast<int>(std::ceil((runRight + 1) / dpr));
        const int y1 = static_cast<int>(std::ceil(bottom / dpr));
        region += QRect(x0, y0, x1 - x0, y1 - y0);
        runTop = -1;
        runLeft = pw;
        runRight = -1;
    };
    for (int y = 0; y < now.height(); ++y) {
        const auto *a = reinterpret_cast<const std::uint32_t *>(now.constScanLine(y));
        const auto *b = reinterpret_cast<const std::uint32_t *>(shown_.constScanLine(y));
        if (std::memcmp(a, b, bytes) == 0) {
            closeRun(y);
            continue;
        }
        int l = 0, r = pw - 1;
        while (a[l] == b[l])
            ++l;
        while (a[r] == b[r])
            --r;
        if (runTop < 0)
            runTop = y;
        runLeft = std::min(runLeft, l);
        runRight = std::max(runRight, r);
    }
    closeRun(now.height());
    return region.intersected(rect());
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
    const qreal dpr = surface_.devicePixelRatio();
    // Painting is clipped to the region, so only its own rectangles count as shown.
    for (const QRect &r : event->region()) {
        const QRectF source(r.x() * dpr, r.y() * dpr, r.width() * dpr, r.height() * dpr);
        p.drawImage(QRectF(r), surface_.image(), source);
        // Other paints may go elsewhere than the screen (a grab) or come late: the record starts over.
        if (presenting_)
            rememberShown(source.toAlignedRect());
        else
            shown_ = QImage();
    }
}

void SurfaceView::rememberShown(const QRect &physical)
{
    const QImage &now = surface_.image();
    if (shown_.size() != now.size() || shown_.format() != now.format()) {
        // Only a whole picture can start the record; a part would leave the rest unknown.
        if (physical != now.rect() && !physical.contains(now.rect())) {
            shown_ = QImage();
            return;
        }
        shown_ = QImage(now.size(), now.format());
    }
    const QRect r = physical.intersected(now.rect());
    const auto bytes = static_cast<std::size_t>(r.width()) * sizeof(std::uint32_t);
    for (int y = r.top(); y <= r.bottom(); ++y)
        std::memcpy(reinterpret_cast<std::uint32_t *>(shown_.scanLine(y)) + r.left(),
                    reinterpret_cast<const std::uint32_t *>(now.constScanLine(y)) + r.left(), bytes);
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
