#pragma once

#include <sys/stat.h>

#include <cstdint>

namespace platform {

// A file time as the program keeps it everywhere: 100-nanosecond ticks since
// 1601-01-01 00:00 UTC, in two unsigned 32-bit halves (low half first).
struct TFileTime {
    std::uint32_t dwLowDateTime = 0;
    std::uint32_t dwHighDateTime = 0;

    std::uint64_t Ticks() const
    {
        return (std::uint64_t(dwHighDateTime) << 32) | dwLowDateTime;
    }
    static TFileTime FromTicks(std::uint64_t ticks)
    {
        return TFileTime{std::uint32_t(ticks & 0xFFFFFFFFu), std::uint32_t(ticks >> 32)};
    }
    bool IsZero() const { return dwLowDateTime == 0 && dwHighDateTime == 0; }
    friend bool operator==(const TFileTime&, const TFileTime&) = default;
};

// Seconds between 1601-01-01 and 1970-01-01.
inline constexpr std::int64_t UnixEpochInFileTimeSeconds = 11644473600LL;
inline constexpr std::int64_t FileTimeTicksPerSecond = 10000000LL;

// (seconds + 11644473600) * 10^7 + nanoseconds / 100; times before 1601 give 0.
inline TFileTime FileTimeFromUnix(std::int64_t seconds, std::uint32_t nanoseconds)
{
    std::int64_t since1601 = seconds + UnixEpochInFileTimeSeconds;
    if (since1601 < 0) {
        return {};
    }
    return TFileTime::FromTicks(std::uint64_t(since1601) * FileTimeTicksPerSecond +
                                nanoseconds / 100);
}

// A time as statx(2) gives it.
inline TFileTime FileTimeFromStatx(const struct statx_timestamp& time)
{
    return FileTimeFromUnix(time.tv_sec, time.tv_nsec);
}

} // namespace platform
