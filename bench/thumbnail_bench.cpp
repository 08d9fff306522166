// GetThumbnail(256) in process, after Initialize, on 4096 x 4096 textures and documents: the sampled path
// (what GetThumbnail does) against the reference path (full decode, then the stretch). Single thread.
// `thumbnail_bench --write KIND PATH` writes the benchmark's input of KIND (dxt1, dxt5, psd, tga) to a file, for
// the whole-process comparison in scripts/bench.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "bench/bench_data.h"
#include "server/provider.h"

namespace {

using mirelth::bench::kEdge;
using mirelth::bench::RandomSource;

void Put16BE(std::vector<uint8_t>& out, uint32_t v) {
  out.push_back(uint8_t(v >> 8));
  out.push_back(uint8_t(v));
}
void Put32BE(std::vector<uint8_t>& out, uint32_t v) {
  Put16BE(out, v >> 16);
  Put16BE(out, v & 0xFFFF);
}
void Put32LE(std::vector<uint8_t>& out, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) out[at + i] = uint8_t(v >> (8 * i));
}

// A DDS texture of random DXT1 or DXT5 blocks.
std::vector<uint8_t> MakeDds(bool dxt5) {
  const size_t blocks = size_t{kEdge / 4} * (kEdge / 4) * (dxt5 ? 16 : 8);
  std::vector<uint8_t> file(128 + blocks, 0);
  std::memcpy(file.data(), "DDS ", 4);
  Put32LE(file, 4, 124);
  Put32LE(file, 8, 0x1 | 0x2 | 0x4 | 0x1000);
  Put32LE(file, 12, kEdge);
  Put32LE(file, 16, kEdge);
  Put32LE(file, 76, 32);
  Put32LE(file, 80, 0x4);
  std::memcpy(file.data() + 84, dxt5 ? "DXT5" : "DXT1", 4);
  Put32LE(file, 108, 0x1000);
  std::memcpy(file.data() + 128, RandomSource().data(), blocks);
  return file;
}

// An RGB PackBits document with smooth content: runs along gradients with some noise, as photos pack.
std::vector<uint8_t> MakePsd() {
  std::vector<uint8_t> out;
  out.reserve(size_t{64} << 20);
  for (char c : {'8', 'B', 'P', 'S'}) out.push_back(uint8_t(c));
  Put16BE(out, 1);
  out.insert(out.end(), 6, 0);
  Put16BE(out, 3);
  Put32BE(out, kEdge);
  Put32BE(out, kEdge);
  Put16BE(out, 8);
  Put16BE(out, 3);
  Put32BE(out, 0);
  Put32BE(out, 0);
  Put32BE(out, 0);
  Put16BE(out, 1);
  const uint8_t* noise = RandomSource().data();
  std::vector<std::vector<uint8_t>> rows;
  for (int c = 0; c < 3; ++c) {
    for (int r = 0; r < kEdge; ++r) {
      std::vector<uint8_t> row;
      for (int x = 0; x < kEdge;) {
        const size_t k = (size_t(c) * kEdge + r) * kEdge + x;
        if (noise[k] < 96) {  // a literal stretch of 16 noisy bytes
          row.push_back(15);
          for (int i = 0; i < 16; ++i) row.push_back(uint8_t((x + i + r + 40 * c) / 16 + (noise[k + i] & 7)));
          x += 16;
        } else {  // a flat run of 32
          row.push_back(uint8_t(-31));
          row.push_back(uint8_t((x + r + 40 * c) / 16));
          x += 32;
        }
      }
      rows.push_back(std::move(row));
    }
  }
  for (const auto& row : rows) Put16BE(out, static_cast<uint32_t>(row.size()));
  for (const auto& row : rows) out.insert(out.end(), row.begin(), row.end());
  return out;
}

// A 32-bit run-length TGA (type 10, top-left origin, 8 alpha bits) with the same kind of content: packets of 16
// literal pixels and runs of 32.
std::vector<uint8_t> MakeTga() {
  std::vector<uint8_t> out(18, 0);
  out[2] = 10;
  out[12] = uint8_t(kEdge & 0xFF), out[13] = uint8_t(kEdge >> 8);
  out[14] = uint8_t(kEdge & 0xFF), out[15] = uint8_t(kEdge >> 8);
  out[16] = 32;
  out[17] = 0x20 | 8;
  out.reserve(size_t{48} << 20);
  const uint8_t* noise = RandomSource().data();
  for (int r = 0; r < kEdge; ++r) {
    for (int x = 0; x < kEdge;) {
      const size_t k = size_t(r) * kEdge + x;
      const auto pixel = [&](int dx, uint8_t jitter) {
        out.insert(out.end(), {uint8_t((x + dx + r) / 16 + jitter), uint8_t((x + dx) / 16), uint8_t(r / 16 + jitter),
                               uint8_t(255 - (r + x) / 64)});
      };
      const int run = kEdge - x < 32 ? kEdge - x : 32;  // packets end with their row
      if (noise[k] < 96 || run < 32) {
        const int count = run < 16 ? run : 16;
        out.push_back(uint8_t(count - 1));
        for (int i = 0; i < count; ++i) pixel(i, noise[k + i] & 7);
        x += count;
      } else {
        out.push_back(0x80 | 31);
        pixel(0, 0);
        x += 32;
      }
    }
  }
  return out;
}

// A provider initialised with a file written once to the temporary directory.
struct Loaded {
  IThumbnailProvider* provider = nullptr;
  mirelth::IMirelthThumbnailDetails* details = nullptr;
  explicit Loaded(const std::vector<uint8_t>& bytes, const char* name) {
    const std::string path = std::string(P_tmpdir) + "/mirelth-bench-" + name;
    FILE* file = std::fopen(path.c_str(), "wb");
    std::fwrite(bytes.data(), 1, bytes.size(), file);
    std::fclose(file);
    IInitializeWithFile* init = nullptr;
    mirelth::CreateThumbnailProvider(nullptr, mirelth::kIidIInitializeWithFile, reinterpret_cast<void**>(&init));
    init->Initialize(mirelth::Utf8ToWide(path).c_str(), 0);
    init->QueryInterface(mirelth::kIidIThumbnailProvider, reinterpret_cast<void**>(&provider));
    init->QueryInterface(mirelth::kIidIMirelthThumbnailDetails, reinterpret_cast<void**>(&details));
    init->Release();
    std::remove(path.c_str());
  }
  ~Loaded() {
    details->Release();
    provider->Release();
  }
};

void BM_Thumbnail(benchmark::State& state, const char* kind, bool sampled) {
  static Loaded dxt1(MakeDds(false), "dxt1.dds"), dxt5(MakeDds(true), "dxt5.dds"), psd(MakePsd(), "smooth.psd"),
      tga(MakeTga(), "smooth.tga");
  const std::string name = kind;
  Loaded& loaded = name == "dxt1" ? dxt1 : name == "dxt5" ? dxt5 : name == "tga" ? tga : psd;
  std::fflush(stdout);
  for (auto _ : state) {
    HBITMAP bitmap = nullptr;
    WTS_ALPHATYPE alpha;
    const HRESULT result = sampled ? loaded.provider->GetThumbnail(256, &bitmap, &alpha)
                                   : loaded.details->GetReferenceThumbnail(256, &bitmap);
    if (FAILED(result)) {
      state.SkipWithError("thumbnail failed");
      break;
    }
    DeleteObject(reinterpret_cast<HGDIOBJ>(bitmap));
  }
}

}  // namespace

BENCHMARK_CAPTURE(BM_Thumbnail, dxt1_sampled, "dxt1", true)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Thumbnail, dxt1_full, "dxt1", false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Thumbnail, dxt5_sampled, "dxt5", true)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Thumbnail, dxt5_full, "dxt5", false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Thumbnail, psd_sampled, "psd", true)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Thumbnail, psd_full, "psd", false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Thumbnail, tga_sampled, "tga", true)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Thumbnail, tga_full, "tga", false)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
  if (argc == 4 && std::strcmp(argv[1], "--write") == 0) {
    const std::string kind = argv[2];
    const std::vector<uint8_t> bytes = kind == "psd" ? MakePsd() : kind == "tga" ? MakeTga() : MakeDds(kind == "dxt5");
    FILE* out = std::fopen(argv[3], "wb");
    if (!out || std::fwrite(bytes.data(), 1, bytes.size(), out) != bytes.size()) return 1;
    return std::fclose(out) == 0 ? 0 : 1;
  }
  // The PSD reader lists layers on standard output; these documents have none, so nothing is printed.
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
