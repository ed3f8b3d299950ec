#include "present/Spinner.h"

#include <QMouseEvent>
#include <QPainter>
#include <QStyleOptionButton>
#include <QStyleOption>

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

        QStyleOption arrow;
        arrow.initFrom(this);
        arrow.rect = button.rect.adjusted(2, 2, -2, -2);
        arrow.state = button.state;
        style()->drawPrimitive(part == Part::Up ? QStyle::PE_IndicatorArrowUp : QStyle::PE_IndicatorArrowDown,
                               &arrow, &p, this);
    }
    if (hasFocus()) {
        QStyleOptionFocusRect focus;
        focus.initFrom(this);
        focus.rect = rect().adjusted(1, 1, -1, -1);
        style()->drawPrimitive(QStyle::PE_FrameFocusRect, &focus, &p, this);
    }
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
    pressed_ = Part::None;
    setRepeatAction(SliderNoAction);
    update();
}

} // namespace vx
