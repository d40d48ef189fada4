#include "engine/CRC32.h"

#include "platform/Cpu.h"

#include <array>
#include <bit>
#include <cstring>

#if defined(__x86_64__) || defined(__i386__)
#include <nmmintrin.h>
#define PAIRLOOM_HAVE_SSE42_CRC 1
#endif

namespace {

constexpr std::uint32_t Polynomial = 0x82F63B78u;

using TCrcTables = std::array<std::array<std::uint32_t, 256>, 8>;

// Table 0 is the byte-at-a-time table; table k advances a byte's contribution by k more
// bytes, so eight tables consume eight bytes per step.
constexpr TCrcTables MakeTables()
{
    TCrcTables tables{};
    for (std::uint32_t n = 0; n < 256; ++n) {
        std::uint32_t c = n;
        for (int bit = 0; bit < 8; ++bit) {
            c = (c & 1u) ? (c >> 1) ^ Polynomial : c >> 1;
        }
        tables[0][n] = c;
    }
    for (std::size_t k = 1; k < 8; ++k) {
        for (std::size_t n = 0; n < 256; ++n) {
            std::uint32_t previous = tables[k - 1][n];
            tables[k][n] = (previous >> 8) ^ tables[0][previous & 0xFFu];
        }
    }
    return tables;
}

// Built by the compiler: read-only from the first instruction of the program on.
constexpr TCrcTables Tables = MakeTables();

std::uint32_t TableByte(std::uint32_t c, std::uint8_t byte)
{
    return (c >> 8) ^ Tables[0][(c ^ byte) & 0xFFu];
}

std::uint64_t LoadLittleEndian64(const std::uint8_t* p)
{
    std::uint64_t word;
    std::memcpy(&word, p, sizeof word);
    if constexpr (std::endian::native == std::endian::big) {
        word = __builtin_bswap64(word);
    }
    return word;
}

bool IsAligned8(const std::uint8_t* p)
{
    return (reinterpret_cast<std::uintptr_t>(p) & 7u) == 0;
}

TCrc32cFunction ChooseImplementation()
{
#ifdef PAIRLOOM_HAVE_SSE42_CRC
    if (platform::HasSse42()) {
        return &Crc32cHardware;
    }
#endif
    return &Crc32cTable;
}

} // namespace

std::uint32_t Crc32cTable(std::uint32_t previous, const void* data, std::size_t length)
{
    if (data == nullptr || length == 0) {
        return previous;
    }
    const auto* p = static_cast<const std::uint8_t*>(data);
    std::uint32_t c = ~previous;

    if (length > 8) {
        while (!IsAligned8(p)) {
            c = TableByte(c, *p++);
            --length;
        }
        while (length >= 8) {
            std::uint64_t word = LoadLittleEndian64(p) ^ c;
            c = Tables[7][word & 0xFFu] ^ Tables[6][(word >> 8) & 0xFFu] ^
                Tables[5][(word >> 16) & 0xFFu] ^ Tables[4][(word >> 24) & 0xFFu] ^
                Tables[3][(word >> 32) & 0xFFu] ^ Tables[2][(word >> 40) & 0xFFu] ^
                Tables[1][(word >> 48) & 0xFFu] ^ Tables[0][word >> 56];
            p += 8;
            length -= 8;
        }
    }
    while (length > 0) {
        c = TableByte(c, *p++);
        --length;
    }
    return ~c;
}

#ifdef PAIRLOOM_HAVE_SSE42_CRC

namespace {

// The crc32 instruction takes three cycles to give its result but can start a new one every
// cycle, so one running value uses a third of the processor's capacity. Long inputs are
// therefore cut into three consecutive blocks of the same length whose values are computed
// side by side and then joined.
//
// Joining rests on linearity. Without the complements on entry and return, the register
// after a block D of n bytes, started from s, is Shift_n(s) ^ R(D): Shift_n is the register
// after n zero bytes (a linear map on 32 bits) and R(D) is the register after D started
// from 0. For blocks A, B, C of n bytes each, with a the register after A from the true
// start and b, c the registers after B and C started from 0:
//     register after A B C = Shift_n(Shift_n(a) ^ b) ^ c.
// A linear map on 32 bits is the XOR of its values on the four bytes of its argument, so
// Shift_n is four lookups in a 4 x 256 table built once for each block length.

using TShiftTable = std::array<std::array<std::uint32_t, 256>, 4>;

// A linear map on 32-bit registers, held as the images of the 32 single bits.
using TLinearMap = std::array<std::uint32_t, 32>;

constexpr std::uint32_t Apply(const TLinearMap& map, std::uint32_t value)
{
    std::uint32_t result = 0;
    for (int bit = 0; bit < 32; ++bit) {
        if ((value >> bit) & 1u) {
            result ^= map[std::size_t(bit)];
        }
    }
    return result;
}

// first then second.
constexpr TLinearMap Compose(const TLinearMap& first, const TLinearMap& second)
{
    TLinearMap result{};
    for (std::size_t bit = 0; bit < 32; ++bit) {
        result[bit] = Apply(second, first[bit]);
    }
    return result;
}

// The register after `length` zero bytes, by repeated squaring of the one-byte map.
constexpr TLinearMap ZeroBytesMap(std::size_t length)
{
    TLinearMap oneByte{};
    for (std::size_t bit = 0; bit < 32; ++bit) {
        std::uint32_t c = std::uint32_t(1) << bit;
        for (int step = 0; step < 8; ++step) {
            c = (c & 1u) ? (c >> 1) ^ Polynomial : c >> 1;
        }
        oneByte[bit] = c;
    }
    TLinearMap result{};
    for (std::size_t bit = 0; bit < 32; ++bit) {
        result[bit] = std::uint32_t(1) << bit;
    }
    TLinearMap power = oneByte;
    for (std::size_t rest = length; rest != 0; rest >>= 1) {
        if (rest & 1u) {
            result = Compose(result, power);
        }
        power = Compose(power, power);
    }
    return result;
}

constexpr TShiftTable MakeShiftTable(std::size_t length)
{
    const TLinearMap map = ZeroBytesMap(length);
    TShiftTable table{};
    for (std::size_t k = 0; k < 4; ++k) {
        for (std::uint32_t n = 0; n < 256; ++n) {
            table[k][n] = Apply(map, n << (8 * k));
        }
    }
    return table;
}

// Block lengths, longest first; each a multiple of 8. The long block keeps the cost of
// joining (two table shifts) near one percent; the shorter ones take most of what is left,
// so only a few hundred bytes at most go through the single-stream loop.
constexpr std::size_t LongBlock = 4096;
constexpr std::size_t MediumBlock = 512;
constexpr std::size_t ShortBlock = 64;

// Built by the compiler, like the byte tables.
constexpr TShiftTable LongShift = MakeShiftTable(LongBlock);
constexpr TShiftTable MediumShift = MakeShiftTable(MediumBlock);
constexpr TShiftTable ShortShift = MakeShiftTable(ShortBlock);

std::uint32_t Shift(const TShiftTable& table, std::uint32_t c)
{
    return table[0][c & 0xFFu] ^ table[1][(c >> 8) & 0xFFu] ^ table[2][(c >> 16) & 0xFFu] ^
           table[3][c >> 24];
}

// One 8-byte step of the instruction on a raw (uncomplemented) register.
__attribute__((target("sse4.2"))) inline std::uint32_t Step8(std::uint32_t c,
                                                             const std::uint8_t* p)
{
#if defined(__x86_64__)
    std::uint64_t word;
    std::memcpy(&word, p, sizeof word);
    return std::uint32_t(_mm_crc32_u64(c, word));
#else
    std::uint32_t low;
    std::uint32_t high;
    std::memcpy(&low, p, sizeof low);
    std::memcpy(&high, p + 4, sizeof high);
    return _mm_crc32_u32(_mm_crc32_u32(c, low), high);
#endif
}

// Consumes as many runs of three blocks of `block` bytes as fit, from the raw register c.
__attribute__((target("sse4.2"))) inline std::uint32_t ThreeStreams(
    std::uint32_t c, const std::uint8_t*& p, std::size_t& length, std::size_t block,
    const TShiftTable& shift)
{
    while (length >= 3 * block) {
        std::uint32_t a = c;
        std::uint32_t b = 0;
        std::uint32_t d = 0;
        const std::uint8_t* const end = p + block;
        for (const std::uint8_t* q = p; q != end; q += 8) {
            a = Step8(a, q);
            b = Step8(b, q + block);
            d = Step8(d, q + 2 * block);
        }
        c = Shift(shift, Shift(shift, a) ^ b) ^ d;
        p += 3 * block;
        length -= 3 * block;
    }
    return c;
}

} // namespace

__attribute__((target("sse4.2"))) std::uint32_t Crc32cHardware(std::uint32_t previous,
                                                                const void* data,
                                                                std::size_t length)
{
    if (data == nullptr || length == 0) {
        return previous;
    }
    const auto* p = static_cast<const std::uint8_t*>(data);
    std::uint32_t c = ~previous;

    while (length > 0 && !IsAligned8(p)) {
        c = _mm_crc32_u8(c, *p++);
        --length;
    }
    c = ThreeStreams(c, p, length, LongBlock, LongShift);
    c = ThreeStreams(c, p, length, MediumBlock, MediumShift);
    c = ThreeStreams(c, p, length, ShortBlock, ShortShift);
    while (length >= 8) {
        c = Step8(c, p);
        p += 8;
        length -= 8;
    }
    if (length >= 4) {
        std::uint32_t word;
        std::memcpy(&word, p, sizeof word);
        c = _mm_crc32_u32(c, word);
        p += 4;
        length -= 4;
    }
    if (length >= 2) {
        std::uint16_t half;
        std::memcpy(&half, p, sizeof half);
        c = _mm_crc32_u16(c, half);
        p += 2;
        length -= 2;
    }
    if (length >= 1) {
        c = _mm_crc32_u8(c, *p);
    }
    return ~c;
}

#else

// No CRC instruction on this processor family: the tables stand in, so a caller that asks
// for the hardware version still gets the right value.
std::uint32_t Crc32cHardware(std::uint32_t previous, const void* data, std::size_t length)
{
    return Crc32cTable(previous, data, length);
}

#endif

TCrc32cFunction Crc32cImplementation()
{
    // Chosen once, by whichever thread gets here first; the others wait for that choice.
    static const TCrc32cFunction chosen = ChooseImplementation();
    return chosen;
}

namespace {
// Makes the choice while the program starts, before any scan thread exists.
const TCrc32cFunction StartUpChoice = Crc32cImplementation();
} // namespace

std::uint32_t Crc32c(std::uint32_t previous, const void* data, std::size_t length)
{
    return Crc32cImplementation()(previous, data, length);
}
