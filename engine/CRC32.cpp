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
#if defined(__x86_64__)
    std::uint64_t c64 = c;
    while (length >= 8) {
        std::uint64_t word;
        std::memcpy(&word, p, sizeof word);
        c64 = _mm_crc32_u64(c64, word);
        p += 8;
        length -= 8;
    }
    c = std::uint32_t(c64);
#else
    while (length >= 8) {
        std::uint32_t low;
        std::uint32_t high;
        std::memcpy(&low, p, sizeof low);
        std::memcpy(&high, p + 4, sizeof high);
        c = _mm_crc32_u32(_mm_crc32_u32(c, low), high);
        p += 8;
        length -= 8;
    }
#endif
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
