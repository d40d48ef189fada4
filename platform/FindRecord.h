#pragma once

#include "platform/FileTime.h"

#include <cstdint>
#include <string>

namespace platform {

// File attribute bits of a find record, with the values the program stores.
enum : std::uint32_t {
    faReadOnly = 0x0001,     // the user may not write the file
    faHidden = 0x0002,       // the name starts with "."
    faSystem = 0x0004,       // never set on Linux
    faDirectory = 0x0010,    // a folder, or a symbolic link to one
    faArchive = 0x0020,      // a regular file
    faReparsePoint = 0x0400, // a symbolic link
};

// What a directory listing reports of one entry.
enum class TEntryKind : std::uint8_t {
    ekRegular,   // a regular file (or a link to one, where links are reported)
    ekDirectory, // a folder, or a symbolic link to a folder
    ekOther,     // FIFO, socket, device, dangling link: never reported as a file
};

// One entry of a directory listing: the name's bytes as the file system gives them, the
// 64-bit size, the attributes and the three file times. Creation time is the birth time
// where the file system keeps one, else the last-write time (never zero for a real file).
struct TFindRecord {
    std::string Name;
    std::int64_t Size = 0;
    std::uint32_t Attributes = 0;
    TFileTime CreationTime;
    TFileTime LastAccessTime;
    TFileTime LastWriteTime;
    TEntryKind Kind = TEntryKind::ekOther;
    // Identity of what the entry leads to (the link's target for a followed link), so a
    // walk can visit every folder once whatever links or bind mounts lead to it.
    std::uint64_t Device = 0;
    std::uint64_t Inode = 0;

    bool IsDirectory() const { return Kind == TEntryKind::ekDirectory; }
    bool IsRegularFile() const { return Kind == TEntryKind::ekRegular; }
    bool IsSymbolicLink() const { return (Attributes & faReparsePoint) != 0; }
};

} // namespace platform
