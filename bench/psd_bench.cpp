// DecodePsd on a 4096 x 4096 RGB PackBits document, noisy (literal runs) and flat (repeat runs), single
// thread, in pixels per second. `psd_bench --write-psd PATH noisy|flat` writes the same document to a file so
// that other decoders can be timed on it (scripts/bench).
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "bench/bench_data.h"
#include "formats/psd/psd.h"

namespace {

using mirelth::bench::kEdge;
using mirelth::bench::kPixels;

void Put16(std::vector<uint8_t>& out, uint32_t v) { out.insert(out.end(), {uint8_t(v >> 8), uint8_t(v)}); }
void Put32(std::vector<uint8_t>& out, uint32_t v) {
  out.insert(out.end(), {uint8_t(v >> 24), uint8_t(v >> 16), uint8_t(v >> 8), uint8_t(v)});
}

// Noisy rows are random bytes in literal runs; flat rows are runs of 128 equal bytes changing every run.
std::vector<uint8_t> MakeDocument(bool noisy) {
  std::vector<uint8_t> out;
  out.reserve(size_t{64} << 20);
  for (char c : {'8', 'B', 'P', 'S'}) out.push_back(static_cast<uint8_t>(c));
  Put16(out, 1);
  out.insert(out.end(), 6, 0);
  Put16(out, 3);
  Put32(out, kEdge);
  Put32(out, kEdge);
  Put16(out, 8);
  Put16(out, 3);
  Put32(out, 0);
  Put32(out, 0);
  Put32(out, 0);
  Put16(out, 1);
  const std::vector<uint8_t>& random = mirelth::bench::RandomSource();
  std::vector<std::vector<uint8_t>> rows;
  for (int c = 0; c < 3; ++c) {
    for (int r = 0; r < kEdge; ++r) {
      std::vector<uint8_t> row;
      for (int x = 0; x < kEdge; x += 128) {
        if (noisy) {
          row.push_back(127);
          const uint8_t* bytes = random.data() + (static_cast<size_t>(c) * kEdge + r) * kEdge + x;
          row.insert(row.end(), bytes, bytes + 128);
        } else {
          row.push_back(static_cast<uint8_t>(-127));
          row.push_back(static_cast<uint8_t>(c * 80 + r / 16 + x / 128));
        }
      }
      rows.push_back(std::move(row));
    }
  }
  for (const auto& row : rows) Put16(out, static_cast<uint32_t>(row.size()));
  for (const auto& row : rows) out.insert(out.end(), row.begin(), row.end());
  return out;
}

void BM_DecodePsd(benchmark::State& state, bool noisy) {
  const std::vector<uint8_t> file = MakeDocument(noisy);
  for (auto _ : state) {
    mirelth::MemorySource source(file.data(), file.size());
    mirelth::PicturePtr picture;
    HBITMAP bitmap = nullptr;
    BITMAPINFO info{};
    if (!mirelth::OpenPsd(source, mirelth::OpenOptions{}, &picture, nullptr) ||
        !picture->DrawFull(&bitmap, &info, nullptr)) {
      state.SkipWithError("decode failed");
      break;
    }
    DeleteObject(reinterpret_cast<HGDIOBJ>(bitmap));
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(kPixels));
}

}  // namespace

BENCHMARK_CAPTURE(BM_DecodePsd, noisy, true)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_DecodePsd, flat, false)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
  if (argc == 4 && std::strcmp(argv[1], "--write-psd") == 0) {
    const std::vector<uint8_t> file = MakeDocument(std::string(argv[3]) == "noisy");
    FILE* out = std::fopen(argv[2], "wb");
    if (!out || std::fwrite(file.data(), 1, file.size(), out) != file.size()) return 1;
    return std::fclose(out) == 0 ? 0 : 1;
  }
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
