// Throughput of the chunk hashes on buffers the size of a first chunk (32 KiB) and of every
// later chunk (1 MiB).
#include "engine/CRC32.h"
#include "engine/MurmurHash.h"
#include "platform/Cpu.h"

#include <cstdint>
#include <vector>

#include <benchmark/benchmark.h>

namespace {

std::vector<std::uint8_t> Buffer(std::size_t size)
{
    std::vector<std::uint8_t> bytes(size);
    std::uint32_t state = 1;
    for (std::uint8_t& byte : bytes) {
        state = state * 1664525u + 1013904223u;
        byte = std::uint8_t(state >> 24);
    }
    return bytes;
}

void BM_MurmurHash3(benchmark::State& state)
{
    const std::vector<std::uint8_t> bytes = Buffer(std::size_t(state.range(0)));
    for (auto _ : state) {
        benchmark::DoNotOptimize(MurmurHash3(bytes.data(), std::uint32_t(bytes.size()), 32768));
    }
    state.SetBytesProcessed(std::int64_t(state.iterations()) * state.range(0));
}

void RunCrc(benchmark::State& state, TCrc32cFunction crc)
{
    const std::vector<std::uint8_t> bytes = Buffer(std::size_t(state.range(0)));
    for (auto _ : state) {
        benchmark::DoNotOptimize(crc(32768, bytes.data(), bytes.size()));
    }
    state.SetBytesProcessed(std::int64_t(state.iterations()) * state.range(0));
}

void BM_Crc32cTable(benchmark::State& state)
{
    RunCrc(state, &Crc32cTable);
}

void BM_Crc32cHardware(benchmark::State& state)
{
    if (!platform::HasSse42()) {
        state.SkipWithError("the processor has no SSE4.2");
        return;
    }
    RunCrc(state, &Crc32cHardware);
}

} // namespace

BENCHMARK(BM_MurmurHash3)->Arg(32 * 1024)->Arg(1024 * 1024);
BENCHMARK(BM_Crc32cTable)->Arg(32 * 1024)->Arg(1024 * 1024);
BENCHMARK(BM_Crc32cHardware)->Arg(32 * 1024)->Arg(1024 * 1024);

BENCHMARK_MAIN();
