#pragma once

#include <string>

// The user's Downloads folder with a trailing "/": the folder the XDG user directories
// configure, else the home folder followed by "Downloads/"; empty when no home folder is
// known.
std::string GetDownloadsFolder();
