// The main of the toolkit and user-interface test programs: the sandbox first, then a
// QApplication on the offscreen platform, then the tests.
#include "tests/support/TestEnvironment.h"

#include <QApplication>

#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    testing_support::TTestEnvironment::SetUp();
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    int result = RUN_ALL_TESTS();
    testing_support::TTestEnvironment::TearDown();
    return result;
}
