// The program's title names the 64-bit build, and only that one: the 32-bit build's title
// ends with the version. The build is told from the compiler's target, not from the
// program's own test of it.
#include "engine/SystemServices.h"
#include "engine/ZYGlobals.h"

#include <string>

#include <gtest/gtest.h>

TEST(ProductTitle, NamesTheSixtyFourBitBuildOnlyInThatBuild)
{
#if defined(__x86_64__) || defined(__aarch64__)
    const bool wide = true;
#elif defined(__i386__)
    const bool wide = false;
#else
#error "unknown target: say whether it is a 64-bit build"
#endif
    InitProductGlobals();
    EXPECT_EQ(Is32BitBuild(), !wide);
    EXPECT_EQ(ProductTitle, ProductName + " " + ProductVersion + (wide ? " (64-bit)" : ""));
    EXPECT_EQ(ProductTitle.find("64-bit") != std::string::npos, wide);
}
