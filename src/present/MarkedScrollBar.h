#pragma once

#include <QScrollBar>

class QPainter;

namespace vx {

// A plain, clearly visible frame around a control with the keyboard focus, in the highlight colour:
// the styles' own marks are too faint on controls as small as these.
void drawFocusMark(QPainter &painter, const QWidget &widget);

// A scroll bar that shows when it has the keyboard focus, which the toolkit's styles leave out.
class MarkedScrollBar : public QScrollBar {
    Q_OBJECT
public:
    using QScrollBar::QScrollBar;

protected:
    void paintEvent(QPaintEvent *event) override;
};

} // namespace vx
