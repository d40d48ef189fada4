#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

class TByteArrayPool;
class TDImage;
class TIntArrayPool;

// Bytes read from each file per step of the comparison.
inline constexpr std::int32_t DiffChunkSize = 32768;

// The byte-level similarity of two files, 0 to 1: one minus the share of differing bytes,
// measured against the smaller file's size. The files are compared chunk pair by chunk pair
// (DiffChunkSize bytes from each): for a pair that is not byte-identical, the suffix array of
// the smaller ("old") file's chunk is built and the larger ("new") file's chunk is scanned for
// approximate matches in it; differing bytes inside a match, and non-zero bytes of new that
// match nothing, are counted. A zero byte that matches nothing counts as equal. The new file
// is read only as far as the old one lasts (to the end of the chunk in which the old one
// ends), so the tail of a longer file does not count. When both sizes are equal, a is new and
// b is old, and equal content by the chunk hashes gives 1 at once.
//
// similarity is the threshold in percent (t = similarity / 100): as soon as the count shows
// that the result cannot reach t, the comparison is given up and the result is 0; a result
// that is not 0 is at least t (up to the rounding to float).
//
// Both sizes must be greater than 0. A file that cannot be opened or read, or that yields
// fewer bytes than its listed size, gives 0. When closing is set (checked before each chunk
// pair), the comparison stops and gives 0.
//
// Working memory comes from the pools (two byte buffers of DiffChunkSize + 1 bytes, two
// arrays of DiffChunkSize + 1 integers; the hash pool for the equal-content test); where a
// pool is null or has no free buffer, the call uses one of its own. Any number of calls may
// run at once; a record may be shared between calls (its hashing takes its own lock).
float FileSimilarity(TDImage& a, TDImage& b, TByteArrayPool* hashPool,
                     TByteArrayPool* chunkPool, TIntArrayPool* indexPool, float similarity,
                     const std::atomic<bool>* closing = nullptr);

// FileSimilarity that tells a failed comparison from a measured one: empty when a file could
// not be opened or read, yielded fewer bytes than its listed size, or closing stopped the
// comparison. A pair that was not measured is similar to nothing, whatever the threshold.
std::optional<float> MeasureFileSimilarity(TDImage& a, TDImage& b, TByteArrayPool* hashPool,
    TByteArrayPool* chunkPool, TIntArrayPool* indexPool, float similarity,
    const std::atomic<bool>* closing = nullptr);

// One pair of a batch that MeasureAgainstOldFile measures: the two files in the order of the
// finder's list, and what MeasureFileSimilarity (FileA, FileB, ...) gives for them.
struct TOldFilePair {
    TDImage* FileA = nullptr;
    TDImage* FileB = nullptr;
    std::optional<float> Result;
};

// The file that is old in the comparison of a and b: the smaller, of two equal sizes b.
TDImage& OldFileOf(TDImage& a, TDImage& b);

// MeasureFileSimilarity for every pair of the batch, whose old file is old in each of them: each
// chunk of old is read once for all, and its suffix array is built at most once, when the
// first pair that needs it gets there. The pairs advance chunk by chunk side by side; each keeps
// its own count, ends where it would alone, and gets the result it would alone. Each pair's
// new file is opened for each chunk read from it, so a batch holds two files open at most.
void MeasureAgainstOldFile(TDImage& old, std::span<TOldFilePair> pairs,
    TByteArrayPool* hashPool, TByteArrayPool* chunkPool, TIntArrayPool* indexPool,
    float similarity, const std::atomic<bool>* closing = nullptr);

// The suffix array of data[0 .. length): I gets length + 1 entries, the start positions of
// all suffixes in ascending order, I[0] being length (the empty suffix). V, also of
// length + 1 entries, is the rank array it works with. length >= 1.
void QSufSort(std::int32_t* I, std::int32_t* V, const std::uint8_t* data, std::int32_t length);

// The same suffix array as QSufSort, sooner: built by induced sorting, in time linear in
// length. S, of length + 1 entries, holds the data as the sort's symbols (its content
// afterwards is of no use). length >= 0.
void InducedSuffixSort(
    std::int32_t* I, std::int32_t* S, const std::uint8_t* data, std::int32_t length);

// The ternary split of QSufSort: orders I[start .. start + length) by the key V[I[k] + h],
// gives every group of equal keys the index of its last entry as its rank in V, and marks a
// group of one as sorted (I = -1). Runs in a loop with a pending list of its own, so a chunk's
// sort never uses deep recursion.
void Split(std::int32_t* I, std::int32_t* V, std::int32_t start, std::int32_t length,
           std::int32_t h);

// The first levels of SearchSuffix's bisection over a sorted chunk from (0, m), as a heap (the
// halves of node k are 2k, the lower, and 2k + 1): where each node's middle suffix starts, and
// its first eight bytes as a number whose order is theirs (missing bytes zero). The first steps
// of every search of the chunk then read this small table instead of the chunk and its suffix
// array.
struct TSuffixTop {
    static constexpr std::int32_t Levels = 10;
    static constexpr std::size_t Nodes = std::size_t(1) << Levels;

    // For the chunk O of length m and its suffix array I.
    void Build(const std::int32_t* I, const std::uint8_t* O, std::int32_t m);

    std::array<std::uint64_t, Nodes> Key;
    std::array<std::int32_t, Nodes> Start;
};

// How many leading bytes p and q have in common, at most the smaller length.
std::int32_t MatchLen(const std::uint8_t* p, std::int32_t pLength, const std::uint8_t* q,
                      std::int32_t qLength);

// The longest match of the prefix of newData among the suffixes I[st .. en] of oldData (I
// sorted by QSufSort or InducedSuffixSort), by binary search: returns its length and sets pos to where it starts
// in oldData.
std::int32_t SearchSuffix(const std::int32_t* I, const std::uint8_t* oldData,
                          std::int32_t oldLength, const std::uint8_t* newData,
                          std::int32_t newLength, std::int32_t st, std::int32_t en,
                          std::int32_t& pos);
// SearchSuffix over all suffixes (st 0, en oldLength), its first steps taken in top (built for
// this chunk): the same result, sooner.
std::int32_t SearchSuffix(const TSuffixTop& top, const std::int32_t* I,
    const std::uint8_t* oldData, std::int32_t oldLength, const std::uint8_t* newData,
    std::int32_t newLength, std::int32_t& pos);

// The lengths SearchSuffix gives over a sorted chunk, many positions at once, where they are
// short. Holds the first eight bytes of every suffix of at least eight bytes, in the suffix
// array's order, and the chunk's last seven bytes apart; the searches for a window of positions
// then run side by side over this one array of numbers.
class TShortMatches {
public:
    // A length this index does not tell.
    static constexpr std::int32_t Unknown = -1;
    // The most positions Lengths takes at once.
    static constexpr std::int32_t MaxWindow = 32;

    // For the chunk O of length m and its suffix array I.
    void Build(const std::int32_t* I, const std::uint8_t* O, std::int32_t m);

    // For each position p in [from, to) of newData (newLength bytes; to - from at most
    // MaxWindow), out[p - from] is the length SearchSuffix over all suffixes of the chunk
    // gives for the prefix of newData + p, or Unknown: where that length is eight or more,
    // where fewer than eight bytes are left at p, and where an end of the chunk shorter than
    // eight bytes is a prefix of newData + p and the match is longer than one byte (such a
    // suffix can turn the bisection away from the longest match). Where it is known, it is the
    // longest match among the suffixes.
    void Lengths(const std::uint8_t* newData, std::int32_t newLength, std::int32_t from,
        std::int32_t to, std::int32_t* out) const;

private:
    // The keys in sorted order.
    std::vector<std::uint64_t> Sorted;
    // A bit for each byte value in the chunk, and for each pair of bytes in a row.
    std::array<std::uint64_t, 4> Bytes {};
    std::array<std::uint64_t, 1024> Pairs {};
    // Tails[L] for L = 1 .. TailLength: the chunk's last L bytes, first byte highest (the
    // suffixes too short for a key); TailFirst has a bit for each of their first bytes.
    static constexpr std::int32_t TailLength = 7;
    std::array<std::uint64_t, TailLength + 1> Tails {};
    std::array<std::uint64_t, 4> TailFirst {};
};
