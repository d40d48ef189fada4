#pragma once

#include "platform/SysCalls.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace testing_support {

// System calls that count opens, look-ups and reads per path, and fail or disturb them where a test
// asks: install with platform::TScopedSysCalls. Safe to use from several threads.
class TWatchedCalls : public platform::TSysCalls {
public:
    struct TRead {
        off_t Offset;
        std::size_t Count;
    };

    int Open(const char* path, int flags, mode_t mode) override
    {
        {
            std::lock_guard guard(FLock);
            ++FOpens[path];
        }
        if (path == FailOpenOf) {
            errno = EACCES;
            return -1;
        }
        const int fd = TSysCalls::Open(path, flags, mode);
        if (fd >= 0) {
            std::lock_guard guard(FLock);
            FPaths[fd] = path;
        }
        return fd;
    }
    int Close(int fd) override
    {
        {
            std::lock_guard guard(FLock);
            FPaths.erase(fd);
        }
        return TSysCalls::Close(fd);
    }
    ssize_t PRead(int fd, void* buffer, std::size_t count, off_t offset) override
    {
        std::string path;
        {
            std::lock_guard guard(FLock);
            path = FPaths[fd];
            FReads[path].push_back({offset, count});
        }
        if (BeforeRead) {
            BeforeRead(path, offset);
        }
        if (path == FailReadOf && offset >= FailReadFrom) {
            errno = EIO;
            return -1;
        }
        return TSysCalls::PRead(fd, buffer, count, offset);
    }

    int Statx(int dirfd, const char* path, int flags, unsigned mask, struct statx* out) override
    {
        {
            std::lock_guard guard(FLock);
            ++FStats[path];
        }
        return TSysCalls::Statx(dirfd, path, flags, mask, out);
    }

    // How often the path was looked up (statx), e.g. to see an existence test.
    int Stats(const std::string& path)
    {
        std::lock_guard guard(FLock);
        return FStats[path];
    }
    int Opens(const std::string& path)
    {
        std::lock_guard guard(FLock);
        return FOpens[path];
    }
    std::vector<TRead> Reads(const std::string& path)
    {
        std::lock_guard guard(FLock);
        return FReads[path];
    }
    std::vector<off_t> ReadOffsets(const std::string& path)
    {
        std::vector<off_t> offsets;
        for (const TRead& read : Reads(path)) {
            offsets.push_back(read.Offset);
        }
        return offsets;
    }
    // The bytes that all reads so far asked for, of every path.
    std::int64_t TotalReadBytes()
    {
        std::lock_guard guard(FLock);
        std::int64_t total = 0;
        for (const auto& [path, reads] : FReads) {
            for (const TRead& read : reads) {
                total += std::int64_t(read.Count);
            }
        }
        return total;
    }
    // One past the last byte that any read of the path asked for.
    off_t ReadEnd(const std::string& path)
    {
        off_t end = 0;
        for (const TRead& read : Reads(path)) {
            end = std::max(end, read.Offset + off_t(read.Count));
        }
        return end;
    }

    // Opening this path fails with EACCES.
    std::string FailOpenOf;
    // Reads of this path at or after FailReadFrom fail with EIO.
    std::string FailReadOf;
    off_t FailReadFrom = 0;
    // Runs before every read, e.g. to delete or shrink the file part way.
    std::function<void(const std::string& path, off_t offset)> BeforeRead;

private:
    std::mutex FLock;
    std::map<std::string, int> FOpens;
    std::map<std::string, int> FStats;
    std::map<int, std::string> FPaths;
    std::map<std::string, std::vector<TRead>> FReads;
};

// Fails every write of data, as a full disk does.
class TDiskFull : public platform::TSysCalls {
public:
    ssize_t Write(int, const void*, std::size_t) override
    {
        errno = ENOSPC;
        return -1;
    }
};

// Counts renames, e.g. to see that a batch of changes is saved in one file replacement.
class TCountingRenames : public platform::TSysCalls {
public:
    int Rename(const char* from, const char* to, unsigned flags) override
    {
        ++Renames;
        return TSysCalls::Rename(from, to, flags);
    }
    int Renames = 0;
};

} // namespace testing_support
