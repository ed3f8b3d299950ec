#include "present/MarkedScrollBar.h"

#include <QPainter>
#include <QStyleOptionFocusRect>

namespace vx {

void MarkedScrollBar::paintEvent(QPaintEvent *event)
{
    QScrollBar::paintEvent(event);
    if (!hasFocus())
        return;
    QPainter p(this);
    QStyleOptionFocusRect focus;
    focus.initFrom(this);
    focus.rect = rect().adjusted(1, 1, -1, -1);
    style()->drawPrimitive(QStyle::PE_FrameFocusRect, &focus, &p, this);
}

} // namespace vx
