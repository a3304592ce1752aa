// The OLE DB window tests run on Qt's offscreen platform under the bench's application object;
// each test gives itself a fresh working directory, where the window's Options.ini lands.
#include "ui/Application.h"

#include <gtest/gtest.h>

#include <cstdlib>

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    TApplication application(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
