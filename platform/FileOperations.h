#pragma once

#include <string>

namespace platform {

// The operations the program performs on the user's files. None of them raises or shows
// anything: each returns 0 on success or an errno code, which FileOperationErrorText turns
// into the system's text. They share no state, so any number of threads may run them at
// once. Paths are bytes, used unchanged: a name need not be valid UTF-8.
//
// Nothing here ever replaces an existing file: a move or copy onto an existing target fails
// with EEXIST and leaves both files as they were.

// Deletes path: into the trash of its file system when toRecycleBin (see Trash.h; never
// deleted for good instead), else for good. A symbolic link is removed itself, never its
// target. Whether a file may be removed is decided by its folder's permissions on Linux; a
// read-only file is deleted like any other.
int DeleteFileOrRecycle(const std::string& path, bool toRecycleBin);

// Moves source to target (full file names), creating the target's missing folders. Across
// file systems the file is copied (content, mode and times), flushed to disk and its size
// checked, and only then is the source removed; when the source cannot be removed, the copy
// is removed again and that error returned.
int MoveFileTo(const std::string& source, const std::string& target);

// Copies the regular file source to target (full file names) with its mode and its
// modification and access times, creating the target's missing folders. A target left
// incomplete by any error (a full disk included) is removed again.
int CopyFileTo(const std::string& source, const std::string& target);

// The system's text for a code of the functions above ("File exists"); empty for 0.
std::string FileOperationErrorText(int code);

// Renames from to to unless to exists (EEXIST), atomically where the file system can.
int RenameNoReplace(const std::string& from, const std::string& to);

// Creates folder with all its missing parents (mode 0777 less the umask). 0 when it exists
// as a folder afterwards; ENOTDIR when a part of it is a file.
int CreateFolders(const std::string& folder);

} // namespace platform
