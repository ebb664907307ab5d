#include <gtest/gtest.h>

#include <QApplication>

// The window's tests run on Qt's offscreen platform: no display, no X11 connection.
int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
