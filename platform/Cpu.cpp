#include "platform/Cpu.h"

#if defined(__x86_64__) || defined(__i386__)
#include <cpuid.h>
#endif

namespace platform {

bool HasSse42()
{
#if defined(__x86_64__) || defined(__i386__)
    // Leaf 1 reports the feature flags; SSE4.2 is bit 20 of ECX.
    unsigned eax = 0;
    unsigned ebx = 0;
    unsigned ecx = 0;
    unsigned edx = 0;
    if (__get_cpuid(1, &eax, &ebx, &ecx, &edx) == 0) {
        return false;
    }
    return (ecx & (1u << 20)) != 0;
#else
    return false;
#endif
}

} // namespace platform
