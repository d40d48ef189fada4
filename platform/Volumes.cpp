#include "platform/Volumes.h"
#include "platform/PathText.h"

#include "platform/SysCalls.h"
#include "platform/TextFile.h"

#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <sys/sysmacros.h>

namespace platform {

namespace {

// The kernel writes blanks, tabs, new lines and backslashes in paths as "\" and three octal
// digits.
std::string DecodeOctalEscapes(const std::string& text)
{
    std::string decoded;
    decoded.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 3 < text.size()) {
            bool octal = true;
            int value = 0;
            for (std::size_t k = 1; k <= 3; ++k) {
                char digit = text[i + k];
                octal = octal && digit >= '0' && digit <= '7';
                value = value * 8 + (digit - '0');
            }
            if (octal && value < 256) {
                decoded += static_cast<char>(value);
                i += 3;
                continue;
            }
        }
        decoded += text[i];
    }
    return decoded;
}

std::vector<std::string> SplitOnBlanks(const std::string& line)
{
    std::vector<std::string> fields;
    std::size_t start = 0;
    while (start < line.size()) {
        std::size_t end = line.find(' ', start);
        if (end == std::string::npos) {
            end = line.size();
        }
        if (end > start) {
            fields.push_back(line.substr(start, end - start));
        }
        start = end + 1;
    }
    return fields;
}

bool ParseDevice(const std::string& text, std::uint64_t& device)
{
    std::size_t colon = text.find(':');
    if (colon == std::string::npos) {
        return false;
    }
    unsigned major = 0;
    unsigned minor = 0;
    const char* begin = text.data();
    const char* end = text.data() + text.size();
    auto first = std::from_chars(begin, begin + colon, major);
    auto second = std::from_chars(begin + colon + 1, end, minor);
    if (first.ec != std::errc() || first.ptr != begin + colon || second.ec != std::errc() ||
        second.ptr != end) {
        return false;
    }
    device = makedev(major, minor);
    return true;
}

} // namespace

std::vector<TMountEntry> ParseMountInfo(const std::string& text)
{
    std::vector<TMountEntry> entries;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) {
            end = text.size();
        }
        std::vector<std::string> fields = SplitOnBlanks(text.substr(start, end - start));
        start = end + 1;
        // id, parent id, major:minor, root, mount point, options, optional fields, "-",
        // file-system type, source, super options.
        std::size_t separator = 6;
        while (separator < fields.size() && fields[separator] != "-") {
            ++separator;
        }
        if (fields.size() < 6 || separator + 2 >= fields.size()) {
            continue;
        }
        TMountEntry entry;
        if (!ParseDevice(fields[2], entry.Device) || fields[4].empty() || fields[4][0] != '/') {
            continue;
        }
        entry.MountPoint = WithTrailingSlash(DecodeOctalEscapes(fields[4]));
        entry.FileSystemType = DecodeOctalEscapes(fields[separator + 1]);
        entry.Source = DecodeOctalEscapes(fields[separator + 2]);
        entries.push_back(std::move(entry));
    }
    return entries;
}

TSysError ReadMountTable(std::vector<TMountEntry>& out, const std::string& file)
{
    out.clear();
    std::string text;
    TSysError error = ReadTextFile(file, text);
    if (error) {
        return error;
    }
    out = ParseMountInfo(text);
    return {};
}

bool FindMountOfFolder(
    const std::vector<TMountEntry>& mounts, const std::string& folder, TMountEntry& out)
{
    std::string inside = WithTrailingSlash(folder);
    const TMountEntry* best = nullptr;
    for (const TMountEntry& entry : mounts) {
        if (inside.compare(0, entry.MountPoint.size(), entry.MountPoint) == 0 &&
            (!best || entry.MountPoint.size() >= best->MountPoint.size())) {
            best = &entry;
        }
    }
    if (!best) {
        return false;
    }
    out = *best;
    return true;
}

TSysError FindMountOf(const std::string& path, TMountEntry& out)
{
    char* resolved = Sys().RealPath(path.c_str());
    if (!resolved) {
        return {errno};
    }
    std::string folder = resolved;
    std::free(resolved);
    std::vector<TMountEntry> mounts;
    if (TSysError error = ReadMountTable(mounts)) {
        return error;
    }
    if (!FindMountOfFolder(mounts, folder, out)) {
        return {ENOENT};
    }
    return {};
}

std::string VolumeKeyOfDrive(const std::string& path)
{
    TMountEntry entry;
    if (FindMountOf(path, entry)) {
        return {};
    }
    return entry.MountPoint;
}

TSysError GetDiskSpace(const std::string& path, TDiskSpace& out)
{
    out = TDiskSpace();
    struct statvfs info { };
    if (Sys().Statvfs(path.c_str(), &info) != 0) {
        return {errno};
    }
    auto bytes = [&info](fsblkcnt_t blocks) {
        return static_cast<std::int64_t>(blocks) * static_cast<std::int64_t>(info.f_frsize);
    };
    out.TotalBytes = bytes(info.f_blocks);
    out.FreeBytes = bytes(info.f_bfree);
    out.AvailableBytes = bytes(info.f_bavail);
    return {};
}

} // namespace platform
