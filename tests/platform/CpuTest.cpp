#include "platform/Cpu.h"

#include <gtest/gtest.h>

#if defined(__x86_64__) || defined(__i386__)
// The compiler's own processor-feature table reads the same CPUID bit another way.
TEST(Cpu, Sse42AnswerAgreesWithTheCompilersFeatureTable)
{
    __builtin_cpu_init();
    EXPECT_EQ(platform::HasSse42(), __builtin_cpu_supports("sse4.2") != 0);
}
#endif
