// ASTC decoding of real encoder output, single thread, into BGRA: a 512 x 512 picture (colour, soft alpha, hard
// edges, noise) encoded by libastcenc at its medium preset for each footprint, its blocks repeated to cover
// 4096 x 4096; libastcenc's own decompressor on the same blocks in the same binary as the yardstick.
#include <benchmark/benchmark.h>

#include <astcenc.h>

#include <cmath>
#include <cstring>
#include <map>
#include <random>
#include <vector>

#include "bench/astc_blocks.h"
#include "bench/bench_data.h"
#include "encodings/convert.h"

namespace {

using mirelth::PixelFormat;
using mirelth::bench::AstcBlocks;
using mirelth::bench::Destination;
using mirelth::bench::kEdge;
using mirelth::bench::kPixels;
using mirelth::bench::kRgba;

void BM_Ours(benchmark::State& state, PixelFormat format, unsigned bw, unsigned bh) {
  const std::vector<uint8_t>& blocks = AstcBlocks(bw, bh);
  for (auto _ : state) {
    mirelth::ConvertPixels(Destination().data(), kEdge * 4, blocks.data(), 0, format, mirelth::ChannelOrder::BGRA,
                           kEdge, kEdge, false);
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(kPixels));
}

void BM_LibAstcenc(benchmark::State& state, unsigned bw, unsigned bh) {
  const std::vector<uint8_t>& blocks = AstcBlocks(bw, bh);
  astcenc_config config;
  astcenc_config_init(ASTCENC_PRF_LDR, bw, bh, 1, ASTCENC_PRE_FAST, ASTCENC_FLG_DECOMPRESS_ONLY, &config);
  astcenc_context* context = nullptr;
  astcenc_context_alloc(&config, 1, &context);
  void* slice = Destination().data();
  astcenc_image image{kEdge, kEdge, 1, ASTCENC_TYPE_U8, &slice};
  for (auto _ : state) {
    astcenc_decompress_image(context, blocks.data(), blocks.size(), &image, &kRgba, 0);
    astcenc_decompress_reset(context);
    benchmark::ClobberMemory();
  }
  astcenc_context_free(context);
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(kPixels));
}

#define MIRELTH_ASTC_BENCH(w, h)                                                                               \
  BENCHMARK_CAPTURE(BM_Ours, ASTC_##w##x##h, PixelFormat::ASTC##w##x##h, w, h)->Unit(benchmark::kMillisecond); \
  BENCHMARK_CAPTURE(BM_LibAstcenc, ASTC_##w##x##h, w, h)->Unit(benchmark::kMillisecond)

MIRELTH_ASTC_BENCH(4, 4);
MIRELTH_ASTC_BENCH(5, 4);
MIRELTH_ASTC_BENCH(5, 5);
MIRELTH_ASTC_BENCH(6, 5);
MIRELTH_ASTC_BENCH(6, 6);
MIRELTH_ASTC_BENCH(8, 5);
MIRELTH_ASTC_BENCH(8, 6);
MIRELTH_ASTC_BENCH(8, 8);
MIRELTH_ASTC_BENCH(10, 5);
MIRELTH_ASTC_BENCH(10, 6);
MIRELTH_ASTC_BENCH(10, 8);
MIRELTH_ASTC_BENCH(10, 10);
MIRELTH_ASTC_BENCH(12, 10);
MIRELTH_ASTC_BENCH(12, 12);

}  // namespace

BENCHMARK_MAIN();
