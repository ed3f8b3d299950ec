#include "fake/FakePlatform.h"

#include <QApplication>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QWidget>

#include <algorithm>
#include <cstdlib>

namespace vx::test {

namespace {
constexpr std::uint64_t tickStepUs = 15'625;
}

bool RecordingSound::play(const QString &fileName, unsigned flags)
{
    const bool started = !allMissing && std::find(missing.begin(), missing.end(), fileName) == missing.end();
    requests.push_back({fileName, flags, clock ? clock() : 0u, started});
    return started;
}

std::vector<QString> RecordingSound::names() const
{
    std::vector<QString> out;
    for (const auto &r : requests)
        out.push_back(r.name);
    return out;
}

int RecordingSound::count(const QString &name) const
{
    return static_cast<int>(std::count_if(requests.begin(), requests.end(), [&](const auto &r) { return r.name == name; }));
}

std::uint32_t fakeTicks(std::uint32_t base, std::uint64_t micros)
{
    const std::uint64_t steps = micros / tickStepUs;
    return base + static_cast<std::uint32_t>(steps * 125 / 8);
}

FakePlatform::FakePlatform(std::uint32_t startTick)
    : micros_(0)
    , base_(startTick)
{
    sound_.clock = [this] { return tickCount(); };
}

std::uint32_t FakePlatform::tickCount()
{
    return fakeTicks(base_, micros_);
}

void FakePlatform::wait(std::uint64_t until)
{
    if (until <= micros_)
        return;
    if (until - micros_ < tickStepUs) {
        micros_ = until;
        return;
    }
    // Step to each scripted moment inside the wait: keys and clicks are posted and held back,
    // close requests and calls happen there and then.
    while (!script_.empty()) {
        std::uint64_t at = micros_;
        while (tickDiff(script_.front().at, fakeTicks(base_, at)) > 0 && at < until)
            at = (at / tickStepUs + 1) * tickStepUs;
        if (at >= until)
            break;
        micros_ = at;
        deliverDue();
        heldInput_.dispatchQuietly();
    }
    micros_ = until;
}

void FakePlatform::sleep(int ms)
{
    ++sleeps;
    if (ms > 0)
        wait(micros_ + static_cast<std::uint64_t>(ms) * 1000);
}

void FakePlatform::waitUntil(std::uint32_t tick)
{
    std::uint64_t until = micros_;
    while (tickDiff(tick, fakeTicks(base_, until)) > 0)
        until = (until / tickStepUs + 1) * tickStepUs;
    wait(until);
}

void FakePlatform::deliverDue()
{
    const std::uint32_t now = tickCount();
    while (!script_.empty() && tickDiff(now, script_.front().at) >= 0) {
        const ScriptItem item = script_.front();
        script_.pop_front();
        deliver(item);
    }
}

void FakePlatform::doEvents()
{
    ++yields;
    micros_ += tickStepUs;
    if (onYield)
        onYield();
    heldInput_.release();
    deliverDue();
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

void FakePlatform::answerWindowSystem()
{
    if (onAnswer)
        onAnswer();
    deliverDue();
    heldInput_.syncQuietly();
}

void FakePlatform::deliver(const ScriptItem &item)
{
    QWidget *focus = QApplication::focusWidget();
    QWidget *keyTarget = focus && target && focus->window() == target ? focus : target;
    switch (item.kind) {
    case ScriptItem::Kind::Text:
        for (const uint c : item.text.toUcs4()) {
            const char32_t ch = c;
            const QString s = QString::fromUcs4(&ch, 1);
            const int key = s.size() == 1 && s[0].isLetterOrNumber() ? s[0].toUpper().unicode() : 0;
            QCoreApplication::postEvent(keyTarget, new QKeyEvent(QEvent::KeyPress, key, Qt::NoModifier, s));
            QCoreApplication::postEvent(keyTarget, new QKeyEvent(QEvent::KeyRelease, key, Qt::NoModifier, s));
        }
        break;
    case ScriptItem::Kind::Key: {
        const QString text = item.key == Qt::Key_Escape ? QStringLiteral("\x1b") : QString();
        QCoreApplication::postEvent(keyTarget, new QKeyEvent(QEvent::KeyPress, item.key, Qt::NoModifier, text));
        QCoreApplication::postEvent(keyTarget, new QKeyEvent(QEvent::KeyRelease, item.key, Qt::NoModifier, text));
        break;
    }
    case ScriptItem::Kind::Click: {
        QWidget *w = target ? target->findChild<QWidget *>(item.text) : nullptr;
        if (!w)
            break;
        const QPointF at(w->width() / 2.0, w->height() / 2.0);
        const QPointF global = w->mapToGlobal(at);
        QCoreApplication::postEvent(w, new QMouseEvent(QEvent::MouseButtonPress, at, global, Qt::LeftButton,
                                                       Qt::LeftButton, Qt::NoModifier));
        QCoreApplication::postEvent(w, new QMouseEvent(QEvent::MouseButtonRelease, at, global, Qt::LeftButton,
                                                       Qt::NoButton, Qt::NoModifier));
        break;
    }
    case ScriptItem::Kind::Close:
        if (target)
            QCoreApplication::postEvent(target, new QCloseEvent);
        break;
    case ScriptItem::Kind::Call:
        if (item.call)
            item.call();
        break;
    }
}

void FakePlatform::randomize(double seed)
{
    lastSeed = seed;
    rng_.seed(static_cast<std::uint64_t>(seed) + 1);
}

double FakePlatform::nextRandom()
{
    if (randomOverride)
        return randomOverride();
    return static_cast<double>(rng_() >> 11) * 0x1p-53;
}

QDateTime FakePlatform::now()
{
    return clockTime.addMSecs(static_cast<qint64>(micros_ / 1000));
}

void FakePlatform::end()
{
    std::_Exit(0);
}

namespace {
void insertSorted(std::deque<ScriptItem> &script, ScriptItem item)
{
    const auto at = std::upper_bound(script.begin(), script.end(), item,
                                     [](const ScriptItem &a, const ScriptItem &b) { return tickDiff(b.at, a.at) > 0; });
    script.insert(at, std::move(item));
}
} // namespace

void FakePlatform::typeAt(std::uint32_t tick, const QString &text)
{
    insertSorted(script_, {tick, ScriptItem::Kind::Text, text, 0, {}});
}

void FakePlatform::keyAt(std::uint32_t tick, int qtKey)
{
    insertSorted(script_, {tick, ScriptItem::Kind::Key, {}, qtKey, {}});
}

void FakePlatform::clickAt(std::uint32_t tick, const QString &objectName)
{
    insertSorted(script_, {tick, ScriptItem::Kind::Click, objectName, 0, {}});
}

void FakePlatform::closeAt(std::uint32_t tick)
{
    insertSorted(script_, {tick, ScriptItem::Kind::Close, {}, 0, {}});
}

void FakePlatform::callAt(std::uint32_t tick, std::function<void()> call)
{
    insertSorted(script_, {tick, ScriptItem::Kind::Call, {}, 0, std::move(call)});
}

} // namespace vx::test
