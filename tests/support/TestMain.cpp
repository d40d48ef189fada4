// The main of every engine and platform test program: the sandbox first, then the Qt
// application object, then the tests.
#include "tests/support/TestEnvironment.h"

#include <QCoreApplication>

#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    testing_support::TTestEnvironment::SetUp();
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    int result = RUN_ALL_TESTS();
    testing_support::TTestEnvironment::TearDown();
    return result;
}
