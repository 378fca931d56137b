#include <gtest/gtest.h>

#include <QCoreApplication>

// The clients under test and the bus's answers meet in this thread's event loop.
int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
