#include "platform/SysCalls.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/statfs.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

namespace platform {

int TSysCalls::Open(const char* path, int flags, mode_t mode)
{
    int fd;
    do {
        fd = ::open(path, flags | O_CLOEXEC, mode);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

int TSysCalls::Close(int fd)
{
    return ::close(fd);
}

ssize_t TSysCalls::PRead(int fd, void* buffer, std::size_t count, off_t offset)
{
    return ::pread(fd, buffer, count, offset);
}

ssize_t TSysCalls::PWrite(int fd, const void* buffer, std::size_t count, off_t offset)
{
    return ::pwrite(fd, buffer, count, offset);
}

ssize_t TSysCalls::Write(int fd, const void* buffer, std::size_t count)
{
    return ::write(fd, buffer, count);
}

int TSysCalls::Fsync(int fd)
{
    return ::fsync(fd);
}

int TSysCalls::Statx(int dirfd, const char* path, int flags, unsigned mask, struct statx* out)
{
    return ::statx(dirfd, path, flags, mask, out);
}

int TSysCalls::Fstat(int fd, struct stat* out)
{
    return ::fstat(fd, out);
}

DIR* TSysCalls::FdOpenDir(int fd)
{
    return ::fdopendir(fd);
}

struct dirent* TSysCalls::ReadDir(DIR* dir)
{
    return ::readdir(dir);
}

int TSysCalls::CloseDir(DIR* dir)
{
    return ::closedir(dir);
}

int TSysCalls::Rename(const char* from, const char* to, unsigned flags)
{
    if (flags == 0) {
        return ::rename(from, to);
    }
    return ::renameat2(AT_FDCWD, from, AT_FDCWD, to, flags);
}

int TSysCalls::Unlink(const char* path)
{
    return ::unlink(path);
}

int TSysCalls::Rmdir(const char* path)
{
    return ::rmdir(path);
}

int TSysCalls::Mkdir(const char* path, mode_t mode)
{
    return ::mkdir(path, mode);
}

int TSysCalls::Symlink(const char* target, const char* path)
{
    return ::symlink(target, path);
}

ssize_t TSysCalls::ReadLink(const char* path, char* buffer, std::size_t size)
{
    return ::readlink(path, buffer, size);
}

int TSysCalls::Access(const char* path, int mode)
{
    return ::access(path, mode);
}

int TSysCalls::Fchmod(int fd, mode_t mode)
{
    return ::fchmod(fd, mode);
}

int TSysCalls::Futimens(int fd, const struct timespec times[2])
{
    return ::futimens(fd, times);
}

int TSysCalls::Ftruncate(int fd, off_t length)
{
    return ::ftruncate(fd, length);
}

int TSysCalls::Flock(int fd, int operation)
{
    int result;
    do {
        result = ::flock(fd, operation);
    } while (result != 0 && errno == EINTR);
    return result;
}

char* TSysCalls::RealPath(const char* path)
{
    return ::realpath(path, nullptr);
}

int TSysCalls::Link(const char* from, const char* to)
{
    return ::link(from, to);
}

ssize_t TSysCalls::CopyFileRange(int inFd, off_t* inOffset, int outFd, off_t* outOffset,
                                 std::size_t count, unsigned flags)
{
    return ::copy_file_range(inFd, inOffset, outFd, outOffset, count, flags);
}

int TSysCalls::Statvfs(const char* path, struct statvfs* out)
{
    return ::statvfs(path, out);
}

uid_t TSysCalls::GetUid()
{
    return ::getuid();
}

int TSysCalls::Statfs(const char* path, struct statfs* out)
{
    return ::statfs(path, out);
}

uid_t TSysCalls::GetEuid()
{
    return ::geteuid();
}

gid_t TSysCalls::GetEgid()
{
    return ::getegid();
}

int TSysCalls::GetGroups(int size, gid_t list[])
{
    return ::getgroups(size, list);
}

int TSysCalls::PosixSpawnp(pid_t* pid, const char* file,
                           const posix_spawn_file_actions_t* fileActions,
                           const posix_spawnattr_t* attributes, char* const argv[],
                           char* const envp[])
{
    return ::posix_spawnp(pid, file, fileActions, attributes, argv, envp);
}

pid_t TSysCalls::WaitPid(pid_t pid, int* status, int options)
{
    return ::waitpid(pid, status, options);
}

int TSysCalls::SetPriority(int which, id_t who, int priority)
{
    return ::setpriority(which, who, priority);
}

pid_t TSysCalls::GetTid()
{
    return ::gettid();
}

namespace {
TSysCalls& DefaultCalls()
{
    // Never destroyed: objects with static lifetime (the program's registry store) may still
    // close their files through it while the program exits, after other statics are gone.
    static TSysCalls* const calls = new TSysCalls;
    return *calls;
}
std::atomic<TSysCalls*> CurrentCalls{nullptr};
} // namespace

TSysCalls& Sys()
{
    TSysCalls* calls = CurrentCalls.load(std::memory_order_acquire);
    return calls ? *calls : DefaultCalls();
}

TScopedSysCalls::TScopedSysCalls(TSysCalls& replacement)
    : FPrevious(CurrentCalls.exchange(&replacement, std::memory_order_acq_rel))
{
}

TScopedSysCalls::~TScopedSysCalls()
{
    CurrentCalls.store(FPrevious, std::memory_order_release);
}

TSysError WriteAll(int fd, std::string_view data)
{
    std::size_t done = 0;
    while (done < data.size()) {
        const ssize_t put = Sys().Write(fd, data.data() + done, data.size() - done);
        if (put < 0) {
            if (errno == EINTR) {
                continue;
            }
            return {errno};
        }
        if (put == 0) {
            return {ENOSPC};
        }
        done += std::size_t(put);
    }
    return {};
}

void TUniqueFd::Reset(int fd)
{
    if (FFd >= 0) {
        Sys().Close(FFd);
    }
    FFd = fd;
}

} // namespace platform
