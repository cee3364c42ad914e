#include <gtest/gtest.h>

#include <QApplication>

#include "ui/application.h"

int main(int argc, char** argv) {
    // GUI tests run without a display unless one is asked for explicitly.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    ::testing::InitGoogleTest(&argc, argv);
    qv::ui::TApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
