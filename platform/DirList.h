#pragma once

#include "platform/FindRecord.h"
#include "platform/SysError.h"

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

namespace platform {

// Lists the entries of one folder (not "." and ".."), sorted in byte order of their names,
// so the same tree is listed the same way on every run and every file system.
//
// Each entry is examined without following it. A symbolic link carries faReparsePoint and
// is followed once more to learn what it leads to: a link to a folder is ekDirectory, a link
// to a file is ekRegular (the walk decides whether to take it), a dangling link is ekOther;
// size, times and (Device, Inode) are then those of the target. FIFOs, sockets and devices
// are ekOther. An entry that vanishes while the folder is listed is left out.
//
// On a failure to open or read the folder the error is returned; out then holds the entries
// read before the failure (none when the folder could not be opened).
TSysError ListDirectory(const std::string& folder, std::vector<TFindRecord>& out);

// The (device, inode) pair of a path, of the link itself or of what it leads to.
TSysError GetFileIdentity(const std::string& path, bool followLinks, std::uint64_t& device,
                          std::uint64_t& inode);

// True when the folder lies on a kernel pseudo file system (proc, sysfs, cgroup and the
// like) whose files are not data and whose reading can block or never end. False when the
// folder cannot be examined.
bool IsPseudoFileSystem(const std::string& folder);

// Who is asking: the effective user and all groups it belongs to.
struct TCredentials {
    uid_t User = 0;
    gid_t Group = 0;
    std::vector<gid_t> Groups;

    // The credentials of this process.
    static TCredentials Current();
};

// Whether the given user may write an entry of this mode and owner, from the permission
// bits alone: the owner's bits for the owner, else the group's for a member, else the
// others'. The superuser may write everything.
bool MayWrite(const TCredentials& who, std::uint32_t mode, std::uint32_t ownerUid,
              std::uint32_t ownerGid);

} // namespace platform
