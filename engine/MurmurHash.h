#pragma once

#include <cstdint>

// MurmurHash3, x86 32-bit variant: 4-byte little-endian blocks, the 1 to 3 tail bytes, and the
// final mix with the length. Length 0 gives the final mix of the seed. Safe on any thread.
std::uint32_t MurmurHash3(const void* data, std::uint32_t length, std::uint32_t seed);
