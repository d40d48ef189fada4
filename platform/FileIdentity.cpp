#include "platform/FileIdentity.h"

#include "platform/PathText.h"
#include "platform/SysCalls.h"

#include <cerrno>
#include <cstdlib>
#include <sys/sysmacros.h>
#include <vector>

namespace platform {

namespace {

std::vector<std::string> Components(const std::string& path)
{
    std::vector<std::string> parts;
    std::size_t start = 0;
    while (start <= path.size()) {
        std::size_t slash = path.find('/', start);
        if (slash == std::string::npos) {
            slash = path.size();
        }
        if (slash > start) {
            parts.push_back(path.substr(start, slash - start));
        }
        start = slash + 1;
    }
    return parts;
}

std::string NameOf(const std::string& path)
{
    std::string trimmed = WithoutTrailingSlashes(path);
    std::size_t slash = trimmed.rfind('/');
    return slash == std::string::npos ? trimmed : trimmed.substr(slash + 1);
}

} // namespace

bool TFileIdentity::IsRegularFile() const
{
    return S_ISREG(Mode);
}

bool TFileIdentity::IsSymbolicLink() const
{
    return S_ISLNK(Mode);
}

bool TFileIdentity::IsFolder() const
{
    return S_ISDIR(Mode);
}

int GetFileIdentity(const std::string& path, bool followLinks, TFileIdentity& out)
{
    out = TFileIdentity();
    if (path.empty()) {
        return ENOENT;
    }
    struct statx info { };
    if (Sys().Statx(AT_FDCWD, path.c_str(), followLinks ? 0 : AT_SYMLINK_NOFOLLOW,
            STATX_TYPE | STATX_MODE | STATX_INO | STATX_SIZE | STATX_MTIME, &info) != 0) {
        return errno;
    }
    out.Device = makedev(info.stx_dev_major, info.stx_dev_minor);
    out.Inode = info.stx_ino;
    out.Mode = info.stx_mode;
    out.Size = static_cast<std::int64_t>(info.stx_size);
    out.LastWriteTime = FileTimeFromUnix(info.stx_mtime.tv_sec, info.stx_mtime.tv_nsec);
    return 0;
}

int RealPath(const std::string& path, std::string& out)
{
    out.clear();
    if (path.empty()) {
        return ENOENT;
    }
    char* resolved = Sys().RealPath(path.c_str());
    if (!resolved) {
        return errno;
    }
    out = resolved;
    std::free(resolved);
    return 0;
}

bool SameDirectoryEntry(const std::string& a, const std::string& b)
{
    TFileIdentity fileA;
    TFileIdentity fileB;
    if (GetFileIdentity(a, false, fileA) != 0 || GetFileIdentity(b, false, fileB) != 0 ||
        !fileA.SameFile(fileB) || NameOf(a) != NameOf(b)) {
        return false;
    }
    TFileIdentity folderA;
    TFileIdentity folderB;
    return GetFileIdentity(ParentFolder(a), true, folderA) == 0 &&
        GetFileIdentity(ParentFolder(b), true, folderB) == 0 && folderA.SameFile(folderB);
}

int CreateSymbolicLink(const std::string& linkText, const std::string& path)
{
    if (linkText.empty() || path.empty()) {
        return ENOENT;
    }
    if (Sys().Symlink(linkText.c_str(), path.c_str()) != 0) {
        return errno;
    }
    return 0;
}

std::string RelativeLinkText(const std::string& folder, const std::string& target)
{
    std::vector<std::string> from = Components(folder);
    std::vector<std::string> to = Components(target);
    std::size_t shared = 0;
    while (shared < from.size() && shared + 1 < to.size() && from[shared] == to[shared]) {
        ++shared;
    }
    std::string text;
    for (std::size_t up = shared; up < from.size(); ++up) {
        text += "../";
    }
    for (std::size_t down = shared; down < to.size(); ++down) {
        text += to[down];
        if (down + 1 < to.size()) {
            text += '/';
        }
    }
    return text;
}

} // namespace platform
