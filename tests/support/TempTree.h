#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace testing_support {

// A fresh temporary folder that a test fills with files, folders, links and FIFOs, and that
// is removed again (permissions restored first) when the object goes. Paths handed in are
// relative to the root; paths handed out are absolute.
class TTempTree {
public:
    TTempTree();
    ~TTempTree();
    TTempTree(const TTempTree&) = delete;
    TTempTree& operator=(const TTempTree&) = delete;

    // The root folder, ending with "/".
    const std::string& Root() const { return FRoot; }
    std::string Path(const std::string& relative) const;

    std::string AddFolder(const std::string& relative);
    // Parent folders are created as needed; an existing file is replaced.
    std::string AddFile(const std::string& relative, const std::string& content);
    // A file of the given size whose bytes follow from the seed: the same seed and size
    // always give the same content, different seeds give different content.
    std::string AddFileOfSize(const std::string& relative, std::int64_t size,
                              std::uint32_t seed = 1);
    // Overwrites one byte of an existing file.
    void PatchByte(const std::string& relative, std::int64_t offset, std::uint8_t value);
    void Truncate(const std::string& relative, std::int64_t size);
    std::string AddSymlink(const std::string& relative, const std::string& target);
    std::string AddFifo(const std::string& relative);
    // Last-access and last-write times in seconds (and nanoseconds) since 1970 UTC.
    void SetTimes(const std::string& relative, std::int64_t accessSeconds,
                  std::int64_t writeSeconds, long accessNanos = 0, long writeNanos = 0);
    // Takes every permission away (mode 000). Root reads such files anyway: tests that need a
    // failed read check PermissionsApply() or make the platform layer fail instead.
    void MakeUnreadable(const std::string& relative);
    void SetMode(const std::string& relative, unsigned mode);
    static bool PermissionsApply();

    std::string ReadFile(const std::string& relative) const;
    bool Exists(const std::string& relative) const;

    // The bytes AddFileOfSize writes.
    static std::vector<std::uint8_t> MakeContent(std::int64_t size, std::uint32_t seed);

private:
    void MakeParents(const std::string& path) const;
    std::string FRoot;
};

} // namespace testing_support
