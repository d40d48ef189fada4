#pragma once

#include <cstddef>
#include <cstdint>

// MurmurHash3, x86 32-bit variant: 4-byte little-endian blocks, the 1 to 3 tail bytes, and the
// final mix with the length. Length 0 gives the final mix of the seed. Safe on any thread.
std::uint32_t MurmurHash3(const void* data, std::uint32_t length, std::uint32_t seed);

// The same hash fed piece by piece: Add the data in any split, then Value gives what
// MurmurHash3 gives for all of it at once (the length counts modulo 2^32, as there).
// Pieces whose lengths are multiples of 4 go straight through the block loop; other splits
// carry up to 3 bytes over to the next piece. One object belongs to one thread at a time.
class TMurmurHash3Stream {
public:
    explicit TMurmurHash3Stream(std::uint32_t seed) : FHash(seed) {}

    void Add(const void* data, std::size_t length);
    // Adds length bytes to each of count streams (1 to 4), data[i] to streams[i], stepping
    // the streams side by side: one stream's steps depend on each other, the streams' do not,
    // so the processor overlaps them. Same values as adding to each stream on its own.
    static void AddSideBySide(TMurmurHash3Stream* const* streams, const void* const* data,
        std::size_t count, std::size_t length);
    // The hash of everything added so far; more may be added afterwards.
    std::uint32_t Value() const;

private:
    std::uint32_t FHash;
    std::uint32_t FLength = 0;
    // Bytes of an incomplete block, the first in the low bits; FTailCount of them (0 to 3).
    std::uint32_t FTail = 0;
    std::uint32_t FTailCount = 0;
};
