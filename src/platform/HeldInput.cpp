#include "platform/HeldInput.h"

#include <QEvent>
#include <QGuiApplication>

namespace vx {

namespace {

// Input and everything that acts on it: keys (with their shortcut checks), pointer and touch,
// input methods. Hover and enter events come along; holding them only delays a highlight.
bool isHeldBack(const QEvent &event)
{
    switch (event.type()) {
    case QEvent::Shortcut:
    case QEvent::ShortcutOverride:
    case QEvent::InputMethod:
        return true;
    default:
        return event.isInputEvent();
    }
}

} // namespace

HeldInput::~HeldInput()
{
    if (quietDepth_ > 0 && QCoreApplication::instance())
        QCoreApplication::instance()->removeEventFilter(this);
}

// While alive, input reaching any object is held. Installed last, so it sees an event before any
// filter of the game does.
class HeldInput::Quiet {
public:
    explicit Quiet(HeldInput &owner)
        : owner_(owner)
    {
        if (owner_.quietDepth_++ == 0)
            QCoreApplication::instance()->installEventFilter(&owner_);
    }
    ~Quiet()
    {
        if (--owner_.quietDepth_ == 0)
            QCoreApplication::instance()->removeEventFilter(&owner_);
    }
    Quiet(const Quiet &) = delete;
    Quiet &operator=(const Quiet &) = delete;

private:
    HeldInput &owner_;
};

void HeldInput::dispatchQuietly(QEventLoop::ProcessEventsFlags flags)
{
    if (!QCoreApplication::instance())
        return;
    const Quiet quiet(*this);
    QCoreApplication::processEvents(flags & ~QEventLoop::ExcludeUserInputEvents);
}

void HeldInput::syncQuietly()
{
    if (!qobject_cast<QGuiApplication *>(QCoreApplication::instance())) {
        dispatchQuietly();
        return;
    }
    const Quiet quiet(*this);
    QGuiApplication::sync();
}

void HeldInput::release()
{
    while (!held_.empty()) {
        Held next = std::move(held_.front());
        held_.pop_front();
        if (next.receiver)
            QCoreApplication::sendEvent(next.receiver.data(), next.event.get());
    }
}

bool HeldInput::eventFilter(QObject *watched, QEvent *event)
{
    if (quietDepth_ == 0 || !isHeldBack(*event))
        return false;
    held_.push_back({watched, std::unique_ptr<QEvent>(event->clone())});
    return true;
}

} // namespace vx
