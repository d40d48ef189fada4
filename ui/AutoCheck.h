#pragma once

#include <cstdint>

class TDFinder;
class TDGroup;
class TSettings;

// The autocheck rule: in every duplicate group, keep one file unchecked (the extreme one by the
// rule's key) and check the others, never checking a file excluded by the exclusion rules or
// by a listed folder's flag. Free of widgets; the main window's DoAutoSelect2 runs it before it
// refills the grid.

// The rules (TSettings::AutoCheckType), each with the key it compares and the file it keeps.
enum TAutoCheckRule : std::uint8_t {
    acrNone = 0, // nothing is checked
    acrSmallerSizes = 1, // keeps the biggest file
    acrBiggerSizes = 2, // keeps the smallest
    acrOlderDates = 3, // keeps the newest (by the date kind asked for)
    acrNewerDates = 4, // keeps the oldest
    acrShorterNames = 5, // keeps the longest name
    acrLongerNames = 6, // keeps the shortest name
    acrShorterPaths = 7, // keeps the longest folder
    acrLongerPaths = 8, // keeps the shortest folder
};

// Applies the rule to one group, in the group's order, from the files' exclusion flags
// (ExcludedByRule, ExcludedByFolder) as they stand: every file gets CheckState 1 or 0. The
// extreme key E is the largest key (rules 1, 3, 5, 7) or the smallest (2, 4, 6, 8) among the
// files not excluded; of equal keys the first sets it. Every file not excluded whose key is not
// E is checked; of those whose key is E, all are checked when the group holds an excluded file
// (that one is the kept copy), else all but the last. Excluded files are never checked, so a
// group always keeps a file unchecked. Dates (the file time of dateKind: 0 creation, 1 last
// write, 2 last access, as a local date-time) are equal within a millisecond. Rule 0, and any
// unknown rule, checks nothing.
void ApplyAutoCheckRule(const TDGroup& group, std::uint8_t rule, std::uint8_t dateKind);

// A rule run over every group that has files: each file's check state is reset and its
// exclusion flags recomputed (the settings' exclusion rules; the finder's listed folders with
// the flag bit "exclude from autocheck"), then the settings' rule (AutoCheckType, with
// CompareDateType) is applied. Files of no group are left as they are.
void AutoCheckGroups(TDFinder& finder, const TSettings& settings);

// True when folders are listed and every one of them has the flag bit "exclude from
// autocheck": the autocheck buttons then have nothing to check.
bool AutoCheckDisabledForAllFolders(const TDFinder& finder);
