#include "platform/Version.h"

#include <ctime>
#include <sys/types.h>

// Sizes, offsets and times of files need 64 bits in the 32-bit build as well: the build sets
// _FILE_OFFSET_BITS=64 and _TIME_BITS=64 for that, and a build without them stops here.
static_assert(sizeof(off_t) == 8, "off_t must be 64-bit: build with _FILE_OFFSET_BITS=64");
static_assert(sizeof(std::time_t) == 8, "time_t must be 64-bit: build with _TIME_BITS=64");

#ifndef PAIRLOOM_VERSION_TEXT
#define PAIRLOOM_VERSION_TEXT "1.0.0.0"
#endif

namespace platform {

std::string GetAppVersionText()
{
    return PAIRLOOM_VERSION_TEXT;
}

} // namespace platform
