#include "platform/SysCalls.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <sys/file.h>
#include <sys/syscall.h>
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

namespace {
TSysCalls& DefaultCalls()
{
    static TSysCalls calls;
    return calls;
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

void TUniqueFd::Reset(int fd)
{
    if (FFd >= 0) {
        Sys().Close(FFd);
    }
    FFd = fd;
}

} // namespace platform
