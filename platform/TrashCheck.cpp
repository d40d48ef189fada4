#include "platform/TrashCheck.h"

#include "platform/PathText.h"
#include "platform/SysCalls.h"
#include "platform/Trash.h"

#include <cerrno>
#include <unistd.h>

namespace platform {

bool CanTrash(const std::string& path)
{
    struct statx item { };
    if (path.empty() ||
        Sys().Statx(AT_FDCWD, path.c_str(), AT_SYMLINK_NOFOLLOW, STATX_TYPE, &item) != 0) {
        return false;
    }
    std::string trashFolder;
    if (FindTrashFolder(path, trashFolder)) {
        return false;
    }
    // The first of files/, the trash folder and the folders above it that exists decides:
    // the trashed file is renamed into files/, or that folder is made below it.
    std::string folder = trashFolder + "files";
    for (;;) {
        struct statx info { };
        if (Sys().Statx(AT_FDCWD, folder.c_str(), 0, STATX_TYPE, &info) == 0) {
            return S_ISDIR(info.stx_mode) && Sys().Access(folder.c_str(), W_OK | X_OK) == 0;
        }
        if (errno != ENOENT) {
            return false;
        }
        std::string parent = ParentFolder(folder);
        if (parent == folder || parent == ".") {
            return false;
        }
        folder = parent;
    }
}

} // namespace platform
