#pragma once

#include "platform/SysError.h"

#include <cstddef>
#include <string>

namespace platform {

// Reads a small text file whole (configuration files, /proc and /etc files, whose reported
// size may be 0), at most limit bytes. Returns the error, or a zero code with the text.
TSysError ReadTextFile(const std::string& path, std::string& text,
                       std::size_t limit = 4 * 1024 * 1024);

} // namespace platform
