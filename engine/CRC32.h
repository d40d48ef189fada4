#pragma once

#include <cstddef>
#include <cstdint>

// CRC-32C (Castagnoli, reflected polynomial 0x82F63B78), chained the way zlib's crc32 is:
// the running value is complemented on entry and on return, so
// Crc32c(Crc32c(v, A), B) == Crc32c(v, A followed by B). A null data pointer or a zero
// length returns the previous value unchanged.
//
// Crc32c calls the implementation chosen once per process: the SSE4.2 instruction when the
// processor has it, the slicing-by-8 tables otherwise. Both give identical results, and all
// three functions may run on any number of threads at once.
std::uint32_t Crc32c(std::uint32_t previous, const void* data, std::size_t length);

using TCrc32cFunction = std::uint32_t (*)(std::uint32_t previous, const void* data,
                                          std::size_t length);

// The table implementation; works on every processor.
std::uint32_t Crc32cTable(std::uint32_t previous, const void* data, std::size_t length);

// The SSE4.2 implementation; call it only when platform::HasSse42() is true.
std::uint32_t Crc32cHardware(std::uint32_t previous, const void* data, std::size_t length);

// Which implementation Crc32c uses (chosen on first need, at the latest by the first call).
TCrc32cFunction Crc32cImplementation();
