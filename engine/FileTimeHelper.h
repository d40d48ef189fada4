#pragma once

#include "platform/FileTime.h"

#include <cstdint>
#include <optional>
#include <string>

// File times and date-times.
//
// A file time is platform::TFileTime: 100-nanosecond ticks since 1601-01-01 UTC. A date-time is
// a double counting days since 1899-12-30 00:00 local time, the fraction being the time of day
// (0.5 is noon); the value 0 stands for "no date". Date-times are continuous: a moment before
// 1899-12-30 is a negative number that grows towards the later moment, so two date-times can be
// compared as numbers.
//
// Every function is reentrant and keeps no state; any thread may call them. The local-time
// functions read the process's time zone (TZ) through the C library.

// The fields of a file time split in UTC, as the calendar gives them.
struct TSystemTime {
    std::uint16_t wYear = 0;
    std::uint16_t wMonth = 0; // 1..12
    std::uint16_t wDayOfWeek = 0; // 0 Sunday .. 6 Saturday
    std::uint16_t wDay = 0; // 1..31
    std::uint16_t wHour = 0;
    std::uint16_t wMinute = 0;
    std::uint16_t wSecond = 0;
    std::uint16_t wMilliseconds = 0;
};

// Splits a file time into its UTC calendar fields (ticks below one millisecond are dropped).
// Fails (false, out untouched) for a value with the top bit set: such times lie beyond the
// calendar the program supports.
bool FileTimeToSystemTime(const platform::TFileTime& fileTime, TSystemTime& out);

// The low half, a comma and the high half, each read as a signed 32-bit number: a half with
// all bits set is written -1. This is the form the project file stores.
std::string FileTimeToCommaText(const platform::TFileTime& fileTime);

// Negative when A is earlier, 0 when both agree to the millisecond, positive when A is later.
// Every value has a fixed place in the order, also one with the top bit set (after all valid
// times).
std::int32_t CompareFileTimes(const platform::TFileTime& a, const platform::TFileTime& b);

// The file time as local date and time for display: the short date format of the default locale
// (QLocale(), the user's), a blank and its long time format (without a time-zone field); the
// time is left out when the local time is exactly midnight. The time-zone rules of the file's own
// date apply (summer time in summer). "Unknown." when the time cannot be converted.
std::string FileTimeToDisplayText(const platform::TFileTime& fileTime);

// The file time as a local date-time, shifted by the offset from UTC in force now, whatever the
// file's date (so a winter date read in summer is shifted by the summer offset). 0 for an
// all-zero file time; the current local date-time when the time cannot be converted.
double FileTimeToLocalDateTime(const platform::TFileTime& fileTime);

// The current local date and time as a date-time, to the millisecond.
double NowAsDateTime();

// A date-time in the display form of FileTimeToDisplayText (date, blank, time; the time left
// out at exactly midnight). The empty text for a value outside the years 1 to 9999.
std::string DateTimeToDisplayText(double dateTime);

// A date-time from calendar fields (local time, as given). Empty when a field is out of range:
// year 1..9999, month 1..12, the month's days, hour 0..23, minute and second 0..59,
// milliseconds 0..999.
std::optional<double> EncodeDateTime(
    int year, int month, int day, int hour, int minute, int second, int milliseconds);

// Milliseconds since 1970-01-01 UTC as a local date-time, by the time-zone rules of that moment.
double UnixMsToDateTime(std::int64_t unixMilliseconds);

// A local date-time as milliseconds since 1970-01-01 UTC, by the time-zone rules of that date (a
// local time that occurs twice or never, at a summer-time change, is resolved as mktime does).
// Empty for a value that is no date-time of the years 1 to 9999.
std::optional<std::int64_t> DateTimeToUnixMs(double dateTime);
