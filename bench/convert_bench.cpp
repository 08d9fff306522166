// ConvertPixels for every plain code on a 4096 x 4096 image, single thread, in pixels per second, with a
// memcpy of the same destination size as the bandwidth yardstick.
#include <benchmark/benchmark.h>

#include "bench/bench_data.h"

#include <cstring>
#include <vector>

#include "pixels/convert.h"

namespace {

using mirelth::bench::Destination;
using mirelth::bench::kEdge;
using mirelth::bench::kPixels;
using mirelth::bench::RandomSource;

void BM_Convert(benchmark::State& state, int32_t format, int32_t order) {
  const int32_t bits = mirelth::BitsPerPixel(format);
  uint8_t* destination = Destination().data();
  const uint8_t* source = RandomSource().data();
  for (auto _ : state) {
    mirelth::ConvertPixels(destination, kEdge * 4, source, kEdge * bits / 8, format, order, kEdge, kEdge, true);
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(kPixels));
}

void BM_Memcpy(benchmark::State& state) {
  uint8_t* destination = Destination().data();
  const uint8_t* source = RandomSource().data();
  for (auto _ : state) {
    std::memcpy(destination, source, kPixels * 4);
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(kPixels));
}

}  // namespace

BENCHMARK(BM_Memcpy)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Convert, X4R4G4B4, mirelth::X4R4G4B4, mirelth::BGRA)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Convert, R5G6B5, mirelth::R5G6B5, mirelth::BGRA)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Convert, A1R5G5B5, mirelth::A1R5G5B5, mirelth::BGRA)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Convert, A4R4G4B4, mirelth::A4R4G4B4, mirelth::BGRA)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Convert, X1R5G5B5, mirelth::X1R5G5B5, mirelth::BGRA)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Convert, R8G8B8_BGR, mirelth::R8G8B8, mirelth::BGRA)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Convert, R8G8B8_RGB, mirelth::R8G8B8, mirelth::RGBA)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Convert, A8R8G8B8_BGRA, mirelth::A8R8G8B8, mirelth::BGRA)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Convert, A8R8G8B8_RGBA, mirelth::A8R8G8B8, mirelth::RGBA)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Convert, A8R8G8B8_ARGB, mirelth::A8R8G8B8, mirelth::ARGB)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Convert, X8R8G8B8_BGRA, mirelth::X8R8G8B8, mirelth::BGRA)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
