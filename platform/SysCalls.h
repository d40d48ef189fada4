#pragma once

#include <dirent.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/types.h>

#include "platform/SysError.h"

#include <cstddef>
#include <memory>
#include <string_view>

struct statfs;

namespace platform {

// Every system call that the platform layer makes goes through the current TSysCalls, so a
// test can derive from it, make one call fail with EACCES, ENOENT, ENOSPC or EINTR, and see
// that nothing is lost. The calls keep the C library's contract: -1 (or null) with errno set.
class TSysCalls {
public:
    virtual ~TSysCalls() = default;

    virtual int Open(const char* path, int flags, mode_t mode = 0);
    virtual int Close(int fd);
    virtual ssize_t PRead(int fd, void* buffer, std::size_t count, off_t offset);
    virtual ssize_t PWrite(int fd, const void* buffer, std::size_t count, off_t offset);
    virtual ssize_t Write(int fd, const void* buffer, std::size_t count);
    virtual int Fsync(int fd);
    virtual int Statx(int dirfd, const char* path, int flags, unsigned mask, struct statx* out);
    virtual int Fstat(int fd, struct stat* out);
    // Directory streams: OpenDir takes ownership of fd (an O_DIRECTORY descriptor).
    virtual DIR* FdOpenDir(int fd);
    virtual struct dirent* ReadDir(DIR* dir);
    virtual int CloseDir(DIR* dir);
    virtual int Rename(const char* from, const char* to, unsigned flags);
    virtual int Unlink(const char* path);
    virtual int Rmdir(const char* path);
    virtual int Mkdir(const char* path, mode_t mode);
    virtual int Symlink(const char* target, const char* path);
    virtual ssize_t ReadLink(const char* path, char* buffer, std::size_t size);
    virtual int Access(const char* path, int mode);
    virtual int Fchmod(int fd, mode_t mode);
    virtual int Futimens(int fd, const struct timespec times[2]);
    virtual int Ftruncate(int fd, off_t length);
    virtual int Flock(int fd, int operation);
    // realpath(3): a malloc'ed result the caller frees, or null.
    virtual char* RealPath(const char* path);
    // Further calls are added here as the layer needs them: same names as the C library's
    // (in this form), same contract.
    virtual int Link(const char* from, const char* to);
    virtual ssize_t CopyFileRange(int inFd, off_t* inOffset, int outFd, off_t* outOffset,
                                  std::size_t count, unsigned flags);
    virtual int Statvfs(const char* path, struct statvfs* out);
    virtual uid_t GetUid();
    virtual int Statfs(const char* path, struct statfs* out);
    virtual uid_t GetEuid();
    virtual gid_t GetEgid();
    virtual int GetGroups(int size, gid_t list[]);
    // posix_spawnp(3): returns 0 or the error number (errno is not used).
    virtual int PosixSpawnp(pid_t* pid, const char* file,
                            const posix_spawn_file_actions_t* fileActions,
                            const posix_spawnattr_t* attributes, char* const argv[],
                            char* const envp[]);
    virtual pid_t WaitPid(pid_t pid, int* status, int options);
    // setpriority(2): on Linux, PRIO_PROCESS with a thread id sets that thread's nice value.
    virtual int SetPriority(int which, id_t who, int priority);
    // gettid(2): the calling thread's id.
    virtual pid_t GetTid();
};

// The calls in force. Tests replace them through TScopedSysCalls only; the layer never
// caches the reference across calls.
TSysCalls& Sys();

// Installs a replacement for the lifetime of the object and restores the previous one.
// Install and remove it while no other thread makes system calls through the layer.
class TScopedSysCalls {
public:
    explicit TScopedSysCalls(TSysCalls& replacement);
    ~TScopedSysCalls();
    TScopedSysCalls(const TScopedSysCalls&) = delete;
    TScopedSysCalls& operator=(const TScopedSysCalls&) = delete;

private:
    TSysCalls* FPrevious;
};

// A file descriptor that closes itself.
class TUniqueFd {
public:
    TUniqueFd() = default;
    explicit TUniqueFd(int fd) : FFd(fd) {}
    ~TUniqueFd() { Reset(); }
    TUniqueFd(TUniqueFd&& other) noexcept : FFd(other.Release()) {}
    TUniqueFd& operator=(TUniqueFd&& other) noexcept
    {
        if (this != &other) {
            Reset(other.Release());
        }
        return *this;
    }
    TUniqueFd(const TUniqueFd&) = delete;
    TUniqueFd& operator=(const TUniqueFd&) = delete;

    int Get() const { return FFd; }
    bool Valid() const { return FFd >= 0; }
    int Release()
    {
        int fd = FFd;
        FFd = -1;
        return fd;
    }
    void Reset(int fd = -1);

private:
    int FFd = -1;
};

// Writes all of data to fd, going on after short writes and EINTR. A write that makes no
// progress counts as a full disk.
TSysError WriteAll(int fd, std::string_view data);

} // namespace platform
