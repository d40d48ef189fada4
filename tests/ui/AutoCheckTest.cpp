#include "ui/AutoCheck.h"

#include "engine/DFinder.h"
#include "engine/SettingsUnit.h"
#include "tests/support/ResultsBuilder.h"

#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace {

using testing_support::AddResultFile;
using testing_support::AddResultGroup;
using testing_support::FileTimeOfUnixMs;
using testing_support::TResultFile;

// The check states of the group's files, one digit each.
std::string StatesOf(const TDGroup& group)
{
    std::string states;
    for (const TDImage* image : group) {
        states += char('0' + image->CheckState);
    }
    return states;
}

TResultFile Sized(std::int64_t size)
{
    TResultFile file;
    file.Size = size;
    return file;
}

TResultFile Created(std::int64_t unixMs)
{
    TResultFile file;
    file.Created = FileTimeOfUnixMs(unixMs);
    return file;
}

TResultFile Named(const std::string& name, const std::string& folder = "/d/")
{
    TResultFile file;
    file.Name = name;
    file.Folder = folder;
    return file;
}

TResultFile CreatedAndModified(std::int64_t createdMs, std::int64_t modifiedMs)
{
    TResultFile file;
    file.Created = FileTimeOfUnixMs(createdMs);
    file.Modified = FileTimeOfUnixMs(modifiedMs);
    return file;
}

constexpr std::int64_t Year2020 = 1577836800000;
constexpr std::int64_t Year2021 = 1609459200000;
constexpr std::int64_t Year1850 = -3786825600000;
constexpr std::int64_t June1860 = -3458160000000;
constexpr std::int64_t March9999 = 253375862400000;
constexpr std::int64_t June9999 = 253383811200000;

TEST(AutoCheckRule, KeepsOneExtremeFileUncheckedAndNeverChecksAnExcludedOne)
{
    struct TCase {
        const char* Label;
        std::uint8_t Rule;
        std::uint8_t DateKind;
        std::vector<TResultFile> Files;
        // Per file: '.' eligible, 'R' excluded by a rule, 'F' in a flagged folder.
        const char* Excluded;
        const char* Expected;
    };
    const std::int64_t max64 = std::numeric_limits<std::int64_t>::max();
    TResultFile sameMsEarly = Created(Year2020);
    TResultFile sameMsLate = Created(Year2020);
    sameMsLate.Created = platform::TFileTime::FromTicks(sameMsLate.Created.Ticks() + 5000);
    TResultFile nextMs = Created(Year2020);
    nextMs.Created = platform::TFileTime::FromTicks(nextMs.Created.Ticks() + 10000);

    const std::vector<TCase> cases = {
        {"smaller sizes: the last of the biggest stays", acrSmallerSizes, 0,
            {Sized(10), Sized(10), Sized(5)}, "...", "101"},
        {"smaller sizes with the small file excluded: both big ones checked", acrSmallerSizes, 0,
            {Sized(10), Sized(10), Sized(5)}, "..R", "110"},
        {"an excluded file holds the biggest size: the others are all checked", acrSmallerSizes, 0,
            {Sized(10), Sized(5), Sized(5)}, "R..", "011"},
        {"bigger sizes: the smallest stays", acrBiggerSizes, 0, {Sized(3), Sized(1), Sized(2)},
            "...", "101"},
        {"bigger sizes at the largest size there is", acrBiggerSizes, 0,
            {Sized(max64), Sized(max64)}, "..", "10"},
        {"older dates, equal times: the first is checked", acrOlderDates, 0,
            {Created(Year2020), Created(Year2020)}, "..", "10"},
        {"older dates, equal times, the first in a flagged folder: the other checked",
            acrOlderDates, 0, {Created(Year2020), Created(Year2020)}, "F.", "01"},
        {"older dates a fraction of a millisecond apart are equal", acrOlderDates, 0,
            {sameMsLate, sameMsEarly}, "..", "10"},
        {"older dates a millisecond apart differ", acrOlderDates, 0, {nextMs, sameMsEarly}, "..",
            "01"},
        {"newer dates by last write: the oldest write stays", acrNewerDates, 1,
            {CreatedAndModified(Year2020, Year2021), CreatedAndModified(Year2021, Year2020),
                CreatedAndModified(Year2020, Year2021)},
            "...", "101"},
        {"older dates before 1899: the newest stays", acrOlderDates, 0,
            {Created(Year1850), Created(June1860)}, "..", "10"},
        {"newer dates in the year 9999: the oldest stays", acrNewerDates, 0,
            {Created(June9999), Created(March9999)}, "..", "10"},
        {"shorter names: the longest name stays", acrShorterNames, 0,
            {Named("a.txt"), Named("abc.txt"), Named("ab.txt")}, "...", "101"},
        {"longer names: the shortest name stays", acrLongerNames, 0,
            {Named("a.txt"), Named("abc.txt")}, "..", "01"},
        {"shorter paths, one folder: all but the last checked", acrShorterPaths, 0,
            {Named("x"), Named("y"), Named("z")}, "...", "110"},
        {"longer paths: the shortest folder stays", acrLongerPaths, 0,
            {Named("x", "/dd/"), Named("x", "/d/"), Named("x", "/ddd/")}, "...", "101"},
        {"a group of one file", acrSmallerSizes, 0, {Sized(4)}, ".", "0"},
        {"every file excluded", acrSmallerSizes, 0, {Sized(4), Sized(9)}, "RF", "00"},
        {"no rule: every state cleared", acrNone, 0, {Sized(4), Sized(9), Sized(1)}, "...", "000"},
        {"an unknown rule checks nothing", 9, 0, {Sized(4), Sized(9)}, "..", "00"},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Label);
        TDFinder finder;
        TDGroup* group = AddResultGroup(finder, c.Files);
        for (std::int32_t i = 0; i < group->Count(); ++i) {
            TDImage* image = (*group)[i];
            image->CheckState = 2;
            image->ExcludedByRule = c.Excluded[i] == 'R';
            image->ExcludedByFolder = c.Excluded[i] == 'F';
        }
        ApplyAutoCheckRule(*group, c.Rule, c.DateKind);
        EXPECT_EQ(StatesOf(*group), c.Expected);
    }
}

TEST(AutoCheckGroups, ResetsEveryGroupedFileAndRecomputesItsExclusions)
{
    TDFinder finder;
    finder.Folders = {{"/keep/", 1}, {"/d/", 0}};
    TResultFile kept = Sized(7);
    kept.Folder = "/keep/sub/";
    TResultFile text = Sized(10);
    text.Name = "b.txt";
    TDGroup* first = AddResultGroup(finder, {Sized(20), text, Sized(5)});
    AddResultGroup(finder, {});
    TDGroup* second = AddResultGroup(finder, {kept, Sized(7)});
    TResultFile loose = Sized(3);
    loose.CheckState = 2;
    TDImage* ungrouped = AddResultFile(finder, loose);
    for (const TDGroup* group : finder.Groups) {
        for (TDImage* image : *group) {
            image->CheckState = 2;
        }
    }

    TSettings settings = TSettings::Defaults();
    settings.AutoCheckType = acrSmallerSizes;
    settings.SetExcludeExt("*.txt");
    AutoCheckGroups(finder, settings);
    EXPECT_EQ(StatesOf(*first), "101");
    EXPECT_TRUE((*first)[1]->ExcludedByRule);
    EXPECT_EQ(StatesOf(*second), "01");
    EXPECT_TRUE((*second)[0]->ExcludedByFolder);
    EXPECT_FALSE((*second)[1]->ExcludedByFolder);
    EXPECT_EQ(ungrouped->CheckState, 2);

    // The next run takes the exclusions anew.
    settings.SetExcludeExt("");
    AutoCheckGroups(finder, settings);
    EXPECT_FALSE((*first)[1]->ExcludedByRule);
    EXPECT_EQ(StatesOf(*first), "011");
}

TEST(AutoCheckDisabledForAllFolders, OnlyWhenEveryListedFolderIsFlagged)
{
    struct TCase {
        const char* Label;
        std::vector<TFinderFolder> Folders;
        bool Expected;
    };
    const std::vector<TCase> cases = {
        {"no folders", {}, false},
        {"all flagged", {{"/a/", 1}, {"/b/", 3}}, true},
        {"one without the flag", {{"/a/", 1}, {"/b/", 2}}, false},
        {"an unflagged folder inside a flagged one", {{"/a/", 1}, {"/a/b/", 0}}, true},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Label);
        TDFinder finder;
        finder.Folders = c.Folders;
        EXPECT_EQ(AutoCheckDisabledForAllFolders(finder), c.Expected);
    }
}

} // namespace
