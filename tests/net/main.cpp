#include <gtest/gtest.h>

#include <QCoreApplication>

// The client and the fake servers share this thread's event loop.
int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
