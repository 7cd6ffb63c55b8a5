// The main of every test program: a widget application on the offscreen platform, then the tests.
#include "TestApplication.h"

#include <QApplication>
#include <gtest/gtest.h>

int main(int argc, char* argv[])
{
    tolvane::testing::silenceOffscreenPlatformWarnings();
    tolvane::testing::defaultToOffscreenPlatform();
    ::testing::InitGoogleTest(&argc, argv);
    QApplication application(argc, argv);
    return RUN_ALL_TESTS();
}
