#pragma once

#include "engine/DImage.h"

#include <algorithm>
#include <atomic>
#include <cassert>
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <memory>
#include <mutex>
#include <numeric>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

// An owning list of objects in a fixed order: adding hands an object to the list, removing
// one frees it and keeps the order of the rest.
//
// A scan adds hundreds of thousands of records and then removes many of them one by one
// (files that cannot be read, then every file that matched nothing). Removing therefore never
// shifts the list: it leaves a hole, and the holes are closed in one pass the first time an
// index at or behind the first hole is read. Indexes always count the objects that remain, so
// a loop from the last index to the first may remove the object it stands on at every step
// and costs one pass in all; so does removing any set of objects by pointer.
//
// Threads: like every other use of the list, reading by index (which may close the holes)
// belongs to one thread at a time.
template<class T>
class TOwningList {
public:
    // Walks the objects in order, skipping holes; yields T*.
    class const_iterator {
    public:
        using iterator_category = std::forward_iterator_tag;
        using value_type = T*;
        using difference_type = std::ptrdiff_t;
        using pointer = T* const*;
        using reference = T*;

        const_iterator() = default;
        T* operator*() const { return FAt->get(); }
        const_iterator& operator++()
        {
            ++FAt;
            SkipHoles();
            return *this;
        }
        const_iterator operator++(int)
        {
            const_iterator before = *this;
            ++*this;
            return before;
        }
        friend bool operator==(const const_iterator& a, const const_iterator& b)
        {
            return a.FAt == b.FAt;
        }

    private:
        friend class TOwningList;
        using TSlotIterator = typename std::vector<std::unique_ptr<T>>::const_iterator;
        const_iterator(TSlotIterator at, TSlotIterator end)
            : FAt(at)
            , FEnd(end)
        {
            SkipHoles();
        }
        void SkipHoles()
        {
            while (FAt != FEnd && *FAt == nullptr) {
                ++FAt;
            }
        }
        TSlotIterator FAt {};
        TSlotIterator FEnd {};
    };

    TOwningList() = default;
    TOwningList(const TOwningList&) = delete;
    TOwningList& operator=(const TOwningList&) = delete;

    std::int32_t Count() const { return std::int32_t(FSlots.size() - FHoles); }
    bool IsEmpty() const { return Count() == 0; }

    // The object at the index (0 to Count() - 1).
    T* operator[](std::int32_t index) const
    {
        assert(index >= 0 && index < Count());
        const std::size_t slot = std::size_t(index);
        if (slot >= FFirstHole) {
            CloseHoles();
        }
        FLastRead = slot;
        return FSlots[slot].get();
    }

    // Appends the object and returns it; the list owns it from now on.
    T* Add(std::unique_ptr<T> item)
    {
        T* raw = item.get();
        FSlots.push_back(std::move(item));
        if (FIndexBuilt) {
            FIndex[raw] = FSlots.size() - 1;
        }
        return raw;
    }

    // Takes the object out of the list and frees it. False (and nothing freed) when the object
    // is not in the list.
    bool Remove(const T* item)
    {
        const std::size_t slot = SlotOf(item);
        if (slot == NoSlot) {
            return false;
        }
        std::unique_ptr<T> doomed = std::move(FSlots[slot]);
        ++FHoles;
        FFirstHole = std::min(FFirstHole, slot);
        if (FIndexBuilt) {
            FIndex.erase(item);
        }
        if (FHoles == FSlots.size()) {
            Reset();
        }
        return true;
    }

    // Removes and frees every object for which the predicate (called with T*) is true, in one
    // pass; returns how many went.
    template<class Predicate>
    std::int32_t RemoveIf(Predicate predicate)
    {
        std::int32_t removed = 0;
        for (std::unique_ptr<T>& slot : FSlots) {
            if (slot != nullptr && predicate(slot.get())) {
                slot.reset();
                ++FHoles;
                ++removed;
            }
        }
        CloseHoles();
        return removed;
    }

    // Frees every object.
    void Clear()
    {
        FSlots.clear();
        Reset();
    }

    // Puts the objects in a new order: less(i, j) compares the objects now at the indexes i
    // and j. Objects that compare equal keep their order.
    template<class Less>
    void StableSortBy(Less less)
    {
        CloseHoles();
        std::vector<std::size_t> order(FSlots.size());
        std::iota(order.begin(), order.end(), std::size_t(0));
        std::stable_sort(order.begin(), order.end(),
            [&](std::size_t i, std::size_t j) { return less(std::int32_t(i), std::int32_t(j)); });
        std::vector<std::unique_ptr<T>> sorted;
        sorted.reserve(FSlots.size());
        for (std::size_t from : order) {
            sorted.push_back(std::move(FSlots[from]));
        }
        FSlots = std::move(sorted);
        FLastRead = NoSlot;
        FIndexBuilt = false;
        FIndex.clear();
    }

    const_iterator begin() const { return const_iterator(FSlots.begin(), FSlots.end()); }
    const_iterator end() const { return const_iterator(FSlots.end(), FSlots.end()); }

private:
    static constexpr std::size_t NoSlot = std::size_t(-1);

    // The slot of the object: the one read last or the last one when it is there (the loops
    // of a scan remove what they have just read), else through an index of the slots, made on
    // the first miss and kept up to date until the holes are closed.
    std::size_t SlotOf(const T* item) const
    {
        if (item == nullptr) {
            return NoSlot;
        }
        if (FLastRead < FSlots.size() && FSlots[FLastRead].get() == item) {
            return FLastRead;
        }
        if (!FSlots.empty() && FSlots.back().get() == item) {
            return FSlots.size() - 1;
        }
        if (!FIndexBuilt) {
            FIndex.clear();
            FIndex.reserve(FSlots.size());
            for (std::size_t slot = 0; slot < FSlots.size(); ++slot) {
                if (FSlots[slot] != nullptr) {
                    FIndex.emplace(FSlots[slot].get(), slot);
                }
            }
            FIndexBuilt = true;
        }
        const auto found = FIndex.find(item);
        return found == FIndex.end() ? NoSlot : found->second;
    }

    void CloseHoles() const
    {
        if (FHoles == 0) {
            return;
        }
        std::erase(FSlots, nullptr);
        FHoles = 0;
        FFirstHole = NoSlot;
        FLastRead = NoSlot;
        FIndexBuilt = false;
        FIndex.clear();
    }

    void Reset()
    {
        FSlots.clear();
        FHoles = 0;
        FFirstHole = NoSlot;
        FLastRead = NoSlot;
        FIndexBuilt = false;
        FIndex.clear();
    }

    // Holes (null slots) lie at FFirstHole and behind it, never before.
    mutable std::vector<std::unique_ptr<T>> FSlots;
    mutable std::size_t FHoles = 0;
    mutable std::size_t FFirstHole = NoSlot;
    mutable std::size_t FLastRead = NoSlot;
    mutable std::unordered_map<const T*, std::size_t> FIndex;
    mutable bool FIndexBuilt = false;
};

// Bits of a listed folder's flag word.
enum TFolderFlagBit : std::uint8_t {
    ffbExcludeFromAutoCheck = 0, // the autocheck rule never checks files of this folder
    ffbDisableSelfScan = 1, // kept with the folder and saved with the project only
};

// One entry of the folder list: the folder (ending with "/") and its flag word.
struct TFinderFolder {
    std::string Folder;
    std::int32_t Flags = 0;
};

// Values of TDFinder::State.
enum TFinderState : std::int32_t {
    fsIdle = -1, // no scan; also the short step between listing and preprocessing
    fsListing = 0, // listing files
    fsPreprocessing = 1, // hashing every file's first chunk (equal-files method)
    fsComparing = 2,
    fsFinished = 3, // comparing is over
    fsShown = 4, // the main window shows the results
};

// Kinds of TDFinder::SortGroups: the results grid's column indexes.
enum TSortKind : std::uint8_t {
    skNone = 0,
    skFileName = 1,
    skFolder = 2,
    skSize = 3,
    skCreated = 4,
    skModified = 5,
    skAccessed = 6,
    skSimilarity = 7,
    skGroup = 8,
};

// Everything a scan works on and produces: the folders to scan with their flags, every file
// found, the groups of duplicates, the state that the main window polls, and the size buckets
// of the equal-files method.
//
// Ownership: the finder owns its files, groups and buckets. Groups and buckets only point to
// records of Files; a record's Group points back to its result group.
//
// Threads: State, Progress and FileCount may be read by any thread at any time. AddPair may be
// called from several threads at once when every call passes lock = true. Everything else is
// used by one thread at a time: the scan thread while a scan runs, the user interface at all
// other times.
class TDFinder {
public:
    TDFinder();
    ~TDFinder();
    TDFinder(const TDFinder&) = delete;
    TDFinder& operator=(const TDFinder&) = delete;

    // Removes a file that cannot be hashed: from its size bucket, from its group should it have
    // one, and from Files, which frees it; FileCount goes down by one.
    void RemoveFile(TDImage* file);
    // Joins two files into one group. When b has a group and a has none, a joins b's group
    // with the given similarity; when only a has a group, b joins it so; when neither has one,
    // a new group holds a (similarity 1.0) and then b (the given similarity), numbered with the
    // group count. Two files that both have a group stay where they are: groups are never
    // merged. With lock the whole step runs under Lock.
    void AddPair(TDImage* a, TDImage* b, float similarity, bool lock);
    // Frees every file, group and bucket; empties Folders too unless keepFolders. State,
    // Progress and FileCount stay as they are.
    void ClearResults(bool keepFolders);
    // True when some file is checked by hand (check state 2).
    bool HasManualChecks() const;
    // The number of files in all groups.
    std::int32_t GroupedFileCount() const;
    // Over the files of all groups: the size and count of the checked ones (any check state
    // but 0), their total size and their count. All four are 0 when there is no group.
    void GetCheckedTotals(std::int64_t& checkedSize, std::int64_t& checkedCount,
        std::int64_t& totalSize, std::int64_t& groupedCount) const;
    // True when a listed folder has the bit set in its flag word and the path is that folder
    // or lies inside it (whole path components, letter case counting).
    bool IsInFlaggedFolder(const std::string& path, std::uint8_t bit) const;
    // The numbers of the groups that have files and all of them checked, in list order,
    // joined by commas ("2,5,11"); empty when there is none.
    std::string FullyCheckedGroups() const;
    // Sorts each group's files (kinds 1 to 7) and the group list (kinds 1, 2, 3, 5, 7 and 8)
    // by the column of TSortKind; other kinds change no order. The group list follows each
    // group's first file, or the group number for kind 8; groups without files come last,
    // by number. Equal files or groups keep their order.
    void SortGroups(std::uint8_t kind, bool descending);

    TOwningList<TDGroup> Groups;
    TOwningList<TDImage> Files;
    std::vector<TFinderFolder> Folders;
    std::atomic<std::int32_t> State {fsIdle};
    // Files processed so far while preprocessing; a percentage while comparing.
    std::atomic<std::int32_t> Progress {0};
    // Files found so far while listing; afterwards the number of files kept.
    std::atomic<std::int32_t> FileCount {0};
    std::mutex Lock;
    // Direction of the last SortGroups.
    bool SortDescending = false;
    // The equal-files method's buckets: all files of one size, keyed by the size. The scan
    // makes buckets only for sizes that two or more files share.
    std::unordered_map<std::int64_t, std::unique_ptr<TDGroup>> SizeBuckets;
};

// A similarity (0 to 1) as the whole percentage that the results show and sort by; 0 (not
// worked out) counts as 1.0. The one rule for the similarity cell, the grid's sort and
// SortGroups.
std::int32_t SimilarityKey(float similarity);
// For each text, its place in the order of the user's locale with letter case ignored; texts
// that compare equal share a place. The one order of names and folders for the grid's sort and
// SortGroups.
std::vector<std::int32_t> CollationRanks(const std::vector<const std::string*>& texts);

// The one finder of the program: created and freed by the main window; null before and after.
extern TDFinder* Finder;
