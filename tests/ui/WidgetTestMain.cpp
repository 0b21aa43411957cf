#include <QApplication>

#include <gtest/gtest.h>

// Widgets need a QApplication rather than the core one the other suites use. The tests never
// need a real display, and listing them for CTest happens without the suite's environment.
int main(int argc, char **argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
