// ConvertPixels for every plain code on a 4096 x 4096 image, single thread, in pixels per second, with a
// memcpy of the same destination size as the bandwidth yardstick.
#include <benchmark/benchmark.h>

#include "bench/bench_data.h"

#include <cstring>
#include <vector>

#include "encodings/convert.h"
#include "encodings/described.h"
#include "encodings/encoding.h"

namespace {

using mirelth::bench::Destination;
using mirelth::bench::kEdge;
using mirelth::bench::kPixels;
using mirelth::bench::RandomSource;

using mirelth::ChannelOrder;
using mirelth::ChannelType;
using mirelth::PixelFormat;
using mirelth::PixelLayout;

void BM_Convert(benchmark::State& state, PixelFormat format, ChannelOrder order) {
  const int32_t bits = mirelth::BitsPerPixel(format);
  uint8_t* destination = Destination().data();
  const uint8_t* source = RandomSource().data();
  for (auto _ : state) {
    mirelth::ConvertPixels(destination, kEdge * 4, source, kEdge * bits / 8, format, order, kEdge, kEdge, true);
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(kPixels));
}

// Pixels of floats in [0, 1.25) in each of the float layouts (random bits would be mostly NaN, negative or huge:
// not what HDR textures hold).
const std::vector<uint8_t>& FloatSource(const PixelLayout& layout) {
  static std::vector<uint8_t> bytes;
  bytes.assign(kPixels * 4, 0);
  uint32_t state = 99;
  auto next = [&] {
    state = state * 1664525u + 1013904223u;
    return static_cast<float>(state >> 8) / static_cast<float>(1u << 24) * 1.25f;
  };
  const size_t pixels = bytes.size() / layout.bytesPerPixel;
  for (size_t i = 0; i < pixels; ++i) {
    uint8_t* p = &bytes[i * layout.bytesPerPixel];
    for (const mirelth::ChannelField& f : layout.channel) {
      const float v = next();
      uint32_t bits;
      std::memcpy(&bits, &v, 4);
      uint64_t field = 0;
      if (f.type == ChannelType::kFloat && f.bits == 32) field = bits;
      if (f.type == ChannelType::kFloat && f.bits == 16)
        field = ((bits >> 16) & 0x8000) | ((((bits >> 23) & 0xFF) - 112) << 10) | ((bits >> 13) & 0x3FF);
      if (f.type == ChannelType::kUFloat)
        field = (((bits >> 23) & 0xFF) - 112) << (f.bits - 5) | ((bits & 0x7FFFFF) >> (28 - f.bits));
      if (f.type == ChannelType::kUnorm)
        field = static_cast<uint64_t>(v / 1.25f * static_cast<float>((uint64_t{1} << f.bits) - 1));
      if (f.type == ChannelType::kAbsent) continue;
      for (uint32_t k = 0; k < f.bits; ++k) {
        const uint32_t at = f.shift + k;
        p[at / 8] = static_cast<uint8_t>(p[at / 8] | (((field >> k) & 1) << (at % 8)));
      }
    }
  }
  return bytes;
}

// Described layouts: halves and floats through F, 16-bit values, 10.10.10.2, 11.11.10 floats.
void BM_Described(benchmark::State& state, PixelLayout layout) {
  mirelth::ConvertJob job;
  job.destination = Destination().data();
  job.destinationPitch = kEdge * 4;
  job.source = FloatSource(layout).data();
  job.sourcePitch = kEdge * layout.bytesPerPixel;
  job.width = kEdge;
  job.height = static_cast<int32_t>(kPixels * 4 / layout.bytesPerPixel / kEdge);  // as many rows as the bytes hold
  if (job.height > kEdge) job.height = kEdge;
  job.format = PixelFormat::kDescribed;
  job.layout = &layout;
  for (auto _ : state) {
    mirelth::ConvertPixels(job);
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * kEdge * job.height);
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
BENCHMARK_CAPTURE(BM_Convert, X4R4G4B4, PixelFormat::X4R4G4B4, ChannelOrder::BGRA)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Convert, R5G6B5, PixelFormat::R5G6B5, ChannelOrder::BGRA)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Convert, A1R5G5B5, PixelFormat::A1R5G5B5, ChannelOrder::BGRA)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Convert, A4R4G4B4, PixelFormat::A4R4G4B4, ChannelOrder::BGRA)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Convert, X1R5G5B5, PixelFormat::X1R5G5B5, ChannelOrder::BGRA)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Convert, R8G8B8_BGR, PixelFormat::R8G8B8, ChannelOrder::BGRA)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Convert, R8G8B8_RGB, PixelFormat::R8G8B8, ChannelOrder::RGBA)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Convert, A8R8G8B8_BGRA, PixelFormat::A8R8G8B8, ChannelOrder::BGRA)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Convert, A8R8G8B8_RGBA, PixelFormat::A8R8G8B8, ChannelOrder::RGBA)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Convert, A8R8G8B8_ARGB, PixelFormat::A8R8G8B8, ChannelOrder::ARGB)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Convert, X8R8G8B8_BGRA, PixelFormat::X8R8G8B8, ChannelOrder::BGRA)->Unit(benchmark::kMillisecond);

constexpr PixelLayout Uniform(uint8_t bytes, ChannelType type, uint8_t bits) {
  return {bytes,
          {{type, 0, bits}, {type, bits, bits}, {type, uint8_t(2 * bits), bits}, {type, uint8_t(3 * bits), bits}},
          false};
}
BENCHMARK_CAPTURE(BM_Described, Half4, Uniform(8, ChannelType::kFloat, 16))->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Described, Float4, Uniform(16, ChannelType::kFloat, 32))->Unit(benchmark::kMillisecond);
// The fewer-channel float layouts of DDS (R32G32B32, R16G16 and R32 floats): absent channels take the gray and
// two-channel rules.
BENCHMARK_CAPTURE(BM_Described, Float3,
                  PixelLayout{
                      12,
                      {{ChannelType::kFloat, 0, 32}, {ChannelType::kFloat, 32, 32}, {ChannelType::kFloat, 64, 32}, {}},
                      false})
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Described, Half2,
                  PixelLayout{4, {{ChannelType::kFloat, 0, 16}, {ChannelType::kFloat, 16, 16}, {}, {}}, false})
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Described, Float1, PixelLayout{4, {{ChannelType::kFloat, 0, 32}, {}, {}, {}}, true})
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Described, Unorm16x4, Uniform(8, ChannelType::kUnorm, 16))->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Described, R10G10B10A2,
                  PixelLayout{4,
                              {{ChannelType::kUnorm, 0, 10},
                               {ChannelType::kUnorm, 10, 10},
                               {ChannelType::kUnorm, 20, 10},
                               {ChannelType::kUnorm, 30, 2}},
                              false})
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(
    BM_Described, R11G11B10F,
    PixelLayout{
        4, {{ChannelType::kUFloat, 0, 11}, {ChannelType::kUFloat, 11, 11}, {ChannelType::kUFloat, 22, 10}, {}}, false})
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Convert, RGB9E5, PixelFormat::RGB9E5, ChannelOrder::BGRA)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
