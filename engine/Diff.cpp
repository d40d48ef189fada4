#include "engine/Diff.h"

#include "engine/DImage.h"
#include "engine/MemPools.h"
#include "platform/ReadOnlyFile.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <exception>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

namespace {

// Groups shorter than this are split by selection, longer ones by a three-way partition.
constexpr std::int32_t SmallGroup = 16;
// How far a match must beat the old offset's agreement before the scan takes it.
constexpr std::int32_t MatchMargin = 8;

// One step of Split's work: a range still to be ordered, or a group of equal keys whose
// ranks are to be set once everything before it is ordered.
struct TSplitStep {
    std::int32_t Start;
    std::int32_t Length;
    bool EqualGroup;
};

// The pending steps of Split on this thread; kept between calls so that a chunk's sort does
// not allocate once the list has grown to what the data needs.
std::vector<TSplitStep>& PendingSplitSteps()
{
    thread_local std::vector<TSplitStep> steps;
    return steps;
}

// Entries start .. start + length - 1 hold one group of equal keys: each gets the index of the
// last of them as its rank, and a group of one is sorted.
void CloseGroup(std::int32_t* I, std::int32_t* V, std::int32_t start, std::int32_t length)
{
    const std::int32_t last = start + length - 1;
    for (std::int32_t k = start; k <= last; ++k) {
        V[I[k]] = last;
    }
    if (length == 1) {
        I[start] = -1;
    }
}

// Selection by groups: the entries with the smallest key go to the front, are closed as a
// group, and the rest is ordered the same way.
void SplitSmall(std::int32_t* I, std::int32_t* V, std::int32_t start, std::int32_t length,
                std::int32_t h)
{
    const std::int32_t end = start + length;
    std::int32_t k = start;
    while (k < end) {
        std::int32_t smallest = V[I[k] + h];
        for (std::int32_t i = k + 1; i < end; ++i) {
            smallest = std::min(smallest, V[I[i] + h]);
        }
        std::int32_t front = k;
        for (std::int32_t i = k; i < end; ++i) {
            if (V[I[i] + h] == smallest) {
                std::swap(I[front], I[i]);
                ++front;
            }
        }
        CloseGroup(I, V, k, front - k);
        k = front;
    }
}

// The induced sort's work on s[0 .. n), whose last symbol is the only one of value 0 and whose
// others lie in [1, alphabet): SA gets the start positions of its suffixes in ascending order.
// A suffix is of type S when it sorts below the one after it, of type L otherwise; an S suffix
// just after an L one is leftmost S (LMS). Sorting the LMS suffixes is enough: the L suffixes
// follow from them by one scan forward over SA, the S suffixes by one scan backward. The LMS
// suffixes are sorted by their substrings up to the next LMS position, then, where those are
// not all different, by a suffix sort of the string of their substrings' names.
void InduceSort(const std::int32_t* s, std::int32_t* SA, std::int32_t n, std::int32_t alphabet)
{
    if (n == 1) {
        SA[0] = 0;
        return;
    }
    std::vector<std::uint8_t> typeS(std::size_t(n), 0);
    typeS[std::size_t(n - 1)] = 1;
    for (std::int32_t i = n - 2; i >= 0; --i) {
        typeS[std::size_t(i)] =
            s[i] < s[i + 1] || (s[i] == s[i + 1] && typeS[std::size_t(i + 1)] != 0) ? 1 : 0;
    }
    const auto isLms = [&typeS](std::int32_t i) {
        return i > 0 && typeS[std::size_t(i)] != 0 && typeS[std::size_t(i - 1)] == 0;
    };

    std::vector<std::int32_t> counts(std::size_t(alphabet), 0);
    for (std::int32_t i = 0; i < n; ++i) {
        ++counts[std::size_t(s[i])];
    }
    std::vector<std::int32_t> bucket(counts.size());
    // bucket[c]: where the suffixes starting with c begin (ends false) or end (ends true).
    const auto setBuckets = [&](bool ends) {
        std::int32_t sum = 0;
        for (std::size_t c = 0; c < bucket.size(); ++c) {
            sum += counts[c];
            bucket[c] = ends ? sum : sum - counts[c];
        }
    };
    const auto induce = [&] {
        setBuckets(false);
        for (std::int32_t i = 0; i < n; ++i) {
            const std::int32_t j = SA[i] - 1;
            if (SA[i] > 0 && typeS[std::size_t(j)] == 0) {
                SA[bucket[std::size_t(s[j])]++] = j;
            }
        }
        setBuckets(true);
        for (std::int32_t i = n - 1; i >= 0; --i) {
            const std::int32_t j = SA[i] - 1;
            if (SA[i] > 0 && typeS[std::size_t(j)] != 0) {
                SA[--bucket[std::size_t(s[j])]] = j;
            }
        }
    };

    // The LMS positions at the ends of their buckets, in text order; induced, this sorts them
    // by their LMS substrings.
    std::fill(SA, SA + n, -1);
    setBuckets(true);
    for (std::int32_t i = 1; i < n; ++i) {
        if (isLms(i)) {
            SA[--bucket[std::size_t(s[i])]] = i;
        }
    }
    induce();

    // The sorted LMS positions to the front, then a name for each: equal substrings (same
    // symbols and types up to and including the next LMS position) share one.
    std::int32_t lmsCount = 0;
    for (std::int32_t i = 0; i < n; ++i) {
        if (isLms(SA[i])) {
            SA[lmsCount++] = SA[i];
        }
    }
    std::fill(SA + lmsCount, SA + n, -1);
    std::int32_t names = 0;
    std::int32_t previous = -1;
    for (std::int32_t i = 0; i < lmsCount; ++i) {
        const std::int32_t position = SA[i];
        bool differs = previous < 0;
        for (std::int32_t d = 0; !differs; ++d) {
            if (s[position + d] != s[previous + d] ||
                typeS[std::size_t(position + d)] != typeS[std::size_t(previous + d)]) {
                differs = true;
            } else if (d > 0 && (isLms(position + d) || isLms(previous + d))) {
                break;
            }
        }
        if (differs) {
            ++names;
            previous = position;
        }
        // Two LMS positions are never adjacent, so position / 2 is a slot of its own.
        SA[lmsCount + position / 2] = names - 1;
    }
    // The names in text order, packed at the end of SA: the reduced string.
    for (std::int32_t i = n - 1, j = n - 1; i >= lmsCount; --i) {
        if (SA[i] >= 0) {
            SA[j--] = SA[i];
        }
    }

    // The order of the LMS suffixes: from the names alone when they are all different, else
    // by sorting the reduced string's suffixes, into SA's front.
    std::int32_t* reduced = SA + n - lmsCount;
    if (names < lmsCount) {
        InduceSort(reduced, SA, lmsCount, names);
    } else {
        for (std::int32_t i = 0; i < lmsCount; ++i) {
            SA[reduced[i]] = i;
        }
    }
    // The reduced string's positions back to positions in s.
    for (std::int32_t i = 1, j = 0; i < n; ++i) {
        if (isLms(i)) {
            reduced[j++] = i;
        }
    }
    for (std::int32_t i = 0; i < lmsCount; ++i) {
        SA[i] = reduced[SA[i]];
    }
    std::fill(SA + lmsCount, SA + n, -1);

    // The sorted LMS suffixes at the ends of their buckets, in their order, then induced.
    setBuckets(true);
    for (std::int32_t i = lmsCount - 1; i >= 0; --i) {
        const std::int32_t j = SA[i];
        SA[i] = -1;
        SA[--bucket[std::size_t(s[j])]] = j;
    }
    induce();
}

// How many leading bytes p and q have in common, at most length; eight at a time.
std::int32_t CommonStart(const std::uint8_t* p, const std::uint8_t* q, std::int32_t length)
{
    std::int32_t i = 0;
    for (; i + 8 <= length; i += 8) {
        std::uint64_t a = 0;
        std::uint64_t b = 0;
        std::memcpy(&a, p + i, 8);
        std::memcpy(&b, q + i, 8);
        if (a != b) {
            const std::uint64_t differ = a ^ b;
            if constexpr (std::endian::native == std::endian::little) {
                return i + std::countr_zero(differ) / 8;
            } else {
                return i + std::countl_zero(differ) / 8;
            }
        }
    }
    while (i < length && p[i] == q[i]) {
        ++i;
    }
    return i;
}

// The eight bytes at p as a number whose order is theirs: the first byte highest.
std::uint64_t BigEndianKey(const std::uint8_t* p)
{
    std::uint64_t key = 0;
    std::memcpy(&key, p, 8);
    if constexpr (std::endian::native == std::endian::little) {
        key = __builtin_bswap64(key);
    }
    return key;
}

// How many leading bytes two keys share.
std::int32_t KeyCommon(std::uint64_t a, std::uint64_t b)
{
    return std::countl_zero(a ^ b) / 8;
}

// Up to eight bytes from p (length of them there) as a number whose order is that of the bytes:
// the first byte highest, missing bytes zero.
std::uint64_t KeyOf(const std::uint8_t* p, std::int32_t length)
{
    if (length >= 8) {
        return BigEndianKey(p);
    }
    std::uint64_t key = 0;
    const std::int32_t bytes = std::min(length, 8);
    for (std::int32_t i = 0; i < bytes; ++i) {
        key |= std::uint64_t(p[i]) << (56 - 8 * i);
    }
    return key;
}

// SearchSuffix, with the first steps from top when it is given (then st is 0 and en is m).
// The bisection goes as a compare of whole prefixes would take it: every suffix between two
// others shares with newData at least the shorter of their common starts, so each compare
// begins there. Which way a step goes depends on the first differing byte alone, and the common
// starts of st and en at the end are the results.
std::int32_t Bisect(const TSuffixTop* top, const std::int32_t* I, const std::uint8_t* O,
    std::int32_t m, const std::uint8_t* N, std::int32_t n, std::int32_t st, std::int32_t en,
    std::int32_t& pos)
{
    std::int32_t common[2] = {-1, -1};
    const auto known = [&common] { return std::max(0, std::min(common[0], common[1])); };
    // One step of the bisection: same is what the middle suffix shares with N, below whether
    // it sorts below N.
    const auto step = [&](std::int32_t mid, std::int32_t same, bool below) {
        if (below) {
            st = mid;
            common[0] = same;
        } else {
            en = mid;
            common[1] = same;
        }
        return below;
    };
    if (top != nullptr) {
        const std::uint64_t probe = KeyOf(N, n);
        std::size_t node = 1;
        while (en - st >= 2 && node < TSuffixTop::Nodes) {
            const std::int32_t mid = st + (en - st) / 2;
            const std::int32_t start = top->Start[node];
            const std::int32_t compared = std::min(m - start, n);
            const std::int32_t inKey = std::min(compared, 8);
            const std::uint64_t mask = inKey <= 0 ? 0 : ~std::uint64_t(0) << (64 - 8 * inKey);
            const std::uint64_t key = top->Key[node] & mask;
            const std::uint64_t wanted = probe & mask;
            std::int32_t same = 0;
            bool below = false;
            if (key != wanted) {
                same = KeyCommon(key, wanted);
                below = key < wanted;
            } else if (compared <= 8) {
                same = compared;
            } else {
                const std::int32_t from = std::max(8, known());
                same = from + CommonStart(O + start + from, N + from, compared - from);
                below = same < compared && O[start + same] < N[same];
            }
            node = step(mid, same, below) ? 2 * node + 1 : 2 * node;
        }
    }
    const auto commonAt = [&](std::int32_t at, std::int32_t from) {
        return from + CommonStart(O + I[at] + from, N + from, std::min(m - I[at], n) - from);
    };
    while (en - st >= 2) {
        const std::int32_t mid = st + (en - st) / 2;
        const std::int32_t compared = std::min(m - I[mid], n);
        const std::int32_t same = commonAt(mid, known());
        step(mid, same, same < compared && O[I[mid] + same] < N[same]);
    }
    const std::int32_t x = common[0] >= 0 ? common[0] : commonAt(st, 0);
    const std::int32_t y = common[1] >= 0 ? common[1] : commonAt(en, 0);
    if (x > y) {
        pos = I[st];
        return x;
    }
    pos = I[en];
    return y;
}

// The short match lengths of new chunks' positions against one sorted old chunk, a window at
// a time, from the old chunk's index, which is built the first time a window is asked for.
class TStepLengths {
public:
    TStepLengths(TShortMatches& index, const std::int32_t* suffixes, const std::uint8_t* chunk,
        std::int32_t m)
        : Index(index), I(suffixes), O(chunk), M(m)
    {
    }

    // The next new chunk: the window held is of the one before.
    void NextNewChunk() { From = To = 0; }

    // What TShortMatches::Lengths tells for position p of N.
    std::int32_t At(const std::uint8_t* N, std::int32_t n, std::int32_t p)
    {
        if (p < From || p >= To) {
            if (!Built) {
                Index.Build(I, O, M);
                Built = true;
            }
            From = p;
            To = std::min(n, p + Window);
            Index.Lengths(N, n, From, To, Values.data());
        }
        return Values[std::size_t(p - From)];
    }

private:
    static constexpr std::int32_t Window = TShortMatches::MaxWindow;
    TShortMatches& Index;
    bool Built = false;
    const std::int32_t* I;
    const std::uint8_t* O;
    std::int32_t M;
    std::int32_t From = 0;
    std::int32_t To = 0;
    std::array<std::int32_t, Window> Values {};
};

// Scans the new chunk for approximate matches in the old one and adds the bytes that differ
// to count. False when count has passed what the threshold allows (the comparison is given
// up).
bool ScanChunk(const TSuffixTop& top, TStepLengths& lengths, const std::int32_t* I,
    const std::uint8_t* O, std::int32_t m, const std::uint8_t* N, std::int32_t n,
    std::int64_t small, double t, std::int64_t& count)
{
    std::int32_t scan = 0;
    std::int32_t len = 0;
    std::int32_t pos = 0;
    std::int32_t lastscan = 0;
    std::int32_t lastpos = 0;
    std::int32_t lastoffset = 0;

    while (scan < n) {
        std::int32_t oldscore = 0;
        scan += len;
        std::int32_t scsc = scan;
        // Find the next place where a match does clearly better than going on with the
        // current offset. The lengths come from a window, the same ones the search gives; the
        // search runs in full only where the window does not tell the length. Where the match
        // starts is not needed for a length from a window: below MatchMargin, it ends this
        // loop only when the current offset does as well, and no match is taken.
        while (scan < n) {
            len = lengths.At(N, n, scan);
            if (len == TShortMatches::Unknown) {
                len = Bisect(&top, I, O, m, N + scan, n - scan, 0, m, pos);
            }
            for (; scsc < scan + len; ++scsc) {
                if (scsc + lastoffset < m && O[scsc + lastoffset] == N[scsc]) {
                    ++oldscore;
                }
            }
            if ((len == oldscore && len != 0) || len > oldscore + MatchMargin) {
                break;
            }
            if (scan + lastoffset < m && O[scan + lastoffset] == N[scan]) {
                --oldscore;
            }
            ++scan;
        }

        if (len == oldscore && scan != n) {
            continue; // the current offset does as well as the match: nothing to count yet
        }

        // Forward extension of the previous match.
        std::int32_t s = 0;
        std::int32_t best = 0;
        std::int32_t lenf = 0;
        for (std::int32_t i = 0; lastscan + i < scan && lastpos + i < m;) {
            if (O[lastpos + i] == N[lastscan + i]) {
                ++s;
            }
            ++i;
            if (s * 2 - i > best * 2 - lenf) {
                best = s;
                lenf = i;
            }
        }

        // Backward extension of the new match.
        std::int32_t lenb = 0;
        if (scan < n) {
            s = 0;
            best = 0;
            for (std::int32_t i = 1; scan >= lastscan + i && pos >= i; ++i) {
                if (O[pos - i] == N[scan - i]) {
                    ++s;
                }
                if (s * 2 - i > best * 2 - lenb) {
                    best = s;
                    lenb = i;
                }
            }
        }

        // Where the two extensions overlap, the split point that keeps the most agreeing
        // bytes decides.
        if (lastscan + lenf > scan - lenb) {
            const std::int32_t overlap = (lastscan + lenf) - (scan - lenb);
            s = 0;
            best = 0;
            std::int32_t lens = 0;
            for (std::int32_t i = 0; i < overlap; ++i) {
                if (N[lastscan + lenf - overlap + i] == O[lastpos + lenf - overlap + i]) {
                    ++s;
                }
                if (N[scan - lenb + i] == O[pos - lenb + i]) {
                    --s;
                }
                if (s > best) {
                    best = s;
                    lens = i + 1;
                }
            }
            lenf += lens - overlap;
            lenb -= lens;
        }

        // Bytes that differ inside the extended match, and non-zero bytes of new between it
        // and the next match.
        for (std::int32_t i = 0; i < lenf; ++i) {
            if (N[lastscan + i] != O[lastpos + i]) {
                ++count;
            }
        }
        const std::int32_t unmatched = (scan - lenb) - (lastscan + lenf);
        for (std::int32_t i = 0; i < unmatched; ++i) {
            if (N[lastscan + lenf + i] != 0) {
                ++count;
            }
        }
        if (double(count) / double(small) > 1.0 - t) {
            return false;
        }

        lastscan = scan - lenb;
        lastpos = pos - lenb;
        lastoffset = pos - scan;
    }
    return true;
}

// The bytes a read at offset must give for a file of the listed size.
std::int64_t ExpectedLength(std::int64_t size, std::int64_t offset)
{
    return std::clamp<std::int64_t>(size - offset, 0, DiffChunkSize);
}

// MeasureAgainstOldFile's work: each pair's Result is set once the pair has ended; a pair that
// has not ended stays unmeasured. Raises only when memory runs out.
void CompareWithOldFile(TDImage& old, std::span<TOldFilePair> pairs, TByteArrayPool* hashPool,
    TByteArrayPool* chunkPool, TIntArrayPool* indexPool, float similarity,
    const std::atomic<bool>* closing)
{
    struct TLive {
        TOldFilePair* Pair;
        TDImage* New;
        std::int64_t Count = 0;
    };
    std::vector<TLive> live;
    live.reserve(pairs.size());
    for (TOldFilePair& pair : pairs) {
        pair.Result.reset();
    }
    for (TOldFilePair& pair : pairs) {
        if (pair.FileA->Size == pair.FileB->Size &&
            pair.FileA->SameContent(*pair.FileB, hashPool)) {
            pair.Result = 1.0f;
            continue;
        }
        live.push_back({&pair, pair.FileA == &old ? pair.FileB : pair.FileA, 0});
    }
    const std::int64_t small = old.Size;
    if (live.empty() || small <= 0) {
        return;
    }
    const double t = double(similarity) / 100.0;
    platform::TReadOnlyFile oldFile;
    if (oldFile.Open(old.FullPath())) {
        return;
    }
    // A pair's result once it is known: the pair leaves the batch.
    const auto finish = [](TLive& entry, std::optional<float> result) {
        entry.Pair->Result = result;
        entry.Pair = nullptr;
    };
    const auto measured = [small](const TLive& entry) {
        return float(std::max(0.0, 1.0 - double(entry.Count) / double(small)));
    };

    const std::size_t bufferCount = std::size_t(DiffChunkSize) + 1;
    TBufferLease<std::uint8_t> oldChunk(chunkPool, bufferCount);
    TBufferLease<std::uint8_t> newChunk(chunkPool, bufferCount);
    TBufferLease<std::int32_t> suffixes(indexPool, bufferCount);
    TBufferLease<std::int32_t> ranks(indexPool, bufferCount);
    std::uint8_t* O = oldChunk.Data();
    std::uint8_t* N = newChunk.Data();
    const auto top = std::make_unique<TSuffixTop>();
    TShortMatches shortMatches;

    const auto anyLive = [&live] {
        return std::any_of(
            live.begin(), live.end(), [](const TLive& entry) { return entry.Pair != nullptr; });
    };
    for (std::int64_t offset = 0; anyLive(); offset += DiffChunkSize) {
        if (closing != nullptr && closing->load(std::memory_order_relaxed)) {
            return;
        }
        const std::int64_t oldLength = oldFile.ReadAt(O, DiffChunkSize, offset);
        // The old chunk's suffix array, built for the first pair that needs it.
        bool sorted = false;
        TStepLengths lengths(shortMatches, suffixes.Data(), O, std::int32_t(oldLength));
        for (TLive& entry : live) {
            if (entry.Pair == nullptr) {
                continue;
            }
            // Each new file is opened for the chunk read from it, so a batch of any size
            // holds two files open at most.
            platform::TReadOnlyFile newFile;
            if (newFile.Open(entry.New->FullPath())) {
                finish(entry, std::nullopt);
                continue;
            }
            const std::int64_t newLength = newFile.ReadAt(N, DiffChunkSize, offset);
            newFile.Close();
            // A read error, or a file shorter now than when it was listed, would leave bytes
            // uncounted: such a pair is not similar.
            if (oldLength < 0 || newLength < 0 || oldLength < ExpectedLength(old.Size, offset) ||
                newLength < ExpectedLength(entry.New->Size, offset)) {
                finish(entry, std::nullopt);
                continue;
            }
            if (oldLength == 0 || newLength == 0) {
                finish(entry, measured(entry));
                continue;
            }
            const auto m = std::int32_t(oldLength);
            const auto n = std::int32_t(newLength);
            const bool identical = m == n && O[0] == N[0] && O[m - 1] == N[n - 1] &&
                                   std::memcmp(O, N, std::size_t(m)) == 0;
            if (!identical) {
                if (!sorted) {
                    InducedSuffixSort(suffixes.Data(), ranks.Data(), O, m);
                    top->Build(suffixes.Data(), O, m);
                    sorted = true;
                }
                lengths.NextNewChunk();
                if (!ScanChunk(*top, lengths, suffixes.Data(), O, m, N, n, small, t,
                        entry.Count)) {
                    finish(entry, 0.0f);
                    continue;
                }
            }
            if (m < DiffChunkSize || n < DiffChunkSize) {
                finish(entry, measured(entry));
            }
        }
    }
}

std::optional<float> CompareFiles(TDImage& a, TDImage& b, TByteArrayPool* hashPool,
    TByteArrayPool* chunkPool, TIntArrayPool* indexPool, float similarity,
    const std::atomic<bool>* closing)
{
    TOldFilePair pair {&a, &b, std::nullopt};
    CompareWithOldFile(OldFileOf(a, b), std::span(&pair, 1), hashPool, chunkPool, indexPool,
        similarity, closing);
    return pair.Result;
}

} // namespace

std::optional<float> MeasureFileSimilarity(TDImage& a, TDImage& b, TByteArrayPool* hashPool,
    TByteArrayPool* chunkPool, TIntArrayPool* indexPool, float similarity,
    const std::atomic<bool>* closing)
{
    try {
        return CompareFiles(a, b, hashPool, chunkPool, indexPool, similarity, closing);
    } catch (const std::exception&) {
        // No memory for a buffer of its own or for the sort's pending list.
        return std::nullopt;
    }
}

TDImage& OldFileOf(TDImage& a, TDImage& b)
{
    return a.Size < b.Size ? a : b;
}

void MeasureAgainstOldFile(TDImage& old, std::span<TOldFilePair> pairs,
    TByteArrayPool* hashPool, TByteArrayPool* chunkPool, TIntArrayPool* indexPool,
    float similarity, const std::atomic<bool>* closing)
{
    try {
        CompareWithOldFile(old, pairs, hashPool, chunkPool, indexPool, similarity, closing);
    } catch (const std::exception&) {
        // No memory for a buffer of its own or for the sort's pending list: the pairs that
        // had not ended stay unmeasured.
    }
}

float FileSimilarity(TDImage& a, TDImage& b, TByteArrayPool* hashPool, TByteArrayPool* chunkPool,
    TIntArrayPool* indexPool, float similarity, const std::atomic<bool>* closing)
{
    return MeasureFileSimilarity(a, b, hashPool, chunkPool, indexPool, similarity, closing)
        .value_or(0.0f);
}

void QSufSort(std::int32_t* I, std::int32_t* V, const std::uint8_t* data, std::int32_t length)
{
    const std::int32_t m = length;
    // Bucket sort by the first byte: afterwards buckets[c] is the last position of the
    // suffixes that start with byte c (position 0 is the empty suffix).
    std::int32_t buckets[256] = {};
    for (std::int32_t i = 0; i < m; ++i) {
        ++buckets[data[i]];
    }
    for (int c = 1; c < 256; ++c) {
        buckets[c] += buckets[c - 1];
    }
    for (int c = 255; c > 0; --c) {
        buckets[c] = buckets[c - 1];
    }
    buckets[0] = 0;
    for (std::int32_t i = 0; i < m; ++i) {
        I[++buckets[data[i]]] = i;
    }
    I[0] = m;
    for (std::int32_t i = 0; i < m; ++i) {
        V[i] = buckets[data[i]];
    }
    V[m] = 0;
    for (int c = 1; c < 256; ++c) {
        if (buckets[c] == buckets[c - 1] + 1) {
            I[buckets[c]] = -1;
        }
    }
    I[0] = -1;

    // Prefix doubling: each pass orders the unsorted groups by the rank of the suffix h
    // further on. Negative entries of I are runs of sorted suffixes, joined as they are met.
    for (std::int32_t h = 1; I[0] != -(m + 1); h += h) {
        std::int32_t run = 0;
        std::int32_t i = 0;
        while (i < m + 1) {
            if (I[i] < 0) {
                run -= I[i];
                i -= I[i];
            } else {
                if (run != 0) {
                    I[i - run] = -run;
                }
                const std::int32_t groupLength = V[I[i]] + 1 - i;
                Split(I, V, i, groupLength, h);
                i += groupLength;
                run = 0;
            }
        }
        if (run != 0) {
            I[i - run] = -run;
        }
    }

    for (std::int32_t i = 0; i < m + 1; ++i) {
        I[V[i]] = i;
    }
}

void InducedSuffixSort(
    std::int32_t* I, std::int32_t* S, const std::uint8_t* data, std::int32_t length)
{
    // The bytes one up, so that the end of the data is the one symbol 0 below them all: the
    // empty suffix comes first, and a suffix that is a prefix of another sorts below it.
    for (std::int32_t i = 0; i < length; ++i) {
        S[i] = std::int32_t(data[i]) + 1;
    }
    S[length] = 0;
    InduceSort(S, I, length + 1, 257);
}

void Split(std::int32_t* I, std::int32_t* V, std::int32_t start, std::int32_t length,
           std::int32_t h)
{
    // The steps run in the order that recursion would take: the part below the pivot, then
    // the ranks of the equal part, then the part above.
    std::vector<TSplitStep>& pending = PendingSplitSteps();
    pending.clear();
    pending.push_back({start, length, false});
    while (!pending.empty()) {
        const TSplitStep step = pending.back();
        pending.pop_back();
        if (step.EqualGroup) {
            CloseGroup(I, V, step.Start, step.Length);
            continue;
        }
        if (step.Length < SmallGroup) {
            SplitSmall(I, V, step.Start, step.Length, h);
            continue;
        }

        const std::int32_t end = step.Start + step.Length;
        const std::int32_t x = V[I[step.Start + step.Length / 2] + h];
        // Three-way partition: [Start, below) keys below x, [below, above) equal to x,
        // [above, end) above x.
        std::int32_t below = step.Start;
        std::int32_t above = end;
        std::int32_t k = step.Start;
        while (k < above) {
            const std::int32_t key = V[I[k] + h];
            if (key < x) {
                std::swap(I[below], I[k]);
                ++below;
                ++k;
            } else if (key > x) {
                --above;
                std::swap(I[k], I[above]);
            } else {
                ++k;
            }
        }

        if (above < end) {
            pending.push_back({above, end - above, false});
        }
        pending.push_back({below, above - below, true});
        if (below > step.Start) {
            pending.push_back({step.Start, below - step.Start, false});
        }
    }
}

std::int32_t MatchLen(const std::uint8_t* p, std::int32_t pLength, const std::uint8_t* q,
                      std::int32_t qLength)
{
    return CommonStart(p, q, std::min(pLength, qLength));
}

std::int32_t SearchSuffix(const std::int32_t* I, const std::uint8_t* oldData,
                          std::int32_t oldLength, const std::uint8_t* newData,
                          std::int32_t newLength, std::int32_t st, std::int32_t en,
                          std::int32_t& pos)
{
    return Bisect(nullptr, I, oldData, oldLength, newData, newLength, st, en, pos);
}

std::int32_t SearchSuffix(const TSuffixTop& top, const std::int32_t* I,
    const std::uint8_t* oldData, std::int32_t oldLength, const std::uint8_t* newData,
    std::int32_t newLength, std::int32_t& pos)
{
    return Bisect(&top, I, oldData, oldLength, newData, newLength, 0, oldLength, pos);
}

void TSuffixTop::Build(const std::int32_t* I, const std::uint8_t* O, std::int32_t m)
{
    struct TRange {
        std::size_t Node;
        std::int32_t St;
        std::int32_t En;
    };
    std::vector<TRange> pending = {{1, 0, m}};
    while (!pending.empty()) {
        const TRange range = pending.back();
        pending.pop_back();
        if (range.Node >= Nodes || range.En - range.St < 2) {
            continue;
        }
        const std::int32_t mid = range.St + (range.En - range.St) / 2;
        Start[range.Node] = I[mid];
        Key[range.Node] = KeyOf(O + I[mid], m - I[mid]);
        pending.push_back({2 * range.Node, range.St, mid});
        pending.push_back({2 * range.Node + 1, mid, range.En});
    }
}

void TShortMatches::Build(const std::int32_t* I, const std::uint8_t* O, std::int32_t m)
{
    Sorted.clear();
    TailFirst.fill(0);
    if (m < 8) {
        return; // nothing is told for so short a chunk
    }
    Sorted.reserve(std::size_t(m) - 7);
    for (std::int32_t k = 0; k <= m; ++k) {
        if (I[k] <= m - 8) {
            Sorted.push_back(BigEndianKey(O + I[k]));
        }
    }
    Pairs.fill(0);
    Bytes.fill(0);
    for (std::int32_t i = 0; i < m; ++i) {
        Bytes[O[i] / 64] |= std::uint64_t(1) << (O[i] % 64);
    }
    for (std::int32_t i = 0; i + 1 < m; ++i) {
        const std::uint32_t pair = std::uint32_t(O[i]) << 8 | O[i + 1];
        Pairs[pair / 64] |= std::uint64_t(1) << (pair % 64);
    }
    for (std::int32_t L = 1; L <= TailLength; ++L) {
        Tails[std::size_t(L)] = KeyOf(O + m - L, L);
        const std::uint8_t first = O[m - L];
        TailFirst[first / 64] |= std::uint64_t(1) << (first % 64);
    }
}

void TShortMatches::Lengths(const std::uint8_t* newData, std::int32_t newLength,
    std::int32_t from, std::int32_t to, std::int32_t* out) const
{
    const std::size_t count = Sorted.size();
    // First the positions whose first two bytes never follow each other in the chunk: their
    // longest match is one byte if the chunk has the first, none if not. The search finds it
    // too: the one suffix that may be a prefix of such a position is the chunk's last byte,
    // and wherever the bisection then ends, a suffix starting with that byte is beside it.
    std::array<std::int32_t, MaxWindow> searched {};
    std::int32_t searches = 0;
    for (std::int32_t p = from; p < to; ++p) {
        std::int32_t& result = out[p - from];
        if (count == 0 || newLength - p < 8) {
            result = Unknown;
            continue;
        }
        const std::uint8_t lead = newData[p];
        const std::uint32_t pair = std::uint32_t(lead) << 8 | newData[p + 1];
        if ((Pairs[pair / 64] >> (pair % 64) & 1) != 0) {
            searched[std::size_t(searches++)] = p;
        } else {
            result = std::int32_t(Bytes[lead / 64] >> (lead % 64) & 1);
        }
    }

    // Then the others: their searches go side by side, as their steps are the same sizes
    // and the loads of one step do not wait for each other.
    constexpr std::int32_t Lanes = 16;
    const std::uint64_t* K = Sorted.data();
    for (std::int32_t first = 0; first < searches; first += Lanes) {
        const std::int32_t lanes = std::min(Lanes, searches - first);
        std::array<std::uint64_t, Lanes> probe {};
        std::array<std::size_t, Lanes> at {};
        for (std::int32_t k = 0; k < Lanes; ++k) {
            const std::int32_t p = searched[std::size_t(first + std::min(k, lanes - 1))];
            probe[std::size_t(k)] = BigEndianKey(newData + p);
        }
        for (std::size_t left = count; left > 1;) {
            const std::size_t half = left / 2;
            for (std::size_t k = 0; k < std::size_t(Lanes); ++k) {
                at[k] += K[at[k] + half - 1] < probe[k] ? half : 0;
            }
            left -= half;
        }
        for (std::int32_t k = 0; k < lanes; ++k) {
            const std::int32_t p = searched[std::size_t(first + k)];
            const std::uint64_t key = probe[std::size_t(k)];
            // The longest shared start is with one of the two keys around where the probe
            // would go.
            const std::size_t above = at[std::size_t(k)] + (K[at[std::size_t(k)]] < key ? 1 : 0);
            std::int32_t best = 0;
            if (above > 0) {
                best = KeyCommon(K[above - 1], key);
            }
            if (above < count) {
                best = std::max(best, KeyCommon(K[above], key));
            }
            bool turned = false;
            const std::uint8_t lead = std::uint8_t(key >> 56);
            if ((TailFirst[lead / 64] >> (lead % 64) & 1) != 0) {
                for (std::int32_t L = 1; L <= TailLength; ++L) {
                    const std::uint64_t mask = ~std::uint64_t(0) << (64 - 8 * L);
                    const std::uint64_t differ = (Tails[std::size_t(L)] ^ key) & mask;
                    if (differ == 0) {
                        turned = true;
                        break;
                    }
                    best = std::max(best, std::int32_t(std::countl_zero(differ) / 8));
                }
            }
            out[p - from] = turned || best >= 8 ? Unknown : best;
        }
    }
}
