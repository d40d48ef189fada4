#pragma once

#include <string>

namespace platform {

// Whether path (an existing file, or a link itself) can go to a trash on its own file system
// by a rename, as MoveToTrash does: the trash folder that FindTrashFolder names for it exists
// and the user may write to it, or the nearest folder above it that exists may be written to,
// so the trash can be made. Nothing is created. False when the file or its trash cannot be
// found, or the file system is read-only. A true answer is no promise: trashing may still fail,
// and that failure is reported, never turned into deleting for good.
bool CanTrash(const std::string& path);

} // namespace platform
