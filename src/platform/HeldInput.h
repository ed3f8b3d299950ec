#pragma once

#include <QEventLoop>
#include <QObject>
#include <QPointer>

#include <deque>
#include <memory>

namespace vx {

// Keeps a window answering while the game waits: what the window system itself asks for (paints,
// pings, close requests, timers) is dispatched at once, while keys, clicks and shortcuts are held
// back, in order, for the game's next real yield. So no handler of the game runs inside a wait,
// and yet the desktop never sees a hung window.
class HeldInput final : public QObject {
public:
    HeldInput() = default;
    ~HeldInput() override;

    // Dispatches pending events with input held back; with WaitForMoreEvents it blocks until
    // something arrives (a timer, a paint, a key to hold…).
    void dispatchQuietly(QEventLoop::ProcessEventsFlags flags = QEventLoop::AllEvents);
    // The same after a round trip to the window system, so that whatever it has already sent
    // (a close the player made a moment ago) is seen now.
    void syncQuietly();
    // Delivers what was held, oldest first; a handler that yields from inside continues the queue.
    void release();

    bool holding() const { return !held_.empty(); }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    class Quiet;
    struct Held {
        QPointer<QObject> receiver;
        std::unique_ptr<QEvent> event;
    };
    std::deque<Held> held_;
    int quietDepth_ = 0;
};

} // namespace vx
