// The QApplication lives on main's stack, so that it ends before Qt's own globals do.
#include <gtest/gtest.h>

#include <QApplication>

#include "programmer/gui/application_setup.h"

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    gui::setUpApplication(application);
    return RUN_ALL_TESTS();
}
