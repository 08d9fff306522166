// Our Zstandard decoder against libzstd's on the same frames: BC7 blocks of a smooth picture (what KTX 2 levels
// hold), RGBA rows and text-like data, compressed at levels 3 and 19. Bytes per second are of the decoded output.
#include <benchmark/benchmark.h>
#include <zstd.h>

#include <string>
#include <vector>

#include "bench/bench_data.h"
#include "io/zstd.h"

namespace {

using mirelth::bench::RandomSource;

constexpr size_t kBytes = size_t{16} << 20;

std::vector<uint8_t> Data(int kind) {
  std::vector<uint8_t> d(kBytes);
  const uint8_t* noise = RandomSource().data();
  for (size_t i = 0; i < kBytes; ++i) {
    switch (kind) {
      case 0: {  // BC7 mode-6 blocks: endpoints follow the position, indices a ramp with some noise
        const size_t block = i / 16, at = i % 16, bx = block % 1024, by = block / 1024;
        d[i] = at == 0  ? 0x40
               : at < 8 ? uint8_t((bx * (at + 1) + by * (9 - at)) >> 2)
                        : uint8_t(((bx + by + at) & 7) * 0x11 ^ (noise[i] & (at & 1 ? 0x10 : 0)));
        break;
      }
      case 1: {  // RGBA rows of a gradient with noise in the low bits
        const size_t pixel = i / 4, x = pixel % 2048, y = pixel / 2048;
        d[i] = uint8_t((i % 4 == 3) ? 255 : ((x + y * (i % 4 + 1)) >> 3) + (noise[i] & 3));
        break;
      }
      default: {  // words
        static const char text[] = "mip level block texture alpha normal map of the ";
        d[i] = uint8_t(text[(i * 7 + noise[i / 64] % 13) % (sizeof text - 1)]);
        break;
      }
    }
  }
  return d;
}

struct Frame {
  std::vector<uint8_t> data, packed;
};
const Frame& FrameOf(int kind, int level) {
  static Frame frames[3][2];
  Frame& f = frames[kind][level == 3 ? 0 : 1];
  if (f.data.empty()) {
    f.data = Data(kind);
    f.packed.resize(ZSTD_compressBound(kBytes));
    f.packed.resize(ZSTD_compress(f.packed.data(), f.packed.size(), f.data.data(), kBytes, level));
  }
  return f;
}

void BM_Zstd(benchmark::State& state, int kind, int level, bool ours) {
  const Frame& f = FrameOf(kind, level);
  std::vector<uint8_t> out(kBytes);
  for (auto _ : state) {
    if (ours) {
      mirelth::DecodeFailure failure;
      if (!mirelth::ZstdDecode(f.packed.data(), f.packed.size(), out.data(), kBytes, &failure)) {
        state.SkipWithError(failure.detail);
        break;
      }
    } else if (ZSTD_decompress(out.data(), kBytes, f.packed.data(), f.packed.size()) != kBytes) {
      state.SkipWithError("libzstd failed");
      break;
    }
    benchmark::DoNotOptimize(out.data());
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(kBytes));
  state.counters["ratio"] = double(kBytes) / double(f.packed.size());
}

}  // namespace

BENCHMARK_CAPTURE(BM_Zstd, bc7_level3_ours, 0, 3, true)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Zstd, bc7_level3_libzstd, 0, 3, false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Zstd, bc7_level19_ours, 0, 19, true)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Zstd, bc7_level19_libzstd, 0, 19, false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Zstd, rgba_level3_ours, 1, 3, true)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Zstd, rgba_level3_libzstd, 1, 3, false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Zstd, text_level3_ours, 2, 3, true)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Zstd, text_level3_libzstd, 2, 3, false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Zstd, text_level19_ours, 2, 19, true)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Zstd, text_level19_libzstd, 2, 19, false)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
