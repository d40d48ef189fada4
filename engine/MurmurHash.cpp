#include "engine/MurmurHash.h"

#include <bit>
#include <cstring>

namespace {

constexpr std::uint32_t C1 = 0xCC9E2D51u;
constexpr std::uint32_t C2 = 0x1B873593u;

// Reads four bytes at any address as a little-endian word, whatever the host's order.
std::uint32_t LoadLittleEndian32(const std::uint8_t* p)
{
    std::uint32_t word;
    std::memcpy(&word, p, sizeof word);
    if constexpr (std::endian::native == std::endian::big) {
        word = __builtin_bswap32(word);
    }
    return word;
}

std::uint32_t MixBlock(std::uint32_t k)
{
    k *= C1;
    k = std::rotl(k, 15);
    k *= C2;
    return k;
}

std::uint32_t FinalMix(std::uint32_t h)
{
    h ^= h >> 16;
    h *= 0x85EBCA6Bu;
    h ^= h >> 13;
    h *= 0xC2B2AE35u;
    h ^= h >> 16;
    return h;
}

// Mixes blockCount 4-byte blocks into the running hash.
std::uint32_t MixBlocks(std::uint32_t h, const std::uint8_t* bytes, std::size_t blockCount)
{
    for (std::size_t i = 0; i < blockCount; ++i) {
        h ^= MixBlock(LoadLittleEndian32(bytes + i * 4));
        h = std::rotl(h, 13);
        h = h * 5 + 0xE6546B64u;
    }
    return h;
}

// Mixes blockCount blocks of each of Lanes inputs into its running hash, the lanes side by
// side in one loop.
template <std::size_t Lanes>
void MixBlocksSideBySide(
    std::uint32_t* hashes, const std::uint8_t* const* bytes, std::size_t blockCount)
{
    std::uint32_t h[Lanes];
    for (std::size_t lane = 0; lane < Lanes; ++lane) {
        h[lane] = hashes[lane];
    }
    for (std::size_t i = 0; i < blockCount; ++i) {
        for (std::size_t lane = 0; lane < Lanes; ++lane) {
            h[lane] ^= MixBlock(LoadLittleEndian32(bytes[lane] + i * 4));
            h[lane] = std::rotl(h[lane], 13);
            h[lane] = h[lane] * 5 + 0xE6546B64u;
        }
    }
    for (std::size_t lane = 0; lane < Lanes; ++lane) {
        hashes[lane] = h[lane];
    }
}

} // namespace

std::uint32_t MurmurHash3(const void* data, std::uint32_t length, std::uint32_t seed)
{
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    std::uint32_t h = seed;

    const std::uint32_t blockCount = length / 4;
    h = MixBlocks(h, bytes, blockCount);

    const std::uint8_t* tail = bytes + std::size_t(blockCount) * 4;
    std::uint32_t k = 0;
    switch (length & 3u) {
    case 3:
        k ^= std::uint32_t(tail[2]) << 16;
        [[fallthrough]];
    case 2:
        k ^= std::uint32_t(tail[1]) << 8;
        [[fallthrough]];
    case 1:
        k ^= tail[0];
        h ^= MixBlock(k);
        break;
    default:
        break;
    }

    h ^= length;
    return FinalMix(h);
}

void TMurmurHash3Stream::Add(const void* data, std::size_t length)
{
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    FLength += std::uint32_t(length);
    // Complete a block begun by the previous piece.
    while (FTailCount != 0 && length != 0) {
        FTail |= std::uint32_t(*bytes) << (8 * FTailCount);
        ++bytes;
        --length;
        if (++FTailCount == 4) {
            FHash ^= MixBlock(FTail);
            FHash = std::rotl(FHash, 13);
            FHash = FHash * 5 + 0xE6546B64u;
            FTail = 0;
            FTailCount = 0;
        }
    }
    const std::size_t blockCount = length / 4;
    FHash = MixBlocks(FHash, bytes, blockCount);
    bytes += blockCount * 4;
    for (std::size_t i = 0; i < length % 4; ++i) {
        FTail |= std::uint32_t(bytes[i]) << (8 * FTailCount);
        ++FTailCount;
    }
}

std::uint32_t TMurmurHash3Stream::Value() const
{
    std::uint32_t h = FHash;
    if (FTailCount != 0) {
        h ^= MixBlock(FTail);
    }
    h ^= FLength;
    return FinalMix(h);
}

void TMurmurHash3Stream::AddSideBySide(TMurmurHash3Stream* const* streams,
    const void* const* data, std::size_t count, std::size_t length)
{
    constexpr std::size_t MaxLanes = 4;
    bool aligned = count >= 2 && count <= MaxLanes;
    for (std::size_t lane = 0; aligned && lane < count; ++lane) {
        aligned = streams[lane]->FTailCount == 0;
    }
    if (!aligned) {
        for (std::size_t lane = 0; lane < count; ++lane) {
            streams[lane]->Add(data[lane], length);
        }
        return;
    }
    // Whole blocks side by side; the last 0 to 3 bytes of each through Add.
    std::uint32_t hashes[MaxLanes] = {};
    const std::uint8_t* bytes[MaxLanes] = {};
    for (std::size_t lane = 0; lane < count; ++lane) {
        hashes[lane] = streams[lane]->FHash;
        bytes[lane] = static_cast<const std::uint8_t*>(data[lane]);
    }
    const std::size_t blockCount = length / 4;
    switch (count) {
    case 2:
        MixBlocksSideBySide<2>(hashes, bytes, blockCount);
        break;
    case 3:
        MixBlocksSideBySide<3>(hashes, bytes, blockCount);
        break;
    default:
        MixBlocksSideBySide<4>(hashes, bytes, blockCount);
        break;
    }
    for (std::size_t lane = 0; lane < count; ++lane) {
        TMurmurHash3Stream& stream = *streams[lane];
        stream.FHash = hashes[lane];
        stream.FLength += std::uint32_t(blockCount * 4);
        stream.Add(bytes[lane] + blockCount * 4, length % 4);
    }
}
