#include "engine/DFinder.h"

#include "engine/FileTimeHelper.h"

#include <QCollator>
#include <QLocale>
#include <QString>

#include <algorithm>
#include <cstdint>
#include <map>
#include <memory>
#include <numeric>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

using platform::TFileTime;
using platform::TFindRecord;

namespace {

// Times of the fixtures are given in milliseconds.
TFileTime Ms(std::int64_t milliseconds)
{
    return TFileTime::FromTicks(std::uint64_t(milliseconds) * 10000u);
}

struct TFileFields {
    std::string Name;
    std::string Folder = "/d/";
    std::int64_t Size = 1;
    std::int64_t Created = 0;
    std::int64_t Modified = 0;
    std::int64_t Accessed = 0;
    float Similarity = 0.0f;
};

TDImage* AddFile(TDFinder& finder, const TFileFields& fields)
{
    TFindRecord record;
    record.Name = fields.Name;
    record.Size = fields.Size;
    record.Kind = platform::TEntryKind::ekRegular;
    record.CreationTime = Ms(fields.Created);
    record.LastWriteTime = Ms(fields.Modified);
    record.LastAccessTime = Ms(fields.Accessed);
    TDImage* image = finder.Files.Add(std::make_unique<TDImage>(fields.Folder, record));
    image->Similarity = fields.Similarity;
    return image;
}

TDImage* AddFile(TDFinder& finder, const std::string& name, std::int64_t size = 1)
{
    return AddFile(finder, TFileFields {name, "/d/", size});
}

// A result group made directly, as a project load or the scan leaves them.
TDGroup* AddGroup(TDFinder& finder, const std::vector<TDImage*>& files)
{
    TDGroup* group = finder.Groups.Add(std::make_unique<TDGroup>());
    group->GroupNumber = finder.Groups.Count();
    for (TDImage* image : files) {
        group->Add(image);
        image->Group = group;
    }
    return group;
}

std::vector<std::string> NamesOf(const TDGroup& group)
{
    std::vector<std::string> names;
    for (const TDImage* image : group) {
        names.push_back(image->FileName);
    }
    return names;
}

std::vector<std::string> NamesOf(const TOwningList<TDImage>& files)
{
    std::vector<std::string> names;
    for (const TDImage* image : files) {
        names.push_back(image->FileName);
    }
    return names;
}

std::vector<std::vector<std::string>> GroupNames(const TDFinder& finder)
{
    std::vector<std::vector<std::string>> names;
    for (const TDGroup* group : finder.Groups) {
        names.push_back(NamesOf(*group));
    }
    return names;
}

std::vector<std::int32_t> GroupNumbers(const TDFinder& finder)
{
    std::vector<std::int32_t> numbers;
    for (const TDGroup* group : finder.Groups) {
        numbers.push_back(group->GroupNumber);
    }
    return numbers;
}

// Counts the objects alive, so a test sees what a list frees.
struct TTracked {
    TTracked(int value, int& live)
        : Value(value)
        , Live(live)
    {
        ++Live;
    }
    ~TTracked() { --Live; }
    TTracked(const TTracked&) = delete;
    TTracked& operator=(const TTracked&) = delete;
    int Value;
    int& Live;
};

std::vector<int> ValuesByIteration(const TOwningList<TTracked>& list)
{
    std::vector<int> values;
    for (const TTracked* item : list) {
        values.push_back(item->Value);
    }
    return values;
}

std::vector<int> ValuesByIndex(const TOwningList<TTracked>& list)
{
    std::vector<int> values;
    for (std::int32_t i = 0; i < list.Count(); ++i) {
        values.push_back(list[i]->Value);
    }
    return values;
}

} // namespace

// ---------------------------------------------------------------------------------------------
// The owning list

TEST(OwningList, RemovingKeepsOrderAndIndexesInEveryPattern)
{
    enum TPattern { LastToFirstWhileReading, FirstToLastByPointer, EveryThirdFromTheMiddle };
    for (TPattern pattern :
        {LastToFirstWhileReading, FirstToLastByPointer, EveryThirdFromTheMiddle}) {
        SCOPED_TRACE(int(pattern));
        int live = 0;
        TOwningList<TTracked> list;
        std::vector<TTracked*> items;
        std::vector<int> expected;
        for (int value = 0; value < 30; ++value) {
            items.push_back(list.Add(std::make_unique<TTracked>(value, live)));
            expected.push_back(value);
        }
        auto removeValue = [&](int value) {
            expected.erase(std::find(expected.begin(), expected.end(), value));
        };
        switch (pattern) {
        case LastToFirstWhileReading:
            // The scan's loop: read file i, drop it when it cannot be read.
            for (std::int32_t i = list.Count() - 1; i >= 0; --i) {
                TTracked* item = list[i];
                if (item->Value % 3 != 1) {
                    const int value = item->Value;
                    EXPECT_TRUE(list.Remove(item));
                    removeValue(value);
                }
            }
            break;
        case FirstToLastByPointer:
            for (std::size_t k = 0; k < items.size(); k += 2) {
                EXPECT_TRUE(list.Remove(items[k]));
                removeValue(int(k));
                // A read behind a hole closes the holes; later removals must still work.
                if (k % 6 == 0 && list.Count() > 0) {
                    EXPECT_EQ(list[list.Count() - 1]->Value, expected.back());
                }
            }
            break;
        case EveryThirdFromTheMiddle:
            for (std::size_t k = 15; k < items.size(); k += 3) {
                EXPECT_TRUE(list.Remove(items[k]));
                removeValue(int(k));
            }
            for (std::size_t k = 0; k < 15; k += 3) {
                EXPECT_EQ(list[0]->Value, expected.front());
                EXPECT_TRUE(list.Remove(items[k]));
                removeValue(int(k));
            }
            break;
        }
        EXPECT_EQ(live, int(expected.size()));
        EXPECT_EQ(list.Count(), std::int32_t(expected.size()));
        EXPECT_EQ(ValuesByIteration(list), expected);
        EXPECT_EQ(ValuesByIndex(list), expected);
        list.Add(std::make_unique<TTracked>(100, live));
        expected.push_back(100);
        EXPECT_EQ(ValuesByIndex(list), expected);
    }
}

TEST(OwningList, MatchesAPlainVectorUnderRandomAddsReadsAndRemovals)
{
    int live = 0;
    TOwningList<TTracked> list;
    std::vector<int> model;
    std::mt19937 random(12345);
    int next = 0;
    for (int step = 0; step < 3000; ++step) {
        const unsigned op = random() % 10;
        if (op < 3 || model.empty()) {
            list.Add(std::make_unique<TTracked>(next, live));
            model.push_back(next++);
        } else if (op < 6) {
            // Remove by pointer, found by iteration (which never closes holes).
            const std::size_t at = random() % model.size();
            auto it = list.begin();
            std::advance(it, std::ptrdiff_t(at));
            ASSERT_EQ((*it)->Value, model[at]);
            ASSERT_TRUE(list.Remove(*it));
            model.erase(model.begin() + std::ptrdiff_t(at));
        } else if (op < 8) {
            const std::size_t at = random() % model.size();
            ASSERT_EQ(list[std::int32_t(at)]->Value, model[at]);
            if (op == 7) {
                ASSERT_TRUE(list.Remove(list[std::int32_t(at)]));
                model.erase(model.begin() + std::ptrdiff_t(at));
            }
        } else if (op == 8) {
            const int modulus = 5 + int(random() % 5);
            const std::int32_t removed =
                list.RemoveIf([&](const TTracked* item) { return item->Value % modulus == 0; });
            const auto gone = std::erase_if(model, [&](int v) { return v % modulus == 0; });
            ASSERT_EQ(removed, std::int32_t(gone));
        } else {
            ASSERT_EQ(ValuesByIndex(list), model);
        }
        ASSERT_EQ(list.Count(), std::int32_t(model.size()));
        ASSERT_EQ(live, int(model.size()));
        ASSERT_EQ(ValuesByIteration(list), model);
    }
    list.Clear();
    EXPECT_EQ(live, 0);
    EXPECT_EQ(list.Count(), 0);
}

TEST(OwningList, RemovingWhatIsNotListedFreesNothing)
{
    int live = 0;
    TOwningList<TTracked> list;
    TOwningList<TTracked> other;
    list.Add(std::make_unique<TTracked>(1, live));
    TTracked* foreign = other.Add(std::make_unique<TTracked>(2, live));
    TTracked* gone = list.Add(std::make_unique<TTracked>(3, live));
    ASSERT_TRUE(list.Remove(gone));

    EXPECT_FALSE(list.Remove(foreign));
    EXPECT_FALSE(list.Remove(nullptr));
    EXPECT_EQ(live, 2);
    EXPECT_EQ(ValuesByIteration(list), std::vector<int> {1});
}

// ---------------------------------------------------------------------------------------------
// Pairs and groups

TEST(AddPair, JoinsFilesAsTheGroupsTheyAlreadyHaveAllow)
{
    // Before each case: group 1 holds p and q, group 2 holds r and s; x and y are in none.
    struct TCase {
        const char* Name;
        const char* A;
        const char* B;
        std::vector<std::vector<std::string>> Groups;
        float SimilarityA;
        float SimilarityB;
    };
    const std::vector<TCase> cases = {
        {"neither grouped: a new group numbered next", "x", "y",
            {{"p", "q"}, {"r", "s"}, {"x", "y"}}, 1.0f, 0.97f},
        {"only b grouped: a joins b's group", "x", "q", {{"p", "q", "x"}, {"r", "s"}}, 0.97f, 0.8f},
        {"only a grouped: b joins a's group", "r", "y", {{"p", "q"}, {"r", "s", "y"}}, 1.0f, 0.97f},
        {"different groups: never merged", "p", "s", {{"p", "q"}, {"r", "s"}}, 1.0f, 0.6f},
        {"same group: nothing changes", "q", "p", {{"p", "q"}, {"r", "s"}}, 0.8f, 1.0f},
        {"a file with itself: nothing changes", "x", "x", {{"p", "q"}, {"r", "s"}}, 0.0f, 0.0f},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        TDFinder finder;
        std::map<std::string, TDImage*> file;
        for (const char* name : {"p", "q", "r", "s", "x", "y"}) {
            file[name] = AddFile(finder, name);
        }
        finder.AddPair(file["p"], file["q"], 0.8f, false);
        finder.AddPair(file["r"], file["s"], 0.6f, false);

        finder.AddPair(file[c.A], file[c.B], 0.97f, false);

        EXPECT_EQ(GroupNames(finder), c.Groups);
        EXPECT_EQ(GroupNumbers(finder).back(), finder.Groups.Count());
        EXPECT_FLOAT_EQ(file[c.A]->Similarity, c.SimilarityA);
        EXPECT_FLOAT_EQ(file[c.B]->Similarity, c.SimilarityB);
        // Every grouped file points to the group that holds it, every other file to none.
        std::set<const TDImage*> grouped;
        for (TDGroup* group : finder.Groups) {
            for (TDImage* image : *group) {
                EXPECT_EQ(image->Group.load(), group) << image->FileName;
                grouped.insert(image);
            }
        }
        for (TDImage* image : finder.Files) {
            if (grouped.count(image) == 0) {
                EXPECT_EQ(image->Group.load(), nullptr) << image->FileName;
            }
        }
    }
}

TEST(AddPair, WithTheLockManyThreadsMakeDistinctlyNumberedGroups)
{
    TDFinder finder;
    constexpr int Threads = 8;
    constexpr int PairsPerThread = 300;
    std::vector<TDImage*> files;
    for (int i = 0; i < Threads * PairsPerThread * 2; ++i) {
        files.push_back(AddFile(finder, "f" + std::to_string(i)));
    }
    std::vector<std::thread> workers;
    for (int t = 0; t < Threads; ++t) {
        workers.emplace_back([&, t] {
            for (int k = 0; k < PairsPerThread; ++k) {
                const std::size_t first = std::size_t((t * PairsPerThread + k) * 2);
                finder.AddPair(files[first], files[first + 1], 0.9f, true);
            }
        });
    }
    for (std::thread& worker : workers) {
        worker.join();
    }

    ASSERT_EQ(finder.Groups.Count(), Threads * PairsPerThread);
    std::set<std::int32_t> numbers;
    for (TDGroup* group : finder.Groups) {
        numbers.insert(group->GroupNumber);
        ASSERT_EQ(group->Count(), 2);
        EXPECT_EQ((*group)[0]->Group.load(), group);
        EXPECT_EQ((*group)[1]->Group.load(), group);
    }
    EXPECT_EQ(numbers.size(), std::size_t(Threads * PairsPerThread));
    EXPECT_EQ(*numbers.begin(), 1);
    EXPECT_EQ(*numbers.rbegin(), Threads * PairsPerThread);
}

// ---------------------------------------------------------------------------------------------
// Removing files and clearing results

TEST(RemoveFile, LeavesItsSizeBucketAndTheFileListAndCountsDown)
{
    TDFinder finder;
    std::map<std::string, TDImage*> file;
    for (const auto& [name, size] : std::vector<std::pair<std::string, std::int64_t>> {
             {"x", 10}, {"y", 10}, {"z", 10}, {"w", 20}, {"nobucket", 30}}) {
        file[name] = AddFile(finder, name, size);
        if (size != 30) {
            auto& bucket = finder.SizeBuckets[size];
            if (!bucket) {
                bucket = std::make_unique<TDGroup>();
            }
            bucket->Add(file[name]);
        }
    }
    finder.FileCount = finder.Files.Count();

    finder.RemoveFile(file["y"]);
    finder.RemoveFile(file["nobucket"]);

    EXPECT_EQ(NamesOf(*finder.SizeBuckets[10]), (std::vector<std::string> {"x", "z"}));
    EXPECT_EQ(NamesOf(*finder.SizeBuckets[20]), (std::vector<std::string> {"w"}));
    EXPECT_EQ(NamesOf(finder.Files), (std::vector<std::string> {"x", "z", "w"}));
    EXPECT_EQ(finder.FileCount.load(), 3);
}

TEST(RemoveFile, ScanDropsUnreadableFilesFromTheLastToTheFirstKeepingOrder)
{
    TDFinder finder;
    auto& bucket = finder.SizeBuckets[7];
    bucket = std::make_unique<TDGroup>();
    std::vector<std::string> kept;
    for (int i = 0; i < 2000; ++i) {
        const std::string name = "f" + std::to_string(i);
        bucket->Add(AddFile(finder, name, 7));
        if (i % 4 == 0) {
            kept.push_back(name);
        }
    }
    finder.FileCount = finder.Files.Count();

    for (std::int32_t i = finder.Files.Count() - 1; i >= 0; --i) {
        TDImage* image = finder.Files[i];
        if (std::stoi(image->FileName.substr(1)) % 4 != 0) {
            finder.RemoveFile(image);
        }
    }

    EXPECT_EQ(NamesOf(finder.Files), kept);
    EXPECT_EQ(NamesOf(*finder.SizeBuckets[7]), kept);
    EXPECT_EQ(finder.FileCount.load(), std::int32_t(kept.size()));
    EXPECT_EQ(finder.Files[std::int32_t(kept.size()) - 1]->FileName, kept.back());
}

TEST(RemoveFile, AGroupedFileLeavesItsGroupSoNothingPointsToTheFreedRecord)
{
    TDFinder finder;
    TDImage* a = AddFile(finder, "a");
    TDImage* b = AddFile(finder, "b");
    TDImage* c = AddFile(finder, "c");
    TDGroup* group = AddGroup(finder, {a, b, c});

    finder.RemoveFile(b);

    EXPECT_EQ(NamesOf(*group), (std::vector<std::string> {"a", "c"}));
}

TEST(ClearResults, FreesFilesGroupsAndBucketsAndKeepsFoldersOnlyWhenAsked)
{
    for (bool keepFolders : {true, false}) {
        SCOPED_TRACE(keepFolders);
        TDFinder finder;
        finder.Folders = {{"/a/", 1}, {"/b/", 2}};
        TDImage* x = AddFile(finder, "x", 5);
        TDImage* y = AddFile(finder, "y", 5);
        finder.SizeBuckets[5] = std::make_unique<TDGroup>();
        finder.SizeBuckets[5]->Add(x);
        finder.AddPair(x, y, 1.0f, false);
        finder.State = fsFinished;
        finder.Progress = 50;
        finder.FileCount = 2;

        finder.ClearResults(keepFolders);

        EXPECT_EQ(finder.Files.Count(), 0);
        EXPECT_EQ(finder.Groups.Count(), 0);
        EXPECT_TRUE(finder.SizeBuckets.empty());
        EXPECT_EQ(finder.State.load(), fsFinished);
        EXPECT_EQ(finder.Progress.load(), 50);
        EXPECT_EQ(finder.FileCount.load(), 2);
        if (keepFolders) {
            ASSERT_EQ(finder.Folders.size(), 2u);
            EXPECT_EQ(finder.Folders[0].Folder, "/a/");
            EXPECT_EQ(finder.Folders[0].Flags, 1);
            EXPECT_EQ(finder.Folders[1].Folder, "/b/");
            EXPECT_EQ(finder.Folders[1].Flags, 2);
        } else {
            EXPECT_TRUE(finder.Folders.empty());
        }
        // The next scan numbers its groups from 1 again.
        finder.AddPair(AddFile(finder, "p"), AddFile(finder, "q"), 0.5f, false);
        EXPECT_EQ(GroupNumbers(finder), std::vector<std::int32_t> {1});
    }
}

// ---------------------------------------------------------------------------------------------
// Questions about the results

TEST(CheckedTotals, WithoutGroupsAllFourAreZeroEvenWhenFilesAreListed)
{
    TDFinder finder;
    AddFile(finder, "listed", 1000)->CheckState = 2;
    std::int64_t checkedSize = -1, checkedCount = -1, totalSize = -1, groupedCount = -1;

    finder.GetCheckedTotals(checkedSize, checkedCount, totalSize, groupedCount);

    EXPECT_EQ(checkedSize, 0);
    EXPECT_EQ(checkedCount, 0);
    EXPECT_EQ(totalSize, 0);
    EXPECT_EQ(groupedCount, 0);
    EXPECT_EQ(finder.GroupedFileCount(), 0);
}

TEST(CheckedTotals, CountOnlyGroupedFilesAndEveryCheckState)
{
    TDFinder finder;
    TDImage* byRule = AddFile(finder, "rule", 10);
    TDImage* byHand = AddFile(finder, "hand", 20);
    TDImage* unchecked = AddFile(finder, "free", 40);
    TDImage* big = AddFile(finder, "big", std::int64_t(5) << 32);
    AddFile(finder, "ungrouped", 1000)->CheckState = 1;
    byRule->CheckState = 1;
    byHand->CheckState = 2;
    big->CheckState = 2;
    AddGroup(finder, {byRule, byHand, unchecked});
    AddGroup(finder, {});
    AddGroup(finder, {big});
    std::int64_t checkedSize = 0, checkedCount = 0, totalSize = 0, groupedCount = 0;

    finder.GetCheckedTotals(checkedSize, checkedCount, totalSize, groupedCount);

    EXPECT_EQ(checkedSize, 30 + (std::int64_t(5) << 32));
    EXPECT_EQ(checkedCount, 3);
    EXPECT_EQ(totalSize, 70 + (std::int64_t(5) << 32));
    EXPECT_EQ(groupedCount, 4);
    EXPECT_EQ(finder.GroupedFileCount(), 4);
}

TEST(HasManualChecks, OnlyAFileCheckedByHandCounts)
{
    struct TCase {
        std::vector<std::uint8_t> States;
        bool Expected;
    };
    for (const TCase& c :
        std::vector<TCase> {{{}, false}, {{0, 1, 1}, false}, {{0, 1, 2}, true}, {{2}, true}}) {
        TDFinder finder;
        for (std::uint8_t state : c.States) {
            AddFile(finder, "f")->CheckState = state;
        }
        EXPECT_EQ(finder.HasManualChecks(), c.Expected) << c.States.size();
    }
}

TEST(IsInFlaggedFolder, MatchesTheFlaggedFolderAndWhatLiesBelowByWholeComponents)
{
    TDFinder finder;
    EXPECT_FALSE(finder.IsInFlaggedFolder("/A/x", 0)) << "empty folder list";

    finder.Folders = {{"/A/", 1}, {"/C/", 2}, {"/E/F/", 3}};
    struct TCase {
        const char* Path;
        std::uint8_t Bit;
        bool Expected;
    };
    const std::vector<TCase> cases = {
        {"/A/B/x.txt", 0, true},
        {"/A/y.txt", 0, true},
        {"/A/", 0, true},
        {"/A", 0, true},
        {"/AB/z.txt", 0, false},
        {"/a/y.txt", 0, false},
        {"/", 0, false},
        {"", 0, false},
        {"/C/x.txt", 0, false},
        {"/C/x.txt", 1, true},
        {"/A/x.txt", 1, false},
        {"/E/F/g/h", 0, true},
        {"/E/F/g/h", 1, true},
        {"/E/G/h", 0, false},
        {"/E/", 0, false},
    };
    for (const TCase& c : cases) {
        EXPECT_EQ(finder.IsInFlaggedFolder(c.Path, c.Bit), c.Expected)
            << c.Path << " bit " << int(c.Bit);
    }
}

TEST(FullyCheckedGroups, ListsGroupsWithFilesAllCheckedInListOrder)
{
    TDFinder finder;
    auto group = [&](std::vector<std::uint8_t> states) {
        std::vector<TDImage*> files;
        for (std::uint8_t state : states) {
            files.push_back(AddFile(finder, "f"));
            files.back()->CheckState = state;
        }
        return AddGroup(finder, files);
    };
    group({1, 0});
    TDGroup* second = group({1, 2});
    group({});
    group({0, 0});
    group({2, 2, 2});

    EXPECT_EQ(finder.FullyCheckedGroups(), "2,5");
    finder.SortGroups(skGroup, true);
    EXPECT_EQ(finder.FullyCheckedGroups(), "5,2");
    (*finder.Groups[0])[1]->CheckState = 0;
    (*second)[0]->CheckState = 0;
    EXPECT_EQ(finder.FullyCheckedGroups(), "");
}

// ---------------------------------------------------------------------------------------------
// Sorting

namespace {

// Three groups of two files; every sort kind orders them differently. Names and folders differ
// in letter case, so an order by bytes would differ from the expected one.
void FillSortFixture(TDFinder& finder)
{
    const std::vector<std::vector<TFileFields>> groups = {
        {{"delta", "/d/Mid/", 300, 5, 2, 9, 1.0f}, {"Golf", "/d/zeta/", 100, 3, 8, 1, 0.5f}},
        {{"bravo", "/d/alpha/", 200, 1, 6, 4, 1.0f}, {"Echo", "/d/Beta/", 600, 7, 1, 6, 0.7f}},
        {{"Alpha", "/d/Gamma/", 400, 2, 4, 3, 0.0f}, {"hotel", "/d/delta/", 50, 8, 9, 2, 0.6f}},
    };
    for (const auto& fieldList : groups) {
        std::vector<TDImage*> files;
        for (const TFileFields& fields : fieldList) {
            files.push_back(AddFile(finder, fields));
        }
        AddGroup(finder, files);
    }
}

} // namespace

TEST(SortGroups, OrdersFilesAndGroupsByEveryKindInBothDirections)
{
    using TNames = std::vector<std::vector<std::string>>;
    struct TCase {
        std::uint8_t Kind;
        bool Descending;
        std::vector<std::int32_t> Numbers;
        TNames Files;
    };
    const TNames unchanged = {{"delta", "Golf"}, {"bravo", "Echo"}, {"Alpha", "hotel"}};
    const std::vector<TCase> cases = {
        {skNone, false, {1, 2, 3}, unchanged},
        {skNone, true, {1, 2, 3}, unchanged},
        {skFileName, false, {3, 2, 1}, {{"Alpha", "hotel"}, {"bravo", "Echo"}, {"delta", "Golf"}}},
        {skFileName, true, {3, 1, 2}, {{"hotel", "Alpha"}, {"Golf", "delta"}, {"Echo", "bravo"}}},
        {skFolder, false, {2, 3, 1}, {{"bravo", "Echo"}, {"hotel", "Alpha"}, {"delta", "Golf"}}},
        {skFolder, true, {1, 3, 2}, {{"Golf", "delta"}, {"Alpha", "hotel"}, {"Echo", "bravo"}}},
        {skSize, false, {3, 1, 2}, {{"hotel", "Alpha"}, {"Golf", "delta"}, {"bravo", "Echo"}}},
        {skSize, true, {2, 3, 1}, {{"Echo", "bravo"}, {"Alpha", "hotel"}, {"delta", "Golf"}}},
        // Creation and last-access times sort the files only.
        {skCreated, false, {1, 2, 3}, {{"Golf", "delta"}, {"bravo", "Echo"}, {"Alpha", "hotel"}}},
        {skCreated, true, {1, 2, 3}, {{"delta", "Golf"}, {"Echo", "bravo"}, {"hotel", "Alpha"}}},
        {skModified, false, {2, 1, 3}, {{"Echo", "bravo"}, {"delta", "Golf"}, {"Alpha", "hotel"}}},
        {skModified, true, {3, 1, 2}, {{"hotel", "Alpha"}, {"Golf", "delta"}, {"bravo", "Echo"}}},
        {skAccessed, false, {1, 2, 3}, {{"Golf", "delta"}, {"bravo", "Echo"}, {"hotel", "Alpha"}}},
        {skAccessed, true, {1, 2, 3}, {{"delta", "Golf"}, {"Echo", "bravo"}, {"Alpha", "hotel"}}},
        // Similarity 0 counts as 1.0: Alpha sorts after hotel's 0.6 and ties with 1.0 groups.
        {skSimilarity, false, {1, 3, 2},
            {{"Golf", "delta"}, {"hotel", "Alpha"}, {"Echo", "bravo"}}},
        {skSimilarity, true, {1, 2, 3}, unchanged},
        // The group number sorts the groups only.
        {skGroup, false, {1, 2, 3}, unchanged},
        {skGroup, true, {3, 2, 1}, {{"Alpha", "hotel"}, {"bravo", "Echo"}, {"delta", "Golf"}}},
        {9, false, {1, 2, 3}, unchanged},
        {9, true, {1, 2, 3}, unchanged},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(
            testing::Message() << "kind " << int(c.Kind) << " descending " << c.Descending);
        TDFinder finder;
        FillSortFixture(finder);

        finder.SortGroups(c.Kind, c.Descending);

        EXPECT_EQ(finder.SortDescending, c.Descending);
        EXPECT_EQ(GroupNumbers(finder), c.Numbers);
        EXPECT_EQ(GroupNames(finder), c.Files);
    }
}

TEST(SortGroups, SimilaritiesCompareInWholeHundredthsWithZeroAsOne)
{
    // 0.951 and 0.955 share a hundredth, 0 and 1.0 too; equal files keep their order.
    const std::vector<std::pair<std::string, float>> files = {
        {"a951", 0.951f},
        {"b955", 0.955f},
        {"c0", 0.0f},
        {"d100", 1.0f},
        {"e29", 0.29f},
        {"f28", 0.28f},
        {"g96", 0.96f},
    };
    const std::vector<std::string> ascending = {"f28", "e29", "a951", "b955", "g96", "c0", "d100"};
    const std::vector<std::string> descending = {"c0", "d100", "g96", "a951", "b955", "e29", "f28"};
    for (bool descend : {false, true}) {
        TDFinder finder;
        std::vector<TDImage*> images;
        for (const auto& [name, similarity] : files) {
            images.push_back(AddFile(finder, TFileFields {name, "/d/", 1, 0, 0, 0, similarity}));
        }
        AddGroup(finder, images);

        finder.SortGroups(skSimilarity, descend);

        EXPECT_EQ(NamesOf(*finder.Groups[0]), descend ? descending : ascending);
    }
}

TEST(SortGroups, NamesFollowTheUsersLocaleWithCaseIgnored)
{
    struct TCase {
        QLocale Locale;
        std::vector<std::string> Expected;
    };
    const QLocale saved;
    const std::vector<TCase> cases = {
        // The C locale compares code points with the case folded: "é" comes after "z".
        {QLocale::c(),
            {"apple", "Banana", "cherry", "zebra",
                "\xC3\x89"
                "clair"}},
        {QLocale(QLocale::English, QLocale::UnitedStates),
            {"apple", "Banana", "cherry",
                "\xC3\x89"
                "clair",
                "zebra"}},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Locale.name().toStdString());
        QLocale::setDefault(c.Locale);
        TDFinder finder;
        std::vector<TDImage*> images;
        for (const char* name : {"zebra", "Banana",
                 "\xC3\x89"
                 "clair",
                 "cherry", "apple"}) {
            images.push_back(AddFile(finder, name));
        }
        AddGroup(finder, images);

        finder.SortGroups(skFileName, false);

        EXPECT_EQ(NamesOf(*finder.Groups[0]), c.Expected);
    }
    QLocale::setDefault(saved);
}

TEST(SortGroups, NamesThatAreNotUtf8SortByTheirOwnBytesNotAsEqual)
{
    // Latin-1 "été" and "àtà", and a name differing from "été" in letter case only.
    const std::string ete = "\xE9t\xE9";
    const std::string ata = "\xE0t\xE0";
    const std::string Ete = "\xE9T\xE9";
    for (const bool descend : {false, true}) {
        TDFinder finder;
        std::vector<TDImage*> images;
        for (const std::string& name : {ete, ata, Ete}) {
            images.push_back(AddFile(finder, name));
        }
        AddGroup(finder, images);
        finder.SortGroups(skFileName, descend);
        // Case alone leaves a tie, which keeps the order.
        const std::vector<std::string> expected = descend
            ? std::vector<std::string> {ete, Ete, ata}
            : std::vector<std::string> {ata, ete, Ete};
        EXPECT_EQ(NamesOf(*finder.Groups[0]), expected) << "descending " << descend;
    }
}

TEST(SortGroups, GroupsWithoutFilesGoLastByNumberInBothDirections)
{
    struct TCase {
        std::uint8_t Kind;
        bool Descending;
        std::vector<std::int32_t> Numbers;
    };
    const std::vector<TCase> cases = {
        {skSize, false, {4, 2, 1, 3, 5}},
        {skSize, true, {2, 4, 1, 3, 5}},
        {skGroup, false, {2, 4, 1, 3, 5}},
        {skGroup, true, {4, 2, 1, 3, 5}},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(
            testing::Message() << "kind " << int(c.Kind) << " descending " << c.Descending);
        TDFinder finder;
        AddGroup(finder, {});
        AddGroup(finder, {AddFile(finder, "two", 20)});
        AddGroup(finder, {});
        AddGroup(finder, {AddFile(finder, "four", 10)});
        AddGroup(finder, {});

        finder.SortGroups(c.Kind, c.Descending);

        EXPECT_EQ(GroupNumbers(finder), c.Numbers);
    }
}

namespace {

// What a sort of the given kind must order by, worked out independently of the finder:
// the collator's own comparison for texts, the hundredth of each similarity from a table.
int ExpectedOrder(std::uint8_t kind, const TDImage& a, const TDImage& b, const QCollator& collator)
{
    auto threeWay = [](auto x, auto y) { return x < y ? -1 : (y < x ? 1 : 0); };
    auto hundredth = [](float similarity) {
        static const std::map<float, int> table = {{0.0f, 100}, {1.0f, 100}, {0.96f, 96},
            {0.955f, 95}, {0.951f, 95}, {0.29f, 29}, {0.5f, 50}};
        return table.at(similarity);
    };
    switch (kind) {
    case skFileName:
        return threeWay(collator.compare(
                            QString::fromStdString(a.FileName), QString::fromStdString(b.FileName)),
            0);
    case skFolder:
        return threeWay(
            collator.compare(QString::fromStdString(a.Folder), QString::fromStdString(b.Folder)),
            0);
    case skSize:
        return threeWay(a.Size, b.Size);
    case skCreated:
        return CompareFileTimes(a.CreationTime, b.CreationTime);
    case skModified:
        return CompareFileTimes(a.LastWriteTime, b.LastWriteTime);
    case skAccessed:
        return CompareFileTimes(a.LastAccessTime, b.LastAccessTime);
    case skSimilarity:
        return threeWay(hundredth(a.Similarity), hundredth(b.Similarity));
    default:
        return 0;
    }
}

} // namespace

TEST(SortGroups, RandomResultsWithManyTiesAndEmptyGroupsComeOutConsistentlyOrdered)
{
    QCollator collator;
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    const std::vector<std::string> names = {"a", "A", "b", "B", "ab", "Ab", "c"};
    const std::vector<std::string> folders = {"/x/", "/X/", "/x/y/", "/X/Y/", "/z/"};
    const std::vector<float> similarities = {0.0f, 1.0f, 0.96f, 0.955f, 0.951f, 0.29f, 0.5f};

    for (std::uint8_t kind = 0; kind <= 9; ++kind) {
        for (bool descending : {false, true}) {
            SCOPED_TRACE(
                testing::Message() << "kind " << int(kind) << " descending " << descending);
            std::mt19937 random(kind * 2u + unsigned(descending) + 7u);
            auto pick = [&](std::size_t count) { return std::size_t(random() % count); };
            TDFinder finder;
            // Numbers out of list order, as after an earlier sort.
            std::vector<std::int32_t> numbers(400);
            std::iota(numbers.begin(), numbers.end(), 1);
            std::shuffle(numbers.begin(), numbers.end(), random);
            for (std::size_t g = 0; g < numbers.size(); ++g) {
                std::vector<TDImage*> files;
                // Mostly 0 to 4 files (some groups have none), now and then many.
                const std::size_t count = g % 50 == 7 ? 40 : pick(5);
                for (std::size_t f = 0; f < count; ++f) {
                    TFileFields fields {names[pick(names.size())], folders[pick(folders.size())],
                        std::int64_t(pick(4)), std::int64_t(pick(4)), std::int64_t(pick(4)),
                        std::int64_t(pick(4)), similarities[pick(similarities.size())]};
                    files.push_back(AddFile(finder, fields));
                    // Less than a millisecond apart counts as equal.
                    files.back()->LastWriteTime =
                        TFileTime::FromTicks(files.back()->LastWriteTime.Ticks() + pick(9999));
                }
                AddGroup(finder, files)->GroupNumber = numbers[g];
            }
            // Earlier positions, to see that equal files and groups kept their order.
            std::map<const TDGroup*, std::size_t> groupBefore;
            std::map<const TDImage*, std::size_t> fileBefore;
            std::map<const TDGroup*, std::vector<TDImage*>> itemsBefore;
            for (std::int32_t g = 0; g < finder.Groups.Count(); ++g) {
                TDGroup* group = finder.Groups[g];
                groupBefore[group] = std::size_t(g);
                itemsBefore[group] = group->Items;
                for (std::size_t f = 0; f < group->Items.size(); ++f) {
                    fileBefore[group->Items[f]] = f;
                }
            }
            const bool sortsFiles = kind >= 1 && kind <= 7;
            const bool sortsGroups =
                kind == 1 || kind == 2 || kind == 3 || kind == 5 || kind == 7 || kind == 8;
            auto directed = [&](int order) { return descending ? -order : order; };

            finder.SortGroups(kind, descending);

            ASSERT_EQ(finder.Groups.Count(), std::int32_t(groupBefore.size()));
            std::set<const TDGroup*> seen;
            for (std::int32_t g = 0; g < finder.Groups.Count(); ++g) {
                const TDGroup* group = finder.Groups[g];
                ASSERT_TRUE(seen.insert(group).second);
                if (!sortsGroups) {
                    EXPECT_EQ(groupBefore[group], std::size_t(g));
                }
                std::vector<TDImage*> sortedItems = group->Items;
                std::vector<TDImage*> originalItems = itemsBefore[group];
                if (!sortsFiles) {
                    EXPECT_EQ(sortedItems, originalItems);
                }
                std::sort(sortedItems.begin(), sortedItems.end());
                std::sort(originalItems.begin(), originalItems.end());
                EXPECT_EQ(sortedItems, originalItems);
                for (std::size_t f = 1; sortsFiles && f < group->Items.size(); ++f) {
                    const TDImage& prev = *group->Items[f - 1];
                    const TDImage& next = *group->Items[f];
                    const int order = directed(ExpectedOrder(kind, prev, next, collator));
                    ASSERT_LE(order, 0) << "files " << f - 1 << " and " << f;
                    if (order == 0) {
                        ASSERT_LT(fileBefore[&prev], fileBefore[&next]) << "unstable";
                    }
                }
                if (g == 0 || !sortsGroups) {
                    continue;
                }
                const TDGroup* prev = finder.Groups[g - 1];
                if (prev->Count() == 0 || group->Count() == 0) {
                    ASSERT_FALSE(prev->Count() == 0 && group->Count() > 0) << "empty not last";
                    if (prev->Count() == 0) {
                        ASSERT_LT(prev->GroupNumber, group->GroupNumber);
                    }
                    continue;
                }
                const int order = kind == skGroup
                    ? directed(prev->GroupNumber < group->GroupNumber ? -1 : 1)
                    : directed(ExpectedOrder(kind, *(*prev)[0], *(*group)[0], collator));
                ASSERT_LE(order, 0) << "groups " << g - 1 << " and " << g;
                if (order == 0) {
                    ASSERT_LT(groupBefore[prev], groupBefore[group]) << "unstable";
                }
            }
        }
    }
}
