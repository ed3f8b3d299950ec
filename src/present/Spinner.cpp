#include "present/Spinner.h"

#include "present/MarkedScrollBar.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QStyleOptionButton>
#include <QStyleOption>

#include <algorithm>

namespace vx {

namespace {
constexpr int repeatDelayMs = 400;
constexpr int repeatIntervalMs = 60;
}

Spinner::Spinner(QWidget *parent)
    : QScrollBar(Qt::Vertical, parent)
{
    setFocusPolicy(Qt::TabFocus);
}

QRect Spinner::partRect(Part part) const
{
    const int upper = height() / 2;
    switch (part) {
    case Part::Up:
        return QRect(0, 0, width(), upper);
    case Part::Down:
        return QRect(0, upper, width(), height() - upper);
    case Part::None:
        break;
    }
    return {};
}

Spinner::Part Spinner::partAt(const QPoint &pos) const
{
    if (partRect(Part::Up).contains(pos))
        return Part::Up;
    if (partRect(Part::Down).contains(pos))
        return Part::Down;
    return Part::None;
}

void Spinner::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    for (Part part : {Part::Up, Part::Down}) {
        QStyleOptionButton button;
        button.initFrom(this);
        button.rect = partRect(part);
        const bool down = pressed_ == part && partAt(mapFromGlobal(QCursor::pos())) == part;
        button.state |= down ? QStyle::State_Sunken : QStyle::State_Raised;
        const bool atLimit = part == Part::Up ? value() <= minimum() : value() >= maximum();
        if (!isEnabled() || atLimit)
            button.state &= ~QStyle::State_Enabled;
        style()->drawPrimitive(QStyle::PE_PanelButtonBevel, &button, &p, this);

        // The style's arrow is a few pixels in so small a button: draw it as large as the button
        // allows, in the button text's colour, greyed at the limit it cannot pass.
        const QRectF r = QRectF(button.rect).adjusted(3, 2, -3, -2);
        const double h = std::min(r.height(), r.width() / 2);
        const double w = 2 * h;
        const QPointF c = r.center();
        QPainterPath arrow;
        const double tip = part == Part::Up ? c.y() - h / 2 : c.y() + h / 2;
        const double base = part == Part::Up ? c.y() + h / 2 : c.y() - h / 2;
        arrow.moveTo(c.x(), tip);
        arrow.lineTo(c.x() + w / 2, base);
        arrow.lineTo(c.x() - w / 2, base);
        arrow.closeSubpath();
        const QPalette::ColorGroup group = button.state & QStyle::State_Enabled ? QPalette::Active : QPalette::Disabled;
        p.fillPath(arrow, palette().color(group, QPalette::ButtonText));
    }
    if (hasFocus())
        drawFocusMark(p, *this);
}

void Spinner::mousePressEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton) {
        event->ignore();
        return;
    }
    pressed_ = partAt(event->position().toPoint());
    if (pressed_ == Part::None)
        return;
    const auto action = pressed_ == Part::Up ? SliderSingleStepSub : SliderSingleStepAdd;
    triggerAction(action);
    setRepeatAction(action, repeatDelayMs, repeatIntervalMs);
    update();
}

void Spinner::mouseMoveEvent(QMouseEvent *event)
{
    // Holding stops repeating while the pointer is off the pressed arrow.
    if (pressed_ == Part::None)
        return;
    const bool over = partAt(event->position().toPoint()) == pressed_;
    if (over && repeatAction() == SliderNoAction)
        setRepeatAction(pressed_ == Part::Up ? SliderSingleStepSub : SliderSingleStepAdd, repeatDelayMs,
                        repeatIntervalMs);
    else if (!over)
        setRepeatAction(SliderNoAction);
    update();
}

void Spinner::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton)
        return;
    letGo();
}

void Spinner::letGo()
{
    pressed_ = Part::None;
    setRepeatAction(SliderNoAction);
    update();
}

void Spinner::hideEvent(QHideEvent *event)
{
    QScrollBar::hideEvent(event);
    letGo();
}

void Spinner::changeEvent(QEvent *event)
{
    QScrollBar::changeEvent(event);
    if (event->type() == QEvent::EnabledChange && !isEnabled())
        letGo();
}

} // namespace vx
