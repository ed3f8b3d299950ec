#pragma once

#include "fake/FakePlatform.h"
#include "round/frmClackon.h"

#include <gtest/gtest.h>

#include <memory>

namespace vx::test {

// A main window on the fake platform, past its intro, ready for a round.
class GameFixture : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Plays the intro, as start-up does.
    void load();
    std::uint32_t now() { return pf.tickCount(); }
    // Shows the window with its settings, as after the intro, and lets the window system catch up.
    void showSettings();

    FakePlatform pf;
    std::unique_ptr<frmClackon> form;
};

} // namespace vx::test
