#include "platform/TextFile.h"

#include "platform/ReadOnlyFile.h"

#include <algorithm>

namespace platform {

TSysError ReadTextFile(const std::string& path, std::string& text, std::size_t limit)
{
    text.clear();
    TReadOnlyFile file;
    if (TSysError error = file.Open(path)) {
        return error;
    }
    constexpr std::size_t Chunk = 64 * 1024;
    while (text.size() < limit) {
        std::size_t offset = text.size();
        std::size_t want = std::min(Chunk, limit - offset);
        text.resize(offset + want);
        std::int64_t got = file.ReadAt(text.data() + offset, want, std::int64_t(offset));
        if (got < 0) {
            text.clear();
            return file.LastError();
        }
        text.resize(offset + std::size_t(got));
        if (std::size_t(got) < want) {
            break;
        }
    }
    return {};
}

} // namespace platform
