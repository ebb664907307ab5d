#include <gtest/gtest.h>

#include <QApplication>

// The window and its media-control service run on Qt's offscreen platform, the service on a
// message bus of each test's own.
int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
