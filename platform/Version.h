#pragma once

#include <string>

namespace platform {

// The program's file version as set in the build: four dot-separated numbers.
std::string GetAppVersionText();

// True in a 32-bit build.
constexpr bool Is32BitBuild()
{
    return sizeof(void*) == 4;
}

} // namespace platform
