#include <gtest/gtest.h>

#include <QApplication>
#include <QTemporaryDir>

#include "ui/application.h"

int main(int argc, char** argv) {
    // GUI tests run without a display unless one is asked for explicitly.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    // Deleted tasks go to the desktop's trash: the tests' own, never the user's.
    QTemporaryDir data_home;
    qputenv("XDG_DATA_HOME", data_home.path().toUtf8());
    ::testing::InitGoogleTest(&argc, argv);
    qv::ui::TApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
