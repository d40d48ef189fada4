// The scan's four methods against plain pairwise loops that compare every file with the others
// the slow way, one pair after another on one thread: on random trees the groups, their
// numbers, the order of their files and the similarities must come out the same. The loops are
// the yardstick for every faster way of running a method.
#include "engine/DFinderThread.h"

#include "engine/DFinder.h"
#include "engine/Diff.h"
#include "engine/FindFile.h"
#include "engine/MemPools.h"
#include "engine/ZYUtils.h"
#include "tests/engine/ScanRunner.h"
#include "tests/support/TempTree.h"
#include "tests/support/WatchedCalls.h"

#include <QString>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <random>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

using scan_test::GroupPaths;
using scan_test::GroupsOf;
using scan_test::ResolvedRoot;
using scan_test::TResultGroup;
using testing_support::TTempTree;

namespace {

// ---- the pairwise loops -----------------------------------------------------------------------

// Equal files: every file that has no group when its turn comes is compared with every other
// file of its size bucket, grouped or not.
void PairwiseEqualFiles(TDFinder& finder, const TSettings& settings, TByteArrayPool* pool)
{
    const std::int32_t n = finder.Files.Count();
    for (std::int32_t i = 0; i < n; ++i) {
        TDImage* a = finder.Files[i];
        if (a->Group.load() != nullptr) {
            continue;
        }
        const auto bucket = finder.SizeBuckets.find(a->Size);
        if (bucket == finder.SizeBuckets.end()) {
            continue;
        }
        const TDGroup& items = *bucket->second;
        const std::int32_t count = items.Count();
        for (std::int32_t k = 0; k < count; ++k) {
            TDImage* b = items[k];
            if (b == a) {
                continue;
            }
            if (settings.ScanEqualExtOnly && a->Ext != b->Ext) {
                continue;
            }
            if (a->SameContent(*b, pool)) {
                finder.AddPair(a, b, 1.0f, false);
            }
        }
    }
}

QString PairwiseName(const TDImage& file, bool withoutExt)
{
    QString name = QString::fromUtf8(file.FileName);
    if (withoutExt) {
        const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
        if (dot > 0) {
            name.truncate(dot);
        }
    }
    return name.toLower();
}

// Similar names: every pair, each name worked out when the pair comes.
void PairwiseSimilarNames(TDFinder& finder, const TSettings& settings)
{
    const double t = double(settings.Similarity) / 100.0;
    const std::int32_t n = finder.Files.Count();
    for (std::int32_t i = 0; i < n; ++i) {
        TDImage* a = finder.Files[i];
        const QString nameA = PairwiseName(*a, settings.DoNotCompareExt);
        for (std::int32_t j = i + 1; j < n; ++j) {
            TDImage* b = finder.Files[j];
            const QString nameB = PairwiseName(*b, settings.DoNotCompareExt);
            const double shorter = double(std::min(nameA.size(), nameB.size()));
            const double longer = double(std::max(nameA.size(), nameB.size()));
            // 0 / 0 gives no number, and no number is never below t.
            if (t > shorter / longer) {
                continue;
            }
            if (settings.ScanEqualExtOnly && a->Ext != b->Ext) {
                continue;
            }
            if (a->Group.load() != nullptr && b->Group.load() != nullptr) {
                continue;
            }
            double s = 0.0;
            if (settings.Similarity == 100.0f) {
                s = QString::compare(nameA, nameB, Qt::CaseInsensitive) == 0 ? 1.0 : 0.0;
            } else {
                s = NameSimilarity(nameA, nameB);
            }
            if (s >= t) {
                a->Similarity = float(s);
                b->Similarity = float(s);
                finder.AddPair(a, b, float(s), false);
            }
        }
    }
}

// Similar files: every pair whose files are not in the same group and whose sizes are close
// enough, measured one after another.
void PairwiseSimilarFiles(TDFinder& finder, const TSettings& settings, TByteArrayPool* pool)
{
    const double t = double(settings.Similarity) / 100.0;
    const std::int32_t n = finder.Files.Count();
    for (std::int32_t i = 0; i < n; ++i) {
        TDImage* a = finder.Files[i];
        for (std::int32_t j = i + 1; j < n; ++j) {
            TDImage* b = finder.Files[j];
            if (a->Size <= 0 || b->Size <= 0) {
                continue;
            }
            if (settings.ScanEqualExtOnly && a->Ext != b->Ext) {
                continue;
            }
            if (a->SameGroup(*b) || b->SameGroup(*a)) {
                continue;
            }
            if (double(std::min(a->Size, b->Size)) / double(std::max(a->Size, b->Size)) < t) {
                continue;
            }
            const std::optional<float> s =
                MeasureFileSimilarity(*a, *b, pool, nullptr, nullptr, settings.Similarity);
            if (s && double(*s) >= t) {
                finder.AddPair(a, b, *s, false);
            }
        }
    }
}

// Equal sizes: every pair of which one file at least has no group.
void PairwiseEqualSizes(TDFinder& finder)
{
    const std::int32_t n = finder.Files.Count();
    for (std::int32_t i = 0; i < n; ++i) {
        TDImage* a = finder.Files[i];
        for (std::int32_t j = i + 1; j < n; ++j) {
            TDImage* b = finder.Files[j];
            if ((a->Group.load() == nullptr || b->Group.load() == nullptr) && a->Size == b->Size) {
                finder.AddPair(a, b, 1.0f, false);
            }
        }
    }
}

// ---- random trees -----------------------------------------------------------------------------

// Sizes that collide on purpose, around the first chunk's end and past a second chunk.
const std::vector<std::int64_t> Sizes = {
    0, 1, 7, 100, 4096, 32767, 32768, 32769, 40000, 70000, 1081345};
const std::vector<std::string> Stems = {"photo", "Photo", "photo1", "PHOTO_1", "holiday",
    "Holidays", "a", "ab", "abc", "report", "Report_final", "x", "", "notes"};
const std::vector<std::string> Extensions = {".jpg", ".JPG", ".png", ".txt", "", ".tar.gz", ".Jpg"};
const std::vector<std::string> Folders = {"", "sub/", "sub/deeper/", "other/", ".hidden/"};

// A content family: a size and a seed; the files of a family are copies of it or near-copies.
struct TFamily {
    std::int64_t Size;
    std::uint32_t Seed;
};

void FlipByte(TTempTree& tree, const std::string& path, const TFamily& family, std::int64_t offset)
{
    const std::vector<std::uint8_t> bytes = TTempTree::MakeContent(family.Size, family.Seed);
    tree.PatchByte(path, offset, std::uint8_t(bytes[std::size_t(offset)] ^ 0x5A));
}

// Builds a tree of about count files from the seed.
void MakeRandomTree(TTempTree& tree, std::uint32_t seed, std::int32_t count)
{
    std::mt19937 random(seed);
    auto pick = [&random](std::size_t size) {
        return std::uniform_int_distribution<std::size_t>(0, size - 1)(random);
    };
    std::vector<TFamily> families;
    for (std::int32_t f = 0; f < 9; ++f) {
        std::int64_t size = Sizes[pick(Sizes.size())];
        // Few files of the largest size: they are slow to write.
        if (size > 1000000 && f % 3 != 0) {
            size = 70000;
        }
        families.push_back({size, seed * 100 + std::uint32_t(f)});
    }
    std::set<std::string> used;
    for (std::int32_t i = 0; i < count; ++i) {
        const TFamily& family = families[pick(families.size())];
        std::string stem = Stems[pick(Stems.size())];
        std::string path;
        for (std::int32_t n = 0;; ++n) {
            path = Folders[pick(Folders.size())] + stem +
                (n > 0 ? std::to_string(n) : std::string()) + Extensions[pick(Extensions.size())];
            if (!path.ends_with("/") && used.insert(path).second) {
                break;
            }
        }
        const std::size_t variant = pick(10);
        if (variant == 9) {
            // Same size, other content.
            tree.AddFileOfSize(path, family.Size, family.Seed + 7777 + std::uint32_t(i));
            continue;
        }
        tree.AddFileOfSize(path, family.Size, family.Seed);
        if (family.Size == 0) {
            continue;
        }
        if (variant == 6) { // the last byte differs
            FlipByte(tree, path, family, family.Size - 1);
        } else if (variant == 7) { // a byte in the middle differs
            FlipByte(tree, path, family, family.Size / 2);
        } else if (variant == 8 && family.Size > 32768) { // the first 32 KB are equal
            FlipByte(
                tree, path, family, 32768 + std::int64_t(pick(std::size_t(family.Size - 32768))));
        }
    }
}

// Lists and preprocesses the tree with the scan's own stages, on this thread.
struct TPreparedScan {
    TPreparedScan(const std::string& root, const TSettings& settings)
        : Searcher(TSearchSpecialFolders {})
        , Thread(Finder, Searcher, settings)
    {
        Finder.Folders.push_back({root, 0});
        Thread.ListFiles();
        Thread.Preprocess();
    }
    TDFinder Finder;
    TFindFile Searcher;
    TDFinderThread Thread;
};

// The pairwise loop of the settings' method on a prepared scan.
void RunPairwiseLoop(TPreparedScan& scan, const TSettings& settings)
{
    switch (settings.FindMode) {
    case 0:
        PairwiseEqualFiles(scan.Finder, settings, scan.Thread.HashPool());
        break;
    case 1:
        PairwiseSimilarFiles(scan.Finder, settings, scan.Thread.HashPool());
        break;
    case 2:
        PairwiseSimilarNames(scan.Finder, settings);
        break;
    default:
        PairwiseEqualSizes(scan.Finder);
        break;
    }
}

struct TVariant {
    std::uint8_t FindMode;
    bool EqualExtOnly;
    bool DoNotCompareExt;
    float Similarity;
};

std::vector<TVariant> Variants()
{
    std::vector<TVariant> variants;
    for (const bool extOnly : {false, true}) {
        variants.push_back({0, extOnly, false, 95.0f});
    }
    variants.push_back({3, false, false, 95.0f});
    for (const bool extOnly : {false, true}) {
        for (const bool noExt : {false, true}) {
            for (const float similarity : {30.0f, 60.0f, 80.0f, 95.0f, 100.0f}) {
                variants.push_back({2, extOnly, noExt, similarity});
            }
        }
    }
    return variants;
}

TEST(ScanEquivalence, MethodsGiveTheGroupsOfThePairwiseLoops)
{
    for (const std::uint32_t seed : {1u, 2u, 3u, 4u, 5u, 6u}) {
        TTempTree tree;
        MakeRandomTree(tree, seed, 45);
        const std::string root = ResolvedRoot(tree);
        for (const TVariant& variant : Variants()) {
            for (const bool skipZero : {false, true}) {
                TSettings settings = TSettings::Defaults();
                settings.FindMode = variant.FindMode;
                settings.ScanEqualExtOnly = variant.EqualExtOnly;
                settings.DoNotCompareExt = variant.DoNotCompareExt;
                settings.Similarity = variant.Similarity;
                settings.SkipZeroFiles = skipZero;
                ScanAborted = false;

                TPreparedScan engine(root, settings);
                engine.Thread.RunMethod();
                TPreparedScan pairwise(root, settings);
                ASSERT_EQ(engine.Finder.Files.Count(), pairwise.Finder.Files.Count());
                RunPairwiseLoop(pairwise, settings);
                const std::vector<TResultGroup> expected = GroupsOf(pairwise.Finder, root);
                EXPECT_EQ(GroupsOf(engine.Finder, root), expected)
                    << "seed " << seed << ", method " << int(variant.FindMode)
                    << ", same extensions only " << variant.EqualExtOnly
                    << ", names without extensions " << variant.DoNotCompareExt << ", similarity "
                    << variant.Similarity << ", skip empty " << skipZero;

                // The files kept afterwards, in their order, agree as well.
                engine.Thread.CleanUp();
                pairwise.Thread.CleanUp();
                std::vector<std::string> kept;
                std::vector<std::string> keptPairwise;
                for (const TDImage* file : engine.Finder.Files) {
                    kept.push_back(file->FullPath());
                }
                for (const TDImage* file : pairwise.Finder.Files) {
                    keptPairwise.push_back(file->FullPath());
                }
                EXPECT_EQ(kept, keptPairwise) << "seed " << seed;
            }
        }
    }
}

// A tree for the similar-files method: a few families of content, each file a copy of its
// family's content with some bytes changed, cut short or lengthened, so that most pairs of a
// family lie near the thresholds.
void MakeSimilarTree(TTempTree& tree, std::uint32_t seed, std::int32_t count)
{
    std::mt19937 random(seed);
    auto below = [&random](std::int64_t bound) {
        return std::uniform_int_distribution<std::int64_t>(0, bound - 1)(random);
    };
    const std::vector<std::int64_t> familySizes = {3000, 12000, 24000};
    for (std::int32_t i = 0; i < count; ++i) {
        const std::size_t family = std::size_t(below(std::int64_t(familySizes.size())));
        const std::int64_t familySize = familySizes[family];
        std::vector<std::uint8_t> bytes =
            TTempTree::MakeContent(familySize, seed * 10 + std::uint32_t(family));
        switch (below(4)) {
        case 0: // some bytes changed
            for (std::int64_t k = below(familySize / 20); k > 0; --k) {
                bytes[std::size_t(below(familySize))] ^= std::uint8_t(1 + below(255));
            }
            break;
        case 1: // cut short
            bytes.resize(std::size_t(familySize - below(familySize / 12)));
            break;
        case 2: // lengthened
            for (std::int64_t k = below(familySize / 12); k > 0; --k) {
                bytes.push_back(std::uint8_t(below(256)));
            }
            break;
        default: // a copy
            break;
        }
        const std::string name = "f" + std::to_string(i) + (below(3) == 0 ? ".txt" : ".bin");
        tree.AddFile(Folders[std::size_t(below(std::int64_t(Folders.size())))] + name,
            std::string(bytes.begin(), bytes.end()));
    }
}

TEST(ScanEquivalence, SimilarFilesGiveTheGroupsOfThePairwiseLoopOnAPoolOfWorkers)
{
    // Guards against trees so poor that nothing is grouped, or everything.
    std::int32_t grouped = 0;
    std::int32_t ungrouped = 0;
    for (const std::uint32_t seed : {1u, 2u, 3u}) {
        TTempTree tree;
        MakeSimilarTree(tree, seed, 20);
        const std::string root = ResolvedRoot(tree);
        for (const float similarity : {85.0f, 95.0f, 99.5f}) {
            for (const bool extOnly : {false, true}) {
                TSettings settings = TSettings::Defaults();
                settings.FindMode = 1;
                settings.Similarity = similarity;
                settings.ScanEqualExtOnly = extOnly;
                ScanAborted = false;
                TPreparedScan engine(root, settings);
                engine.Thread.RunMethod();
                TPreparedScan pairwise(root, settings);
                PairwiseSimilarFiles(pairwise.Finder, settings, pairwise.Thread.HashPool());
                EXPECT_EQ(GroupsOf(engine.Finder, root), GroupsOf(pairwise.Finder, root))
                    << "seed " << seed << ", similarity " << similarity << ", same extensions only "
                    << extOnly;
                grouped += engine.Finder.GroupedFileCount();
                ungrouped += engine.Finder.Files.Count() - engine.Finder.GroupedFileCount();
            }
        }
    }
    EXPECT_GT(grouped, 0);
    EXPECT_GT(ungrouped, 0);
}

// Ten files, each a near-copy of the one before, so that which pairs join which group depends
// on the order in which the pairs are joined. The first comparison is held back until later
// ones have run: the groups must still be those of the pairwise loop, on every run.
TEST(ScanEquivalence, SimilarFilesJoinPairsInTheirOrderWhateverOrderTheComparisonsEndIn)
{
    TTempTree tree;
    constexpr std::int64_t Size = 20000;
    constexpr std::int64_t Step = 500;
    std::vector<std::uint8_t> bytes = TTempTree::MakeContent(Size, 77);
    const std::vector<std::uint8_t> noise = TTempTree::MakeContent(10 * Step, 78);
    for (std::int32_t k = 0; k < 10; ++k) {
        for (std::int64_t at = k * Step; at < (k + 1) * Step; ++at) {
            bytes[std::size_t(at)] = std::uint8_t(noise[std::size_t(at)] | 1);
        }
        tree.AddFile("chain" + std::to_string(k) + ".bin", std::string(bytes.begin(), bytes.end()));
    }
    const std::string root = ResolvedRoot(tree);
    TSettings settings = TSettings::Defaults();
    settings.FindMode = 1;
    settings.Similarity = 90.0f;

    ScanAborted = false;
    TPreparedScan pairwise(root, settings);
    PairwiseSimilarFiles(pairwise.Finder, settings, pairwise.Thread.HashPool());
    const std::vector<TResultGroup> expected = GroupsOf(pairwise.Finder, root);
    ASSERT_FALSE(expected.empty());

    for (std::int32_t round = 0; round < 2; ++round) {
        TPreparedScan engine(root, settings);
        // The first pair (chain0, chain1) waits at its first read of chain1 until a later
        // pair reads chain4; with a single worker there is nobody to wait for.
        std::mutex lock;
        std::condition_variable signal;
        bool laterPairRan = false;
        testing_support::TWatchedCalls calls;
        calls.BeforeRead = [&](const std::string& path, off_t) {
            std::unique_lock guard(lock);
            if (path == root + "chain4.bin") {
                laterPairRan = true;
                signal.notify_all();
            } else if (path == root + "chain1.bin" && engine.Thread.ProcessorCount() > 1) {
                signal.wait_for(guard, std::chrono::seconds(20), [&] { return laterPairRan; });
            }
        };
        {
            platform::TScopedSysCalls scope(calls);
            engine.Thread.RunMethod();
        }
        EXPECT_EQ(GroupsOf(engine.Finder, root), expected) << "round " << round;
    }
}

// Small trees whose groups are worked out by hand, one skip rule of a method each: a fault
// that the scan and the pairwise loops shared would still show here.
struct THandMadeFile {
    std::string Path;
    std::int64_t Size;
    std::uint32_t Seed;
    std::int64_t CutTo = -1; // the file is cut to this size after it is written
};

struct THandMadeCase {
    const char* Name;
    std::uint8_t FindMode;
    std::vector<THandMadeFile> Files;
    std::function<void(TSettings&)> Options;
    std::vector<std::vector<std::string>> Expected;
};

TEST(ScanEquivalence, HandMadeTreesGiveTheGroupsWorkedOutByHandOnBothSides)
{
    const auto none = [](TSettings&) {};
    const auto extOnly = [](TSettings& settings) { settings.ScanEqualExtOnly = true; };
    const std::vector<THandMadeCase> cases = {
        {"equal files: extensions compared lower-cased when asked", 0,
            {{"a.jpg", 3000, 5}, {"b.JPG", 3000, 5}, {"c.png", 3000, 5}}, extOnly,
            {{"a.jpg", "b.JPG"}}},
        {"equal files: empty files are equal when they are scanned", 0,
            {{"e1", 0, 1}, {"e2", 0, 2}, {"f", 1, 3}},
            [](TSettings& settings) { settings.SkipZeroFiles = false; }, {{"e1", "e2"}}},
        {"equal files: the same size, other content", 0,
            {{"a.bin", 70000, 5}, {"b.bin", 70000, 6}, {"c.bin", 70000, 5}}, none,
            {{"a.bin", "c.bin"}}},
        {"similar files: extensions compared when asked", 1,
            {{"x.bin", 3000, 5}, {"y.bin", 3000, 5}, {"z.dat", 3000, 5}}, extOnly,
            {{"x.bin", "y.bin"}}},
        {"similar files: empty files are never compared", 1, {{"e1", 0, 1}, {"e2", 0, 2}},
            [](TSettings& settings) { settings.SkipZeroFiles = false; }, {}},
        {"similar files: sizes too far apart for the threshold", 1,
            {{"long.bin", 1000, 4}, {"short.bin", 1000, 4, 960}},
            [](TSettings& settings) { settings.Similarity = 97.0f; }, {}},
        {"similar files: sizes close enough for the threshold", 1,
            {{"long.bin", 1000, 4}, {"short.bin", 1000, 4, 960}},
            [](TSettings& settings) { settings.Similarity = 95.0f; }, {{"long.bin", "short.bin"}}},
        {"similar files: a pair already grouped joins nothing", 1,
            {{"a.bin", 5000, 7}, {"b.bin", 5000, 7}, {"c.bin", 5000, 7}}, none,
            {{"a.bin", "b.bin", "c.bin"}}},
        {"similar names: at 100 only names equal but for letter case", 2,
            {{"Photo.JPG", 1, 1}, {"photo.jpg", 2, 2}, {"photo2.jpg", 3, 3}},
            [](TSettings& settings) { settings.Similarity = 100.0f; },
            {{"Photo.JPG", "photo.jpg"}}},
        {"similar names: extensions compared when asked, names without them", 2,
            {{"report.doc", 1, 1}, {"report.DOC", 2, 2}, {"report.txt", 3, 3}},
            [](TSettings& settings) {
                settings.ScanEqualExtOnly = true;
                settings.DoNotCompareExt = true;
            },
            {{"report.DOC", "report.doc"}}},
        {"similar names: a pair already grouped joins nothing", 2,
            {{"aaaa1", 1, 1}, {"aaaa2", 2, 2}, {"aaaa3", 3, 3}},
            [](TSettings& settings) { settings.Similarity = 80.0f; },
            {{"aaaa1", "aaaa2", "aaaa3"}}},
        {"equal sizes: every size of two files or more", 3,
            {{"a", 10, 1}, {"b", 20, 2}, {"c", 10, 3}, {"d", 20, 4}, {"e", 30, 5}}, none,
            {{"a", "c"}, {"b", "d"}}},
    };
    for (const THandMadeCase& c : cases) {
        TTempTree tree;
        for (const THandMadeFile& file : c.Files) {
            tree.AddFileOfSize(file.Path, file.Size, file.Seed);
            if (file.CutTo >= 0) {
                tree.Truncate(file.Path, file.CutTo);
            }
        }
        const std::string root = ResolvedRoot(tree);
        TSettings settings = TSettings::Defaults();
        settings.FindMode = c.FindMode;
        c.Options(settings);
        ScanAborted = false;

        TPreparedScan engine(root, settings);
        engine.Thread.RunMethod();
        TPreparedScan pairwise(root, settings);
        RunPairwiseLoop(pairwise, settings);
        engine.Thread.CleanUp();
        pairwise.Thread.CleanUp();
        EXPECT_EQ(GroupPaths(engine.Finder, root), c.Expected) << c.Name << ": the scan";
        EXPECT_EQ(GroupPaths(pairwise.Finder, root), c.Expected) << c.Name << ": the loop";
    }
}

TEST(ScanEquivalence, RandomTreesHaveGroupsToCompare)
{
    // Guards the test above against trees so poor that every method finds nothing.
    TTempTree tree;
    MakeRandomTree(tree, 1, 45);
    TSettings settings = TSettings::Defaults();
    ScanAborted = false;
    TPreparedScan engine(ResolvedRoot(tree), settings);
    engine.Thread.RunMethod();
    std::int32_t multiGroups = 0;
    for (const TDGroup* group : engine.Finder.Groups) {
        multiGroups += group->Count() > 2 ? 1 : 0;
    }
    EXPECT_GT(multiGroups, 0);
    EXPECT_GT(engine.Finder.Files.Count() - engine.Finder.GroupedFileCount(), 0);
}

} // namespace

// ---- near-equal names and near-copies at every threshold --------------------------------------

namespace {

// The groups of the pairwise loop of the settings' method, after the scan's clean-up.
std::vector<TResultGroup> PairwiseGroups(const TSettings& settings, const std::string& root)
{
    ScanAborted = false;
    TPreparedScan scan(root, settings);
    RunPairwiseLoop(scan, settings);
    scan.Thread.CleanUp();
    return GroupsOf(scan.Finder, root);
}

// The groups of a whole scan; the similar-names method compares phaseSize classes a phase.
std::vector<TResultGroup> ScannedGroups(
    const TSettings& settings, const std::string& root, std::int32_t phaseSize)
{
    scan_test::TScanRun scan(settings);
    scan.Thread->NamesPhaseSize = phaseSize;
    scan.AddFolder(root);
    scan.Run();
    return GroupsOf(scan.Finder, root);
}

struct TNameOptions {
    bool DoNotCompareExt;
    bool ScanEqualExtOnly;
};

} // namespace

// Stems of few letters lie at every distance from each other; with edits, letter case changed,
// extensions of several kinds, equal names in several folders, long names and a letter outside
// ASCII; phases of a few classes as well as one phase for all.
TEST(ScanEquivalence, SimilarNamesGiveTheGroupsOfThePairwiseLoopOnNearEqualNames)
{
    std::mt19937 random(1909);
    const auto below = [&random](std::size_t bound) {
        return std::size_t(random() % std::uint32_t(bound));
    };
    const std::vector<std::string> exts = {"", ".txt", ".TXT", ".md", ".tar.gz"};
    const std::vector<std::string> folders = {"", "d1/", "d1/d2/", "d3/"};
    const std::string letters = "abcAB_\xC3\xA9";
    std::vector<std::string> stems = {"", "a", "ab", "ba", "abc", "acb", "report", "Report",
        "rep0rt", "photo1", "photo2", "photo12", ".bashrc", ".bashrd"};
    for (int k = 0; k < 60; ++k) {
        std::string stem;
        const std::size_t length = 1 + below(k % 6 == 0 ? 140 : 9);
        while (stem.size() < length) {
            const std::size_t at = below(letters.size() - 1);
            // The two bytes of one letter go together.
            stem += letters[at] == '\xC3' ? letters.substr(at, 2)
                : letters[at] == '\xA9'   ? std::string("a")
                                          : std::string(1, letters[at]);
        }
        stems.push_back(stem);
        // A near copy of a long stem: one unit changed, swapped or dropped.
        if (stem.size() > 3) {
            std::string near = stem;
            const std::size_t at = below(near.size() - 2);
            if (near[at] != '\xC3' && near[at + 1] != '\xC3' && near[at] != '\xA9' &&
                near[at + 1] != '\xA9') {
                std::swap(near[at], near[at + 1]);
            }
            near[0] = near[0] == 'a' ? 'b' : near[0];
            stems.push_back(near);
        }
    }
    TTempTree tree;
    for (const std::string& stem : stems) {
        // Some names in several folders.
        const std::string name = stem + exts[below(exts.size())];
        const std::size_t folder = below(folders.size());
        for (std::size_t copy = 0, copies = 1 + below(3); copy < copies; ++copy) {
            tree.AddFile(folders[(folder + copy) % folders.size()] + (name.empty() ? "x" : name),
                "x");
        }
    }
    const std::string root = ResolvedRoot(tree);
    for (const float threshold : {0.0f, 30.0f, 50.0f, 75.0f, 90.0f, 99.0f, 100.0f}) {
        for (const TNameOptions options : {TNameOptions {false, false},
                 TNameOptions {true, false}, TNameOptions {false, true}}) {
            TSettings settings = TSettings::Defaults();
            settings.FindMode = 2;
            settings.Similarity = threshold;
            settings.DoNotCompareExt = options.DoNotCompareExt;
            settings.ScanEqualExtOnly = options.ScanEqualExtOnly;
            const std::vector<TResultGroup> plain = PairwiseGroups(settings, root);
            for (const std::int32_t phaseSize : {512, 7}) {
                EXPECT_EQ(ScannedGroups(settings, root, phaseSize), plain)
                    << "threshold " << threshold << ", without extensions "
                    << options.DoNotCompareExt << ", equal extensions only "
                    << options.ScanEqualExtOnly << ", phases of " << phaseSize;
            }
        }
    }
}

// Texts of a few words, so that unrelated files still share many stretches; near-copies of one
// to three chunks with a few bytes changed, inserted or dropped; copies of equal size; files of
// one size with other content; an empty file.
TEST(ScanEquivalence, SimilarFilesGiveTheGroupsOfThePairwiseLoopOnNearCopiesAtEveryThreshold)
{
    std::mt19937 random(112);
    const std::vector<std::string> words = {"the ", "file ", "of ", "group ", "scan ", "and ",
        "size ", "name ", "\n", ". "};
    const auto text = [&](std::size_t size) {
        std::string content;
        while (content.size() < size) {
            content += words[random() % words.size()];
        }
        content.resize(size);
        return content;
    };
    const auto edited = [&](std::string content, std::size_t edits) {
        for (std::size_t k = 0; k < edits && !content.empty(); ++k) {
            const std::size_t at = random() % content.size();
            switch (random() % 3) {
            case 0:
                content[at] = char('a' + random() % 26);
                break;
            case 1:
                content.insert(at, 1, 'x');
                break;
            default:
                content.erase(at, 1);
                break;
            }
        }
        return content;
    };
    TTempTree tree;
    const std::vector<std::size_t> sizes = {3000, 20000, 40000, 70000, 90000};
    for (std::size_t cluster = 0; cluster < sizes.size(); ++cluster) {
        const std::string base = text(sizes[cluster]);
        const std::string folder = "c" + std::to_string(cluster % 2) + "/";
        for (std::size_t copy = 0; copy < 4; ++copy) {
            tree.AddFile(folder + "t" + std::to_string(cluster) + "_" + std::to_string(copy) +
                    (copy == 3 ? ".md" : ".txt"),
                edited(base, copy == 0 ? 0 : sizes[cluster] / (copy == 2 ? 12 : 200)));
        }
        tree.AddFile(folder + "same" + std::to_string(cluster) + ".txt", base);
        tree.AddFile(folder + "other" + std::to_string(cluster) + ".txt", text(base.size()));
    }
    tree.AddFile("empty.txt", "");
    const std::string root = ResolvedRoot(tree);
    for (const float threshold : {50.0f, 80.0f, 90.0f, 97.0f, 100.0f}) {
        for (const bool equalExtOnly : {false, true}) {
            TSettings settings = TSettings::Defaults();
            settings.FindMode = 1;
            settings.Similarity = threshold;
            settings.ScanEqualExtOnly = equalExtOnly;
            EXPECT_EQ(ScannedGroups(settings, root, 512), PairwiseGroups(settings, root))
                << "threshold " << threshold << ", equal extensions only " << equalExtOnly;
        }
    }
}
