#pragma once

#include "platform/FileTime.h"

#include <cstdint>
#include <string>

namespace platform {

// What a file's properties window shows of it: size, the three times, the permission bits
// and the owner, as the file system says now (through a symbolic link, of what it leads to).
struct TFileDetails {
    std::int64_t Size = 0;
    // st_mode: the kind and the permission bits.
    std::uint32_t Mode = 0;
    // The birth time where the file system keeps one; else HasCreationTime is false.
    TFileTime CreationTime;
    bool HasCreationTime = false;
    TFileTime LastWriteTime;
    TFileTime LastAccessTime;
    std::uint32_t Uid = 0;
    std::uint32_t Gid = 0;
    // The user's and the group's names, or their numbers where the system knows no name.
    std::string OwnerName;
    std::string GroupName;
};

// Looks the file up. 0 or the errno code.
int GetFileDetails(const std::string& path, TFileDetails& out);

// The permission bits as "ls -l" shows them after the kind: "rw-r--r--", with s, S, t and T
// for the set-user, set-group and sticky bits.
std::string PermissionText(std::uint32_t mode);

} // namespace platform
