#include "platform/Trash.h"
#include "platform/PathText.h"

#include "platform/FileOperations.h"
#include "platform/SpecialFolders.h"
#include "platform/SysCalls.h"
#include "platform/Volumes.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <limits.h>
#include <sys/sysmacros.h>
#include <vector>

namespace platform {

namespace {

constexpr const char* kInfoExtension = ".trashinfo";
// NAME, NAME.2, ... up to this many tries before the trash is taken for jammed.
constexpr int kMaxNameTries = 100000;

bool LookUp(const std::string& path, bool followLinks, struct statx& out)
{
    return Sys().Statx(AT_FDCWD, path.c_str(), followLinks ? 0 : AT_SYMLINK_NOFOLLOW,
               STATX_TYPE | STATX_MODE | STATX_UID | STATX_SIZE, &out) == 0;
}

std::uint64_t DeviceOf(const struct statx& info)
{
    return makedev(info.stx_dev_major, info.stx_dev_minor);
}

bool RealFolder(const std::string& path, std::string& out)
{
    char* resolved = Sys().RealPath(path.c_str());
    if (!resolved) {
        return false;
    }
    out = resolved;
    std::free(resolved);
    return true;
}

// The top folder of the file system that holds realFolder (a resolved path) and whose
// device is device, ending with "/": the mount point, or below it the highest folder still
// on that device (a subvolume that shows its own device without a mount of its own).
std::string TopFolderOf(const std::string& realFolder, std::uint64_t device)
{
    std::vector<TMountEntry> mounts;
    ReadMountTable(mounts);
    TMountEntry mount;
    std::string limit = FindMountOfFolder(mounts, realFolder, mount) ? mount.MountPoint : "/";
    std::string current = WithTrailingSlash(realFolder);
    while (current.size() > limit.size()) {
        std::string parent = WithTrailingSlash(ParentFolder(current));
        struct statx info { };
        if (!LookUp(parent, true, info) || DeviceOf(info) != device) {
            break;
        }
        current = parent;
    }
    return current;
}

// Whether folder is a folder of the user's own that is not a link; with create, a missing
// one is made for the user alone. 0 when it is (or, without create, may be made) usable.
int UsableOwnFolder(const std::string& folder, bool create, uid_t uid)
{
    struct statx info { };
    if (!LookUp(folder, false, info)) {
        if (errno != ENOENT) {
            return errno;
        }
        if (!create) {
            return 0;
        }
        if (Sys().Mkdir(folder.c_str(), 0700) == 0) {
            return 0;
        }
        if (errno != EEXIST || !LookUp(folder, false, info)) {
            return errno;
        }
    }
    if (!S_ISDIR(info.stx_mode)) {
        return ENOTDIR;
    }
    if (info.stx_uid != uid) {
        return EACCES;
    }
    return 0;
}

bool Exists(const std::string& path)
{
    struct statx info { };
    return LookUp(path, false, info);
}

// The trash at the top folder of a file system (topFolder ends with "/"). With create, the
// first usable place is made; without, an existing usable place is preferred, else the
// place that trashing would create.
int LocateTopTrash(const std::string& topFolder, bool create, std::string& trashFolder)
{
    uid_t uid = Sys().GetUid();
    std::string uidText = std::to_string(uid);
    std::vector<std::string> places;
    std::string shared = topFolder + ".Trash";
    struct statx info { };
    // A shared trash folder counts only when it is a real folder with the sticky bit, so no
    // user can take another's trash folder away or put a link in its place.
    if (LookUp(shared, false, info) && S_ISDIR(info.stx_mode) && (info.stx_mode & S_ISVTX)) {
        places.push_back(shared + "/" + uidText);
    }
    places.push_back(topFolder + ".Trash-" + uidText);

    if (!create) {
        for (const std::string& place : places) {
            if (Exists(place) && UsableOwnFolder(place, false, uid) == 0) {
                trashFolder = place + "/";
                return 0;
            }
        }
        trashFolder = places.front() + "/";
        return 0;
    }
    int error = 0;
    for (const std::string& place : places) {
        error = UsableOwnFolder(place, true, uid);
        if (error == 0) {
            trashFolder = place + "/";
            return 0;
        }
    }
    return error;
}

// The trash for an item in realFolder (resolved, without trailing "/") on device.
int LocateTrash(const std::string& realFolder, std::uint64_t device, bool create,
    std::string& trashFolder, std::string& topFolder)
{
    std::string fileTop = TopFolderOf(realFolder, device);
    std::string home = HomeTrashFolder();
    if (!home.empty()) {
        // The home trash may not exist yet: judge it by its nearest existing folder.
        std::string existing = WithoutTrailingSlashes(home);
        struct statx info { };
        while (!LookUp(existing, true, info) && existing != "/" && existing != ".") {
            existing = ParentFolder(existing);
        }
        std::string realExisting;
        if (LookUp(existing, true, info) && DeviceOf(info) == device &&
            RealFolder(existing, realExisting) && TopFolderOf(realExisting, device) == fileTop) {
            if (create) {
                // The trash holds the user's deleted files: for the user's eyes alone.
                if (int error = CreateFolders(ParentFolder(home))) {
                    return error;
                }
                std::string folder = WithoutTrailingSlashes(home);
                if (Sys().Mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
                    return errno;
                }
            }
            trashFolder = home;
            topFolder.clear();
            return 0;
        }
    }
    topFolder = fileTop;
    return LocateTopTrash(fileTop, create, trashFolder);
}

int MakeTrashSubfolders(const std::string& trashFolder)
{
    for (const char* sub : {"files", "info"}) {
        std::string folder = trashFolder + sub;
        if (Sys().Mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
            return errno;
        }
    }
    return 0;
}

// The local time as YYYY-MM-DDThh:mm:ss.
std::string DeletionDateText(std::time_t now)
{
    struct tm local { };
    if (!::localtime_r(&now, &local)) {
        return "1970-01-01T00:00:00";
    }
    char text[64];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d", local.tm_year + 1900,
        local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec);
    return text;
}

// The trash name for the try-th attempt: the name, then name.2, name.3 ...; cut short
// (never inside a UTF-8 sequence) so that the name with ".trashinfo" fits a file name.
std::string TrashName(const std::string& name, int attempt)
{
    std::string suffix = attempt == 1 ? std::string() : "." + std::to_string(attempt);
    std::size_t room = NAME_MAX - std::char_traits<char>::length(kInfoExtension);
    std::string stem = name;
    if (stem.size() + suffix.size() > room) {
        std::size_t cut = room - suffix.size();
        while (cut > 0 && (static_cast<unsigned char>(stem[cut]) & 0xC0) == 0x80) {
            --cut;
        }
        stem.resize(cut);
    }
    return stem + suffix;
}

// Writes the info file into the freshly created fd; closes it.
int WriteTrashInfo(TUniqueFd fd, const std::string& originalPath)
{
    std::string text = "[Trash Info]\nPath=" + PercentEncode(originalPath) +
        "\nDeletionDate=" + DeletionDateText(std::time(nullptr)) + "\n";
    if (int error = WriteAll(fd.Get(), text).Code) {
        return error;
    }
    if (Sys().Close(fd.Release()) != 0 && errno != EINTR) {
        return errno;
    }
    return 0;
}

// The resolved folder that holds path's item (or, for itemItself false and an existing
// folder, that folder itself) and the device of that item.
int ResolveItem(const std::string& path, bool itemItself, std::string& realFolder,
    std::string& name, std::uint64_t& device)
{
    std::string trimmed = WithoutTrailingSlashes(path);
    struct statx info { };
    if (!itemItself && LookUp(trimmed, true, info) && S_ISDIR(info.stx_mode)) {
        device = DeviceOf(info);
        name.clear();
        return RealFolder(trimmed, realFolder) ? 0 : errno;
    }
    std::size_t slash = trimmed.rfind('/');
    name = slash == std::string::npos ? trimmed : trimmed.substr(slash + 1);
    if (name.empty() || name == "." || name == ".." || trimmed == "/") {
        return EINVAL;
    }
    if (!LookUp(trimmed, false, info)) {
        return errno;
    }
    device = DeviceOf(info);
    return RealFolder(ParentFolder(trimmed), realFolder) ? 0 : errno;
}

// Counts the entries of folder (when count is given) and adds up the sizes of the regular
// files in it and its subfolders. A subfolder that cannot be read adds nothing.
int AddUpFolder(const std::string& folder, std::int64_t& size, std::int64_t* count)
{
    TUniqueFd fd(Sys().Open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW));
    if (!fd.Valid()) {
        return errno;
    }
    DIR* dir = Sys().FdOpenDir(fd.Get());
    if (!dir) {
        return errno;
    }
    fd.Release();
    std::vector<std::string> subfolders;
    int error = 0;
    for (;;) {
        errno = 0;
        struct dirent* entry = Sys().ReadDir(dir);
        if (!entry) {
            error = errno;
            break;
        }
        std::string name = entry->d_name;
        if (name == "." || name == "..") {
            continue;
        }
        if (count) {
            ++*count;
        }
        struct statx info { };
        if (Sys().Statx(::dirfd(dir), name.c_str(), AT_SYMLINK_NOFOLLOW, STATX_TYPE | STATX_SIZE,
                &info) != 0) {
            continue;
        }
        if (S_ISREG(info.stx_mode)) {
            size += static_cast<std::int64_t>(info.stx_size);
        } else if (S_ISDIR(info.stx_mode)) {
            subfolders.push_back(folder + "/" + name);
        }
    }
    Sys().CloseDir(dir);
    for (const std::string& subfolder : subfolders) {
        AddUpFolder(subfolder, size, nullptr);
    }
    return error;
}

} // namespace

std::string HomeTrashFolder()
{
    std::string dataHome = DataHome();
    if (dataHome.empty()) {
        return {};
    }
    return WithTrailingSlash(dataHome) + "Trash/";
}

int MoveToTrash(const std::string& path)
{
    std::string realFolder;
    std::string name;
    std::uint64_t device = 0;
    if (int error = ResolveItem(path, true, realFolder, name, device)) {
        return error;
    }
    std::string trashFolder;
    std::string topFolder;
    if (int error = LocateTrash(realFolder, device, true, trashFolder, topFolder)) {
        return error;
    }
    if (int error = MakeTrashSubfolders(trashFolder)) {
        return error;
    }
    std::string source = JoinPath(realFolder, name);
    // A top folder's trash keeps the path relative to that folder, so the file system may be
    // mounted elsewhere later.
    std::string original = source;
    if (!topFolder.empty() && source.compare(0, topFolder.size(), topFolder) == 0) {
        original = source.substr(topFolder.size());
    }

    for (int attempt = 1; attempt <= kMaxNameTries; ++attempt) {
        std::string trashName = TrashName(name, attempt);
        std::string infoPath = trashFolder + "info/" + trashName + kInfoExtension;
        TUniqueFd info(Sys().Open(infoPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOCTTY, 0600));
        if (!info.Valid()) {
            if (errno == EEXIST) {
                continue;
            }
            return errno;
        }
        if (int error = WriteTrashInfo(std::move(info), original)) {
            Sys().Unlink(infoPath.c_str());
            return error;
        }
        int error = RenameNoReplace(source, trashFolder + "files/" + trashName);
        if (error == 0) {
            return 0;
        }
        Sys().Unlink(infoPath.c_str());
        // A leftover entry in files/ without its info file: leave it, take the next name.
        if (error != EEXIST) {
            return error;
        }
    }
    return EEXIST;
}

TSysError FindTrashFolder(const std::string& path, std::string& trashFolder)
{
    trashFolder.clear();
    std::string realFolder;
    std::string name;
    std::uint64_t device = 0;
    if (int error = ResolveItem(path, false, realFolder, name, device)) {
        return {error};
    }
    std::string topFolder;
    return {LocateTrash(realFolder, device, false, trashFolder, topFolder)};
}

bool QueryRecycleBin(const std::string& path, std::int64_t& size, std::int64_t& count)
{
    size = 0;
    count = 0;
    std::string trashFolder;
    if (FindTrashFolder(path, trashFolder)) {
        return false;
    }
    std::int64_t bytes = 0;
    std::int64_t items = 0;
    int error = AddUpFolder(trashFolder + "files", bytes, &items);
    if (error == ENOENT) {
        return true;
    }
    if (error != 0) {
        return false;
    }
    size = bytes;
    count = items;
    return true;
}

std::int64_t GetRecycleBinCapacity(const std::string& path)
{
    TDiskSpace space;
    if (GetDiskSpace(path, space)) {
        return -1;
    }
    return space.TotalBytes;
}

} // namespace platform
