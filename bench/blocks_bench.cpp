// Block converters on a 4096 x 4096 image of random blocks, single thread, with libsquish (DXT1/3/5) and
// libETC1 (ETC1) decoding the same blocks in the same binary as the yardstick. Run with OMP_NUM_THREADS=1.
#include <benchmark/benchmark.h>

#include "bench/bench_data.h"

#include <vector>

#include "etc1.h"
#include "pixels/blocks.h"
#include "pixels/convert.h"
#include "squish.h"

namespace {

using mirelth::bench::Destination;
using mirelth::bench::kEdge;
using mirelth::bench::kPixels;
using mirelth::bench::RandomSource;

void BM_Ours(benchmark::State& state, int32_t format) {
  for (auto _ : state) {
    mirelth::ConvertPixels(Destination().data(), kEdge * 4, RandomSource().data(), 0, format, mirelth::BGRA, kEdge,
                           kEdge, true);
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(kPixels));
}

void BM_Squish(benchmark::State& state, int flags) {
  for (auto _ : state) {
    squish::DecompressImage(Destination().data(), kEdge, kEdge, RandomSource().data(), flags);
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(kPixels));
}

void BM_LibEtc1(benchmark::State& state) {
  // libETC1 writes 3-byte pixels.
  for (auto _ : state) {
    etc1_decode_image(RandomSource().data(), Destination().data(), kEdge, kEdge, 3, kEdge * 3);
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(kPixels));
}

}  // namespace

BENCHMARK_CAPTURE(BM_Ours, DXT1, mirelth::DXT1)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Squish, DXT1, squish::kDxt1)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Ours, DXT3, mirelth::DXT3)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Squish, DXT3, squish::kDxt3)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Ours, DXT5, mirelth::DXT5)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Squish, DXT5, squish::kDxt5)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Ours, ATC, mirelth::ATC)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Ours, ATCA, mirelth::ATCA)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Ours, ATCI, mirelth::ATCI)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Ours, ETC1, mirelth::ETC1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LibEtc1)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
