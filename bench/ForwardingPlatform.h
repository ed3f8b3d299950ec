#pragma once

#include "platform/Platform.h"

#include <cstdlib>

// A platform that hands everything to another; a benchmark overrides what it watches.
class ForwardingPlatform : public vx::Platform {
public:
    explicit ForwardingPlatform(vx::Platform &inner) : inner_(inner) {}

    std::uint32_t tickCount() override { return inner_.tickCount(); }
    void sleep(int ms) override { inner_.sleep(ms); }
    void waitUntil(std::uint32_t tick) override { inner_.waitUntil(tick); }
    void doEvents() override { inner_.doEvents(); }
    void answerWindowSystem() override { inner_.answerWindowSystem(); }
    void randomize(double seed) override { inner_.randomize(seed); }
    double nextRandom() override { return inner_.nextRandom(); }
    QDateTime now() override { return inner_.now(); }
    [[noreturn]] void end() override
    {
        inner_.end();
        std::_Exit(0);
    }
    void beep() override { inner_.beep(); }
    vx::SoundOutput &sound() override { return inner_.sound(); }

protected:
    vx::Platform &inner_;
};
