#pragma once

#include "platform/Surface.h"

#include <QImage>
#include <QRegion>
#include <QWidget>

#include <initializer_list>

namespace vx {

// Shows a Surface; the surface is the widget's only content.
class SurfaceView : public QWidget {
    Q_OBJECT
public:
    explicit SurfaceView(QWidget *parent = nullptr);

    Surface &surface() { return surface_; }
    const Surface &surface() const { return surface_; }

    // Places the widget and sizes its image at once, shown or not.
    void moveTo(int left, int top, int width, int height);
    // Repaints now when shown (a hidden view has nothing on screen to repaint); never fails.
    // Only the pixels that differ from the picture on screen are sent.
    bool refresh();
    // The same for views of one window, all in one paint: one trip to the display server, not one each.
    static void refresh(std::initializer_list<SurfaceView *> views);
    // The part of the view (its own coordinates) whose image differs from what it last painted.
    QRegion changedRegion() const;

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    void syncPixelRatio();
    // Keeps the record of the screen in step with a paint of this part of the image.
    void rememberShown(const QRect &physical);
    Surface surface_;
    // What the last paint put on screen, at the image's size; null until the first paint.
    QImage shown_;
    bool presenting_ = false;
};

} // namespace vx
