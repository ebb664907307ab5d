#include <QApplication>

#include <gtest/gtest.h>

int main(int argc, char* argv[])
{
    // Silent and in real time; the tests that record the output choose their own.
    if (!qEnvironmentVariableIsSet("HORCHPULT_AO"))
        qputenv("HORCHPULT_AO", "null");
    QApplication application(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
