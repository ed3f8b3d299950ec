#pragma once

#include <QScrollBar>
#include <QStyle>
#include <QStyleOptionSlider>

namespace vx::test {

// Where a part (arrow, track, thumb) of a horizontal scroll bar lies, as its style draws it.
inline QRect scrollBarPart(const QScrollBar &bar, QStyle::SubControl part)
{
    QStyleOptionSlider opt;
    opt.initFrom(&bar);
    opt.subControls = QStyle::SC_All;
    opt.orientation = bar.orientation();
    if (bar.orientation() == Qt::Horizontal)
        opt.state |= QStyle::State_Horizontal;
    opt.minimum = bar.minimum();
    opt.maximum = bar.maximum();
    opt.sliderPosition = bar.sliderPosition();
    opt.sliderValue = bar.value();
    opt.singleStep = bar.singleStep();
    opt.pageStep = bar.pageStep();
    return bar.style()->subControlRect(QStyle::CC_ScrollBar, &opt, part, &bar);
}

} // namespace vx::test
