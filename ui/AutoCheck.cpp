#include "ui/AutoCheck.h"

#include "engine/DFinder.h"
#include "engine/FileTimeHelper.h"
#include "engine/SettingsUnit.h"

#include <cmath>
#include <vector>

namespace {

constexpr double MillisecondsPerDay = 86400000.0;

bool KeepsLargest(std::uint8_t rule)
{
    return rule == acrSmallerSizes || rule == acrOlderDates || rule == acrShorterNames ||
        rule == acrShorterPaths;
}

// The file's key for the rule. Dates are whole milliseconds of the local date-time (which is
// itself counted to the millisecond), so keys one millisecond apart or more differ and nearer
// ones are equal.
std::int64_t KeyOf(const TDImage& image, std::uint8_t rule, std::uint8_t dateKind)
{
    switch (rule) {
    case acrSmallerSizes:
    case acrBiggerSizes:
        return image.Size;
    case acrOlderDates:
    case acrNewerDates:
        return std::llround(
            FileTimeToLocalDateTime(image.FileTimeByKind(dateKind)) * MillisecondsPerDay);
    case acrShorterNames:
    case acrLongerNames:
        return image.NameLength;
    default:
        return image.FolderLength;
    }
}

bool IsEligible(const TDImage& image)
{
    return !image.ExcludedByRule && !image.ExcludedByFolder;
}

// The rule over one group, each key worked out once into keys (reused between groups). The
// extreme starts from the first eligible file's key, so whatever the keys are (dates before
// 1899 or after 9998, sizes or lengths at their limits) some file holds it.
void ApplyRule(
    const TDGroup& group, std::uint8_t rule, std::uint8_t dateKind, std::vector<std::int64_t>& keys)
{
    const bool known = rule >= acrSmallerSizes && rule <= acrLongerPaths;
    const bool largest = KeepsLargest(rule);
    keys.resize(std::size_t(group.Count()));
    bool haveExtreme = false;
    std::int64_t extreme = 0;
    std::int32_t excluded = 0;
    for (std::int32_t i = 0; i < group.Count(); ++i) {
        const TDImage& image = *group[i];
        if (!IsEligible(image)) {
            ++excluded;
            continue;
        }
        if (!known) {
            continue;
        }
        const std::int64_t key = KeyOf(image, rule, dateKind);
        keys[std::size_t(i)] = key;
        if (!haveExtreme || (largest ? key > extreme : key < extreme)) {
            extreme = key;
            haveExtreme = true;
        }
    }

    std::int32_t atExtreme = 0;
    for (std::int32_t i = 0; i < group.Count(); ++i) {
        if (haveExtreme && IsEligible(*group[i]) && keys[std::size_t(i)] == extreme) {
            ++atExtreme;
        }
    }
    std::int32_t seen = 0;
    for (std::int32_t i = 0; i < group.Count(); ++i) {
        TDImage& image = *group[i];
        std::uint8_t state = 0;
        if (haveExtreme && IsEligible(image)) {
            if (keys[std::size_t(i)] != extreme) {
                state = 1;
            } else {
                ++seen;
                state = seen < atExtreme || excluded > 0 ? 1 : 0;
            }
        }
        image.CheckState = state;
    }
}

} // namespace

void ApplyAutoCheckRule(const TDGroup& group, std::uint8_t rule, std::uint8_t dateKind)
{
    std::vector<std::int64_t> keys;
    ApplyRule(group, rule, dateKind, keys);
}

void AutoCheckGroups(TDFinder& finder, const TSettings& settings)
{
    std::vector<std::int64_t> keys;
    for (const TDGroup* group : finder.Groups) {
        if (group->Count() == 0) {
            continue;
        }
        for (TDImage* image : *group) {
            image->CheckState = 0;
            image->ExcludedByRule = settings.IsExcludedFromAutoCheck(*image);
            image->ExcludedByFolder =
                finder.IsInFlaggedFolder(image->Folder, ffbExcludeFromAutoCheck);
        }
        ApplyRule(*group, settings.AutoCheckType, settings.CompareDateType, keys);
    }
}

bool AutoCheckDisabledForAllFolders(const TDFinder& finder)
{
    if (finder.Folders.empty()) {
        return false;
    }
    for (const TFinderFolder& entry : finder.Folders) {
        if (!finder.IsInFlaggedFolder(entry.Folder, ffbExcludeFromAutoCheck)) {
            return false;
        }
    }
    return true;
}
