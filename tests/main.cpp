#include <QApplication>
#include <gtest/gtest.h>

// The tests run on a real Qt event loop (offscreen), as the program does.
int main(int argc, char **argv)
{
    // Listing the tests runs this program too, outside ctest's environment.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
