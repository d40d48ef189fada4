#include "engine/SimilarNames.h"

#include "engine/ZYUtils.h"

#include <QChar>
#include <QHash>
#include <QString>

#include <algorithm>
#include <array>
#include <bit>
#include <cstdlib>
#include <limits>
#include <map>
#include <string_view>
#include <unordered_map>
#include <utility>

namespace {

// Units are counted in this many buckets: each letter and digit of ASCII, and the punctuation
// common in names, has one of its own; the other units share the last sixteen.
constexpr std::size_t UnitBuckets = 64;
constexpr std::uint8_t SharedBuckets = 48;

constexpr std::array<std::uint8_t, 128> MakeAsciiBuckets()
{
    std::array<std::uint8_t, 128> buckets {};
    for (std::size_t unit = 0; unit < buckets.size(); ++unit) {
        buckets[unit] = std::uint8_t(SharedBuckets + unit % 16);
    }
    std::uint8_t next = 0;
    for (char unit = 'a'; unit <= 'z'; ++unit) {
        buckets[std::size_t(unit)] = next++;
    }
    for (char unit = '0'; unit <= '9'; ++unit) {
        buckets[std::size_t(unit)] = next++;
    }
    for (const char unit : std::string_view(" .-_+~@,()[]")) {
        buckets[std::size_t(unit)] = next++;
    }
    return buckets;
}

constexpr std::array<std::uint8_t, 128> AsciiBuckets = MakeAsciiBuckets();

std::size_t BucketOf(char16_t unit)
{
    if (unit < 128) {
        return AsciiBuckets[unit];
    }
    return SharedBuckets + ((unit ^ (unit >> 4) ^ (unit >> 8)) & 15u);
}

// More phases than this give no finer stop or progress, only overhead.
constexpr std::int32_t MaxPhases = 64;

// Each unit of the text case folded as a case-insensitive comparison of texts folds it: a
// low surrogate after a high one as the character the two make.
std::u32string FoldedUnits(QStringView text)
{
    std::u32string folded;
    folded.reserve(std::size_t(text.size()));
    char32_t last = 0;
    for (const QChar unit : text) {
        char32_t code = unit.unicode();
        if (QChar::isLowSurrogate(code) && QChar::isHighSurrogate(last)) {
            code = QChar::surrogateToUcs4(char16_t(last), char16_t(code));
        }
        last = unit.unicode();
        folded += QChar::toCaseFolded(code);
    }
    return folded;
}

} // namespace

TSimilarNames::TSimilarNames(const std::vector<QStringView>& names,
    const std::vector<const std::string*>& exts, const TOptions& options)
    : FOptions(options)
{
    // At 100 names compare by equality alone; otherwise a threshold above 1 lets no pair
    // through, equal names included.
    FNothingMatches = !options.ExactOnly && !(options.Threshold <= 1.0);
    MakeClasses(names, exts);
    FMatch.assign(FClassLength.size(), -1);
    FFrontier.assign(FClassLength.size(), 0);
    if (options.ExactOnly) {
        MakeExactMatches();
    } else if (!FNothingMatches) {
        MakeLimits();
    }
    MakePhases();
}

void TSimilarNames::MakeClasses(
    const std::vector<QStringView>& names, const std::vector<const std::string*>& exts)
{
    const std::size_t count = names.size();
    std::unordered_map<std::string, std::int32_t> extIds;
    // Equal names of files of one extension id are one class.
    std::unordered_map<QString, std::int32_t> classOfKey;
    FClassOfFile.resize(count);
    std::vector<std::int32_t> sizes;
    for (std::size_t file = 0; file < count; ++file) {
        std::int32_t ext = 0;
        if (FOptions.EqualExtOnly) {
            ext = extIds.try_emplace(*exts[file], std::int32_t(extIds.size())).first->second;
        }
        // A name never holds "/", so the extension's number after it keeps the keys apart.
        QString key = names[file].toString();
        if (FOptions.EqualExtOnly) {
            key += u'/';
            key += QString::number(ext);
        }
        const auto [at, added] = classOfKey.try_emplace(std::move(key), std::int32_t(sizes.size()));
        if (added) {
            sizes.push_back(0);
            FClassName.push_back(names[file]);
            FClassLength.push_back(std::int32_t(names[file].size()));
            FClassExt.push_back(ext);
        }
        FClassOfFile[file] = at->second;
        ++sizes[std::size_t(at->second)];
    }

    const std::size_t classes = sizes.size();
    FFileStart.assign(classes + 1, 0);
    for (std::size_t c = 0; c < classes; ++c) {
        FFileStart[c + 1] = FFileStart[c] + sizes[c];
    }
    FFiles.resize(count);
    std::vector<std::int32_t> filled(FFileStart.begin(), FFileStart.end() - 1);
    for (std::size_t file = 0; file < count; ++file) {
        const std::size_t c = std::size_t(FClassOfFile[file]);
        FFiles[std::size_t(filled[c]++)] = std::int32_t(file);
    }

    FBucketBits.assign(classes, 0);
    FBucketCounts.assign(classes * UnitBuckets, 0);
    FBucketTotal.assign(classes, 0);
    for (std::size_t c = 0; c < classes; ++c) {
        std::uint8_t* counts = &FBucketCounts[c * UnitBuckets];
        for (const QChar unit : FClassName[c]) {
            const std::size_t bucket = BucketOf(unit.unicode());
            FBucketBits[c] |= std::uint64_t(1) << bucket;
            if (counts[bucket] < 255) {
                ++counts[bucket];
            }
        }
        for (std::size_t bucket = 0; bucket < UnitBuckets; ++bucket) {
            FBucketTotal[c] += counts[bucket];
        }
    }
}

void TSimilarNames::MakeExactMatches()
{
    // Classes whose names are equal but for letter case: the smallest of them matches every
    // other, and the next smallest matches the smallest.
    std::map<std::pair<std::int32_t, std::u32string>, std::vector<std::int32_t>> alike;
    for (std::int32_t c = 0; c < ClassCount(); ++c) {
        alike[{FClassExt[std::size_t(c)], FoldedUnits(FClassName[std::size_t(c)])}].push_back(c);
    }
    for (const auto& [key, classes] : alike) {
        for (std::size_t k = 0; k < classes.size(); ++k) {
            const std::int32_t other = k == 0 ? (classes.size() > 1 ? classes[1] : -1) : classes[0];
            FMatch[std::size_t(classes[k])] = other;
        }
    }
}

void TSimilarNames::MakeLimits()
{
    const double t = FOptions.Threshold;
    std::int32_t longest = 0;
    for (const std::int32_t length : FClassLength) {
        longest = std::max(longest, length);
    }
    const auto size = std::size_t(longest) + 1;
    FLimit.assign(size, -1);
    FShortest.assign(size, 0);
    FLongest.assign(size, 0);
    for (std::int32_t length = 0; length <= longest; ++length) {
        // The same sums as the measure and the loop's test make, so the limit is exact.
        std::int32_t limit = -1;
        while (limit < length &&
            (length == 0 ? 1.0 : 1.0 - double(limit + 1) / double(length)) >= t) {
            ++limit;
        }
        FLimit[std::size_t(length)] = limit;

        // The lengths that the loop's length test lets through with this one: a range, since
        // the shorter over the longer grows towards equal lengths from either side.
        std::int32_t shortest = -1;
        std::int32_t longestPassing = -1;
        for (std::int32_t other = 0; other <= longest; ++other) {
            const double shorter = double(std::min(length, other));
            const double longer = double(std::max(length, other));
            if (longer > 0 && t > shorter / longer) {
                continue;
            }
            if (shortest < 0) {
                shortest = other;
            }
            longestPassing = other;
        }
        FShortest[std::size_t(length)] = shortest;
        FLongest[std::size_t(length)] = longestPassing;
    }
}

void TSimilarNames::MakePhases()
{
    const std::int32_t classes = ClassCount();
    const std::int32_t size = std::max(1, FOptions.PhaseSize);
    const std::int32_t phases =
        std::clamp((classes + size - 1) / size, classes > 0 ? 1 : 0, MaxPhases);
    FPhaseStart.assign(std::size_t(phases) + 1, classes);
    for (std::int32_t p = 0; p < phases; ++p) {
        FPhaseStart[std::size_t(p)] = std::int32_t(std::int64_t(classes) * p / phases);
    }
    if (FOptions.ExactOnly || FNothingMatches) {
        return;
    }
    // Each block sorted by extension, length and class: the classes a name may match lie
    // side by side, and in class order for each length.
    FBlockClasses.resize(std::size_t(classes));
    FBlockKeys.resize(std::size_t(classes));
    const auto keyOf = [this](std::int32_t c) {
        return (std::uint64_t(FClassExt[std::size_t(c)]) << 32) |
            std::uint64_t(FClassLength[std::size_t(c)]);
    };
    for (std::int32_t p = 0; p < phases; ++p) {
        const auto begin = FBlockClasses.begin() + FPhaseStart[std::size_t(p)];
        const auto end = FBlockClasses.begin() + FPhaseStart[std::size_t(p) + 1];
        for (auto at = begin; at != end; ++at) {
            *at = std::int32_t(at - FBlockClasses.begin());
        }
        std::stable_sort(begin, end, [&keyOf](std::int32_t a, std::int32_t b) {
            return keyOf(a) < keyOf(b);
        });
    }
    for (std::size_t k = 0; k < FBlockClasses.size(); ++k) {
        FBlockKeys[k] = keyOf(FBlockClasses[k]);
    }
    // The runs of one key within each block.
    FBlockRunStart.resize(std::size_t(classes));
    FBlockRunEnd.resize(std::size_t(classes));
    for (std::int32_t p = 0; p < phases; ++p) {
        const auto begin = std::size_t(FPhaseStart[std::size_t(p)]);
        const auto end = std::size_t(FPhaseStart[std::size_t(p) + 1]);
        std::size_t run = begin;
        for (std::size_t k = begin; k < end; ++k) {
            if (FBlockKeys[k] != FBlockKeys[run]) {
                run = k;
            }
            FBlockRunStart[k] = std::int32_t(run);
        }
        for (std::size_t k = end; k-- > begin;) {
            FBlockRunEnd[k] = k + 1 == end || FBlockKeys[k + 1] != FBlockKeys[k]
                ? std::int32_t(k + 1)
                : FBlockRunEnd[k + 1];
        }
    }
}

std::span<const std::int32_t> TSimilarNames::FilesOf(std::int32_t cls) const
{
    const auto c = std::size_t(cls);
    return {FFiles.data() + FFileStart[c], std::size_t(FFileStart[c + 1] - FFileStart[c])};
}

std::int32_t TSimilarNames::ClassesBefore(std::int32_t file) const
{
    // Classes are numbered in the order of their first files.
    std::int32_t low = 0;
    std::int32_t high = ClassCount();
    while (low < high) {
        const std::int32_t mid = low + (high - low) / 2;
        if (FFiles[std::size_t(FFileStart[std::size_t(mid)])] < file) {
            low = mid + 1;
        } else {
            high = mid;
        }
    }
    return low;
}

std::int32_t TSimilarNames::BlockOf(std::int32_t cls) const
{
    return std::int32_t(
               std::upper_bound(FPhaseStart.begin(), FPhaseStart.end() - 1, cls) -
               FPhaseStart.begin()) -
        1;
}

std::size_t TSimilarNames::BeginPhase(std::int32_t phase, std::size_t jobsWanted)
{
    FPhase = phase;
    FItems.clear();
    FJobStart.clear();
    if (FOptions.ExactOnly || FNothingMatches) {
        return 0;
    }
    const std::int32_t start = PhaseStart(phase);
    const std::int32_t end = PhaseStart(phase + 1);
    std::int64_t cost = 0;
    // The classes before the phase had their turn: what they join is known.
    for (std::int32_t c = start; c < ClassCount(); ++c) {
        if (FMatch[std::size_t(c)] >= 0) {
            continue;
        }
        std::int32_t target = end;
        if (c < end) {
            // The class's turn comes in this phase: whether an earlier class matches it, and
            // when not, whether a class does before the second file of its own class.
            const std::span<const std::int32_t> own = FilesOf(c);
            target = own.size() > 1 ? ClassesBefore(own[1]) : ClassCount();
        }
        if (FFrontier[std::size_t(c)] < target) {
            FItems.push_back({c, target});
            cost += target - FFrontier[std::size_t(c)];
        }
    }
    if (FItems.empty()) {
        return 0;
    }
    const std::int64_t share =
        std::max<std::int64_t>(1, cost / std::int64_t(std::max<std::size_t>(1, jobsWanted)));
    std::int64_t gathered = share;
    for (std::size_t k = 0; k < FItems.size(); ++k) {
        if (gathered >= share) {
            FJobStart.push_back(k);
            gathered = 0;
        }
        gathered += FItems[k].Target - FFrontier[std::size_t(FItems[k].Class)];
    }
    FJobStart.push_back(FItems.size());
    return FJobStart.size() - 1;
}

bool TSimilarNames::RunJob(std::size_t job, const std::function<bool()>* gate)
{
    for (std::size_t k = FJobStart[job]; k < FJobStart[job + 1]; ++k) {
        if (!Scan(FItems[k], gate)) {
            return false;
        }
    }
    return true;
}

bool TSimilarNames::Scan(const TItem& item, const std::function<bool()>* gate)
{
    const auto c = std::size_t(item.Class);
    while (FMatch[c] < 0 && FFrontier[c] < item.Target) {
        const std::int32_t from = FFrontier[c];
        const std::int32_t block = BlockOf(from);
        const std::int32_t to = std::min(item.Target, PhaseStart(block + 1));
        const std::int32_t found =
            ScanBlock(item.Class, block, from, to, std::numeric_limits<std::int32_t>::max());
        if (found != std::numeric_limits<std::int32_t>::max()) {
            FMatch[c] = found;
        } else {
            FFrontier[c] = to;
        }
        if (gate != nullptr && !(*gate)()) {
            return false;
        }
    }
    return true;
}

std::int32_t TSimilarNames::ScanBlock(std::int32_t cls, std::int32_t block, std::int32_t from,
    std::int32_t to, std::int32_t best) const
{
    const auto c = std::size_t(cls);
    const std::uint64_t ext = std::uint64_t(FClassExt[c]) << 32;
    const auto length = std::size_t(FClassLength[c]);
    const std::size_t begin = std::size_t(PhaseStart(block));
    const std::size_t end = std::size_t(PhaseStart(block + 1));
    const auto keys = FBlockKeys.begin();
    const auto low = std::size_t(
        std::lower_bound(keys + std::ptrdiff_t(begin), keys + std::ptrdiff_t(end),
            ext | std::uint64_t(FShortest[length])) -
        keys);
    const auto high = std::size_t(
        std::upper_bound(keys + std::ptrdiff_t(low), keys + std::ptrdiff_t(end),
            ext | std::uint64_t(FLongest[length])) -
        keys);
    // Each length's classes are in class order: a run is left at the first class past best.
    // The runs of lengths nearest the class's own go first, since those match most often and
    // then keep the others short.
    const auto scanRun = [&](std::size_t at) {
        for (const auto runEnd = std::size_t(FBlockRunEnd[at]); at < runEnd; ++at) {
            const std::int32_t other = FBlockClasses[at];
            if (other >= best || other >= to) {
                break;
            }
            if (other >= from && other != cls && Matches(cls, other)) {
                best = other;
                break;
            }
        }
    };
    const auto own = std::size_t(
        std::lower_bound(keys + std::ptrdiff_t(low), keys + std::ptrdiff_t(high),
            ext | std::uint64_t(length)) -
        keys);
    std::size_t up = own;
    std::size_t down = own;
    while (up < high || down > low) {
        if (up < high) {
            scanRun(up);
            up = std::size_t(FBlockRunEnd[up]);
        }
        if (down > low) {
            down = std::size_t(FBlockRunStart[down - 1]);
            scanRun(down);
        }
    }
    return best;
}

bool TSimilarNames::Matches(std::int32_t a, std::int32_t b) const
{
    const auto ca = std::size_t(a);
    const auto cb = std::size_t(b);
    const std::int32_t limit =
        FLimit[std::size_t(std::max(FClassLength[ca], FClassLength[cb]))];
    if (limit < 0) {
        return false;
    }
    // Each unit that one name has more of than the other takes an edit of its own (a swap
    // of two neighbours moves no unit out of its name), so either count above the limit
    // rules the pair out; buckets only merge units, which can but lower the counts.
    const std::uint64_t onlyA = FBucketBits[ca] & ~FBucketBits[cb];
    const std::uint64_t onlyB = FBucketBits[cb] & ~FBucketBits[ca];
    if (std::popcount(onlyA) > limit || std::popcount(onlyB) > limit) {
        return false;
    }
    const std::uint8_t* countsA = &FBucketCounts[ca * UnitBuckets];
    const std::uint8_t* countsB = &FBucketCounts[cb * UnitBuckets];
    std::int32_t apart = 0;
    for (std::size_t bucket = 0; bucket < UnitBuckets; ++bucket) {
        apart += std::abs(std::int32_t(countsA[bucket]) - std::int32_t(countsB[bucket]));
    }
    // apart is what A has more of plus what B has more of; their difference is that of the
    // totals.
    if (apart + std::abs(FBucketTotal[ca] - FBucketTotal[cb]) > 2 * limit) {
        return false;
    }
    return EditDistanceWithin(FClassName[ca], FClassName[cb], limit) <= limit;
}

void TSimilarNames::EndPhase()
{
    const std::int32_t start = PhaseStart(FPhase);
    const std::int32_t end = PhaseStart(FPhase + 1);
    FChildStart.assign(std::size_t(end - start) + 1, 0);
    FChildren.clear();
    const auto isChild = [start, end, this](std::int32_t c) {
        const std::int32_t match = FMatch[std::size_t(c)];
        return match >= start && match < end && match < c;
    };
    for (std::int32_t c = start + 1; c < ClassCount(); ++c) {
        if (isChild(c)) {
            ++FChildStart[std::size_t(FMatch[std::size_t(c)] - start) + 1];
        }
    }
    for (std::size_t k = 1; k < FChildStart.size(); ++k) {
        FChildStart[k] += FChildStart[k - 1];
    }
    FChildren.resize(std::size_t(FChildStart.back()));
    std::vector<std::int32_t> filled(FChildStart.begin(), FChildStart.end() - 1);
    for (std::int32_t c = start + 1; c < ClassCount(); ++c) {
        if (isChild(c)) {
            FChildren[std::size_t(filled[std::size_t(FMatch[std::size_t(c)] - start)]++)] = c;
        }
    }
}

void TSimilarNames::PairsOf(std::int32_t cls, std::vector<std::int32_t>& files) const
{
    files.clear();
    if (FNothingMatches) {
        return;
    }
    const std::span<const std::int32_t> own = FilesOf(cls);
    const std::int32_t match = FMatch[std::size_t(cls)];
    std::int32_t nearest = -1;
    if (match < 0 || match > cls) {
        // No earlier file matches the class's first file: it joins the nearest later file
        // that matches it first, then every file that it is the earliest match of.
        if (own.size() > 1) {
            nearest = own[1];
        }
        if (match >= 0) {
            const std::int32_t first = FilesOf(match)[0];
            nearest = nearest < 0 ? first : std::min(nearest, first);
        }
        if (nearest < 0) {
            return;
        }
        files.push_back(nearest);
        files.insert(files.end(), own.begin() + 1, own.end());
    }
    const std::int32_t start = PhaseStart(FPhase);
    const auto slot = std::size_t(cls - start);
    for (std::int32_t k = FChildStart[slot]; k < FChildStart[slot + 1]; ++k) {
        const std::span<const std::int32_t> child = FilesOf(FChildren[std::size_t(k)]);
        files.insert(files.end(), child.begin(), child.end());
    }
    const auto rest = files.begin() + (nearest < 0 ? 0 : 1);
    std::sort(rest, files.end());
    // The nearest file comes first; it may be among the rest as well.
    if (nearest >= 0 && rest != files.end() && *rest == nearest) {
        files.erase(rest);
    }
}
