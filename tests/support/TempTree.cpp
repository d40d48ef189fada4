#include "tests/support/TempTree.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <sys/stat.h>
#include <sys/time.h>
#include <fcntl.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace testing_support {

namespace {

[[noreturn]] void Fail(const std::string& what, const std::string& path)
{
    throw std::runtime_error(what + " " + path + ": " + std::strerror(errno));
}

void RestorePermissions(const fs::path& root)
{
    std::error_code ec;
    ::chmod(root.c_str(), 0700);
    for (auto it = fs::recursive_directory_iterator(
             root, fs::directory_options::skip_permission_denied, ec);
         it != fs::recursive_directory_iterator(); it.increment(ec)) {
        if (ec) {
            break;
        }
        if (!it->is_symlink(ec)) {
            ::chmod(it->path().c_str(), it->is_directory(ec) ? 0700 : 0600);
        }
    }
}

} // namespace

TTempTree::TTempTree()
{
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/pairloom-tree-XXXXXX";
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    if (!::mkdtemp(buffer.data())) {
        Fail("mkdtemp", pattern);
    }
    FRoot = std::string(buffer.data()) + "/";
}

TTempTree::~TTempTree()
{
    std::error_code ec;
    RestorePermissions(FRoot);
    fs::remove_all(FRoot, ec);
}

std::string TTempTree::Path(const std::string& relative) const
{
    return FRoot + relative;
}

void TTempTree::MakeParents(const std::string& path) const
{
    fs::path parent = fs::path(path).parent_path();
    std::error_code ec;
    fs::create_directories(parent, ec);
    if (ec) {
        throw std::runtime_error("create_directories " + parent.string() + ": " + ec.message());
    }
}

std::string TTempTree::AddFolder(const std::string& relative)
{
    std::string path = Path(relative);
    std::error_code ec;
    fs::create_directories(path, ec);
    if (ec) {
        throw std::runtime_error("create_directories " + path + ": " + ec.message());
    }
    if (path.empty() || path.back() != '/') {
        path += '/';
    }
    return path;
}

std::string TTempTree::AddFile(const std::string& relative, const std::string& content)
{
    std::string path = Path(relative);
    MakeParents(path);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out) {
        Fail("open", path);
    }
    out.write(content.data(), static_cast<std::streamsize>(content.size()));
    if (!out) {
        Fail("write", path);
    }
    return path;
}

std::vector<std::uint8_t> TTempTree::MakeContent(std::int64_t size, std::uint32_t seed)
{
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(size));
    std::uint64_t state = 0x9E3779B97F4A7C15ULL ^ (std::uint64_t(seed) * 0xBF58476D1CE4E5B9ULL);
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        // xorshift64*: fast, and different seeds give different streams.
        state ^= state >> 12;
        state ^= state << 25;
        state ^= state >> 27;
        bytes[i] = static_cast<std::uint8_t>((state * 0x2545F4914F6CDD1DULL) >> 56);
    }
    return bytes;
}

std::string TTempTree::AddFileOfSize(const std::string& relative, std::int64_t size,
                                     std::uint32_t seed)
{
    std::vector<std::uint8_t> bytes = MakeContent(size, seed);
    return AddFile(relative, std::string(bytes.begin(), bytes.end()));
}

void TTempTree::PatchByte(const std::string& relative, std::int64_t offset, std::uint8_t value)
{
    std::string path = Path(relative);
    int fd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC);
    if (fd < 0) {
        Fail("open", path);
    }
    ssize_t written = ::pwrite(fd, &value, 1, offset);
    ::close(fd);
    if (written != 1) {
        Fail("pwrite", path);
    }
}

void TTempTree::Truncate(const std::string& relative, std::int64_t size)
{
    std::string path = Path(relative);
    if (::truncate(path.c_str(), size) != 0) {
        Fail("truncate", path);
    }
}

std::string TTempTree::AddSymlink(const std::string& relative, const std::string& target)
{
    std::string path = Path(relative);
    MakeParents(path);
    if (::symlink(target.c_str(), path.c_str()) != 0) {
        Fail("symlink", path);
    }
    return path;
}

std::string TTempTree::AddFifo(const std::string& relative)
{
    std::string path = Path(relative);
    MakeParents(path);
    if (::mkfifo(path.c_str(), 0600) != 0) {
        Fail("mkfifo", path);
    }
    return path;
}

void TTempTree::SetTimes(const std::string& relative, std::int64_t accessSeconds,
                         std::int64_t writeSeconds, long accessNanos, long writeNanos)
{
    std::string path = Path(relative);
    struct timespec times[2];
    times[0].tv_sec = static_cast<time_t>(accessSeconds);
    times[0].tv_nsec = accessNanos;
    times[1].tv_sec = static_cast<time_t>(writeSeconds);
    times[1].tv_nsec = writeNanos;
    if (::utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW) != 0) {
        Fail("utimensat", path);
    }
}

void TTempTree::MakeUnreadable(const std::string& relative)
{
    SetMode(relative, 0);
}

void TTempTree::SetMode(const std::string& relative, unsigned mode)
{
    std::string path = Path(relative);
    if (::chmod(path.c_str(), mode) != 0) {
        Fail("chmod", path);
    }
}

bool TTempTree::PermissionsApply()
{
    return ::geteuid() != 0;
}

std::string TTempTree::ReadFile(const std::string& relative) const
{
    std::ifstream in(Path(relative), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool TTempTree::Exists(const std::string& relative) const
{
    struct stat st {};
    return ::lstat(Path(relative).c_str(), &st) == 0;
}

} // namespace testing_support
