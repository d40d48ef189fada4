#include "platform/Version.h"

#ifndef PAIRLOOM_VERSION_TEXT
#define PAIRLOOM_VERSION_TEXT "1.0.0.0"
#endif

namespace platform {

std::string GetAppVersionText()
{
    return PAIRLOOM_VERSION_TEXT;
}

} // namespace platform
