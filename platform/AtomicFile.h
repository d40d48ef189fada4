#pragma once

#include "platform/SysCalls.h"
#include "platform/SysError.h"

#include <sys/types.h>

#include <string>
#include <string_view>

namespace platform {

// Replaces a file's whole content in one step, so that a failure at any point leaves the old
// file as it was and a crash never leaves half a file: the data goes into a new file beside
// the target (a random name in the same folder, created exclusively), is flushed to the disk,
// and is renamed over the target; then the folder is flushed, so the rename lasts too. On
// failure the new file is removed and the error returned.
//
// A symbolic link is followed: the file it leads to is replaced, the link stays a link. The new
// file keeps the permission bits of the file it replaces; a file made anew gets newMode (less
// the umask). kept, when given, holds the new file open (read and write) afterwards.
//
// Serves every writer of whole files: the registry store, the project file and the exports.
TSysError ReplaceFileAtomically(const std::string& path, std::string_view data,
    mode_t newMode = 0666, TUniqueFd* kept = nullptr);

} // namespace platform
