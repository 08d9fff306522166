// The command-line tool's PNG write of a 256 x 256 thumbnail (what file managers pay on every thumbnail): rows
// of smooth colour, of smooth colour with grain (a photograph's texture), and of noise, written to a file in the
// temporary directory.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "bench/bench_data.h"
#include "tools/png_writer.h"

namespace {

enum Content { kSmooth, kGrain, kNoise };

void BM_WritePng(benchmark::State& state, Content content) {
  std::vector<uint8_t> bits(256 * 256 * 4);
  const uint8_t* random = mirelth::bench::RandomSource().data();
  for (size_t i = 0; i < bits.size(); ++i) {
    const size_t pixel = i / 4, x = pixel % 256, y = pixel / 256;
    const int smooth = i % 4 == 3 ? 255 : static_cast<int>((x * (i % 4 + 1) + y) / 3);
    const int grain = i % 4 == 3 ? 0 : (random[i] & 15) - 8;
    bits[i] = content == kNoise ? random[i]
                                : static_cast<uint8_t>(std::clamp(smooth + (content == kGrain ? grain : 0), 0, 255));
  }
  const std::string path = std::string(P_tmpdir) + "/mirelth-bench.png";
  std::string error;
  for (auto _ : state) {
    if (!mirelth::WritePngFromBitmap(path, bits.data(), 256, 256, &error)) {
      state.SkipWithError(error.c_str());
      break;
    }
  }
  std::remove(path.c_str());
}

}  // namespace

BENCHMARK_CAPTURE(BM_WritePng, smooth_256x256, kSmooth)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_WritePng, grain_256x256, kGrain)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_WritePng, noise_256x256, kNoise)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
