// Block converters on a 4096 x 4096 image of random blocks, single thread, with libsquish (DXT1/3/5) and
// libETC1 (ETC1) decoding the same blocks in the same binary as the yardstick. BC6H and BC7 blocks have their
// mode fields set so that every mode is present in equal shares. Run with OMP_NUM_THREADS=1.
#include <benchmark/benchmark.h>

#include "bench/bench_data.h"

#include <cstring>
#include <vector>

#include "encodings/blocks/blocks.h"
#include "encodings/convert.h"
#include "etc1.h"
#include "squish.h"

namespace {

using mirelth::PixelFormat;
using mirelth::bench::Destination;
using mirelth::bench::kEdge;
using mirelth::bench::kPixels;
using mirelth::bench::RandomSource;

// Random 16-byte blocks with block i in BC7 mode i % 8, or in the (i % 14)-th BC6H mode.
std::vector<uint8_t> ModeSpread(bool bc7) {
  std::vector<uint8_t> blocks = RandomSource();
  static constexpr uint8_t kBc6hModes[14] = {0, 1, 2, 6, 10, 14, 18, 22, 26, 30, 3, 7, 11, 15};
  for (size_t i = 0; i < blocks.size() / 16; ++i) {
    uint8_t& first = blocks[16 * i];
    if (bc7) {
      const uint32_t mode = i % 8;
      first = static_cast<uint8_t>((first & (0xFEu << mode)) | (1u << mode));
    } else {
      const uint8_t m = kBc6hModes[i % 14];
      first = static_cast<uint8_t>(m < 2 ? (first & ~3u) | m : (first & ~31u) | m);
    }
  }
  return blocks;
}

const std::vector<uint8_t>& SourceFor(PixelFormat format) {
  static const std::vector<uint8_t> bc7 = ModeSpread(true), bc6h = ModeSpread(false);
  if (format == PixelFormat::BC7) return bc7;
  if (format == PixelFormat::BC6HU || format == PixelFormat::BC6HS) return bc6h;
  return RandomSource();
}

void BM_Ours(benchmark::State& state, PixelFormat format) {
  const std::vector<uint8_t>& source = SourceFor(format);
  for (auto _ : state) {
    mirelth::ConvertPixels(Destination().data(), kEdge * 4, source.data(), 0, format, mirelth::ChannelOrder::BGRA,
                           kEdge, kEdge, true);
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

// The floor for any decoder that writes the same destination: a plain copy of a source the size of the output.
void BM_Memcpy(benchmark::State& state) {
  const std::vector<uint8_t>& source = RandomSource();  // 4 bytes a pixel, like the destination
  for (auto _ : state) {
    std::memcpy(Destination().data(), source.data(), kPixels * 4);
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

BENCHMARK(BM_Memcpy)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Ours, DXT1, PixelFormat::DXT1)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Squish, DXT1, squish::kDxt1)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Ours, DXT3, PixelFormat::DXT3)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Squish, DXT3, squish::kDxt3)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Ours, DXT5, PixelFormat::DXT5)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Squish, DXT5, squish::kDxt5)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Ours, ATC, PixelFormat::ATC)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Ours, ATCA, PixelFormat::ATCA)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Ours, ATCI, PixelFormat::ATCI)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Ours, ETC1, PixelFormat::ETC1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LibEtc1)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Ours, BC4, PixelFormat::BC4U)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Ours, BC5, PixelFormat::BC5U)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Ours, BC6H, PixelFormat::BC6HU)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Ours, BC7, PixelFormat::BC7)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Ours, ETC2_RGB, PixelFormat::ETC2RGB)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Ours, ETC2_RGBA, PixelFormat::ETC2RGBA)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Ours, ETC2_RGB_A1, PixelFormat::ETC2RGBA1)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Ours, EAC_R11, PixelFormat::EACR11U)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Ours, EAC_R11_signed, PixelFormat::EACR11S)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Ours, EAC_RG11, PixelFormat::EACRG11U)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Ours, PVRTC_4bpp, PixelFormat::PVRTC4BPP)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Ours, PVRTC_2bpp, PixelFormat::PVRTC2BPP)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
