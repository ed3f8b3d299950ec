#pragma once

#include <QScrollBar>

namespace vx {

// A scroll bar that shows when it has the keyboard focus, which the toolkit's styles leave out.
class MarkedScrollBar : public QScrollBar {
    Q_OBJECT
public:
    using QScrollBar::QScrollBar;

protected:
    void paintEvent(QPaintEvent *event) override;
};

} // namespace vx
