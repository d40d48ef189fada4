#include "engine/CRC32.h"
#include "engine/MurmurHash.h"
#include "platform/Cpu.h"

#include <cstdint>
#include <cstring>
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
