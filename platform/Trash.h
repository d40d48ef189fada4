#pragma once

#include "platform/SysError.h"

#include <cstdint>
#include <string>

namespace platform {

// The trash as the freedesktop.org Trash specification lays it out: a trash folder holds
// files/ (the trashed files under their trash names) and info/ (one NAME.trashinfo per
// trashed file, telling where it came from and when it was trashed).
//
// A file goes to the home trash ($XDG_DATA_HOME/Trash, by default ~/.local/share/Trash)
// when it lies on the same mounted file system; else to the trash at the top folder of its
// own file system: $topdir/.Trash/$uid when $topdir/.Trash is a real folder with the sticky
// bit (not a link), else $topdir/.Trash-$uid, created for the user alone. Trashing is always
// a rename: a file is never copied to another file system and never deleted for good in
// place of trashing; where neither works the error is returned. All of this is safe on many
// threads at once.

// Moves path (a file, a link itself or a folder) into its trash. The trash name is reserved
// by creating info/NAME.trashinfo exclusively (NAME, NAME.2, NAME.3 ... on a clash), so
// same-named files trashed at the same time all keep their own entry; a name too long for
// the info file is shortened. Returns 0 or an errno code; on failure the file stays where
// it was and no info file is left behind.
int MoveToTrash(const std::string& path);

// The home trash folder, ending with "/"; empty when no home folder is known.
std::string HomeTrashFolder();

// The trash folder (ending with "/") that path would be trashed into, or, for an existing
// folder, that its files would go to. Nothing is created: the folder may not exist yet.
TSysError FindTrashFolder(const std::string& path, std::string& trashFolder);

// The bytes and the number of items now in the trash that path belongs to, counted from its
// files/ folder (items are its entries; bytes are the sizes of the regular files in them,
// folders counted through). A trash that does not exist yet is empty. False, with zeros,
// when the trash cannot be found or its files/ folder cannot be read.
bool QueryRecycleBin(const std::string& path, std::int64_t& size, std::int64_t& count);

// The most bytes the trash of path may hold: trashing is a rename that takes no space, so
// this is the size of the file system that holds both. -1 when it cannot be read.
std::int64_t GetRecycleBinCapacity(const std::string& path);

} // namespace platform
