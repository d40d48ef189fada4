#pragma once

#include <string>
#include <vector>

namespace platform {

// Starts a program with the given arguments, never through a shell: each argument reaches
// the program as one word, exactly as given, so a file name holding ";", "$(...)" or quotes
// runs nothing. A program name without "/" is looked up in PATH. With wait, returns once the
// program has ended; without, the program runs on and is reaped when it ends. True when the
// program was started.
bool StartProcess(const std::string& program, const std::vector<std::string>& args, bool wait);

} // namespace platform
