#include "engine/OptionValues.h"

#include "engine/FileTimeHelper.h"
#include "engine/RegistryAccess.h"
#include "platform/SysCalls.h"

#include <algorithm>
#include <cmath>
#include <fcntl.h>
#include <sys/stat.h>

std::string TrimBlanks(const std::string& text)
{
    auto isBlank = [](char c) { return static_cast<unsigned char>(c) <= ' '; };
    auto first = std::find_if_not(text.begin(), text.end(), isBlank);
    auto last = std::find_if_not(text.rbegin(), text.rend(), isBlank).base();
    return first < last ? std::string(first, last) : std::string();
}

std::uint8_t RegReadByte(const std::string& section, const std::string& name,
    std::uint8_t defaultValue, std::uint8_t maximum)
{
    const std::int32_t value = RegReadInteger(section, name, defaultValue);
    return value >= 0 && value <= maximum ? std::uint8_t(value) : defaultValue;
}

std::int64_t RegReadSizeLimit(const std::string& section, const std::string& name)
{
    return std::max<std::int64_t>(RegReadInteger(section, name, 0), 0);
}

bool RegWriteSizeLimit(const std::string& section, const std::string& name, std::int64_t limit)
{
    return RegWriteInteger(
        section, name, std::int32_t(std::clamp<std::int64_t>(limit, 0, MaxStoredSizeLimit)));
}

double RegReadDateWithLegacy(const std::string& section, const std::string& name, double now)
{
    double date = RegReadTime(section, name + "64", now);
    if (!std::isfinite(date)) {
        date = now;
    }
    const std::int32_t legacy = RegReadInteger(section, name, 0);
    if (legacy != 0) {
        if (std::optional<double> converted = PackedFileDateToDateTime(legacy)) {
            date = *converted;
            // Keep the migrated date even when the options are not saved in this run.
            RegWriteDate(section, name, date);
        }
    }
    RegRemoveValue(section, name);
    return date;
}

bool RegWriteDate(const std::string& section, const std::string& name, double value)
{
    return RegWriteTime(section, name + "64", value);
}

std::optional<double> PackedFileDateToDateTime(std::int32_t packed)
{
    const std::uint32_t bits = std::uint32_t(packed);
    const std::uint32_t date = bits >> 16;
    const std::uint32_t time = bits & 0xFFFF;
    return EncodeDateTime(int(1980 + (date >> 9)), int((date >> 5) & 0x0F), int(date & 0x1F),
        int(time >> 11), int((time >> 5) & 0x3F), int((time & 0x1F) * 2), 0);
}

bool FolderExists(const std::string& path)
{
    if (path.empty()) {
        return false;
    }
    struct statx info { };
    if (platform::Sys().Statx(AT_FDCWD, path.c_str(), 0, STATX_TYPE, &info) != 0) {
        return false;
    }
    return S_ISDIR(info.stx_mode);
}

void LoadFolderList(const std::string& section, std::vector<std::string>& list)
{
    list.clear();
    for (std::int64_t i = 0;; ++i) {
        const std::string folder = RegReadString(section, std::to_string(i), std::string());
        if (folder.empty()) {
            break;
        }
        if (FolderExists(folder)) {
            list.push_back(folder);
        }
    }
}

bool SaveFolderList(const std::string& section, const std::vector<std::string>& list)
{
    bool stored = RegClearKey(section);
    for (std::size_t i = 0; i < list.size(); ++i) {
        stored = RegWriteString(section, std::to_string(i), list[i]) && stored;
    }
    return stored;
}
