#include "platform/FileDetails.h"

#include "platform/SysCalls.h"

#include <grp.h>
#include <pwd.h>

#include <cerrno>
#include <vector>

namespace platform {

namespace {

std::string UserName(uid_t uid)
{
    struct passwd entry { };
    struct passwd* result = nullptr;
    std::vector<char> buffer(16384);
    if (::getpwuid_r(uid, &entry, buffer.data(), buffer.size(), &result) == 0 && result &&
        result->pw_name) {
        return result->pw_name;
    }
    return std::to_string(uid);
}

std::string GroupNameOf(gid_t gid)
{
    struct group entry { };
    struct group* result = nullptr;
    std::vector<char> buffer(16384);
    if (::getgrgid_r(gid, &entry, buffer.data(), buffer.size(), &result) == 0 && result &&
        result->gr_name) {
        return result->gr_name;
    }
    return std::to_string(gid);
}

} // namespace

int GetFileDetails(const std::string& path, TFileDetails& out)
{
    out = TFileDetails();
    if (path.empty()) {
        return ENOENT;
    }
    struct statx info { };
    if (Sys().Statx(AT_FDCWD, path.c_str(), 0,
            STATX_TYPE | STATX_MODE | STATX_SIZE | STATX_UID | STATX_GID | STATX_ATIME |
                STATX_MTIME | STATX_BTIME,
            &info) != 0) {
        return errno;
    }
    out.Size = static_cast<std::int64_t>(info.stx_size);
    out.Mode = info.stx_mode;
    out.LastWriteTime = FileTimeFromStatx(info.stx_mtime);
    out.LastAccessTime = FileTimeFromStatx(info.stx_atime);
    out.HasCreationTime = (info.stx_mask & STATX_BTIME) != 0;
    if (out.HasCreationTime) {
        out.CreationTime = FileTimeFromStatx(info.stx_btime);
    }
    out.Uid = info.stx_uid;
    out.Gid = info.stx_gid;
    out.OwnerName = UserName(info.stx_uid);
    out.GroupName = GroupNameOf(info.stx_gid);
    return 0;
}

std::string PermissionText(std::uint32_t mode)
{
    std::string text = "---------";
    const char letters[] = "rwx";
    for (int bit = 0; bit < 9; ++bit) {
        if ((mode & (0400u >> bit)) != 0) {
            text[std::size_t(bit)] = letters[bit % 3];
        }
    }
    const auto special = [&text](std::size_t at, bool set, char withExecute, char without) {
        if (set) {
            text[at] = text[at] == 'x' ? withExecute : without;
        }
    };
    special(2, (mode & S_ISUID) != 0, 's', 'S');
    special(5, (mode & S_ISGID) != 0, 's', 'S');
    special(8, (mode & S_ISVTX) != 0, 't', 'T');
    return text;
}

} // namespace platform
