#include "platform/DirList.h"

#include "platform/FileTime.h"
#include "platform/SysCalls.h"

#include <linux/magic.h>
#include <sys/statfs.h>
#include <sys/sysmacros.h>

#include <algorithm>
#include <cerrno>

namespace platform {

namespace {

// What a listing needs of an entry; the device comes with every answer.
constexpr unsigned EntryMask = STATX_TYPE | STATX_MODE | STATX_UID | STATX_GID | STATX_SIZE |
                               STATX_ATIME | STATX_MTIME | STATX_BTIME | STATX_INO;

TEntryKind KindOfMode(std::uint32_t mode)
{
    if (S_ISDIR(mode)) {
        return TEntryKind::ekDirectory;
    }
    if (S_ISREG(mode)) {
        return TEntryKind::ekRegular;
    }
    return TEntryKind::ekOther;
}

// Fills record from the entry name of the folder open as dirFd. False when the entry
// cannot be examined (it vanished meanwhile, or the folder may not be searched).
bool ExamineEntry(int dirFd, const char* name, const TCredentials& who, TFindRecord& record)
{
    struct statx own {};
    if (Sys().Statx(dirFd, name, AT_SYMLINK_NOFOLLOW | AT_NO_AUTOMOUNT, EntryMask, &own) != 0) {
        return false;
    }
    record.Name = name;
    record.Attributes = 0;

    // A link is described by what it leads to; a dangling link by itself.
    const struct statx* facts = &own;
    struct statx target {};
    if (S_ISLNK(own.stx_mode)) {
        record.Attributes |= faReparsePoint;
        if (Sys().Statx(dirFd, name, AT_NO_AUTOMOUNT, EntryMask, &target) == 0) {
            facts = &target;
            record.Kind = KindOfMode(target.stx_mode);
        } else {
            record.Kind = TEntryKind::ekOther;
        }
    } else {
        record.Kind = KindOfMode(own.stx_mode);
    }

    if (record.Kind == TEntryKind::ekDirectory) {
        record.Attributes |= faDirectory;
    }
    if (record.Kind == TEntryKind::ekRegular) {
        record.Attributes |= faArchive;
    }
    if (name[0] == '.') {
        record.Attributes |= faHidden;
    }
    if (!MayWrite(who, facts->stx_mode, facts->stx_uid, facts->stx_gid)) {
        record.Attributes |= faReadOnly;
    }

    record.Size = record.Kind == TEntryKind::ekRegular ? std::int64_t(facts->stx_size) : 0;
    record.LastWriteTime = FileTimeFromStatx(facts->stx_mtime);
    record.LastAccessTime = FileTimeFromStatx(facts->stx_atime);
    record.CreationTime = (facts->stx_mask & STATX_BTIME) != 0 ? FileTimeFromStatx(facts->stx_btime)
                                                                : record.LastWriteTime;
    record.Device = makedev(facts->stx_dev_major, facts->stx_dev_minor);
    record.Inode = facts->stx_ino;
    return true;
}

// A directory stream that closes itself (and with it the descriptor it took over).
class TDirStream {
public:
    explicit TDirStream(DIR* dir) : FDir(dir) {}
    ~TDirStream()
    {
        if (FDir) {
            Sys().CloseDir(FDir);
        }
    }
    TDirStream(const TDirStream&) = delete;
    TDirStream& operator=(const TDirStream&) = delete;
    DIR* Get() const { return FDir; }

private:
    DIR* FDir;
};

// Kernel file systems whose magic numbers <linux/magic.h> does not carry.
constexpr std::uint32_t ConfigFsMagic = 0x62656570;
constexpr std::uint32_t FuseCtlMagic = 0x65735543;
constexpr std::uint32_t MqueueMagic = 0x19800202;

} // namespace

TCredentials TCredentials::Current()
{
    TCredentials who;
    who.User = Sys().GetEuid();
    who.Group = Sys().GetEgid();
    int count = Sys().GetGroups(0, nullptr);
    if (count > 0) {
        who.Groups.resize(std::size_t(count));
        count = Sys().GetGroups(count, who.Groups.data());
        who.Groups.resize(count > 0 ? std::size_t(count) : 0);
    }
    return who;
}

bool MayWrite(const TCredentials& who, std::uint32_t mode, std::uint32_t ownerUid,
              std::uint32_t ownerGid)
{
    if (who.User == 0) {
        return true;
    }
    if (who.User == ownerUid) {
        return (mode & S_IWUSR) != 0;
    }
    if (who.Group == ownerGid ||
        std::find(who.Groups.begin(), who.Groups.end(), ownerGid) != who.Groups.end()) {
        return (mode & S_IWGRP) != 0;
    }
    return (mode & S_IWOTH) != 0;
}

TSysError ListDirectory(const std::string& folder, std::vector<TFindRecord>& out)
{
    out.clear();
    TUniqueFd fd(Sys().Open(folder.c_str(), O_RDONLY | O_DIRECTORY));
    if (!fd.Valid()) {
        return TSysError{errno};
    }
    int dirFd = fd.Get();
    TDirStream dir(Sys().FdOpenDir(dirFd));
    if (!dir.Get()) {
        return TSysError{errno};
    }
    fd.Release(); // the stream owns the descriptor now

    const TCredentials who = TCredentials::Current();
    TSysError result;
    for (;;) {
        errno = 0;
        const struct dirent* entry = Sys().ReadDir(dir.Get());
        if (!entry) {
            result.Code = errno;
            break;
        }
        const char* name = entry->d_name;
        if (name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'))) {
            continue;
        }
        TFindRecord record;
        if (ExamineEntry(dirFd, name, who, record)) {
            out.push_back(std::move(record));
        }
    }
    std::sort(out.begin(), out.end(),
              [](const TFindRecord& a, const TFindRecord& b) { return a.Name < b.Name; });
    return result;
}

TSysError GetFileIdentity(const std::string& path, bool followLinks, std::uint64_t& device,
                          std::uint64_t& inode)
{
    struct statx facts {};
    int flags = AT_NO_AUTOMOUNT | (followLinks ? 0 : AT_SYMLINK_NOFOLLOW);
    if (Sys().Statx(AT_FDCWD, path.c_str(), flags, STATX_INO, &facts) != 0) {
        return TSysError{errno};
    }
    device = makedev(facts.stx_dev_major, facts.stx_dev_minor);
    inode = facts.stx_ino;
    return {};
}

bool IsPseudoFileSystem(const std::string& folder)
{
    struct statfs facts {};
    if (Sys().Statfs(folder.c_str(), &facts) != 0) {
        return false;
    }
    switch (static_cast<std::uint32_t>(facts.f_type)) {
    case PROC_SUPER_MAGIC:
    case SYSFS_MAGIC:
    case DEVPTS_SUPER_MAGIC:
    case CGROUP_SUPER_MAGIC:
    case CGROUP2_SUPER_MAGIC:
    case DEBUGFS_MAGIC:
    case TRACEFS_MAGIC:
    case SECURITYFS_MAGIC:
    case PSTOREFS_MAGIC:
    case BPF_FS_MAGIC:
    case ConfigFsMagic:
    case FuseCtlMagic:
    case MqueueMagic:
    case HUGETLBFS_MAGIC:
    case AUTOFS_SUPER_MAGIC:
    case BINFMTFS_MAGIC:
    case EFIVARFS_MAGIC:
    case SELINUX_MAGIC:
        return true;
    default:
        return false;
    }
}

} // namespace platform
