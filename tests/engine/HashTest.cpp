#include "engine/CRC32.h"
#include "engine/MurmurHash.h"
#include "platform/Cpu.h"

#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace {

struct TMurmurVector {
    std::string Data;
    std::uint32_t Seed;
    std::uint32_t Expected;
};

std::vector<std::uint8_t> PatternBytes(std::size_t size)
{
    std::vector<std::uint8_t> bytes(size);
    std::uint32_t state = 0x12345678u;
    for (std::uint8_t& byte : bytes) {
        state = state * 1103515245u + 12345u;
        byte = std::uint8_t(state >> 24);
    }
    return bytes;
}

struct TCrcImplementation {
    const char* Name;
    TCrc32cFunction Function;
};

// The implementations this processor can run.
std::vector<TCrcImplementation> CrcImplementations()
{
    std::vector<TCrcImplementation> result{{"table", &Crc32cTable}, {"chosen", &Crc32c}};
    if (platform::HasSse42()) {
        result.push_back({"hardware", &Crc32cHardware});
    }
    return result;
}

} // namespace

TEST(MurmurHash3, MatchesPublishedVectors)
{
    const TMurmurVector vectors[] = {
        {"", 0, 0},
        {"", 1, 0x514E28B7u},
        {"", 0xFFFFFFFFu, 0x81F16F39u},
        {std::string(4, '\0'), 0, 0x2362F9DEu},
        {"test", 0, 0xBA6BD213u},
        {"Hello, world!", 1234, 0xFAF6CDB3u},
        {"a", 0x9747B28Cu, 0x7FA09EA6u},
        {"ab", 0x9747B28Cu, 0x74875592u},
        {"abc", 0x9747B28Cu, 0xC84A62DDu},
        {"abcd", 0x9747B28Cu, 0xF0478627u},
        {"Hello, world!", 0x9747B28Cu, 0x24884CBAu},
        {"The quick brown fox jumps over the lazy dog", 0x9747B28Cu, 0x2FA826CDu},
    };
    for (const TMurmurVector& v : vectors) {
        EXPECT_EQ(MurmurHash3(v.Data.data(), std::uint32_t(v.Data.size()), v.Seed), v.Expected)
            << '"' << v.Data << "\" seed " << v.Seed;
    }
}

TEST(MurmurHash3, GivesTheSameValueAtEveryAddress)
{
    std::vector<std::uint8_t> source = PatternBytes(64);
    std::vector<std::uint8_t> shifted(source.size() + 8);
    for (std::uint32_t length : {1u, 2u, 3u, 4u, 5u, 13u, 64u}) {
        const std::uint32_t expected = MurmurHash3(source.data(), length, 32768);
        for (std::size_t offset = 1; offset < 8; ++offset) {
            std::memcpy(shifted.data() + offset, source.data(), length);
            EXPECT_EQ(MurmurHash3(shifted.data() + offset, length, 32768), expected)
                << "length " << length << " offset " << offset;
        }
    }
}

TEST(MurmurHash3Stream, GivesTheOneShotValueForEverySplitOfTheData)
{
    const std::vector<std::uint8_t> source = PatternBytes(3 * 4096 + 7);
    struct TSplitCase {
        std::size_t Length;
        std::vector<std::size_t> Pieces; // lengths of the pieces before the rest
    };
    const TSplitCase cases[] = {
        {0, {}},
        {0, {0, 0}},
        {1, {}},
        {2, {1}},
        {3, {1, 1}},
        {4, {0, 4}},
        {5, {4}},
        {6, {3}},
        {7, {2, 2}},
        {4095, {4092}},
        {4095, {1, 4093}},
        {4096 + 3, {4096}},
        {4096 + 3, {4096, 1, 1}},
        {4096 + 3, {3, 4096}},
        {3 * 4096 + 7, {4096, 4096, 4096}},
        {3 * 4096 + 7, {5, 7, 4100, 1, 2}},
    };
    for (const TSplitCase& split : cases) {
        TMurmurHash3Stream stream(32768);
        std::size_t at = 0;
        for (std::size_t piece : split.Pieces) {
            stream.Add(source.data() + at, piece);
            at += piece;
        }
        stream.Add(source.data() + at, split.Length - at);
        EXPECT_EQ(stream.Value(), MurmurHash3(source.data(), std::uint32_t(split.Length), 32768))
            << "length " << split.Length << " split after " << split.Pieces.size() << " pieces";
    }

    // Random splits of every length up to 64 bytes, and a few long ones.
    std::uint32_t state = 7;
    auto next = [&state](std::size_t bound) {
        state = state * 1103515245u + 12345u;
        return bound == 0 ? 0 : std::size_t(state >> 8) % (bound + 1);
    };
    for (std::size_t length = 0; length < source.size(); length += length < 64 ? 1 : 997) {
        TMurmurHash3Stream stream(99);
        std::size_t at = 0;
        while (at < length) {
            const std::size_t piece = next(length - at);
            stream.Add(source.data() + at, piece);
            at += piece;
        }
        EXPECT_EQ(stream.Value(), MurmurHash3(source.data(), std::uint32_t(length), 99))
            << "length " << length;
    }
}

TEST(Crc32c, MatchesPublishedVectors)
{
    std::vector<std::uint8_t> ascending(32);
    for (std::size_t i = 0; i < ascending.size(); ++i) {
        ascending[i] = std::uint8_t(i);
    }
    const std::string check = "123456789";
    const std::vector<std::uint8_t> zeros(32, 0x00);
    const std::vector<std::uint8_t> ones(32, 0xFF);

    for (const TCrcImplementation& crc : CrcImplementations()) {
        SCOPED_TRACE(crc.Name);
        EXPECT_EQ(crc.Function(0, check.data(), check.size()), 0xE3069283u);
        EXPECT_EQ(crc.Function(0, zeros.data(), zeros.size()), 0x8A9136AAu);
        EXPECT_EQ(crc.Function(0, ones.data(), ones.size()), 0x62A8AB43u);
        EXPECT_EQ(crc.Function(0, ascending.data(), ascending.size()), 0x46DD794Eu);
    }
}

TEST(Crc32c, HardwareAndTableAgreeOnEveryAlignmentAndLength)
{
    if (!platform::HasSse42()) {
        GTEST_SKIP() << "the processor has no SSE4.2";
    }
    std::vector<std::uint8_t> bytes = PatternBytes(300 + 8);
    for (std::size_t offset = 0; offset < 8; ++offset) {
        for (std::size_t length = 0; length <= 300; ++length) {
            for (std::uint32_t previous : {0u, 32768u, 0xFFFFFFFFu}) {
                const std::uint8_t* data = bytes.data() + offset;
                ASSERT_EQ(Crc32cHardware(previous, data, length),
                          Crc32cTable(previous, data, length))
                    << "offset " << offset << " length " << length << " previous " << previous;
            }
        }
    }
}

TEST(Crc32c, HardwareAndTableAgreeAroundEveryBlockBoundaryOfTheThreeStreams)
{
    if (!platform::HasSse42()) {
        GTEST_SKIP() << "the processor has no SSE4.2";
    }
    // Long inputs run as three interleaved streams over blocks of 4096, 512 and 64 bytes
    // (rounds of 12288, 1536 and 192 bytes), then a single stream for the tail. The bases
    // sit on the round boundaries and on mixes of them; the deltas reach below each
    // boundary (the alignment prefix may eat up to 7 bytes) and through a full short round.
    const std::size_t bases[] = {0,     192,   1536, 1536 + 192, 12288 - 192, 12288,
                                 12288 + 1536 + 192, 2 * 12288 + 7 * 1536 + 7 * 192};
    constexpr std::size_t below = 9;
    constexpr std::size_t above = 200;
    const std::vector<std::uint8_t> bytes =
        PatternBytes(2 * 12288 + 7 * 1536 + 7 * 192 + above + 8);
    std::mt19937 random(20240611u);
    for (std::size_t base : bases) {
        for (std::size_t delta = 0; delta <= below + above; ++delta) {
            if (base + delta < below) {
                continue;
            }
            const std::size_t length = base + delta - below;
            for (std::size_t offset : {0u, 1u, 3u, 7u}) {
                const std::uint32_t previous = std::uint32_t(random());
                const std::uint8_t* data = bytes.data() + offset;
                ASSERT_EQ(Crc32cHardware(previous, data, length),
                          Crc32cTable(previous, data, length))
                    << "offset " << offset << " length " << length << " previous " << previous;
            }
        }
    }
}

TEST(Crc32c, TwoChainedCallsEqualOneCallOverBoth)
{
    std::vector<std::uint8_t> bytes = PatternBytes(1000);
    for (const TCrcImplementation& crc : CrcImplementations()) {
        SCOPED_TRACE(crc.Name);
        const std::uint32_t whole = crc.Function(32768, bytes.data(), bytes.size());
        for (std::size_t split : {0u, 1u, 7u, 8u, 9u, 500u, 993u, 1000u}) {
            const std::uint32_t first = crc.Function(32768, bytes.data(), split);
            EXPECT_EQ(crc.Function(first, bytes.data() + split, bytes.size() - split), whole)
                << "split at " << split;
        }
    }
}

TEST(Crc32c, NullDataOrZeroLengthReturnsThePreviousValue)
{
    const char data[] = "abc";
    for (const TCrcImplementation& crc : CrcImplementations()) {
        SCOPED_TRACE(crc.Name);
        for (std::uint32_t previous : {0u, 32768u, 0xDEADBEEFu}) {
            EXPECT_EQ(crc.Function(previous, nullptr, 5), previous);
            EXPECT_EQ(crc.Function(previous, data, 0), previous);
        }
    }
}

TEST(Crc32c, UsesTheInstructionExactlyWhenTheProcessorHasIt)
{
    const TCrc32cFunction expected = platform::HasSse42() ? &Crc32cHardware : &Crc32cTable;
    EXPECT_EQ(Crc32cImplementation(), expected);
}
