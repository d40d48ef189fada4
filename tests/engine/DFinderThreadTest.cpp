#include "engine/DFinderThread.h"

#include "engine/DFinder.h"
#include "engine/DImage.h"
#include "engine/FindFile.h"
#include "engine/Log.h"
#include "engine/SystemServices.h"
#include "engine/ZYUtils.h"
#include "platform/SysCalls.h"
#include "tests/engine/ScanRunner.h"
#include "tests/support/TempTree.h"
#include "tests/support/WatchedCalls.h"

#include <QStringView>

#include <sys/resource.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <fstream>
#include <future>
#include <map>
#include <mutex>
#include <set>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

using scan_test::GroupPaths;
using scan_test::GroupsOf;
using scan_test::LogLines;
using scan_test::ResolvedRoot;
using scan_test::TGroupedFile;
using scan_test::TResultGroup;
using scan_test::TScanRun;
using testing_support::TTempTree;

namespace {

using TPaths = std::vector<std::vector<std::string>>;

TSettings SettingsFor(std::uint8_t findMode)
{
    TSettings settings = TSettings::Defaults();
    settings.FindMode = findMode;
    return settings;
}

// The log's lines from "Retreiving file list..." on (the system description comes first).
std::vector<std::string> ScanLogLines()
{
    std::vector<std::string> lines = LogLines();
    const auto start = std::find(lines.begin(), lines.end(), "Retreiving file list...");
    return std::vector<std::string>(start, lines.end());
}

std::int32_t CountStartingWith(const std::vector<std::string>& lines, const std::string& start)
{
    return std::int32_t(std::count_if(lines.begin(), lines.end(),
        [&](const std::string& line) { return line.starts_with(start); }));
}

// ---- roots ----------------------------------------------------------------------------------

struct TRootsCase {
    const char* Name;
    std::vector<std::string> Listed; // below the tree; "@x" is the link x
    bool Recurse;
    std::vector<std::string> Expected;
};

TEST(NormaliseRoots, DropsDuplicatesLinksAndNestedFoldersOnlyWhereTheyAreSearchedAnyway)
{
    TTempTree tree;
    tree.AddFolder("data/photos/2020");
    tree.AddFolder("data2");
    tree.AddFolder("other");
    const std::string root = ResolvedRoot(tree);
    tree.AddSymlink("to-data", root + "data");
    tree.AddSymlink("to-other", root + "other");
    tree.AddSymlink("to-photos", root + "data/photos");

    const std::vector<TRootsCase> cases = {
        {"nested, subfolders searched", {"data/", "data/photos/"}, true, {"data/"}},
        {"nested, listed inner first", {"data/photos/2020/", "data/"}, true, {"data/"}},
        {"nested, no subfolders: both kept", {"data/", "data/photos/"}, false,
            {"data/", "data/photos/"}},
        {"listed twice", {"data/", "other/", "data/"}, true, {"data/", "other/"}},
        {"listed twice, no subfolders", {"data/", "data/"}, false, {"data/"}},
        {"a name that only begins like another folder", {"data/", "data2/"}, true,
            {"data/", "data2/"}},
        {"a link to a listed folder", {"data/", "@to-data/"}, true, {"data/"}},
        {"a link listed first", {"@to-data/", "data/"}, true, {"data/"}},
        {"a link to an unlisted folder takes its target", {"@to-other/"}, true, {"other/"}},
        {"a link into a listed folder", {"data/", "@to-photos/"}, true, {"data/"}},
        {"a link into a listed folder, no subfolders", {"data/", "@to-photos/"}, false,
            {"data/", "data/photos/"}},
        {"a missing folder stays for the listing to leave out", {"gone/", "data/"}, true,
            {"gone/", "data/"}},
    };
    for (const TRootsCase& c : cases) {
        std::vector<std::string> listed;
        for (const std::string& entry : c.Listed) {
            listed.push_back(entry.starts_with("@") ? root + entry.substr(1) : root + entry);
        }
        std::vector<std::string> expected;
        for (const std::string& entry : c.Expected) {
            expected.push_back(root + entry);
        }
        EXPECT_EQ(NormaliseRoots(listed, c.Recurse), expected) << c.Name;
    }
}

TEST(ScanRoots, NestedFolderIsScannedWhenSubfoldersAreOff)
{
    TTempTree tree;
    tree.AddFileOfSize("a/x.bin", 5000, 7);
    tree.AddFileOfSize("a/b/y.bin", 5000, 7);
    const std::string root = ResolvedRoot(tree);
    TSettings settings = SettingsFor(0);
    settings.Recurse = false;
    TScanRun scan(settings);
    scan.AddFolder(root + "a/");
    scan.AddFolder(root + "a/b/");
    scan.Run();
    EXPECT_EQ(GroupPaths(scan.Finder, root), (TPaths {{"a/x.bin", "a/b/y.bin"}}));
}

TEST(ScanRoots, EveryFileIsListedOnceWhateverLeadsToItsFolderTwice)
{
    TTempTree tree;
    tree.AddFileOfSize("a/x.bin", 5000, 7);
    tree.AddFileOfSize("a/b/y.bin", 5000, 7);
    const std::string root = ResolvedRoot(tree);
    tree.AddSymlink("link-to-a", root + "a");
    TScanRun scan(SettingsFor(0));
    scan.AddFolder(root + "a/b/");
    scan.AddFolder(root + "link-to-a/");
    scan.AddFolder(root + "a/");
    scan.AddFolder(root + "a/");
    scan.Run();
    EXPECT_EQ(GroupPaths(scan.Finder, root), (TPaths {{"a/x.bin", "a/b/y.bin"}}));
}

TEST(ScanRoots, EveryFileIsListedUnderItsOwnRootWhateverLinkInAnotherRootLeadsToIt)
{
    TTempTree tree;
    tree.AddFileOfSize("r/x.bin", 5000, 7);
    tree.AddFileOfSize("out/deep/y.bin", 5000, 7);
    const std::string root = ResolvedRoot(tree);
    tree.AddSymlink("r/link", root + "out");
    TScanRun scan(SettingsFor(0));
    scan.AddFolder(root + "r/");
    scan.AddFolder(root + "out/deep/");
    scan.Finder.Folders.back().Flags = 1 << ffbExcludeFromAutoCheck;
    scan.Run();
    EXPECT_EQ(GroupPaths(scan.Finder, root), (TPaths {{"r/x.bin", "out/deep/y.bin"}}));
    // The folder's protection covers its file.
    EXPECT_TRUE(scan.Finder.IsInFlaggedFolder(root + "out/deep/y.bin", ffbExcludeFromAutoCheck));
}

// ---- the methods ------------------------------------------------------------------------------

TEST(EqualFilesMethod, GroupsEqualFilesAndDropsTheOneDifferingInItsLastByte)
{
    TTempTree tree;
    // Two chunks each, so the last byte lies in a chunk read only while the first ones agree.
    tree.AddFileOfSize("one.bin", 100000, 3);
    tree.AddFileOfSize("sub/two.bin", 100000, 3);
    tree.AddFileOfSize("three.bin", 100000, 3);
    tree.AddFileOfSize("last.bin", 100000, 3);
    tree.PatchByte("last.bin", 99999, std::uint8_t(TTempTree::MakeContent(100000, 3)[99999] ^ 1));
    tree.AddFileOfSize("alone.bin", 1234, 3);
    const std::string root = ResolvedRoot(tree);
    TScanRun scan(SettingsFor(0));
    scan.AddFolder(root);
    scan.Run();

    // "last.bin" comes first in the listing but has no twin; the group starts with "one.bin".
    EXPECT_EQ(GroupsOf(scan.Finder, root),
        (std::vector<TResultGroup> {
            {1, {{"one.bin", 1.0f}, {"three.bin", 1.0f}, {"sub/two.bin", 1.0f}}}}));
    EXPECT_EQ(scan.Finder.Files.Count(), 3);
    EXPECT_TRUE(scan.Finder.SizeBuckets.empty());
    EXPECT_EQ(scan.Finder.State.load(), fsFinished);
}

struct TExtCase {
    const char* Name;
    bool EqualExtOnly;
    TPaths Expected;
};

TEST(EqualFilesMethod, ComparesLowerCasedExtensionsOnlyWhenAsked)
{
    TTempTree tree;
    tree.AddFileOfSize("a.jpg", 3000, 5);
    tree.AddFileOfSize("b.JPG", 3000, 5);
    tree.AddFileOfSize("c.png", 3000, 5);
    const std::string root = ResolvedRoot(tree);
    const std::vector<TExtCase> cases = {
        {"extensions compared", true, {{"a.jpg", "b.JPG"}}},
        {"extensions ignored", false, {{"a.jpg", "b.JPG", "c.png"}}},
    };
    for (const TExtCase& c : cases) {
        TSettings settings = SettingsFor(0);
        settings.ScanEqualExtOnly = c.EqualExtOnly;
        TScanRun scan(settings);
        scan.AddFolder(root);
        scan.Run();
        EXPECT_EQ(GroupPaths(scan.Finder, root), c.Expected) << c.Name;
    }
}

TEST(EqualFilesMethod, FileThatCannotBeReadIsEqualToNothing)
{
    TTempTree tree;
    for (const char* name : {"a.bin", "b.bin", "c.bin", "d.bin"}) {
        tree.AddFileOfSize(name, 100000, 9);
    }
    const std::string root = ResolvedRoot(tree);
    testing_support::TWatchedCalls calls;
    calls.FailOpenOf = root + "b.bin"; // dropped while preprocessing
    calls.FailReadOf = root + "c.bin"; // its first chunk reads, the second does not
    calls.FailReadFrom = 32768;
    platform::TScopedSysCalls scope(calls);
    TScanRun scan(SettingsFor(0));
    scan.AddFolder(root);
    scan.Run();
    EXPECT_EQ(GroupPaths(scan.Finder, root), (TPaths {{"a.bin", "d.bin"}}));
}

TEST(EqualFilesMethod, PreprocessingDropsUnreadableFilesAndHashesOnlyFilesThatShareASize)
{
    TTempTree tree;
    for (const auto& [name, size] : std::vector<std::pair<std::string, std::int64_t>> {
             {"a.bin", 1000}, {"b.bin", 1000}, {"unique.bin", 2000}, {"unique-locked.bin", 3000},
             {"y.bin", 4000}, {"z.bin", 4000}, {"unique-failing.bin", 5000}}) {
        tree.AddFileOfSize(name, size, std::uint32_t(size / 1000));
    }
    const std::string root = ResolvedRoot(tree);
    testing_support::TWatchedCalls calls;
    calls.FailOpenOf = root + "unique-locked.bin";
    calls.FailReadOf = root + "unique-failing.bin";
    platform::TScopedSysCalls scope(calls);

    // A file that cannot be opened goes whatever its size; so does a file whose size no other
    // file has but cannot be read. A file of a unique size is never compared, so its content
    // is not hashed.
    TDFinder finder;
    TFindFile searcher(TSearchSpecialFolders {});
    TDFinderThread thread(finder, searcher, SettingsFor(0));
    finder.Folders.push_back({root, 0});
    thread.ListFiles();
    thread.Preprocess();
    // Buckets are made for the sizes that two files or more share, and only for them.
    std::map<std::int64_t, std::size_t> buckets;
    for (const auto& [size, bucket] : finder.SizeBuckets) {
        buckets[size] = bucket->Items.size();
    }
    EXPECT_EQ(buckets, (std::map<std::int64_t, std::size_t> {{1000, 2}, {4000, 2}}));
    std::map<std::string, std::int32_t> hashed;
    for (TDImage* file : finder.Files) {
        hashed[file->FileName] = file->HashedChunkCount();
    }
    EXPECT_EQ(hashed, (std::map<std::string, std::int32_t> {
                          {"a.bin", 1}, {"b.bin", 1}, {"y.bin", 1}, {"unique.bin", 0},
                          {"z.bin", 1}}));
}

struct TChangedFileCase {
    const char* Name;
    // When the files change: at the gate between listing and preprocessing (nothing hashed
    // yet, fsIdle), or at the gate between preprocessing and comparing (every first chunk
    // hashed, nothing else, fsPreprocessing).
    std::int32_t Moment;
    std::function<void(TTempTree& tree)> Change;
    TPaths Expected;
};

TEST(EqualFilesMethod, AFileChangedAfterItWasListedIsNeverEqualToWhatItNoLongerEquals)
{
    // Three copies of two chunks each.
    constexpr std::int64_t Size = 100000;
    const std::vector<TChangedFileCase> cases = {
        {"deleted before hashing", fsIdle,
            [](TTempTree& tree) { ::unlink(tree.Path("x3.bin").c_str()); }, {{"x1.bin", "x2.bin"}}},
        {"deleted after its first chunk", fsPreprocessing,
            [](TTempTree& tree) { ::unlink(tree.Path("x3.bin").c_str()); }, {{"x1.bin", "x2.bin"}}},
        {"two cut alike inside their last chunk before hashing", fsIdle,
            [](TTempTree& tree) {
                tree.Truncate("x1.bin", Size - 1000);
                tree.Truncate("x2.bin", Size - 1000);
            },
            {}},
        {"two cut alike inside their last chunk after their first", fsPreprocessing,
            [](TTempTree& tree) {
                tree.Truncate("x1.bin", Size - 1000);
                tree.Truncate("x2.bin", Size - 1000);
            },
            {}},
        {"one grew before hashing", fsIdle,
            [](TTempTree& tree) {
                std::ofstream(tree.Path("x1.bin"), std::ios::binary | std::ios::app) << "more";
            },
            {{"x2.bin", "x3.bin"}}},
        {"one grew after its first chunk", fsPreprocessing,
            [](TTempTree& tree) {
                std::ofstream(tree.Path("x1.bin"), std::ios::binary | std::ios::app) << "more";
            },
            {{"x2.bin", "x3.bin"}}},
    };
    for (const TChangedFileCase& c : cases) {
        TTempTree tree;
        for (const char* name : {"x1.bin", "x2.bin", "x3.bin"}) {
            tree.AddFileOfSize(name, Size, 4);
        }
        const std::string root = ResolvedRoot(tree);
        TScanRun scan(SettingsFor(0));
        scan.AddFolder(root);
        bool changed = false;
        scan.Run([&](TDFinderThread& thread) {
            const TDFinder& finder = thread.ScanFinder();
            const bool listed = finder.Files.Count() == 3;
            const bool moment = c.Moment == fsIdle
                ? finder.State.load() == fsIdle && listed
                : finder.State.load() == fsPreprocessing && finder.Progress.load() == 3;
            if (!changed && moment) {
                changed = true;
                c.Change(tree);
            }
        });
        EXPECT_TRUE(changed) << c.Name;
        EXPECT_EQ(GroupPaths(scan.Finder, root), c.Expected) << c.Name;
    }
}

// Counts the calls of the name measure (a plain function, as the scan takes it).
std::atomic<std::int32_t> NameMeasureCalls {0};

double CountedNameSimilarity(QStringView a, QStringView b)
{
    ++NameMeasureCalls;
    return NameSimilarity(a, b);
}

struct TNamesCase {
    const char* Name;
    std::vector<std::string> Files;
    float Similarity;
    bool DoNotCompareExt;
    std::vector<TResultGroup> Expected;
    // The measure gives the similarity of each pair joined whose names differ; pairs that are
    // not joined are ruled out before it.
    std::int32_t MeasureCalls;
};

TEST(SimilarNamesMethod, GroupsByNameAndSkipsPairsBeforeMeasuringThem)
{
    const std::vector<TNamesCase> cases = {
        {"threshold 100: letter case only, never measured",
            {"Photo.JPG", "photo.jpg", "photo2.jpg"}, 100.0f, false,
            {{1, {{"Photo.JPG", 1.0f}, {"photo.jpg", 1.0f}}}}, 0},
        {"names of 4 and 6 units at 80: skipped by their lengths", {"abcd", "abcdef"}, 80.0f, false,
            {}, 0},
        {"names of 5 units at 80: measured", {"abcde", "abcdx"}, 80.0f, false,
            {{1, {{"abcde", 1.0f}, {"abcdx", 0.8f}}}}, 1},
        {"extensions left out when asked", {"report.doc", "report.txt"}, 95.0f, true,
            {{1, {{"report.doc", 1.0f}, {"report.txt", 1.0f}}}}, 0},
        {"extensions compared otherwise", {"report.doc", "report.txt"}, 95.0f, false, {}, 0},
        {"a leading dot starts no extension", {".bashrc", ".bashrd"}, 95.0f, true, {}, 0},
        {"names that are not UTF-8 differ by their bytes", {"\xE0t\xE0.txt", "\xE9t\xE9.txt"},
            95.0f, false, {}, 0},
        {"names that are not UTF-8 differ by their bytes at 100",
            {"\xE0t\xE0.txt", "\xE9t\xE9.txt"}, 100.0f, false, {}, 0},
        {"names that are not UTF-8 equal by their bytes", {"\xE9t\xE9.txt", "sub/\xE9t\xE9.txt"},
            100.0f, false, {{1, {{"\xE9t\xE9.txt", 1.0f}, {"sub/\xE9t\xE9.txt", 1.0f}}}}, 0},
    };
    for (const TNamesCase& c : cases) {
        TTempTree tree;
        for (std::size_t i = 0; i < c.Files.size(); ++i) {
            tree.AddFileOfSize(c.Files[i], 10 + std::int64_t(i), std::uint32_t(i + 1));
        }
        const std::string root = ResolvedRoot(tree);
        TSettings settings = SettingsFor(2);
        settings.Similarity = c.Similarity;
        settings.DoNotCompareExt = c.DoNotCompareExt;
        TScanRun scan(settings);
        scan.Thread->NameMeasure = &CountedNameSimilarity;
        scan.AddFolder(root);
        NameMeasureCalls = 0;
        scan.Run();
        EXPECT_EQ(GroupsOf(scan.Finder, root), c.Expected) << c.Name;
        EXPECT_EQ(NameMeasureCalls.load(), c.MeasureCalls) << c.Name;
    }
}

TEST(EqualSizesMethod, GroupsEverySizeSharedByTwoFilesInTheOrderOfTheirFirstFile)
{
    TTempTree tree;
    tree.AddFileOfSize("a.bin", 10, 1);
    tree.AddFileOfSize("b.bin", 20, 2);
    tree.AddFileOfSize("c.bin", 10, 3);
    tree.AddFileOfSize("d.bin", 30, 4);
    tree.AddFileOfSize("e.bin", 20, 5);
    tree.AddFileOfSize("f.bin", 10, 6);
    const std::string root = ResolvedRoot(tree);
    TScanRun scan(SettingsFor(3));
    scan.AddFolder(root);
    scan.Run();
    EXPECT_EQ(GroupsOf(scan.Finder, root),
        (std::vector<TResultGroup> {
            {1, {{"a.bin", 1.0f}, {"c.bin", 1.0f}, {"f.bin", 1.0f}}},
            {2, {{"b.bin", 1.0f}, {"e.bin", 1.0f}}},
        }));
}

TEST(EqualSizesMethod, EmptyFilesFormOneGroupUnlessSkipped)
{
    TTempTree tree;
    tree.AddFile("x", "");
    tree.AddFile("y", "");
    tree.AddFile("sub/z", "");
    const std::string root = ResolvedRoot(tree);
    for (const bool skipZero : {false, true}) {
        TSettings settings = SettingsFor(3);
        settings.SkipZeroFiles = skipZero;
        TScanRun scan(settings);
        scan.AddFolder(root);
        scan.Run();
        const TPaths expected = skipZero ? TPaths {} : TPaths {{"x", "y", "sub/z"}};
        EXPECT_EQ(GroupPaths(scan.Finder, root), expected) << "skip empty files: " << skipZero;
    }
}

TEST(ScanThread, WorksOnTheOptionsAsTheyWereWhenItWasMade)
{
    TTempTree tree;
    tree.AddFileOfSize("a.bin", 10, 1);
    tree.AddFileOfSize("b.bin", 10, 2);
    const std::string root = ResolvedRoot(tree);
    TSettings settings = SettingsFor(3);
    TScanRun scan(settings);
    settings.FindMode = 0;
    settings.Filter.EnableFilter = true;
    settings.Filter.FilterMode = 1; // include mode without rules: would let everything through
    scan.AddFolder(root);
    scan.Run();
    EXPECT_EQ(GroupPaths(scan.Finder, root), (TPaths {{"a.bin", "b.bin"}}));
}

// ---- states, progress and the end ----------------------------------------------------------

TEST(ScanThread, EmptyFolderRunsThroughTheStatesAndEndsWithoutGroups)
{
    TTempTree tree;
    tree.AddFolder("empty");
    TScanRun scan(SettingsFor(0));
    scan.AddFolder(ResolvedRoot(tree) + "empty/");
    std::vector<std::int32_t> states;
    scan.Run([&](TDFinderThread& thread) {
        const std::int32_t state = thread.ScanFinder().State.load();
        if (states.empty() || states.back() != state) {
            states.push_back(state);
        }
    });
    EXPECT_EQ(states,
        (std::vector<std::int32_t> {fsIdle, fsListing, fsIdle, fsPreprocessing, fsFinished}));
    EXPECT_EQ(scan.Finder.State.load(), fsFinished);
    EXPECT_TRUE(scan.Finder.Groups.IsEmpty());
    EXPECT_EQ(scan.Callbacks(), 1);
}

TEST(ScanThread, NoFolderEndsAtOnce)
{
    TScanRun scan(SettingsFor(0));
    scan.Finder.Progress = 55;
    scan.Run();
    EXPECT_EQ(scan.Finder.State.load(), fsIdle);
    EXPECT_EQ(scan.Finder.Progress.load(), 0);
    EXPECT_EQ(scan.Callbacks(), 1);
}

TEST(ScanThread, ComparingProgressStartsAtOneAndNeverGoesBelowZero)
{
    TTempTree tree;
    tree.AddFileOfSize("a", 10, 1);
    tree.AddFileOfSize("b", 20, 2);
    tree.AddFileOfSize("c", 30, 3);
    TScanRun scan(SettingsFor(3));
    scan.AddFolder(ResolvedRoot(tree));
    std::vector<std::int32_t> seen;
    scan.Run([&](TDFinderThread& thread) {
        if (thread.ScanFinder().State.load() == fsComparing) {
            seen.push_back(thread.ScanFinder().Progress.load());
        }
    });
    // i * 100 / 3 - 2 cut to a whole number: -2 (shown as 0), 31, 64.
    EXPECT_EQ(seen, (std::vector<std::int32_t> {1, 0, 31}));
    EXPECT_EQ(scan.Finder.Progress.load(), 64);
}

TEST(ScanThread, ScanLogHoldsTheStepsInOrder)
{
    TTempTree tree;
    tree.AddFileOfSize("a.bin", 100, 1);
    tree.AddFileOfSize("b.bin", 100, 1);
    const std::string root = ResolvedRoot(tree);
    TSettings settings = SettingsFor(0);
    settings.EnableLog = true;
    TScanRun scan(settings);
    scan.AddFolder(root);
    scan.Run();
    EXPECT_EQ(ScanLogLines(),
        (std::vector<std::string> {"Retreiving file list...", "File list retreived.",
            "Starting scan...", "Processing file: " + root + "b.bin",
            "Processing file: " + root + "a.bin"}));
    // The system description's five lines come first.
    EXPECT_GE(LogLines().size(), ScanLogLines().size() + 5);
    ReplaceAppLog(nullptr);
}

TEST(ScanThread, LogStaysUntouchedWhenLoggingIsOff)
{
    TTempTree tree;
    tree.AddFileOfSize("a.bin", 100, 1);
    TSettings settings = SettingsFor(0);
    settings.EnableLog = true;
    {
        TScanRun first(settings);
        first.AddFolder(ResolvedRoot(tree));
        first.Run();
    }
    const std::vector<std::string> before = LogLines();
    settings.EnableLog = false;
    TScanRun second(settings);
    second.AddFolder(ResolvedRoot(tree));
    second.Run();
    EXPECT_EQ(LogLines(), before);
    ReplaceAppLog(nullptr);
}

TEST(ScanStop, DuringListingEndsWithNoGroupsAndTheAbortLine)
{
    TTempTree tree;
    tree.AddFileOfSize("r1/a.bin", 100, 1);
    tree.AddFileOfSize("r1/b.bin", 100, 1);
    tree.AddFileOfSize("r2/c.bin", 100, 1);
    const std::string root = ResolvedRoot(tree);
    TSettings settings = SettingsFor(0);
    settings.EnableLog = true;
    TScanRun scan(settings);
    scan.AddFolder(root + "r1/");
    scan.AddFolder(root + "r2/");
    std::int32_t filesWhenListingEnded = -1;
    scan.Run([&](TDFinderThread& thread) {
        TDFinder& finder = thread.ScanFinder();
        if (finder.State.load() == fsListing) {
            thread.Stop();
        } else if (filesWhenListingEnded < 0 && finder.State.load() == fsIdle &&
            ScanAborted.load()) {
            filesWhenListingEnded = finder.Files.Count();
        }
    });
    EXPECT_EQ(filesWhenListingEnded, 0);
    EXPECT_TRUE(scan.Finder.Groups.IsEmpty());
    EXPECT_TRUE(scan.Finder.Files.IsEmpty());
    const std::vector<std::string> lines = ScanLogLines();
    EXPECT_EQ(CountStartingWith(lines, "Starting scan..."), 0);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back(), "Aborted by user");
    EXPECT_EQ(scan.Callbacks(), 1);
    EXPECT_TRUE(ScanAborted.load()) << "the thread never clears the flag";
    ReplaceAppLog(nullptr);
}

TEST(ScanStop, GivenBeforeTheThreadRunsIsNotLost)
{
    TTempTree tree;
    tree.AddFileOfSize("a.bin", 100, 1);
    tree.AddFileOfSize("b.bin", 100, 1);
    TScanRun scan(SettingsFor(0));
    scan.AddFolder(ResolvedRoot(tree));
    ScanAborted = false;
    scan.Thread->Stop();
    ASSERT_TRUE(scan.Thread->Start());
    scan.Thread->WaitFor();
    EXPECT_TRUE(scan.Finder.Files.IsEmpty());
    EXPECT_TRUE(scan.Finder.Groups.IsEmpty());
    EXPECT_EQ(scan.Callbacks(), 1);
}

TEST(ScanStop, DuringPreprocessingStopsAtTheNextFile)
{
    TTempTree tree;
    for (const char* name : {"a.bin", "b.bin", "c.bin", "d.bin"}) {
        tree.AddFileOfSize(name, 100, 1);
    }
    TSettings settings = SettingsFor(0);
    settings.EnableLog = true;
    TScanRun scan(settings);
    scan.AddFolder(ResolvedRoot(tree));
    scan.Run([](TDFinderThread& thread) {
        TDFinder& finder = thread.ScanFinder();
        if (finder.State.load() == fsPreprocessing && finder.Progress.load() == 1) {
            thread.Stop();
        }
    });
    const std::vector<std::string> lines = ScanLogLines();
    EXPECT_EQ(CountStartingWith(lines, "Processing file: "), 1);
    EXPECT_EQ(lines.back(), "Aborted by user");
    EXPECT_TRUE(scan.Finder.Groups.IsEmpty());
    EXPECT_EQ(scan.Finder.State.load(), fsFinished);
    EXPECT_EQ(scan.Callbacks(), 1);
    ReplaceAppLog(nullptr);
}

TEST(ScanStop, DuringComparingKeepsTheGroupsFoundSoFar)
{
    TTempTree tree;
    tree.AddFileOfSize("a1.bin", 100, 1);
    tree.AddFileOfSize("a2.bin", 100, 1);
    tree.AddFileOfSize("b1.bin", 200, 2);
    tree.AddFileOfSize("b2.bin", 200, 2);
    const std::string root = ResolvedRoot(tree);
    TScanRun scan(SettingsFor(0));
    scan.AddFolder(root);
    scan.Run([](TDFinderThread& thread) {
        TDFinder& finder = thread.ScanFinder();
        if (finder.State.load() == fsComparing && finder.Groups.Count() == 1) {
            thread.Stop();
        }
    });
    EXPECT_EQ(GroupPaths(scan.Finder, root), (TPaths {{"a1.bin", "a2.bin"}}));
    EXPECT_EQ(scan.Finder.Files.Count(), 2);
    EXPECT_TRUE(scan.Thread->Terminated());
    EXPECT_EQ(scan.Callbacks(), 1);
}

TEST(ScanPause, StopOpensTheGateAndResumeGoesOn)
{
    TTempTree tree;
    tree.AddFileOfSize("a.bin", 100, 1);
    tree.AddFileOfSize("b.bin", 100, 1);
    const std::string root = ResolvedRoot(tree);
    for (const bool stop : {true, false}) {
        TScanRun scan(SettingsFor(0));
        scan.AddFolder(root);
        std::promise<void> paused;
        bool pausedOnce = false;
        ScanAborted = false;
        scan.Thread->OnGate = [&] {
            if (!pausedOnce && scan.Finder.State.load() == fsPreprocessing) {
                pausedOnce = true;
                scan.Thread->Pause();
                paused.set_value();
            }
        };
        ASSERT_TRUE(scan.Thread->Start());
        paused.get_future().wait();
        // The thread stays at the gate until one of these lets it go.
        if (stop) {
            scan.Thread->Stop();
        } else {
            scan.Thread->Resume();
        }
        scan.Thread->WaitFor();
        EXPECT_FALSE(scan.Thread->Suspended());
        const TPaths expected = stop ? TPaths {} : TPaths {{"a.bin", "b.bin"}};
        EXPECT_EQ(GroupPaths(scan.Finder, root), expected) << "stopped: " << stop;
        EXPECT_EQ(scan.Callbacks(), 1);
    }
}

// ---- pause in every state ----------------------------------------------------------------

enum TPauseEnd { peResume, peStop, peDestroy };

struct TPauseCase {
    std::uint8_t Method;
    std::int32_t State;
    TPauseEnd End;
};

std::string Describe(const TPauseCase& c)
{
    const char* ends[] = {"resume", "stop", "destroy"};
    return "method " + std::to_string(c.Method) + ", state " + std::to_string(c.State) + ", " +
        ends[c.End];
}

// A tree with work for every state: folders to list, many files whose first chunks are
// hashed, a bucket of large copies whose later chunks are hashed piece by piece, and
// near-copies for the similar-files method.
void MakePauseTree(TTempTree& tree)
{
    for (std::int32_t i = 0; i < 48; ++i) {
        tree.AddFileOfSize("small/d" + std::to_string(i % 6) + "/f" + std::to_string(i) + ".bin",
            40000, std::uint32_t(i / 2));
    }
    for (std::int32_t i = 0; i < 4; ++i) {
        tree.AddFileOfSize("small/big/b" + std::to_string(i) + ".bin", 3 * 1048576, 99);
    }
    for (std::int32_t i = 0; i < 5; ++i) {
        const std::string name = "sim/s" + std::to_string(i) + ".bin";
        tree.AddFileOfSize(name, 60000, 7);
        tree.Truncate(name, 60000 - 500 * i);
    }
}

// Pause is given at the first gate of the scan thread, or the first read of any thread, in
// the state; the scan must then hold entirely (nothing read, no gate passed, no number
// changed) until it is resumed, stopped or destroyed. Comparisons already handed to the pool
// of the similar-files method run to their end, so only there reads go on.
TEST(ScanPause, HoldsInEveryStateOfEveryMethodUntilResumedStoppedOrDestroyed)
{
    TTempTree tree;
    MakePauseTree(tree);
    const std::string root = ResolvedRoot(tree);
    const auto rootOf = [&root](std::uint8_t method) {
        return root + (method == 1 ? "sim/" : "small/");
    };
    const auto settingsOf = [](std::uint8_t method) {
        TSettings settings = SettingsFor(method);
        // Names like "f10.bin" and "f11.bin" are 86% alike.
        settings.Similarity = method == 2 ? 80.0f : 95.0f;
        return settings;
    };
    // The groups of scans that were never paused.
    std::map<std::uint8_t, std::vector<TResultGroup>> unpaused;
    for (const std::uint8_t method : {0, 1, 2, 3}) {
        TScanRun scan(settingsOf(method));
        scan.AddFolder(rootOf(method));
        scan.Run();
        unpaused[method] = GroupsOf(scan.Finder, root);
        ASSERT_FALSE(unpaused[method].empty()) << "method " << int(method);
    }

    std::vector<TPauseCase> cases;
    for (const std::uint8_t method : {0, 1, 2, 3}) {
        for (const std::int32_t state : {fsListing, fsPreprocessing, fsComparing}) {
            for (const TPauseEnd end : {peResume, peStop, peDestroy}) {
                cases.push_back({method, state, end});
            }
        }
    }
    for (const TPauseCase& c : cases) {
        SCOPED_TRACE(Describe(c));
        testing_support::TWatchedCalls calls;
        auto scan = std::make_unique<TScanRun>(settingsOf(c.Method));
        TDFinderThread& thread = *scan->Thread;
        TDFinder& finder = scan->Finder;
        scan->AddFolder(rootOf(c.Method));
        std::atomic<bool> pauseGiven {false};
        std::atomic<std::int64_t> bytesAtPause {0};
        std::atomic<std::int32_t> readsWhileSuspended {0};
        std::atomic<std::int32_t> gatesWhileSuspended {0};
        const auto maybePause = [&] {
            if (finder.State.load() == c.State && !pauseGiven.exchange(true)) {
                thread.Pause();
                bytesAtPause = calls.TotalReadBytes();
            }
        };
        const bool poolReadsOn = c.Method == 1 && c.State == fsComparing;
        calls.BeforeRead = [&](const std::string&, off_t) {
            if (!poolReadsOn && thread.Suspended()) {
                ++readsWhileSuspended;
            }
            maybePause();
        };
        thread.OnGate = [&] {
            if (thread.Suspended()) {
                ++gatesWhileSuspended;
            }
            maybePause();
        };
        platform::TScopedSysCalls scope(calls);
        ScanAborted = false;
        ASSERT_TRUE(thread.Start());

        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (!thread.Suspended() && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::yield();
        }
        EXPECT_TRUE(pauseGiven.load());
        if (!thread.Suspended()) {
            ADD_FAILURE() << "not suspended within the deadline";
            thread.Resume();
            thread.WaitFor();
            break;
        }
        const std::int32_t state = finder.State.load();
        const std::int32_t progress = finder.Progress.load();
        const std::int32_t files = finder.FileCount.load();
        const std::int64_t bytes = calls.TotalReadBytes();
        EXPECT_EQ(state, c.State);
        if (c.Method == 0) {
            // Each worker, and the scan thread, reads at most the piece in hand after Pause.
            EXPECT_LE(bytes - bytesAtPause.load(),
                std::int64_t(thread.ProcessorCount() + 1) * std::int64_t(HashReadSize));
        }
        // Still held: nothing has moved.
        EXPECT_TRUE(thread.Suspended());
        EXPECT_EQ(finder.State.load(), state);
        EXPECT_EQ(finder.Progress.load(), progress);
        EXPECT_EQ(finder.FileCount.load(), files);
        if (!poolReadsOn) {
            EXPECT_EQ(calls.TotalReadBytes(), bytes);
        }

        switch (c.End) {
        case peResume:
            thread.Resume();
            thread.WaitFor();
            EXPECT_EQ(GroupsOf(finder, root), unpaused[c.Method]);
            break;
        case peStop:
            thread.Stop();
            thread.WaitFor();
            EXPECT_FALSE(thread.Suspended());
            break;
        case peDestroy:
            scan->Thread.reset();
            break;
        }
        EXPECT_EQ(scan->Callbacks(), 1);
        EXPECT_EQ(readsWhileSuspended.load(), 0);
        EXPECT_EQ(gatesWhileSuspended.load(), 0);
    }
}

TEST(ScanClosing, DuringPreprocessingSkipsTheMethodAndTheCleanUp)
{
    TTempTree tree;
    tree.AddFileOfSize("a.bin", 100, 1);
    tree.AddFileOfSize("b.bin", 100, 1);
    tree.AddFileOfSize("c.bin", 300, 1);
    TSettings settings = SettingsFor(0);
    settings.EnableLog = true;
    TScanRun scan(settings);
    scan.AddFolder(ResolvedRoot(tree));
    scan.Run([](TDFinderThread& thread) {
        if (thread.ScanFinder().State.load() == fsPreprocessing) {
            thread.Terminate();
        }
    });
    EXPECT_EQ(scan.Finder.State.load(), fsPreprocessing);
    EXPECT_EQ(scan.Finder.Files.Count(), 3);
    EXPECT_TRUE(scan.Finder.Groups.IsEmpty());
    EXPECT_TRUE(scan.Finder.SizeBuckets.empty());
    EXPECT_EQ(CountStartingWith(ScanLogLines(), "Aborted by user"), 0);
    EXPECT_EQ(scan.Callbacks(), 1);
    ReplaceAppLog(nullptr);
}

TEST(ScanThread, EndCallbackRunsAfterAFailureAndNotWhenDetached)
{
    TTempTree tree;
    tree.AddFileOfSize("a.bin", 100, 1);
    {
        TScanRun scan(SettingsFor(0));
        scan.AddFolder(ResolvedRoot(tree));
        scan.Run([](TDFinderThread&) { throw std::runtime_error("failure inside the scan"); });
        EXPECT_EQ(scan.Callbacks(), 1);
        EXPECT_EQ(scan.Thread->ErrorText(), "failure inside the scan");
    }
    {
        TScanRun scan(SettingsFor(0));
        scan.AddFolder(ResolvedRoot(tree));
        scan.Thread->DetachOnTerminate();
        scan.Run();
        EXPECT_EQ(scan.Callbacks(), 0);
        EXPECT_EQ(scan.Finder.Files.Count(), 0);
    }
}

TEST(ScanThread, AFinishedOrStoppedScanHasNoErrorText)
{
    TTempTree tree;
    tree.AddFileOfSize("a.bin", 100, 1);
    tree.AddFileOfSize("b.bin", 100, 1);
    for (const bool stop : {false, true}) {
        TScanRun scan(SettingsFor(0));
        scan.AddFolder(ResolvedRoot(tree));
        scan.Run([stop](TDFinderThread& thread) {
            if (stop && thread.ScanFinder().State.load() == fsPreprocessing) {
                thread.Stop();
            }
        });
        EXPECT_EQ(scan.Thread->ErrorText(), "") << "stopped " << stop;
    }
}

TEST(ScanThread, AStoppedScanLeavesTheFileSearcherAsAFreshOne)
{
    TTempTree tree;
    tree.AddFileOfSize("r1/a.bin", 100, 1);
    tree.AddFileOfSize("r2/b.bin", 100, 1);
    const std::string root = ResolvedRoot(tree);
    TScanRun scan(SettingsFor(0));
    scan.AddFolder(root + "r1/");
    scan.AddFolder(root + "r2/");
    scan.Run([](TDFinderThread& thread) {
        if (thread.ScanFinder().State.load() == fsListing) {
            thread.Stop();
        }
    });
    ASSERT_TRUE(scan.Finder.Files.IsEmpty());
    EXPECT_FALSE(scan.Searcher.Abort);
    EXPECT_EQ(scan.Searcher.AbortSignal, nullptr);
    EXPECT_FALSE(scan.Searcher.OnNewPath);
    EXPECT_FALSE(scan.Searcher.OnNewFileEvent);
    EXPECT_EQ(scan.Searcher.Filter, nullptr);
    // The stop flag is still set until the next scan clears it; a search of its own with the
    // same searcher finds every file.
    ASSERT_TRUE(ScanAborted.load());
    scan.Searcher.Files.clear();
    scan.Searcher.Execute();
    EXPECT_EQ(
        scan.Searcher.Files, (std::vector<std::string> {root + "r1/a.bin", root + "r2/b.bin"}));
}

TEST(ScanThread, DestroyingARunningScanEndsAndJoinsIt)
{
    TTempTree tree;
    tree.AddFileOfSize("a.bin", 100, 1);
    auto scan = std::make_unique<TScanRun>(SettingsFor(0));
    scan->AddFolder(ResolvedRoot(tree));
    std::promise<void> paused;
    bool pausedOnce = false;
    ScanAborted = false;
    scan->Thread->OnGate = [&] {
        if (!pausedOnce && scan->Finder.State.load() == fsListing) {
            pausedOnce = true;
            scan->Thread->Pause();
            paused.set_value();
        }
    };
    ASSERT_TRUE(scan->Thread->Start());
    paused.get_future().wait();
    scan->Thread.reset();
    EXPECT_EQ(scan->Callbacks(), 1);
}

// Records the nice values asked for, by thread, and refuses them all.
class TRefusedPriorities : public platform::TSysCalls {
public:
    int SetPriority(int which, id_t who, int priority) override
    {
        std::lock_guard guard(FLock);
        if (which == PRIO_PROCESS) {
            Asked[pid_t(who)] = priority;
        }
        errno = EACCES;
        return -1;
    }
    std::map<pid_t, int> Asked;

private:
    std::mutex FLock;
};

TEST(ScanThread, RunsAtTheNiceValueOfItsPriorityAndGoesOnWhenRefused)
{
    TTempTree tree;
    tree.AddFileOfSize("a.bin", 100, 1);
    tree.AddFileOfSize("b.bin", 100, 1);
    TRefusedPriorities calls;
    platform::TScopedSysCalls scope(calls);
    TSettings settings = SettingsFor(0);
    settings.Priority = 2;
    TScanRun scan(settings);
    scan.AddFolder(ResolvedRoot(tree));
    pid_t scanThread = 0;
    scan.Run([&](TDFinderThread&) { scanThread = ::gettid(); });
    ASSERT_TRUE(calls.Asked.contains(scanThread));
    EXPECT_EQ(calls.Asked[scanThread], 5);
    EXPECT_EQ(scan.Finder.Groups.Count(), 1);
}

} // namespace
