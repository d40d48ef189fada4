#pragma once

#include "platform/SysError.h"

#include <cstddef>
#include <string>

namespace platform {

class TReadOnlyFile;

// The one whole-file reader: reads an open file from its start to its end (also files whose
// reported size is 0, as /proc files are). A file longer than limit bytes gives EFBIG and no
// data. Returns the error, or a zero code with the content.
TSysError ReadWholeFile(TReadOnlyFile& file, std::string& data, std::size_t limit);
// The same for a path: opens it (a regular file only) and reads it whole.
TSysError ReadWholeFile(const std::string& path, std::string& data, std::size_t limit);

// A small text file whole (configuration files, /proc and /etc files): ReadWholeFile with a
// limit for text that small files hold.
TSysError ReadTextFile(const std::string& path, std::string& text,
                       std::size_t limit = 4 * 1024 * 1024);

} // namespace platform
