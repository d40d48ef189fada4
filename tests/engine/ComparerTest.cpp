#include "engine/Comparer.h"

#include "engine/DFinder.h"
#include "engine/DFinderThread.h"
#include "engine/Log.h"
#include "engine/MemPools.h"
#include "engine/SystemServices.h"
#include "platform/FindRecord.h"
#include "platform/SysCalls.h"
#include "tests/engine/ScanRunner.h"
#include "tests/support/WatchedCalls.h"
#include "tests/support/TempTree.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

using scan_test::GroupPaths;
using scan_test::GroupsOf;
using scan_test::LogLines;
using scan_test::ResolvedRoot;
using scan_test::TResultGroup;
using scan_test::TScanRun;
using testing_support::TTempTree;
using testing_support::TWatchedCalls;

namespace {

using TPaths = std::vector<std::vector<std::string>>;

TSettings SimilarFilesSettings(float similarity = 95.0f)
{
    TSettings settings = TSettings::Defaults();
    settings.FindMode = 1;
    settings.Similarity = similarity;
    return settings;
}

std::vector<std::string> DiffLogLines()
{
    std::vector<std::string> lines;
    for (const std::string& line : LogLines()) {
        if (line.starts_with("Computing diff between: ")) {
            lines.push_back(line);
        }
    }
    return lines;
}

// A record of a file in the tree, as the listing makes it.
std::unique_ptr<TDImage> ImageOf(
    const std::string& root, const std::string& name, std::int64_t size)
{
    platform::TFindRecord record;
    record.Name = name;
    record.Size = size;
    record.Kind = platform::TEntryKind::ekRegular;
    return std::make_unique<TDImage>(root, record);
}

// ---- one job ----------------------------------------------------------------------------------

TEST(ComparerJob, MeasuresThePairAndMatchesOnlyAtTheThreshold)
{
    TTempTree tree;
    tree.AddFileOfSize("a.bin", 20000, 1);
    tree.AddFileOfSize("same.bin", 20000, 1);
    tree.AddFileOfSize("other.bin", 20000, 2);
    const std::string root = ResolvedRoot(tree);
    TByteArrayPool hashPool(1, 1048576);
    TByteArrayPool chunkPool(4, ComparerBufferSize);
    TIntArrayPool indexPool(8, ComparerBufferSize);
    const std::atomic<bool> aborted {false};

    struct TCase {
        const char* Other;
        bool Matches;
    };
    for (const TCase& c : {TCase {"same.bin", true}, TCase {"other.bin", false}}) {
        auto a = ImageOf(root, "a.bin", 20000);
        auto b = ImageOf(root, c.Other, 20000);
        TPairOutcome outcome(*a, *b);
        TComparer(outcome, &hashPool, &chunkPool, &indexPool, 95.0f, aborted, nullptr).Run();
        EXPECT_TRUE(outcome.Measured) << c.Other;
        EXPECT_EQ(outcome.Matches(95.0f), c.Matches) << c.Other;
        if (c.Matches) {
            EXPECT_EQ(outcome.Similarity, 1.0f);
        }
    }
}

TEST(ComparerJob, ComparesNothingOnceTheScanIsStopped)
{
    TTempTree tree;
    tree.AddFileOfSize("a.bin", 50000, 1);
    tree.AddFileOfSize("b.bin", 50000, 1);
    const std::string root = ResolvedRoot(tree);
    auto a = ImageOf(root, "a.bin", 50000);
    auto b = ImageOf(root, "b.bin", 50000);
    TWatchedCalls calls;
    platform::TScopedSysCalls scope(calls);
    const std::atomic<bool> aborted {true};
    TPairOutcome outcome(*a, *b);
    TComparer(outcome, nullptr, nullptr, nullptr, 95.0f, aborted, nullptr).Run();
    EXPECT_FALSE(outcome.Measured);
    EXPECT_FALSE(outcome.Matches(0.0f));
    EXPECT_EQ(calls.Opens(root + "a.bin") + calls.Opens(root + "b.bin"), 0);
}

// ---- the method -------------------------------------------------------------------------------

TEST(ComparerMethod, GroupsIdenticalFilesAtOne)
{
    TTempTree tree;
    tree.AddFileOfSize("a.bin", 50000, 1);
    tree.AddFileOfSize("b.bin", 50000, 1);
    tree.AddFileOfSize("c.bin", 70000, 2);
    const std::string root = ResolvedRoot(tree);
    TScanRun scan(SimilarFilesSettings());
    scan.AddFolder(root);
    scan.Run();
    EXPECT_EQ(GroupsOf(scan.Finder, root),
        (std::vector<TResultGroup> {{1, {{"a.bin", 1.0f}, {"b.bin", 1.0f}}}}));
    EXPECT_EQ(scan.Finder.State.load(), fsFinished);
    EXPECT_EQ(scan.Thread->Pool.load(), nullptr);
    EXPECT_EQ(scan.Callbacks(), 1);
}

TEST(ComparerMethod, SizeRatioDecidesBeforeAnyFileIsOpened)
{
    TTempTree tree;
    tree.AddFileOfSize("long.bin", 1000, 4);
    tree.AddFileOfSize("short.bin", 1000, 4);
    tree.Truncate("short.bin", 960);
    const std::string root = ResolvedRoot(tree);
    struct TCase {
        float Similarity;
        bool Compared;
    };
    for (const TCase& c : {TCase {95.0f, true}, TCase {97.0f, false}}) {
        TWatchedCalls calls;
        platform::TScopedSysCalls scope(calls);
        TScanRun scan(SimilarFilesSettings(c.Similarity));
        scan.AddFolder(root);
        scan.Run();
        const std::int32_t opens = calls.Opens(root + "long.bin") + calls.Opens(root + "short.bin");
        const std::int32_t stats = calls.Stats(root + "long.bin") + calls.Stats(root + "short.bin");
        if (c.Compared) {
            EXPECT_GT(opens, 0);
            // The 40 bytes that the shorter file lacks count: 1 - 40 / 960 is above 0.95.
            EXPECT_EQ(GroupPaths(scan.Finder, root), (TPaths {{"long.bin", "short.bin"}}));
        } else {
            EXPECT_EQ(opens, 0);
            EXPECT_EQ(stats, 0) << "the existence test comes after the size test";
            EXPECT_TRUE(scan.Finder.Groups.IsEmpty());
        }
    }
}

struct TProgressCase {
    std::vector<std::int64_t> Sizes;
    std::vector<std::int32_t> Seen;
};

TEST(ComparerMethod, ProgressRunsToOneHundredOverAllPairs)
{
    const std::vector<TProgressCase> cases = {
        {{1000, 5000, 20000}, {1, 33, 66, 100}},
        {{1000}, {1}},
    };
    for (const TProgressCase& c : cases) {
        TTempTree tree;
        for (std::size_t i = 0; i < c.Sizes.size(); ++i) {
            tree.AddFileOfSize("f" + std::to_string(i), c.Sizes[i], std::uint32_t(i));
        }
        TScanRun scan(SimilarFilesSettings());
        scan.AddFolder(ResolvedRoot(tree));
        std::vector<std::int32_t> seen;
        scan.Run([&](TDFinderThread& thread) {
            const std::int32_t state = thread.ScanFinder().State.load();
            const std::int32_t progress = thread.ScanFinder().Progress.load();
            if ((state == fsComparing || state == fsFinished) &&
                (seen.empty() || seen.back() != progress)) {
                seen.push_back(progress);
            }
        });
        EXPECT_EQ(seen, c.Seen) << c.Sizes.size() << " files";
    }
}

TEST(ComparerMethod, HandsOutOnlyPairsThatCanMatch)
{
    TTempTree tree;
    tree.AddFile("e1.bin", "");
    tree.AddFile("e2.bin", "");
    tree.AddFileOfSize("photo.jpg", 3000, 1);
    tree.AddFileOfSize("photo.png", 3000, 1);
    tree.AddFileOfSize("p.bin", 5000, 2);
    tree.AddFileOfSize("q.bin", 5000, 2);
    tree.AddFileOfSize("r.bin", 9000, 3);
    tree.AddFileOfSize("s.bin", 9000, 3);
    const std::string root = ResolvedRoot(tree);
    TSettings settings = SimilarFilesSettings();
    settings.SkipZeroFiles = false;
    settings.ScanEqualExtOnly = true;
    settings.EnableLog = true;
    TScanRun scan(settings);
    scan.AddFolder(root);
    bool removed = false;
    // p.bin vanishes once the comparing has begun.
    scan.Run([&](TDFinderThread& thread) {
        if (!removed && thread.ScanFinder().State.load() == fsComparing) {
            removed = true;
            ::unlink((root + "p.bin").c_str());
        }
    });
    EXPECT_EQ(DiffLogLines(),
        (std::vector<std::string> {
            "Computing diff between: " + root + "r.bin and " + root + "s.bin"}));
    EXPECT_EQ(GroupPaths(scan.Finder, root), (TPaths {{"r.bin", "s.bin"}}));
    ReplaceAppLog(nullptr);
}

TEST(ComparerMethod, StopEndsTheHandOutAtTheNextPair)
{
    TTempTree tree;
    for (const char* name : {"a.bin", "b.bin", "c.bin", "d.bin"}) {
        tree.AddFileOfSize(name, 3000, 1);
    }
    const std::string root = ResolvedRoot(tree);
    TWatchedCalls calls;
    platform::TScopedSysCalls scope(calls);
    TSettings settings = SimilarFilesSettings();
    settings.EnableLog = true;
    TScanRun scan(settings);
    scan.AddFolder(root);
    // Both files of the first pair have been found to exist: it has been handed out.
    scan.Run([&](TDFinderThread& thread) {
        if (thread.ScanFinder().State.load() == fsComparing && calls.Stats(root + "b.bin") > 0) {
            thread.Stop();
        }
    });
    EXPECT_EQ(DiffLogLines().size(), 1u);
    EXPECT_EQ(scan.Finder.State.load(), fsFinished);
    EXPECT_EQ(scan.Callbacks(), 1);
    ReplaceAppLog(nullptr);
}

TEST(ComparerMethod, StopLetsAComparisonUnderWayFinishAndAddItsPair)
{
    TTempTree tree;
    tree.AddFileOfSize("a.bin", 100000, 6);
    tree.AddFileOfSize("b.bin", 100000, 6);
    tree.Truncate("b.bin", 99000);
    const std::string root = ResolvedRoot(tree);
    TWatchedCalls calls;
    TScanRun scan(SimilarFilesSettings());
    calls.BeforeRead = [&](const std::string& path, off_t) {
        if (path == root + "b.bin" && !ScanAborted.load()) {
            scan.Thread->Stop();
        }
    };
    platform::TScopedSysCalls scope(calls);
    scan.AddFolder(root);
    scan.Run();
    EXPECT_EQ(calls.ReadEnd(root + "b.bin"), 99000 + 32768 - 99000 % 32768)
        << "the comparison ran to the end of the shorter file";
    EXPECT_EQ(GroupPaths(scan.Finder, root), (TPaths {{"a.bin", "b.bin"}}));
}

TEST(ComparerMethod, ClosingStopsAComparisonBetweenChunkPairs)
{
    TTempTree tree;
    tree.AddFileOfSize("a.bin", 300000, 8);
    tree.AddFileOfSize("b.bin", 300000, 8);
    tree.Truncate("b.bin", 299000);
    const std::string root = ResolvedRoot(tree);
    TWatchedCalls calls;
    TScanRun scan(SimilarFilesSettings());
    calls.BeforeRead = [&](const std::string& path, off_t) {
        if (path == root + "b.bin") {
            scan.Thread->Terminate();
        }
    };
    platform::TScopedSysCalls scope(calls);
    scan.AddFolder(root);
    scan.Run();
    EXPECT_LE(calls.ReadEnd(root + "b.bin"), 32768);
    EXPECT_LE(calls.ReadEnd(root + "a.bin"), 32768);
    EXPECT_TRUE(scan.Finder.Groups.IsEmpty());
    EXPECT_EQ(scan.Callbacks(), 1);
}

struct TFailedCase {
    const char* Name;
    // Sets up the failure of b.bin's comparison; the scan is given as it runs.
    std::function<void(TWatchedCalls& calls, const std::string& root, TScanRun& scan)> Prepare;
};

TEST(ComparerMethod, AFailedComparisonIsNeverAMatchEvenAtThresholdZero)
{
    const std::vector<TFailedCase> cases = {
        {"cannot be opened",
            [](TWatchedCalls& calls, const std::string& root, TScanRun&) {
                calls.FailOpenOf = root + "b.bin";
            }},
        {"cannot be read past its first chunk",
            [](TWatchedCalls& calls, const std::string& root, TScanRun&) {
                calls.FailReadOf = root + "b.bin";
                calls.FailReadFrom = 32768;
            }},
        {"shrank after it was listed",
            [](TWatchedCalls& calls, const std::string& root, TScanRun&) {
                calls.BeforeRead = [root](const std::string& path, off_t) {
                    if (path == root + "b.bin") {
                        ::truncate(path.c_str(), 1000);
                    }
                };
            }},
        {"the program is closing",
            [](TWatchedCalls& calls, const std::string& root, TScanRun& scan) {
                calls.BeforeRead = [root, &scan](const std::string& path, off_t) {
                    if (path == root + "b.bin") {
                        scan.Thread->Terminate();
                    }
                };
            }},
    };
    for (const TFailedCase& c : cases) {
        TTempTree tree;
        tree.AddFileOfSize("a.bin", 70000, 1);
        tree.AddFileOfSize("b.bin", 70000, 2);
        const std::string root = ResolvedRoot(tree);
        TWatchedCalls calls;
        // The threshold that stored options may carry: every measured pair matches.
        TScanRun scan(SimilarFilesSettings(0.0f));
        c.Prepare(calls, root, scan);
        platform::TScopedSysCalls scope(calls);
        scan.AddFolder(root);
        scan.Run();
        EXPECT_TRUE(scan.Finder.Groups.IsEmpty()) << c.Name;
    }
}

TEST(ComparerMethod, ThePoolLeavesItsFieldBeforeItIsFreed)
{
    TTempTree tree;
    tree.AddFileOfSize("a.bin", 50000, 1);
    tree.AddFileOfSize("b.bin", 50000, 2);
    const std::string root = ResolvedRoot(tree);
    TWatchedCalls calls;
    TScanRun scan(SimilarFilesSettings());
    // The only comparison goes on until the scan thread, done handing out pairs, frees the
    // pool: by then the field must no longer point at it.
    std::atomic<bool> fieldClearedWhileRunning {false};
    calls.BeforeRead = [&](const std::string& path, off_t) {
        if (path != root + "b.bin" || fieldClearedWhileRunning.load()) {
            return;
        }
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (scan.Thread->Pool.load() != nullptr && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::yield();
        }
        fieldClearedWhileRunning = scan.Thread->Pool.load() == nullptr;
    };
    platform::TScopedSysCalls scope(calls);
    scan.AddFolder(root);
    scan.Run();
    EXPECT_TRUE(fieldClearedWhileRunning.load());
    EXPECT_EQ(scan.Thread->Pool.load(), nullptr);
}

// Many jobs at once on shared records: copies of equal size hash their chunks on several
// workers at once, near-copies of other sizes are measured side by side from the shared
// buffer pools, and pairs join groups under the finder's lock.
TEST(ComparerStress, SharedFilesEndInGroupsOfTheirOwnContent)
{
    TTempTree tree;
    // Content k: its files are named f<n>_<k>.bin. Sizes of different contents lie too far
    // apart to be compared at all.
    const std::vector<std::int64_t> copySizes = {40000, 60000, 90000, 140000};
    std::int32_t files = 0;
    for (std::size_t k = 0; k < copySizes.size(); ++k) {
        for (std::int32_t n = 0; n < 4; ++n) {
            tree.AddFileOfSize("f" + std::to_string(n) + "_" + std::to_string(k) + ".bin",
                copySizes[k], std::uint32_t(100 + k));
            ++files;
        }
    }
    for (const std::int64_t size : {200000, 199900, 199800, 199700}) {
        const std::string name = "f" + std::to_string(size) + "_near.bin";
        tree.AddFileOfSize(name, 200000, 200);
        tree.Truncate(name, size);
        ++files;
    }
    const std::string root = ResolvedRoot(tree);
    for (std::int32_t round = 0; round < 3; ++round) {
        TScanRun scan(SimilarFilesSettings());
        scan.AddFolder(root);
        scan.Run();
        std::set<std::string> grouped;
        for (const std::vector<std::string>& group : GroupPaths(scan.Finder, root)) {
            const std::string content = group.front().substr(group.front().find('_'));
            for (const std::string& path : group) {
                EXPECT_EQ(path.substr(path.find('_')), content) << "round " << round;
                EXPECT_TRUE(grouped.insert(path).second) << path << " is in two groups";
            }
        }
        EXPECT_EQ(std::int32_t(grouped.size()), files) << "round " << round;
    }
}

} // namespace
