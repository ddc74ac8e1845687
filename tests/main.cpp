#include <QApplication>
#include <gtest/gtest.h>

// The tests run on a real Qt event loop (offscreen), as the program does.
int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
