#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// How the options and the scan filter keep their values in the registry, shared by
// TSettings and TFilter. Every reader gives its default on a missing, unreadable or
// out-of-range value; every writer returns false when the value could not be stored.

// The text without the blanks and control characters at either end.
std::string TrimBlanks(const std::string& text);

// A byte field stored as Integer: the value read when it lies in 0..maximum, else the default.
std::uint8_t RegReadByte(const std::string& section, const std::string& name,
    std::uint8_t defaultValue, std::uint8_t maximum);

// The largest size limit that can be stored: the limits are kept as signed 32-bit Integers.
inline constexpr std::int64_t MaxStoredSizeLimit = 2147483647;
// A size limit stored as Integer, kept within 0..MaxStoredSizeLimit (default 0).
std::int64_t RegReadSizeLimit(const std::string& section, const std::string& name);
// Writes the limit held within 0..MaxStoredSizeLimit, so it never comes back negative.
bool RegWriteSizeLimit(const std::string& section, const std::string& name, std::int64_t limit);

// A date of the options: the Time value named name + "64" (default: now). A non-zero Integer
// value named name (the form earlier versions wrote: a packed file date-time) wins when it
// converts, and is then written as the Time value; the Integer value is removed either way.
double RegReadDateWithLegacy(const std::string& section, const std::string& name, double now);
// Writes the Time value named name + "64".
bool RegWriteDate(const std::string& section, const std::string& name, double value);

// A packed file date-time of the classic 32-bit kind (the date in the high 16 bits: years
// since 1980 from bit 9, month from bit 5, day; the time in the low 16 bits: hour from bit 11,
// minute from bit 5, seconds halved) as a local date-time. Empty when a field is out of range.
std::optional<double> PackedFileDateToDateTime(std::int32_t packed);

// Whether the path names an existing folder (a symbolic link to one counts).
bool FolderExists(const std::string& path);

// A numbered folder list: String values "0", "1", ... of the section, read up to the first one
// that is missing or empty; folders that no longer exist are left out.
void LoadFolderList(const std::string& section, std::vector<std::string>& list);
// Deletes every value of the section and writes the list as "0", "1", ... in its order.
bool SaveFolderList(const std::string& section, const std::vector<std::string>& list);
