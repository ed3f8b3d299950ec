#pragma once

#include "platform/Surface.h"

#include <QWidget>

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
    bool refresh();

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    void syncPixelRatio();
    Surface surface_;
};

} // namespace vx
