#include "platform/ReadOnlyFile.h"

#include <cerrno>

namespace platform {

TSysError TReadOnlyFile::Open(const std::string& path)
{
    FFd.Reset();
    FLastError = {};
    TUniqueFd fd(Sys().Open(path.c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK));
    if (!fd.Valid()) {
        FLastError = {errno};
        return FLastError;
    }
    struct stat st {};
    if (Sys().Fstat(fd.Get(), &st) != 0) {
        FLastError = {errno};
        return FLastError;
    }
    if (!S_ISREG(st.st_mode)) {
        FLastError = {S_ISDIR(st.st_mode) ? EISDIR : EINVAL};
        return FLastError;
    }
    FFd = std::move(fd);
    FOpenSize = std::int64_t(st.st_size);
    return {};
}

std::int64_t TReadOnlyFile::ReadAt(void* buffer, std::size_t count, std::int64_t offset)
{
    if (!FFd.Valid()) {
        FLastError = {EBADF};
        return -1;
    }
    auto* out = static_cast<unsigned char*>(buffer);
    std::size_t done = 0;
    while (done < count) {
        ssize_t got = Sys().PRead(FFd.Get(), out + done, count - done,
                                  static_cast<off_t>(offset + std::int64_t(done)));
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            FLastError = {errno};
            return -1;
        }
        if (got == 0) {
            break;
        }
        done += std::size_t(got);
        // A short read that reached the size the file had when it was opened is its end;
        // asking again would only answer 0.
        if (done < count && offset + std::int64_t(done) >= FOpenSize) {
            break;
        }
    }
    return std::int64_t(done);
}

} // namespace platform
