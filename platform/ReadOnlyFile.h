#pragma once

#include "platform/SysCalls.h"
#include "platform/SysError.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>

namespace platform {

// A regular file opened for reading. Other processes may go on reading and writing it.
class TReadOnlyFile {
public:
    TReadOnlyFile() = default;

    // Opens the path; refuses anything that is not a regular file (a FIFO would block the
    // reader, a device never ends). Returns the error, or a zero code on success.
    TSysError Open(const std::string& path);
    void Close() { FFd.Reset(); }
    bool IsOpen() const { return FFd.Valid(); }

    // Reads count bytes from offset into buffer, going on after short reads and EINTR: a
    // result below count means the file ended there (a short read that reaches the size the
    // file had when it was opened is taken for the end without asking again). Returns -1 on a
    // read error, with the error kept in LastError().
    std::int64_t ReadAt(void* buffer, std::size_t count, std::int64_t offset);
    TSysError LastError() const { return FLastError; }
    // The file's size when it was opened.
    std::int64_t Size() const { return FOpenSize; }
    // The open descriptor (-1 when closed), e.g. to examine the file.
    int Fd() const { return FFd.Get(); }
    // Hands the descriptor over, e.g. to keep the file open; the object is closed afterwards.
    TUniqueFd Release() { return std::move(FFd); }

private:
    TUniqueFd FFd;
    TSysError FLastError;
    std::int64_t FOpenSize = 0;
};

} // namespace platform
