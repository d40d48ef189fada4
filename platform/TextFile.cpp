#include "platform/TextFile.h"

#include "platform/ReadOnlyFile.h"

#include <cerrno>

namespace platform {

TSysError ReadWholeFile(TReadOnlyFile& file, std::string& data, std::size_t limit)
{
    data.clear();
    constexpr std::size_t Step = 1 << 16;
    while (true) {
        const std::size_t before = data.size();
        // One byte more than the limit allows tells a file that is too long.
        const std::size_t want = limit - before < Step ? limit - before + 1 : Step;
        data.resize(before + want);
        const std::int64_t got = file.ReadAt(data.data() + before, want, std::int64_t(before));
        if (got < 0) {
            data.clear();
            return file.LastError();
        }
        data.resize(before + std::size_t(got));
        if (data.size() > limit) {
            data.clear();
            return {EFBIG};
        }
        if (std::size_t(got) < want) {
            return {};
        }
    }
}

TSysError ReadWholeFile(const std::string& path, std::string& data, std::size_t limit)
{
    data.clear();
    TReadOnlyFile file;
    if (TSysError error = file.Open(path)) {
        return error;
    }
    return ReadWholeFile(file, data, limit);
}

TSysError ReadTextFile(const std::string& path, std::string& text, std::size_t limit)
{
    return ReadWholeFile(path, text, limit);
}

} // namespace platform
