#include "platform/FileOperations.h"
#include "platform/PathText.h"

#include "platform/SysCalls.h"
#include "platform/Trash.h"

#include <cerrno>
#include <cstdint>
#include <limits.h>
#include <stdio.h>
#include <system_error>
#include <vector>

namespace platform {

namespace {

// Bytes per copy_file_range call, and the buffer of the read-and-write loop.
constexpr std::size_t kRangeChunk = 64 * 1024 * 1024;
constexpr std::size_t kBufferSize = 1024 * 1024;

bool LookUp(const std::string& path, bool followLinks, struct statx& out)
{
    return Sys().Statx(AT_FDCWD, path.c_str(), followLinks ? 0 : AT_SYMLINK_NOFOLLOW,
               STATX_TYPE | STATX_MODE, &out) == 0;
}

bool IsFolder(const std::string& path)
{
    struct statx info { };
    return LookUp(path, true, info) && S_ISDIR(info.stx_mode);
}

bool IsUnsupported(int error)
{
    return error == EXDEV || error == EINVAL || error == ENOSYS || error == EOPNOTSUPP;
}

// A file system that holds no modes (FAT on a USB stick) refuses to change them; the copy is
// still good.
bool IsUnsupportedAttribute(int error)
{
    return error == EPERM || error == EOPNOTSUPP;
}

// Copies the bytes of in to out from the start, by copy_file_range where the file systems
// allow it (it may share the blocks instead of copying them), else by reading and writing.
// copied counts the bytes written.
int CopyBytes(int in, int out, std::int64_t expectedSize, std::int64_t& copied)
{
    copied = 0;
    bool byRange = true;
    while (byRange) {
        off_t inOffset = static_cast<off_t>(copied);
        off_t outOffset = static_cast<off_t>(copied);
        ssize_t count = Sys().CopyFileRange(in, &inOffset, out, &outOffset, kRangeChunk, 0);
        if (count > 0) {
            copied += count;
        } else if (count == 0) {
            if (copied >= expectedSize) {
                return 0;
            }
            // Some file systems report an early end here; the plain reads decide.
            byRange = false;
        } else if (errno == EINTR) {
            continue;
        } else if (IsUnsupported(errno)) {
            byRange = false;
        } else {
            return errno;
        }
    }

    std::vector<char> buffer(kBufferSize);
    for (;;) {
        ssize_t count = Sys().PRead(in, buffer.data(), buffer.size(), static_cast<off_t>(copied));
        if (count < 0) {
            if (errno == EINTR) {
                continue;
            }
            return errno;
        }
        if (count == 0) {
            return 0;
        }
        std::size_t done = 0;
        while (done < static_cast<std::size_t>(count)) {
            ssize_t written =
                Sys().PWrite(out, buffer.data() + done, static_cast<std::size_t>(count) - done,
                    static_cast<off_t>(copied) + static_cast<off_t>(done));
            if (written < 0) {
                if (errno == EINTR) {
                    continue;
                }
                return errno;
            }
            if (written == 0) {
                return EIO;
            }
            done += static_cast<std::size_t>(written);
        }
        copied += count;
    }
}

// Fills the freshly created out with the content, mode and times of in (described by
// source), and checks that the whole file arrived.
int FillCopy(int in, int out, const struct stat& source, bool flush)
{
    std::int64_t copied = 0;
    if (int error = CopyBytes(in, out, source.st_size, copied)) {
        return error;
    }
    struct stat sourceAfter { };
    struct stat written { };
    if (Sys().Fstat(in, &sourceAfter) != 0 || Sys().Fstat(out, &written) != 0) {
        return errno;
    }
    if (written.st_size != copied) {
        return EIO;
    }
    if (sourceAfter.st_size != copied || copied != source.st_size ||
        sourceAfter.st_mtim.tv_sec != source.st_mtim.tv_sec ||
        sourceAfter.st_mtim.tv_nsec != source.st_mtim.tv_nsec) {
        // The source changed while it was copied: the copy is not a copy of one state (nor of
        // the state whose mode and times it would get).
        return EAGAIN;
    }

    // The set-id bits stay only where the copy has the source's owner and group, as they
    // would otherwise grant another user's rights.
    mode_t mode = source.st_mode & 07777;
    if (written.st_uid != source.st_uid || written.st_gid != source.st_gid) {
        mode &= ~static_cast<mode_t>(S_ISUID | S_ISGID);
    }
    if (Sys().Fchmod(out, mode) != 0 && !IsUnsupportedAttribute(errno)) {
        return errno;
    }
    const struct timespec times[2] = {source.st_atim, source.st_mtim};
    if (Sys().Futimens(out, times) != 0 && !IsUnsupportedAttribute(errno)) {
        return errno;
    }
    if (flush && Sys().Fsync(out) != 0) {
        return errno;
    }
    return 0;
}

// Copies a regular file to a target that must not exist yet; removes its own incomplete
// target on any error. flush forces the copy to disk before success is reported.
int CopyRegularFile(const std::string& source, const std::string& target, bool flush)
{
    // O_NONBLOCK keeps a FIFO from blocking the open; it is refused below.
    TUniqueFd in(Sys().Open(source.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY));
    if (!in.Valid()) {
        return errno;
    }
    struct stat info { };
    if (Sys().Fstat(in.Get(), &info) != 0) {
        return errno;
    }
    if (S_ISDIR(info.st_mode)) {
        return EISDIR;
    }
    if (!S_ISREG(info.st_mode)) {
        return EINVAL;
    }
    if (int error = CreateFolders(ParentFolder(target))) {
        return error;
    }
    // Readable by the user alone until the content is complete and the mode is set.
    TUniqueFd out(Sys().Open(target.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOCTTY, 0600));
    if (!out.Valid()) {
        return errno;
    }
    int error = FillCopy(in.Get(), out.Get(), info, flush);
    if (error == 0 && Sys().Close(out.Release()) != 0 && errno != EINTR) {
        error = errno;
    }
    if (error != 0) {
        out.Reset();
        Sys().Unlink(target.c_str());
    }
    return error;
}

// Moves a symbolic link to another file system: the same link is made there, then the old
// one removed.
int MoveLinkAcross(const std::string& source, const std::string& target)
{
    std::vector<char> text(PATH_MAX + 1);
    ssize_t length = Sys().ReadLink(source.c_str(), text.data(), text.size());
    if (length < 0) {
        return errno;
    }
    if (static_cast<std::size_t>(length) >= text.size()) {
        return ENAMETOOLONG;
    }
    std::string linkText(text.data(), static_cast<std::size_t>(length));
    if (Sys().Symlink(linkText.c_str(), target.c_str()) != 0) {
        return errno;
    }
    if (Sys().Unlink(source.c_str()) != 0) {
        int error = errno;
        Sys().Unlink(target.c_str());
        return error;
    }
    return 0;
}

} // namespace

int DeleteFileOrRecycle(const std::string& path, bool toRecycleBin)
{
    if (toRecycleBin) {
        return MoveToTrash(path);
    }
    if (Sys().Unlink(path.c_str()) != 0) {
        return errno;
    }
    return 0;
}

int MoveFileTo(const std::string& source, const std::string& target)
{
    if (target.empty()) {
        return ENOENT;
    }
    struct statx info { };
    if (!LookUp(source, false, info)) {
        return errno;
    }
    if (int error = CreateFolders(ParentFolder(target))) {
        return error;
    }
    int error = RenameNoReplace(source, target);
    if (error != EXDEV) {
        return error;
    }
    if (S_ISLNK(info.stx_mode)) {
        return MoveLinkAcross(source, target);
    }
    if (!S_ISREG(info.stx_mode)) {
        return EXDEV;
    }
    if (int copyError = CopyRegularFile(source, target, true)) {
        return copyError;
    }
    if (Sys().Unlink(source.c_str()) != 0) {
        // The file must not end up in two places: the source stays, the copy goes.
        int unlinkError = errno;
        Sys().Unlink(target.c_str());
        return unlinkError;
    }
    return 0;
}

int CopyFileTo(const std::string& source, const std::string& target)
{
    if (target.empty()) {
        return ENOENT;
    }
    return CopyRegularFile(source, target, false);
}

std::string FileOperationErrorText(int code)
{
    if (code == 0) {
        return {};
    }
    std::string text = std::generic_category().message(code);
    while (
        !text.empty() && (static_cast<unsigned char>(text.back()) <= ' ' || text.back() == '.')) {
        text.pop_back();
    }
    return text;
}

int RenameNoReplace(const std::string& from, const std::string& to)
{
    if (Sys().Rename(from.c_str(), to.c_str(), RENAME_NOREPLACE) == 0) {
        return 0;
    }
    int error = errno;
    if (!IsUnsupported(error) || error == EXDEV) {
        return error;
    }
    // The file system cannot rename without replacing: a hard link refuses an existing name
    // just as atomically.
    if (Sys().Link(from.c_str(), to.c_str()) == 0) {
        if (Sys().Unlink(from.c_str()) == 0) {
            return 0;
        }
        int unlinkError = errno;
        Sys().Unlink(to.c_str());
        return unlinkError;
    }
    if (errno == EEXIST || errno == EXDEV) {
        return errno;
    }
    // No hard links either (a folder, a FAT file system): look, then rename.
    struct statx info { };
    if (LookUp(to, false, info)) {
        return EEXIST;
    }
    if (errno != ENOENT) {
        return errno;
    }
    if (Sys().Rename(from.c_str(), to.c_str(), 0) != 0) {
        return errno;
    }
    return 0;
}

int CreateFolders(const std::string& folder)
{
    if (folder.empty()) {
        return 0;
    }
    std::string path = WithoutTrailingSlashes(folder);
    if (Sys().Mkdir(path.c_str(), 0777) == 0) {
        return 0;
    }
    int error = errno;
    if (error == ENOENT) {
        std::string parent = ParentFolder(path);
        if (parent == path) {
            return ENOENT;
        }
        if (int parentError = CreateFolders(parent)) {
            return parentError;
        }
        if (Sys().Mkdir(path.c_str(), 0777) == 0) {
            return 0;
        }
        error = errno;
    }
    if (error == EEXIST) {
        // Another thread may have made it meanwhile; a file of that name is an error.
        return IsFolder(path) ? 0 : ENOTDIR;
    }
    return error;
}

} // namespace platform
