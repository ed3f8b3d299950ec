#include "present/Fonts.h"

#include <QApplication>

#include <gtest/gtest.h>

#include <cstdlib>

int main(int argc, char **argv)
{
    // Headless unless a test run says otherwise.
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    setenv("SDL_AUDIODRIVER", "dummy", 0);
    ::testing::InitGoogleTest(&argc, argv);
    QApplication app(argc, argv);
    vx::installFontSubstitutions();
    return RUN_ALL_TESTS();
}
