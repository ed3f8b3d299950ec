#include "present/MarkedScrollBar.h"

#include <QPainter>
#include <QPen>

namespace vx {

void drawFocusMark(QPainter &painter, const QWidget &widget)
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setPen(QPen(widget.palette().color(QPalette::Active, QPalette::Highlight), 2));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(QRectF(widget.rect()).adjusted(1, 1, -1, -1));
    painter.restore();
}

void MarkedScrollBar::paintEvent(QPaintEvent *event)
{
    QScrollBar::paintEvent(event);
    if (!hasFocus())
        return;
    QPainter p(this);
    drawFocusMark(p, *this);
}

} // namespace vx
