#pragma once

#include "platform/SysError.h"

#include <cstdint>
#include <string>
#include <vector>

namespace platform {

// One mounted file system as /proc/self/mountinfo lists it.
struct TMountEntry {
    // Where it is mounted, ending with "/" ("/" for the root).
    std::string MountPoint;
    // The device id (makedev of the listed major and minor numbers), as stat reports it for
    // the files of this mount.
    std::uint64_t Device = 0;
    std::string FileSystemType;
    std::string Source;
};

// The entries of a mountinfo text in the order listed (a later mount on the same point
// covers an earlier one). Malformed lines are left out. Octal escapes of the kernel
// ("\040" for a blank) are decoded.
std::vector<TMountEntry> ParseMountInfo(const std::string& text);

// Reads and parses the mount table of this process.
TSysError ReadMountTable(
    std::vector<TMountEntry>& out, const std::string& file = "/proc/self/mountinfo");

// The mount whose point is the longest whole-component prefix of folder (an absolute path
// without links; /data/ never holds /data2/); among mounts on the same point the last one
// listed. False when none matches.
bool FindMountOfFolder(
    const std::vector<TMountEntry>& mounts, const std::string& folder, TMountEntry& out);

// The mount that holds path (links in it resolved): ENOENT when the path does not exist.
TSysError FindMountOf(const std::string& path, TMountEntry& out);

// The key of the file system that holds path: its mount point, ending with "/". Two paths
// with the same key lie on one mounted file system. Empty when the path cannot be resolved
// or the mount table cannot be read.
std::string VolumeKeyOfDrive(const std::string& path);

// The size of the file system that holds path, in bytes.
struct TDiskSpace {
    std::int64_t TotalBytes = -1;
    // Free blocks, including those reserved for the administrator.
    std::int64_t FreeBytes = -1;
    // What an ordinary user may still write.
    std::int64_t AvailableBytes = -1;
};

TSysError GetDiskSpace(const std::string& path, TDiskSpace& out);

} // namespace platform
