#include "engine/DFinder.h"

#include "engine/FileTimeHelper.h"
#include "engine/ZYUtils.h"

#include <QCollator>
#include <QCollatorSortKey>
#include <QLocale>
#include <QString>

#include <cmath>
#include <exception>
#include <string_view>
#include <system_error>
#include <thread>

TDFinder* Finder = nullptr;

namespace {

// Buckets the size hash is made for; it grows beyond that as needed.
constexpr std::size_t InitialBucketCount = 1000;

template<class T>
int ThreeWay(const T& a, const T& b)
{
    return a < b ? -1 : (b < a ? 1 : 0);
}

// Texts below which collation keys are made on one thread.
constexpr std::size_t TextsPerKeyingThread = 20000;

} // namespace

// A similarity in whole hundredths, the value 0 (not worked out) counting as 1.0. A float
// that stands for a whole hundredth lies a little below it at times (0.29f is
// 0.2899999916...); the small addition keeps it in its own hundredth.
std::int32_t SimilarityKey(float similarity)
{
    if (similarity == 0.0f) {
        return 100;
    }
    return std::int32_t(std::trunc(double(similarity) * 100.0 + 1e-4));
}

// For each text, its place in the order of the user's locale with letter case ignored; texts
// that compare equal share a place. Each distinct text is converted and keyed once, so a sort
// of a million rows compares small integers only.
std::vector<std::int32_t> CollationRanks(const std::vector<const std::string*>& texts)
{
    std::unordered_map<std::string_view, std::int32_t> distinctIndex;
    distinctIndex.reserve(texts.size());
    std::vector<std::string_view> distinct;
    std::vector<std::int32_t> distinctOfText(texts.size());
    for (std::size_t i = 0; i < texts.size(); ++i) {
        const auto [at, added] =
            distinctIndex.try_emplace(std::string_view(*texts[i]), std::int32_t(distinct.size()));
        if (added) {
            distinct.push_back(*texts[i]);
        }
        distinctOfText[i] = at->second;
    }

    // Keying costs about a microsecond a text, so large lists are keyed in slices side by side,
    // each thread with a collator of its own (one collator is not to be used by two threads). A
    // slice whose thread could not start, or failed, is keyed here afterwards.
    const std::size_t count = distinct.size();
    const std::size_t slices = std::clamp<std::size_t>(
        count / TextsPerKeyingThread, 1, std::max(1u, std::thread::hardware_concurrency()));
    std::vector<std::vector<QCollatorSortKey>> slicedKeys(slices);
    auto keySlice = [&](std::size_t slice) {
        QCollator collator;
        collator.setCaseSensitivity(Qt::CaseInsensitive);
        // The C locale's sort keys compare code points and leave the case setting aside: fold
        // the case first there, so the keys agree with a case-insensitive comparison in every
        // locale.
        const bool plainLocale = collator.locale().language() == QLocale::C;
        std::vector<QCollatorSortKey>& keys = slicedKeys[slice];
        keys.clear();
        const std::size_t end = count * (slice + 1) / slices;
        for (std::size_t i = count * slice / slices; i < end; ++i) {
            QString unicode = QString::fromUtf8(distinct[i].data(), qsizetype(distinct[i].size()));
            keys.push_back(collator.sortKey(plainLocale ? unicode.toCaseFolded() : unicode));
        }
    };
    std::vector<char> keyed(slices, 0);
    std::vector<std::thread> threads;
    for (std::size_t slice = 1; slice < slices; ++slice) {
        try {
            threads.emplace_back([&, slice] {
                try {
                    keySlice(slice);
                    keyed[slice] = 1;
                } catch (...) {
                    // Keyed again on the calling thread.
                }
            });
        } catch (const std::system_error&) {
            break;
        }
    }
    std::exception_ptr failure;
    try {
        keySlice(0);
    } catch (...) {
        failure = std::current_exception();
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    if (failure) {
        std::rethrow_exception(failure);
    }
    std::vector<QCollatorSortKey> keys;
    keys.reserve(count);
    for (std::size_t slice = 0; slice < slices; ++slice) {
        if (slice > 0 && keyed[slice] == 0) {
            keySlice(slice);
        }
        for (QCollatorSortKey& key : slicedKeys[slice]) {
            keys.push_back(std::move(key));
        }
    }

    std::vector<std::int32_t> order(distinct.size());
    std::iota(order.begin(), order.end(), 0);
    std::sort(order.begin(), order.end(), [&](std::int32_t i, std::int32_t j) {
        return keys[std::size_t(i)].compare(keys[std::size_t(j)]) < 0;
    });
    std::vector<std::int32_t> rankOfDistinct(distinct.size());
    std::int32_t rank = 0;
    for (std::size_t k = 0; k < order.size(); ++k) {
        if (k > 0 && keys[std::size_t(order[k - 1])].compare(keys[std::size_t(order[k])]) != 0) {
            ++rank;
        }
        rankOfDistinct[std::size_t(order[k])] = rank;
    }

    std::vector<std::int32_t> ranks(texts.size());
    for (std::size_t i = 0; i < texts.size(); ++i) {
        ranks[i] = rankOfDistinct[std::size_t(distinctOfText[i])];
    }
    return ranks;
}

namespace {

// A grouped file with what the sort compares it by, copied out of the record: the collation rank
// of its name or folder, its size or its similarity key, or one of its times.
struct TSortEntry {
    TDImage* Image = nullptr;
    std::int64_t Key = 0;
    platform::TFileTime Time;
};

// The ascending order of two files by a kind of 1 to 7: negative, 0 or positive.
int CompareEntries(std::uint8_t kind, const TSortEntry& a, const TSortEntry& b)
{
    switch (kind) {
    case skCreated:
    case skModified:
    case skAccessed:
        return CompareFileTimes(a.Time, b.Time);
    default:
        return ThreeWay(a.Key, b.Key);
    }
}

} // namespace

TDFinder::TDFinder()
{
    SizeBuckets.reserve(InitialBucketCount);
}

TDFinder::~TDFinder() = default;

void TDFinder::RemoveFile(TDImage* file)
{
    if (file == nullptr) {
        return;
    }
    const auto bucket = SizeBuckets.find(file->Size);
    if (bucket != SizeBuckets.end()) {
        // The scan removes files from the last to the first, so look from the back.
        std::vector<TDImage*>& items = bucket->second->Items;
        const auto at = std::find(items.rbegin(), items.rend(), file);
        if (at != items.rend()) {
            items.erase(std::next(at).base());
        }
    }
    // A grouped file must not be freed while its group still points to it.
    if (TDGroup* group = file->Group.load(); group != nullptr) {
        std::erase(group->Items, file);
        file->Group = nullptr;
    }
    if (Files.Remove(file)) {
        --FileCount;
    }
}

void TDFinder::AddPair(TDImage* a, TDImage* b, float similarity, bool lock)
{
    // A file is never its own duplicate; a group holding one record twice would act on it twice.
    if (a == nullptr || b == nullptr || a == b) {
        return;
    }
    std::unique_lock guard(Lock, std::defer_lock);
    if (lock) {
        guard.lock();
    }
    TDGroup* groupA = a->Group.load();
    TDGroup* groupB = b->Group.load();
    if (groupB != nullptr) {
        if (groupA == nullptr) {
            a->Similarity = similarity;
            groupB->Add(a);
            a->Group = groupB;
        }
        return;
    }
    if (groupA != nullptr) {
        b->Similarity = similarity;
        groupA->Add(b);
        b->Group = groupA;
        return;
    }
    a->Similarity = 1.0f;
    b->Similarity = similarity;
    auto fresh = std::make_unique<TDGroup>();
    fresh->Add(a);
    fresh->Add(b);
    TDGroup* group = Groups.Add(std::move(fresh));
    group->GroupNumber = Groups.Count();
    a->Group = group;
    b->Group = group;
}

void TDFinder::ClearResults(bool keepFolders)
{
    if (!keepFolders) {
        Folders.clear();
    }
    Groups.Clear();
    Files.Clear();
    SizeBuckets.clear();
    SizeBuckets.reserve(InitialBucketCount);
}

bool TDFinder::HasManualChecks() const
{
    return std::any_of(
        Files.begin(), Files.end(), [](const TDImage* image) { return image->CheckState == 2; });
}

std::int32_t TDFinder::GroupedFileCount() const
{
    std::int32_t count = 0;
    for (const TDGroup* group : Groups) {
        count += group->Count();
    }
    return count;
}

void TDFinder::GetCheckedTotals(std::int64_t& checkedSize, std::int64_t& checkedCount,
    std::int64_t& totalSize, std::int64_t& groupedCount) const
{
    checkedSize = 0;
    checkedCount = 0;
    totalSize = 0;
    groupedCount = 0;
    for (const TDGroup* group : Groups) {
        groupedCount += group->Count();
        for (const TDImage* image : *group) {
            totalSize += image->Size;
            if (image->CheckState != 0) {
                ++checkedCount;
                checkedSize += image->Size;
            }
        }
    }
}

bool TDFinder::IsInFlaggedFolder(const std::string& path, std::uint8_t bit) const
{
    return std::any_of(Folders.begin(), Folders.end(), [&](const TFinderFolder& entry) {
        return IsBitSet(entry.Flags, bit) && PathStartsWith(path, entry.Folder);
    });
}

std::string TDFinder::FullyCheckedGroups() const
{
    std::string numbers;
    for (const TDGroup* group : Groups) {
        if (group->Count() == 0) {
            continue;
        }
        const bool allChecked = std::all_of(group->begin(), group->end(),
            [](const TDImage* image) { return image->CheckState != 0; });
        if (allChecked) {
            if (!numbers.empty()) {
                numbers += ',';
            }
            numbers += std::to_string(group->GroupNumber);
        }
    }
    return numbers;
}

void TDFinder::SortGroups(std::uint8_t kind, bool descending)
{
    SortDescending = descending;
    const bool sortsFiles = kind >= skFileName && kind <= skSimilarity;
    const bool sortsGroups = kind == skFileName || kind == skFolder || kind == skSize ||
        kind == skModified || kind == skSimilarity || kind == skGroup;
    if (!sortsFiles && !sortsGroups) {
        return;
    }

    // Descending swaps the operands, which reverses the order.
    auto before = [descending](
                      int ascending) { return descending ? ascending > 0 : ascending < 0; };

    // The files of all groups, group by group; group g's files are entries
    // [start[g], start[g + 1]).
    const std::int32_t groupCount = Groups.Count();
    std::vector<std::size_t> start(std::size_t(groupCount) + 1, 0);
    std::vector<TSortEntry> entries;
    if (sortsFiles) {
        for (std::int32_t g = 0; g < groupCount; ++g) {
            for (TDImage* image : *Groups[g]) {
                entries.push_back(TSortEntry {image, 0, {}});
            }
            start[std::size_t(g) + 1] = entries.size();
        }
        if (kind == skFileName || kind == skFolder) {
            std::vector<const std::string*> texts;
            texts.reserve(entries.size());
            for (const TSortEntry& entry : entries) {
                texts.push_back(
                    kind == skFileName ? &entry.Image->FileName : &entry.Image->Folder.Str());
            }
            const std::vector<std::int32_t> ranks = CollationRanks(texts);
            for (std::size_t i = 0; i < entries.size(); ++i) {
                entries[i].Key = ranks[i];
            }
        } else if (kind == skSize) {
            for (TSortEntry& entry : entries) {
                entry.Key = entry.Image->Size;
            }
        } else if (kind == skSimilarity) {
            for (TSortEntry& entry : entries) {
                entry.Key = SimilarityKey(entry.Image->Similarity);
            }
        } else {
            // 1 last-write time, 2 last-access time, 0 creation time.
            const std::uint8_t timeKind = kind == skModified ? 1 : (kind == skAccessed ? 2 : 0);
            for (TSortEntry& entry : entries) {
                entry.Time = entry.Image->FileTimeByKind(timeKind);
            }
        }

        for (std::int32_t g = 0; g < groupCount; ++g) {
            const auto first = entries.begin() + std::ptrdiff_t(start[std::size_t(g)]);
            const auto last = entries.begin() + std::ptrdiff_t(start[std::size_t(g) + 1]);
            std::stable_sort(first, last, [&](const TSortEntry& a, const TSortEntry& b) {
                return before(CompareEntries(kind, a, b));
            });
            std::vector<TDImage*>& items = Groups[g]->Items;
            for (auto at = first; at != last; ++at) {
                items[std::size_t(at - first)] = at->Image;
            }
        }
    }

    if (!sortsGroups) {
        return;
    }
    // What each group is compared by, side by side, so the sort does not chase pointers.
    struct TGroupKey {
        bool Empty;
        std::int32_t Number;
        std::size_t First; // the group's first entry
    };
    std::vector<TGroupKey> keys;
    keys.reserve(std::size_t(groupCount));
    for (std::int32_t g = 0; g < groupCount; ++g) {
        const TDGroup* group = Groups[g];
        keys.push_back(TGroupKey {group->Count() == 0, group->GroupNumber, start[std::size_t(g)]});
    }
    Groups.StableSortBy([&](std::int32_t i, std::int32_t j) {
        const TGroupKey& left = keys[std::size_t(i)];
        const TGroupKey& right = keys[std::size_t(j)];
        // Groups without files (their files were removed from the results) go last, by number,
        // whatever the direction.
        if (left.Empty || right.Empty) {
            if (left.Empty != right.Empty) {
                return right.Empty;
            }
            return left.Number < right.Number;
        }
        if (kind == skGroup) {
            return before(ThreeWay(left.Number, right.Number));
        }
        return before(CompareEntries(kind, entries[left.First], entries[right.First]));
    });
}
