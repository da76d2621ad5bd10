// The tests run the real widgets on Qt's offscreen platform inside one application.
#include "ui/application.h"

#include <gtest/gtest.h>

#include <cstdlib>

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    ui::Application app(argc, argv);
    app.setApplicationName("vexolan");
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
