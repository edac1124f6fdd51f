// Throughput of the build-identifier CRC over a buffer the size of a large executable.
//   build/tools/crc16_bench
#include "protocol/crc16.h"

#include <benchmark/benchmark.h>
#include <random>
#include <vector>

namespace {

void BM_Crc16(benchmark::State& state) {
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(state.range(0)));
    std::mt19937 random(1);
    for (auto& b : bytes) {
        b = static_cast<std::uint8_t>(random());
    }
    for (auto _ : state) {
        benchmark::DoNotOptimize(vorkel::crc16(bytes));
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * state.range(0));
}
BENCHMARK(BM_Crc16)->Arg(16 << 20)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
