// Files larger than 4 GiB: their sizes and the offsets of their chunks need more than 32 bits,
// in the 32-bit build as much as in the 64-bit one. The files are sparse, so they take no
// disk space; only the bytes the tests write are not zero.
#include "engine/CRC32.h"
#include "engine/DImage.h"
#include "engine/MemPools.h"
#include "engine/MurmurHash.h"
#include "platform/DirList.h"
#include "tests/engine/ScanRunner.h"
#include "tests/support/TempTree.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include <gtest/gtest.h>

using scan_test::GroupsOf;
using scan_test::ResolvedRoot;
using scan_test::TResultGroup;
using scan_test::TScanRun;
using testing_support::TTempTree;

namespace {

constexpr std::int64_t FourGiB = std::int64_t(1) << 32;

// The start of chunk k of a file (chunk 0 is the first 32768 bytes, then 1 MiB chunks).
constexpr std::int64_t ChunkStart(std::int32_t chunk)
{
    return chunk == 0 ? 0 : FirstChunkSize + (chunk - 1) * ChunkSize;
}

// A sparse file: zeros but for the given bytes.
struct TSparseFile {
    std::int64_t Size = 0;
    std::map<std::int64_t, std::uint8_t> Bytes;

    void WriteTo(TTempTree& tree, const std::string& name) const
    {
        tree.AddFile(name, "");
        tree.Truncate(name, Size);
        for (const auto& [offset, value] : Bytes) {
            tree.PatchByte(name, offset, value);
        }
    }

    // Bytes [start, end) of the file.
    std::vector<std::uint8_t> Range(std::int64_t start, std::int64_t end) const
    {
        std::vector<std::uint8_t> bytes(std::size_t(end - start), 0);
        for (auto it = Bytes.lower_bound(start); it != Bytes.end() && it->first < end; ++it) {
            bytes[std::size_t(it->first - start)] = it->second;
        }
        return bytes;
    }
};

// What CRC-32C does to its register over a run of zero bytes: a linear map on the 32 bits,
// row i the image of bit i. Lets the test follow the chained CRC over gigabytes of zeros
// without hashing them.
struct TCrcOperator {
    std::array<std::uint32_t, 32> Rows {};

    std::uint32_t Apply(std::uint32_t value) const
    {
        std::uint32_t result = 0;
        for (std::size_t bit = 0; value != 0; ++bit, value >>= 1) {
            if ((value & 1) != 0) {
                result ^= Rows[bit];
            }
        }
        return result;
    }

    TCrcOperator Squared() const
    {
        TCrcOperator twice;
        for (std::size_t bit = 0; bit < 32; ++bit) {
            twice.Rows[bit] = Apply(Rows[bit]);
        }
        return twice;
    }
};

// The map for a count of zero bytes that is a power of two.
TCrcOperator ZeroBytes(std::int64_t count)
{
    TCrcOperator op; // one zero bit: shift right, the polynomial in when a one falls out
    op.Rows[0] = 0x82F63B78u;
    for (std::size_t bit = 1; bit < 32; ++bit) {
        op.Rows[bit] = std::uint32_t(1) << (bit - 1);
    }
    for (std::int64_t bits = 1; bits < count * 8; bits *= 2) {
        op = op.Squared();
    }
    return op;
}

platform::TFindRecord Listed(const std::string& folder, const std::string& name)
{
    std::vector<platform::TFindRecord> records;
    EXPECT_EQ(platform::ListDirectory(folder, records).Code, 0);
    for (const platform::TFindRecord& record : records) {
        if (record.Name == name) {
            return record;
        }
    }
    ADD_FAILURE() << name << " not listed";
    return {};
}

} // namespace

TEST(LargeFile, ChunksBeyondFourGibibytesAreReadAndHashedAtTheirOwnOffsets)
{
    // Chunk 4096 holds the last bytes below 4 GiB and the first above it; chunks 4097 and 4098
    // lie wholly above. Were an offset cut to 32 bits, those chunks would be read from the
    // start of the file, whose bytes differ.
    TSparseFile model;
    model.Size = FourGiB + ChunkSize + 40000;
    model.Bytes = {
        {0, 0x11},
        {40000, 0x22},
        {FourGiB - 1, 0x33},
        {FourGiB, 0x44},
        {FourGiB + 40000, 0x55},
        {model.Size - 1, 0x66},
    };
    const std::int32_t lastChunk = TDImage::ChunkCountOf(model.Size) - 1;
    ASSERT_EQ(lastChunk, 4098);
    ASSERT_LT(ChunkStart(4096), FourGiB);
    ASSERT_GT(ChunkStart(4097), FourGiB);

    TTempTree tree;
    model.WriteTo(tree, "big.bin");
    const platform::TFindRecord record = Listed(tree.Root(), "big.bin");
    EXPECT_EQ(record.Size, model.Size);
    TDImage image(tree.Root(), record);
    EXPECT_EQ(image.Size, model.Size);

    TByteArrayPool pool(1, HashReadSize);
    ASSERT_EQ(image.HashChunks(&pool, lastChunk), hrOk);
    EXPECT_EQ(image.HashChunks(&pool, lastChunk + 1), hrNoSuchChunk);
    EXPECT_EQ(image.HashedChunkCount(), lastChunk + 1);

    // The chained CRC of the chunks up to 4095 from the model: chunks 0 and 1 hold bytes, the
    // others only zeros.
    std::uint32_t crc = ChunkHashSeed;
    for (std::int32_t chunk = 0; chunk <= 1; ++chunk) {
        const std::vector<std::uint8_t> bytes =
            model.Range(ChunkStart(chunk), ChunkStart(chunk + 1));
        crc = Crc32c(crc, bytes.data(), bytes.size());
    }
    const TCrcOperator zeroChunk = ZeroBytes(ChunkSize);
    for (std::int32_t chunk = 2; chunk <= 4095; ++chunk) {
        crc = ~zeroChunk.Apply(~crc);
    }
    std::uint32_t murmur = 0;
    std::uint32_t hashedCrc = 0;
    ASSERT_TRUE(image.ChunkHashes(4095, murmur, hashedCrc));
    EXPECT_EQ(hashedCrc, crc);

    for (std::int32_t chunk = 4096; chunk <= lastChunk; ++chunk) {
        SCOPED_TRACE(chunk);
        const std::vector<std::uint8_t> bytes =
            model.Range(ChunkStart(chunk), std::min(ChunkStart(chunk + 1), model.Size));
        crc = Crc32c(crc, bytes.data(), bytes.size());
        ASSERT_TRUE(image.ChunkHashes(chunk, murmur, hashedCrc));
        EXPECT_EQ(murmur, MurmurHash3(bytes.data(), std::uint32_t(bytes.size()), ChunkHashSeed));
        EXPECT_EQ(hashedCrc, crc);
    }
}

TEST(LargeFile, TheEqualSizesScanTellsSizesApartThatDifferBy4GibibytesExactly)
{
    const std::int64_t size = FourGiB * 2 + 12345;
    TTempTree tree;
    for (const char* name : {"a.bin", "b.bin"}) {
        tree.AddFile(name, "");
        tree.Truncate(name, size);
    }
    // Sizes that agree with the large ones in their low 32 bits.
    tree.AddFileOfSize("low.bin", 12345, 1);
    tree.AddFile("middle.bin", "");
    tree.Truncate("middle.bin", size - FourGiB);

    TSettings settings = TSettings::Defaults();
    settings.FindMode = 3;
    const std::string root = ResolvedRoot(tree);
    TScanRun scan(settings);
    scan.AddFolder(root);
    scan.Run();
    EXPECT_EQ(GroupsOf(scan.Finder, root),
        (std::vector<TResultGroup> {{1, {{"a.bin", 1.0f}, {"b.bin", 1.0f}}}}));
    for (const TDGroup* group : scan.Finder.Groups) {
        for (const TDImage* file : *group) {
            EXPECT_EQ(file->Size, size) << file->FileName;
        }
    }
}
