#include "platform/AtomicFile.h"

#include <QRandomGenerator>

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>

namespace platform {

namespace {

// The folder part of a path with its trailing "/"; empty for a bare name.
std::string FolderPartOf(const std::string& path)
{
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string RandomSuffix()
{
    static constexpr char Digits[] = "0123456789ABCDEF";
    std::uint64_t random = QRandomGenerator::global()->generate64();
    std::string suffix;
    for (int k = 0; k < 12; ++k) {
        suffix += Digits[random & 0x0F];
        random >>= 4;
    }
    return suffix;
}

} // namespace

TSysError ReplaceFileAtomically(
    const std::string& path, std::string_view data, mode_t newMode, TUniqueFd* kept)
{
    TSysCalls& sys = Sys();
    std::string target = path;
    if (char* resolved = sys.RealPath(path.c_str())) {
        target = resolved;
        std::free(resolved);
    }
    struct statx existing { };
    const bool replacing =
        sys.Statx(AT_FDCWD, target.c_str(), 0, STATX_TYPE | STATX_MODE, &existing) == 0 &&
        S_ISREG(existing.stx_mode);

    const std::string folder = FolderPartOf(target);
    std::string temporary;
    TUniqueFd fd;
    for (int attempt = 0; attempt < 100 && !fd.Valid(); ++attempt) {
        temporary = folder + ".save-" + RandomSuffix() + ".tmp";
        fd = TUniqueFd(sys.Open(temporary.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY,
            replacing ? 0600 : newMode));
        if (!fd.Valid() && errno != EEXIST) {
            return {errno};
        }
    }
    if (!fd.Valid()) {
        return {EEXIST};
    }
    if (replacing) {
        sys.Fchmod(fd.Get(), existing.stx_mode & 07777);
    }
    TSysError error = WriteAll(fd.Get(), data);
    if (!error && sys.Fsync(fd.Get()) != 0) {
        error = {errno};
    }
    // A file system may report a failed write only when the file is closed.
    if (!error && kept == nullptr && sys.Close(fd.Release()) != 0) {
        error = {errno};
    }
    if (!error && sys.Rename(temporary.c_str(), target.c_str(), 0) != 0) {
        error = {errno};
    }
    if (error) {
        fd.Reset();
        sys.Unlink(temporary.c_str());
        return error;
    }
    // Make the rename itself durable; some file systems refuse fsync on a folder, and the new
    // file is in place either way.
    TUniqueFd folderFd(
        sys.Open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (folderFd.Valid()) {
        sys.Fsync(folderFd.Get());
    }
    if (kept != nullptr) {
        *kept = std::move(fd);
    }
    return {};
}

} // namespace platform
