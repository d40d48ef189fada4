#pragma once

#include "platform/FileTime.h"

#include <cstdint>
#include <string>

namespace platform {

// What the file system says of one file at a moment: which file it is (device and inode),
// its kind, size and modification time. The file operations compare it with what a scan
// listed before they destroy anything, and with another file to tell two names of one file
// apart from two files.
struct TFileIdentity {
    std::uint64_t Device = 0;
    std::uint64_t Inode = 0;
    // st_mode: the kind and the permission bits.
    std::uint32_t Mode = 0;
    std::int64_t Size = 0;
    TFileTime LastWriteTime;

    bool IsRegularFile() const;
    bool IsSymbolicLink() const;
    bool IsFolder() const;
    // The same file: one device, one inode (hard links of one file share them).
    bool SameFile(const TFileIdentity& other) const
    {
        return Device == other.Device && Inode == other.Inode;
    }
};

// Looks path up: the link itself when followLinks is false, else what it leads to. 0 or the
// errno code.
int GetFileIdentity(const std::string& path, bool followLinks, TFileIdentity& out);

// The absolute path of path with every link, "." and ".." resolved (realpath), without a
// trailing "/" (the root stays "/"). 0 or the errno code.
int RealPath(const std::string& path, std::string& out);

// True when both paths name one entry of one folder: the same file under the same name in the
// same folder, reached through a folder link or a bind mount. Two hard links of one file are
// two entries; a path that cannot be looked up names no entry.
bool SameDirectoryEntry(const std::string& a, const std::string& b);

// Makes a symbolic link at path whose text is linkText; never replaces anything at path.
// 0 or the errno code (EEXIST when path is taken, EPERM where the file system has no links).
int CreateSymbolicLink(const std::string& linkText, const std::string& path);

// The text of a link placed in folder that leads to target, relative to that folder
// ("../photos/a.jpg"): "../" for each component of folder below the part the two share, then
// the rest of target. Both are absolute paths without links, "." or "..", as RealPath gives
// them; folder may end with "/".
std::string RelativeLinkText(const std::string& folder, const std::string& target);

} // namespace platform
